#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/api/hostTime.h"
#include "host/api/object.h"
#include "host/api/transformationMatrix.h"
#include "host/core/idleQueue.h"
#include "host/core/log.h"
#include "host/core/messageHub.h"
#include "host/core/modules.h"
#include "host/core/registry.h"
#include "host/core/result.h"
#include "host/core/scene.h"
#include "host/core/undoQueue.h"

namespace host {

namespace mel {
class Interpreter;
}
namespace view {
class Interaction;
}

// What the stand-in answers where a real host would ask the user or the window system.
// A blind-data type: one entry per attribute (long name, short name, format).
struct BlindDataType {
    std::vector<std::string> longNames, shortNames, formats;
    // The attribute's index by long or short name, or -1.
    int find(const std::string& name) const {
        for (std::size_t i = 0; i < longNames.size(); ++i)
            if (longNames[i] == name || shortNames[i] == name) return static_cast<int>(i);
        return -1;
    }
};

// The progress window: who holds it and what it shows.
struct ProgressState {
    bool reserved = false;
    bool started = false;
    bool interruptable = false;
    int minimum = 0, maximum = 100, value = 0;
    std::string title, status;
    int cancelQueries = 0;  // isCancelled calls since it was started
};

struct Options {
    bool batch = false;
    std::vector<std::string> scriptPath;
    std::vector<std::string> modulePath;  // folders of modules loaded by path: where scene files find theirs
    std::set<std::string> openWindows;
    std::string confirmAnswer;
    bool busy = false;
    bool progressCancel = false;        // the progress window reports a cancel at once
    int cancelProgressAfter = -1;       // else: after this many cancel queries (-1: never)
    std::string failProgressCall;       // a progress-window call made to fail ("" none)
    int failMeshCreateAfter = -1;       // MFnMesh::create makes this many more meshes, then fails (-1: never)
    std::string upAxis = "y";
    bool gridShown = true;
    bool historyOn = true;
    MTime::Unit timeUnit = MTime::kFilm;
};

// The one host of the process: scene, registry, queues, messages, modules, log.
class Runtime {
public:
    static Runtime& instance();

    // Unloads modules, deletes every node, and starts again with a fresh scene.
    void reset();
    // Registers a module linked into the program: same sequence as loadPlugin, without dlopen.
    MStatus loadStaticModule(EntryPoint initialize, EntryPoint uninitialize, const std::string& name = "static");
    // The exit sequence: flush idle, message 29, delete all nodes, unload modules in reverse order.
    void shutdown();

    Options options;
    Log log;
    Registry registry;
    Scene scene;
    MessageHub messages;
    UndoQueue undo;
    IdleQueue idle;
    Modules modules;
    mel::Interpreter& mel() { return *mel_; }
    // Tools and manipulators (module code the runtime owns).
    view::Interaction& interaction() { return *interaction_; }

    std::vector<std::uint64_t> selection;   // active selection, node ids
    NodeType* initializingType = nullptr;   // set while a type's initialize runs
    std::vector<Result*> resultStack;       // results of running commands
    std::vector<std::string> commandStack;  // names of running commands
    int gridColor = 3;
    bool playingBack = false;

    // Play-back range, animation range and speed; the current time lives on the time node.
    struct TimeState {
        MTime minTime{1.0}, maxTime{48.0}, animationStart{1.0}, animationEnd{48.0};
        double playbackSpeed = 1.0;
        int changeDepth = 0;  // nested time changes running now
    } time;
    std::uint64_t cameraNode = 0;  // the view camera's shape
    std::map<std::uint64_t, MTransformationMatrix> restPositions;  // by transform node
    std::vector<std::string> viewLog;                               // stub view calls, recorded
    // Every MEL text run through MGlobal::executeCommand or queued with
    // MGlobal::executeCommandOnIdle, in call order (hostrun --trace writes it).
    std::vector<std::string> commandTrace;
    ProgressState progressWindow;
    std::map<std::string, std::vector<std::string>> uvLinks;      // UV-set plug name -> linked textures
    std::map<int, BlindDataType> blindDataTypes;                    // registered blind-data types by id
    std::map<std::uint64_t, MObject> selectionComponents;           // selected components by shape
    std::string sceneFile;                                          // the open scene's file ("" untitled)

    // Scene services used by the API classes.
    std::uint64_t timeNode() const { return timeNode_; }
    void reportError(const std::string& text);

    ~Runtime();

private:
    Runtime();
    void createBuiltins();

    std::unique_ptr<mel::Interpreter> mel_;
    std::unique_ptr<view::Interaction> interaction_;
    std::uint64_t timeNode_ = 0;
    bool built_ = false;
};

inline Runtime& runtime() { return Runtime::instance(); }

}  // namespace host
