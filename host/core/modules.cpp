#include "host/core/modules.h"

#include <dlfcn.h>

#include <algorithm>

#include "host/core/runtime.h"
#include "host/view/interaction.h"

namespace host {

namespace {

std::string baseName(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (const auto dot = name.find('.'); dot != std::string::npos) name = name.substr(0, dot);
    return name;
}

// The start of the shared object holding the address, or null.
const void* objectBase(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

}  // namespace

Module* Modules::find(const std::string& nameOrPath) {
    for (const auto& m : modules_)
        if (m->name == nameOrPath || m->path == nameOrPath || m->name == baseName(nameOrPath)) return m.get();
    return nullptr;
}

Module* Modules::find(std::uint64_t id) {
    for (const auto& m : modules_)
        if (m->id == id) return m.get();
    return nullptr;
}

MStatus Modules::load(const std::string& path) {
    if (find(path)) return MStatus(MS::kFailure, "Plug-in '" + baseName(path) + "' is already loaded.");
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        return MStatus(MS::kFailure, "Cannot load plug-in '" + path + "': " + (err ? err : "unknown error"));
    }
    auto init = reinterpret_cast<EntryPoint>(dlsym(handle, "initializePlugin"));
    auto uninit = reinterpret_cast<EntryPoint>(dlsym(handle, "uninitializePlugin"));
    if (!init || !uninit) {
        dlclose(handle);
        return MStatus(MS::kFailure, "Plug-in '" + path + "' has no initializePlugin/uninitializePlugin.");
    }
    auto m = std::make_unique<Module>();
    m->id = nextId_++;
    m->path = path;
    m->name = baseName(path);
    m->handle = handle;
    m->initialize = init;
    m->uninitialize = uninit;
    modules_.push_back(std::move(m));
    return initialize(*modules_.back());
}

MStatus Modules::loadStatic(EntryPoint init, EntryPoint uninit, const std::string& name) {
    if (!init || !uninit) return MStatus(MS::kInvalidParameter, "missing entry point");
    if (find(name)) return MStatus(MS::kFailure, "Plug-in '" + name + "' is already loaded.");
    auto m = std::make_unique<Module>();
    m->id = nextId_++;
    m->path = name;
    m->name = name;
    m->initialize = init;
    m->uninitialize = uninit;
    modules_.push_back(std::move(m));
    return initialize(*modules_.back());
}

MStatus Modules::initialize(Module& module) {
    const std::uint64_t outer = current;
    current = module.id;
    const MStatus st = module.initialize(MObject::fromPlugin(module.id));
    current = outer;
    if (!st) {
        runtime().log.add(LogKind::Error, "Initialization of plug-in '" + module.name + "' failed.");
        // Nothing it registered may outlive it.
        module.uninitialize = nullptr;
        unload(module);
    }
    return st;
}

MStatus Modules::unload(const std::string& nameOrPath) {
    Module* m = find(nameOrPath);
    if (!m) return MStatus(MS::kFailure, "Plug-in '" + nameOrPath + "' is not loaded.");
    return unload(*m);
}

MStatus Modules::unload(Module& module) {
    Runtime& rt = runtime();
    rt.undo.flush();
    MStatus st;
    if (module.uninitialize) {
        const std::uint64_t outer = current;
        current = module.id;
        st = module.uninitialize(MObject::fromPlugin(module.id));
        current = outer;
    }
    // What the module left behind goes before its code is unmapped: tools and
    // manipulators first, then nodes, types, commands and callbacks.
    rt.interaction().destroyModule(module.id);
    std::vector<NodeType*> leftTypes;
    for (const auto& t : rt.registry.types())
        if (t->module == module.id) leftTypes.push_back(t.get());
    for (NodeType* t : leftTypes) {
        rt.scene.deleteAllOfType(t);
        rt.registry.removeType(t);
    }
    for (const auto& name : rt.registry.commandNames(module.id)) rt.registry.removeCommand(name);
    const void* base = module.handle ? objectBase(reinterpret_cast<const void*>(module.initialize ? module.initialize
                                                                                                  : module.uninitialize))
                                     : nullptr;
    std::vector<std::uint64_t> stale;
    for (const auto& e : rt.messages.entries()) {
        const void* fn = e.basic ? reinterpret_cast<const void*>(e.basic) : reinterpret_cast<const void*>(e.node);
        if (e.module == module.id || (base && objectBase(fn) == base)) stale.push_back(e.id);
    }
    for (const auto id : stale) {
        rt.messages.remove(id);
        rt.log.add(LogKind::Warning, "A callback left installed by plug-in '" + module.name + "' was removed.");
    }
    void* handle = module.handle;
    std::erase_if(modules_, [&](const auto& m) { return m.get() == &module; });
    if (handle) dlclose(handle);
    return st;
}

void Modules::unloadAll() {
    while (!modules_.empty()) unload(*modules_.back());
}

}  // namespace host
