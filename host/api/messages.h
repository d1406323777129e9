#pragma once

#include <cstdint>

#include "host/api/arrays.h"
#include "host/api/object.h"
#include "host/api/status.h"
#include "host/api/text.h"

using MCallbackId = std::uint64_t;

class MCallbackIdArray : public host::ValueArray<MCallbackId> {
public:
    using ValueArray::ValueArray;
};

class MMessage {
public:
    using MBasicFunction = void (*)(void* clientData);
    using MNodeFunction = void (*)(MObject& node, void* clientData);

    static MStatus removeCallback(MCallbackId id);
    static MStatus removeCallbacks(MCallbackIdArray& ids);
};

// Scene messages, registered by code.
class MSceneMessage : public MMessage {
public:
    enum Message {
        kBeforeNew = 1,
        kAfterImport = 4,
        kBeforeOpen = 5,
        kAfterOpen = 6,
        kBeforeSave = 9,
        kBeforeExport = 11,
        kExiting = 29,
    };

    static MCallbackId addCallback(Message message, MBasicFunction func, void* clientData = nullptr,
                                   MStatus* status = nullptr);
};

class MEventMessage : public MMessage {
public:
    static MCallbackId addEventCallback(const MString& event, MBasicFunction func, void* clientData = nullptr,
                                        MStatus* status = nullptr);
};

// Node added and removed; the type filter is a type name or "dependNode" for all.
class MDGMessage : public MMessage {
public:
    static MCallbackId addNodeAddedCallback(MNodeFunction func, const MString& nodeType = "dependNode",
                                            void* clientData = nullptr, MStatus* status = nullptr);
    static MCallbackId addNodeRemovedCallback(MNodeFunction func, const MString& nodeType = "dependNode",
                                              void* clientData = nullptr, MStatus* status = nullptr);
};

// Host conditions: "playingBack", "busy".
class MConditionMessage : public MMessage {
public:
    static bool getConditionState(const MString& condition, MStatus* status = nullptr);
};
