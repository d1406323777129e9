#include "host/core/runtime.h"

#include "host/api/fnAttribute.h"
#include "host/api/pxNode.h"
#include "host/mel/interpreter.h"
#include "host/scene/builtinTypes.h"
#include "host/scene/shading.h"
#include "host/view/interaction.h"
#include "host/view/viewState.h"

namespace host {

Runtime& Runtime::instance() {
    static Runtime r;
    // The default nodes are made once the runtime exists: making them calls back into it.
    if (!r.built_) {
        r.built_ = true;
        r.createBuiltins();
    }
    return r;
}

Runtime::Runtime() : mel_(std::make_unique<mel::Interpreter>()), interaction_(std::make_unique<view::Interaction>()) {}

Runtime::~Runtime() {
    log.setQuiet(true);
    modules.unloadAll();
    interaction_->clear();
    undo.flush();
    scene.clear();
}

void Runtime::createBuiltins() {
    // The scene's time: one node "time1", always there.
    auto type = std::make_unique<NodeType>();
    type->name = "time";
    type->apiType = MFn::kTime;
    type->deletable = false;
    type->builtin = true;
    auto outTime = std::make_shared<Attribute>();
    outTime->longName = "outTime";
    outTime->shortName = "ot";
    outTime->kind = AttrKind::Unit;
    outTime->unitType = MFnUnitAttribute::kTime;
    outTime->defaultValue = MTime(1.0, MTime::kFilm);
    outTime->added = true;
    type->attributes = {MPxNode::message.attribute(), outTime};
    NodeType* raw = type.get();
    registry.addType(std::move(type));
    // Quietly: no callbacks can be installed yet, and the runtime may still be under construction.
    scene.readingFile = true;
    timeNode_ = scene.createNode(*raw, "time1", false, nullptr);
    registerSceneTypes(registry);
    cameraNode = createViewCamera();
    shading::createDefaults();
    scene.readingFile = false;
}

void Runtime::reset() {
    modules.unloadAll();
    interaction_->clear();
    undo.flush();
    undo.recording = true;
    idle.clear();
    scene.clear();
    registry = Registry();
    messages.clear();
    selection.clear();
    options = Options();
    mel_->clear();
    resultStack.clear();
    commandStack.clear();
    initializingType = nullptr;
    gridColor = 3;
    playingBack = false;
    time = TimeState();
    restPositions.clear();
    viewLog.clear();
    commandTrace.clear();
    host::view::resetViewState();
    blindDataTypes.clear();
    progressWindow = ProgressState();
    uvLinks.clear();
    sceneFile.clear();
    selectionComponents.clear();
    log.clear();
    log.setQuiet(false);
    createBuiltins();
}

MStatus Runtime::loadStaticModule(EntryPoint initialize, EntryPoint uninitialize, const std::string& name) {
    return modules.loadStatic(initialize, uninitialize, name);
}

void Runtime::shutdown() {
    idle.flush();
    messages.sceneMessage(29);
    idle.flush();
    undo.flush();
    scene.clear();
    modules.unloadAll();
    idle.clear();
}

void Runtime::reportError(const std::string& text) {
    log.add(LogKind::Error, text, commandStack.empty() ? std::string() : commandStack.back());
}

}  // namespace host

MTime::Unit MTime::uiUnit() { return host::runtime().options.timeUnit; }
