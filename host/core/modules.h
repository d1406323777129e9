#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/api/object.h"
#include "host/api/status.h"

namespace host {

using EntryPoint = MStatus (*)(MObject);

struct Module {
    std::uint64_t id = 0;
    std::string path;
    std::string name;
    void* handle = nullptr;  // null for a module linked into the program
    EntryPoint initialize = nullptr;
    EntryPoint uninitialize = nullptr;
    std::string vendor, version;
};

// Loaded modules, in load order.
class Modules {
public:
    MStatus load(const std::string& path);
    MStatus loadStatic(EntryPoint initialize, EntryPoint uninitialize, const std::string& name);
    // Flushes undo, calls the unload entry point, removes what the module left, closes it.
    MStatus unload(const std::string& nameOrPath);
    void unloadAll();
    Module* find(const std::string& nameOrPath);
    Module* find(std::uint64_t id);
    const std::vector<std::unique_ptr<Module>>& loaded() const { return modules_; }
    // The module whose entry point is running, if any.
    std::uint64_t current = 0;

private:
    MStatus initialize(Module& module);
    MStatus unload(Module& module);

    std::vector<std::unique_ptr<Module>> modules_;
    std::uint64_t nextId_ = 1;
};

}  // namespace host
