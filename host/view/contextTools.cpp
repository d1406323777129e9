// Context commands, the contexts they make and the current tool.

#include <algorithm>
#include <cctype>

#include "host/api/pxCommand.h"
#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "host/view/interaction.h"

namespace host::view {

namespace {

// What runs when a context command's name is called in MEL: it makes a context
// and answers its name. An optional word names the context.
class ContextCommandCall : public MPxCommand {
public:
    MStatus doIt(const MArgList& args) override {
        const std::string command = runtime().commandStack.empty() ? std::string() : runtime().commandStack.back();
        std::string wanted;
        for (const auto& w : args.words()) {
            if (!w.quoted && w.text.size() > 1 && w.text[0] == '-' && std::isalpha(static_cast<unsigned char>(w.text[1])))
                return MStatus(MS::kInvalidParameter, "Invalid flag '" + w.text + "'");
            if (!wanted.empty()) return MStatus(MS::kInvalidParameter, "Only one context name may be given");
            wanted = w.text;
        }
        std::string made;
        const MStatus st = interaction().makeContext(command, wanted, made);
        if (st) setResult(MString(made));
        return st;
    }
};

void* makeContextCommandCall() { return static_cast<MPxCommand*>(new ContextCommandCall); }

}  // namespace

MStatus Interaction::addContextCommand(const std::string& name, ContextCommandCreator creator, std::uint64_t module) {
    if (!creator || name.empty()) return MStatus(MS::kInvalidParameter, "a context command needs a name and a creator");
    if (runtime().mel().isBuiltin(name)) return MStatus(MS::kFailure, "command '" + name + "' is built in");
    const MStatus st = runtime().registry.addCommand(CommandType{name, makeContextCommandCall, nullptr, module});
    if (st) commands_.push_back(ContextCommandEntry{name, creator, module});
    return st;
}

MStatus Interaction::removeContextCommand(const std::string& name) {
    if (!isContextCommand(name)) return MStatus(MS::kFailure, "no context command '" + name + "'");
    for (std::size_t i = contexts_.size(); i-- > 0;)
        if (i < contexts_.size() && contexts_[i].command == name) destroyContext(i);
    std::erase_if(commands_, [&](const ContextCommandEntry& c) { return c.name == name; });
    return runtime().registry.removeCommand(name);
}

bool Interaction::isContextCommand(const std::string& name) const {
    return std::any_of(commands_.begin(), commands_.end(), [&](const auto& c) { return c.name == name; });
}

MStatus Interaction::makeContext(const std::string& command, const std::string& wanted, std::string& made) {
    const auto entry = std::find_if(commands_.begin(), commands_.end(), [&](const auto& c) { return c.name == command; });
    if (entry == commands_.end()) return MStatus(MS::kFailure, "no context command '" + command + "'");
    std::string name = wanted;
    if (name.empty())
        for (int n = 1; name.empty() || findContext(name); ++n) name = command + std::to_string(n);
    else if (findContext(name))
        return MStatus(MS::kFailure, "Context '" + name + "' already exists.");
    ContextEntry e;
    e.name = name;
    e.command = command;
    e.module = entry->module;
    e.maker.reset(static_cast<MPxContextCommand*>(entry->creator()));
    if (!e.maker) return MStatus(MS::kFailure, "Cannot create context command '" + command + "'.");
    e.context.reset(e.maker->makeObj());
    if (!e.context) return MStatus(MS::kFailure, "Context command '" + command + "' made no context.");
    contexts_.push_back(std::move(e));
    made = name;
    return MS::kSuccess;
}

MPxContext* Interaction::findContext(const std::string& name) const {
    for (const auto& c : contexts_)
        if (c.name == name) return c.context.get();
    return nullptr;
}

MStatus Interaction::useTool(const std::string& name) {
    if (name == current_) return MS::kSuccess;
    MPxContext* next = name.empty() ? nullptr : findContext(name);
    if (!name.empty() && !next) return MStatus(MS::kFailure, "No tool context named '" + name + "'.");
    if (MPxContext* old = findContext(current_)) {
        current_.clear();
        old->toolOffCleanup();
    }
    current_.clear();
    if (next) {
        current_ = name;
        MEvent event;
        next->toolOnSetup(event);
    }
    return MS::kSuccess;
}

MStatus Interaction::sendEvent(ToolEvent kind, MEvent& event) {
    MPxContext* ctx = findContext(current_);
    if (!ctx) return MStatus(MS::kFailure, "No tool is in use.");
    switch (kind) {
        case ToolEvent::Press: return ctx->doPress(event);
        case ToolEvent::Drag: return ctx->doDrag(event);
        case ToolEvent::Hold: return ctx->doHold(event);
        case ToolEvent::Release: return ctx->doRelease(event);
    }
    return MS::kFailure;
}

}  // namespace host::view
