#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/api/event.h"
#include "host/api/global.h"
#include "host/api/matrix.h"
#include "host/api/plug.h"
#include "host/api/pxContext.h"
#include "host/api/pxContextCommand.h"
#include "host/api/pxManipContainer.h"
#include "host/api/selectionMask.h"
#include "host/api/typeId.h"

namespace host {
struct NodeType;
}

namespace host::view {

using ContextCommandCreator = void* (*)();

enum class ToolEvent { Press, Drag, Hold, Release };

// One free-point triad of a container.
struct Triad {
    std::uint64_t id = 0;  // in its own range: never a scene node's id
    const MPxManipContainer* owner = nullptr;
    std::string name, pointName;
    MPoint point;
    bool visible = true;
    MPlug plug;  // null when not connected
};

// Tools and manipulators of the runtime: the selection mode and masks, context
// commands and the contexts they made, the current tool, the manipulator connect
// table and the shown containers with their triads. Contexts and containers are
// module code: they go before their module is unloaded.
class Interaction {
public:
    Interaction();
    ~Interaction();
    Interaction(const Interaction&) = delete;
    Interaction& operator=(const Interaction&) = delete;

    MGlobal::MSelectionMode selectionMode = MGlobal::kSelectObjectMode;
    MSelectionMask objectMask, componentMask;

    // Context commands: also registered as commands under the same name.
    MStatus addContextCommand(const std::string& name, ContextCommandCreator creator, std::uint64_t module);
    // Destroys the contexts it made (the current tool is switched off first).
    MStatus removeContextCommand(const std::string& name);
    bool isContextCommand(const std::string& name) const;
    // Makes a context with the command; `wanted` empty: "<command>N".
    MStatus makeContext(const std::string& command, const std::string& wanted, std::string& made);
    MPxContext* findContext(const std::string& name) const;

    // Switches the current tool off (toolOffCleanup) and the named one on
    // (toolOnSetup); an empty name only switches off.
    MStatus useTool(const std::string& name);
    const std::string& currentTool() const { return current_; }
    MStatus sendEvent(ToolEvent kind, MEvent& event);

    // The manipulator connect table, by node type id.
    void addConnectable(const MTypeId& nodeType, std::uint64_t module);
    bool removeConnectable(const MTypeId& nodeType);
    // Builds the container for the node's type and connects it; the container shown before goes.
    MStatus showManip(std::uint64_t node);
    void hideManips();
    // Moves a triad of the shown container, writes its plug, then calls the container's doRelease.
    MStatus dragManip(unsigned index, const MPoint& point);
    std::vector<MPxManipContainer*> shownContainers() const;
    std::uint64_t addTriad(const MPxManipContainer* owner, const std::string& name, const std::string& pointName);
    Triad* triad(std::uint64_t id);
    // The triads of a container, in the order they were added.
    std::vector<const Triad*> triadsOf(const MPxManipContainer* owner) const;

    // Before the module's code goes: its contexts, context commands, containers and table entries.
    void destroyModule(std::uint64_t module);
    // Containers of a container type being deregistered.
    void destroyContainersOfType(const NodeType* type);
    // A node was deleted: the containers connected to it go.
    void nodeGone(std::uint64_t node);
    // Everything destroyed, back to the defaults.
    void clear();

private:
    struct ContextCommandEntry {
        std::string name;
        ContextCommandCreator creator = nullptr;
        std::uint64_t module = 0;
    };
    struct ContextEntry {
        std::string name, command;
        std::uint64_t module = 0;
        std::unique_ptr<MPxContextCommand> maker;  // kept with its context
        std::unique_ptr<MPxContext> context;
    };
    struct Shown {
        std::unique_ptr<MPxManipContainer> container;
        const NodeType* type = nullptr;
        std::uint64_t module = 0;
        std::uint64_t node = 0;
        bool doomed = false;  // to go once the call into it returns
    };

    void destroyContext(std::size_t index);
    // A container that is running one of its calls is only marked, and goes after the call.
    void destroyShown(std::size_t index);
    bool doomed(const MPxManipContainer* container) const;
    void destroy(const MPxManipContainer* container);
    void watchDeletions(bool on);

    std::vector<ContextCommandEntry> commands_;
    std::vector<ContextEntry> contexts_;
    std::string current_;
    std::vector<std::pair<MTypeId, std::uint64_t>> connectTable_;
    std::vector<Shown> shown_;
    std::vector<Triad> triads_;
    std::uint64_t nextTriad_ = 0;
    std::uint64_t removedCallback_ = 0;
    const MPxManipContainer* busy_ = nullptr;
};

// The runtime's interaction state.
Interaction& interaction();

}  // namespace host::view
