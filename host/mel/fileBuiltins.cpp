#include "host/api/messages.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/mel/builtinArgs.h"
#include "host/scene/shading.h"

namespace host::mel {

namespace {

// file -new | -open F | -save | -rename F | -import F | -export F [-f] [-type T]
MStatus fileCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("file", args,
                               {{"new", "new", 0}, {"o", "open", 0}, {"s", "save", 0}, {"rn", "rename", 1},
                                {"i", "import", 0}, {"es", "exportSelected", 0}, {"ea", "exportAll", 0},
                                {"f", "force", 0}, {"typ", "type", 1}, {"pr", "prompt", 1}, {"sn", "sceneName", 0},
                                {"q", "query", 0}},
                               p);
        !st)
        return st;
    Runtime& rt = runtime();
    std::string& current = rt.sceneFile;
    const std::string path = p.words.empty() ? std::string() : p.words[0].text;
    const auto done = [](const MStatus& st) { return st ? st : commandError("file", st.errorString().str()); };
    if (p.has("q")) {
        result = current;
        return MS::kSuccess;
    }
    if (p.has("rn")) current = p.value("rn");
    if (p.has("new")) {
        rt.messages.sceneMessage(MSceneMessage::kBeforeNew);
        rt.undo.flush();
        io::clearScene();
        shading::createDefaults();
        current.clear();
        return MS::kSuccess;
    }
    if (p.has("o")) {
        if (path.empty()) return commandError("file", "No file given");
        // Named before the open, for the callbacks; a file refused before the
        // scene was cleared leaves the scene and its name as they were.
        const std::string previous = current;
        current = path;
        result = path;
        bool replaced = false;
        const MStatus st = io::openScene(path, &replaced);
        if (!replaced) current = previous;
        return done(st);
    }
    if (p.has("i")) {
        if (path.empty()) return commandError("file", "No file given");
        return done(io::importScene(path));
    }
    if (p.has("ea") || p.has("es")) {
        if (path.empty()) return commandError("file", "No file given");
        rt.messages.sceneMessage(MSceneMessage::kBeforeExport);
        result = path;
        return done(io::exportScene(path));
    }
    if (p.has("s")) {
        if (current.empty()) return commandError("file", "The scene has no name: use -rename first");
        result = current;
        return done(io::saveScene(current));
    }
    result = current;
    return MS::kSuccess;
}

}  // namespace

void addFileBuiltins(std::map<std::string, Builtin>& table) { table["file"] = fileCmd; }

}  // namespace host::mel
