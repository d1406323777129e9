#include "host/api/messages.h"

#include "host/core/runtime.h"

using host::runtime;

namespace {

MCallbackId install(host::CallbackEntry e, MStatus* status) {
    if (!e.basic && !e.node) {
        if (status) *status = MStatus(MS::kInvalidParameter, "no callback function");
        return 0;
    }
    e.module = runtime().modules.current;
    if (status) *status = MS::kSuccess;
    return runtime().messages.add(std::move(e));
}

}  // namespace

MStatus MMessage::removeCallback(MCallbackId id) {
    return runtime().messages.remove(id) ? MStatus(MS::kSuccess) : MStatus(MS::kFailure, "no such callback");
}

MStatus MMessage::removeCallbacks(MCallbackIdArray& ids) {
    MStatus result;
    for (const auto id : ids)
        if (!removeCallback(id)) result = MS::kFailure;
    return result;
}

MCallbackId MSceneMessage::addCallback(Message message, MBasicFunction func, void* clientData, MStatus* status) {
    host::CallbackEntry e;
    e.kind = host::CallbackKind::Scene;
    e.code = static_cast<int>(message);
    e.basic = func;
    e.clientData = clientData;
    return install(std::move(e), status);
}

MCallbackId MEventMessage::addEventCallback(const MString& event, MBasicFunction func, void* clientData,
                                            MStatus* status) {
    host::CallbackEntry e;
    e.kind = host::CallbackKind::Event;
    e.name = event.str();
    e.basic = func;
    e.clientData = clientData;
    return install(std::move(e), status);
}

MCallbackId MDGMessage::addNodeAddedCallback(MNodeFunction func, const MString& nodeType, void* clientData,
                                             MStatus* status) {
    host::CallbackEntry e;
    e.kind = host::CallbackKind::NodeAdded;
    e.name = nodeType.str();
    e.node = func;
    e.clientData = clientData;
    return install(std::move(e), status);
}

MCallbackId MDGMessage::addNodeRemovedCallback(MNodeFunction func, const MString& nodeType, void* clientData,
                                               MStatus* status) {
    host::CallbackEntry e;
    e.kind = host::CallbackKind::NodeRemoved;
    e.name = nodeType.str();
    e.node = func;
    e.clientData = clientData;
    return install(std::move(e), status);
}

bool MConditionMessage::getConditionState(const MString& condition, MStatus* status) {
    if (status) *status = MS::kSuccess;
    if (condition == "busy") return runtime().options.busy;
    if (condition == "playingBack") return runtime().playingBack;
    if (status) *status = MStatus(MS::kInvalidParameter, "unknown condition");
    return false;
}
