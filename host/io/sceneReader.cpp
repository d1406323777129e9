#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "host/api/messages.h"
#include "host/core/runtime.h"
#include "host/core/valueCheck.h"
#include "host/io/sceneAttributes.h"
#include "host/io/sceneFile.h"
#include "host/io/sceneText.h"
#include "host/scene/dag.h"

namespace host::io {

namespace {

using mel::Arg;

MStatus bad(const std::string& text) { return MStatus(MS::kFailure, text); }

// A statement's flags (by name, with their values) and other words.
struct Words {
    std::map<std::string, std::vector<std::string>> flags;
    std::vector<Arg> rest;
    bool has(const char* f) const { return flags.count(f) != 0; }
    const std::string& value(const char* f) const { return flags.at(f).front(); }
};

// Only the flags listed are flags, so negative numbers stay values.
MStatus split(const std::vector<Arg>& args, std::initializer_list<std::pair<const char*, int>> known, Words& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto it = std::find_if(known.begin(), known.end(),
                                     [&](const auto& k) { return !args[i].quoted && args[i].text == k.first; });
        if (it == known.end()) {
            out.rest.push_back(args[i]);
            continue;
        }
        auto& values = out.flags[it->first];
        for (int k = 0; k < it->second; ++k) {
            if (++i >= args.size()) return bad(std::string("flag '") + it->first + "' needs a value");
            values.push_back(args[i].text);
        }
    }
    return MS::kSuccess;
}

// The statements of one file read: nodes by their names in the file, the node
// that relative plugs refer to, and the nodes skipped for an unknown type.
class Reader {
public:
    explicit Reader(std::string source);
    // Checks the whole file before anything runs: a file that fails here leaves
    // the scene as it was. Running reads the same text again, which must live until then.
    MStatus parse(const std::string& text);
    MStatus run();

private:
    using Handler = MStatus (Reader::*)(const std::vector<Arg>&);
    MStatus endScene(const std::vector<Arg>& args);
    MStatus requireModule(const std::vector<Arg>& args);
    MStatus currentUnit(const std::vector<Arg>& args);
    MStatus playbackOptions(const std::vector<Arg>& args);
    MStatus currentTime(const std::vector<Arg>& args);
    MStatus blindDataType(const std::vector<Arg>& args);
    MStatus createNode(const std::vector<Arg>& args);
    MStatus addAttr(const std::vector<Arg>& args);
    MStatus setAttr(const std::vector<Arg>& args);
    MStatus parent(const std::vector<Arg>& args);
    MStatus connectAttr(const std::vector<Arg>& args);
    MStatus lockNode(const std::vector<Arg>& args);

    Node* node(const std::string& name) const;
    // "node.a", "node.a[3]", "node.a[3].b"; ".a" on the current node.
    MStatus plug(const std::string& text, PlugKey& key, bool& skipped) const;

    std::string source_;
    std::map<std::string, mel::Builtin> commands_;
    const std::string* text_ = nullptr;  // checked by parse, read again by run
    std::map<std::string, std::uint64_t> made_;  // file name -> node
    std::set<std::string> skipped_;               // nodes of unknown types
    int firstSkipped_ = 0;                        // the line of the first
    std::uint64_t current_ = 0;
    bool skipping_ = false;  // the current node's type is unknown
    AttributeBuilder attributes_;
};

Node* Reader::node(const std::string& name) const {
    if (const auto it = made_.find(name); it != made_.end()) return runtime().scene.find(it->second);
    return runtime().scene.findByName(name);
}

MStatus Reader::plug(const std::string& text, PlugKey& key, bool& skipped) const {
    Scene& scene = runtime().scene;
    const auto dot = text.find('.');
    if (dot == std::string::npos) return bad("no plug '" + text + "'");
    const std::string nodeName = text.substr(0, dot);
    skipped = !nodeName.empty() && skipped_.count(nodeName);
    const Node* n = nodeName.empty() ? scene.find(current_) : node(nodeName);
    if (!n) return bad("no node for '" + text + "'");
    const std::string path = text.substr(dot + 1);
    const auto inner = path.find('.');
    std::string head = inner == std::string::npos ? path : path.substr(0, inner);
    int index = -1;
    if (const auto b = head.find('['); b != std::string::npos) {
        if (head.back() != ']' || !readInt(head.substr(b + 1, head.size() - b - 2), index) || index < 0)
            return bad("bad index in '" + text + "'");
        head.resize(b);
    }
    const Attribute* a = scene.findAttribute(*n, head);
    if (a && inner != std::string::npos) {
        const std::string child = path.substr(inner + 1);
        const Attribute* found = nullptr;
        for (const auto& c : a->children)
            if (c->matches(child)) found = c.get();
        a = found;
    }
    if (!a) return bad("no attribute '" + text + "'");
    if (MStatus st = checkIndex(*a, index, text); !st) return st;
    key = PlugKey{n->id, scene.attributePtr(*n, a), index};
    return MS::kSuccess;
}

// A file names the modules it needs; opening it loads them by name from the
// module search path only, never from the path the file gives (-p, kept for
// the reader's information): a scene file cannot run code from a place of
// its choosing.
MStatus Reader::requireModule(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-p", 1}}, w); !st) return st;
    if (w.rest.size() != 1) return bad("requires takes a module name");
    const std::string& name = w.rest[0].text;
    Modules& modules = runtime().modules;
    if (modules.find(name)) return MS::kSuccess;
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.')
        return bad("bad module name '" + name + "'");
    std::vector<std::string> folders = runtime().options.modulePath;
    folders.push_back(std::filesystem::path(source_).parent_path().string());
    if (const char* env = std::getenv(kModulePathVariable)) {
        std::stringstream list(env);
        for (std::string folder; std::getline(list, folder, ':');) folders.push_back(folder);
    }
    for (const std::string& folder : folders) {
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + name + ".so";
        struct stat sb {};
        if (stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
        if (MStatus st = modules.load(path); !st)
            return bad("cannot load required module '" + name + "': " + st.errorString().str());
        return MS::kSuccess;
    }
    return bad("cannot load required module '" + name + "': no " + name +
               ".so in the module search path (the folders of loaded modules and of the scene file, and $" +
               kModulePathVariable + ")");
}

MStatus Reader::endScene(const std::vector<Arg>& args) {
    if (attributes_.pending()) return bad("a compound attribute misses children");
    return args.empty() ? MStatus(MS::kSuccess) : bad(std::string(kEndOfScene) + " takes no arguments");
}

MStatus Reader::currentUnit(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-l", 1}, {"-a", 1}, {"-t", 1}}, w); !st) return st;
    // Lengths and angles are written in internal units; only time has a choice.
    if (w.has("-l") && w.value("-l") != "centimeter") return bad("linear unit must be centimeter");
    if (w.has("-a") && w.value("-a") != "radian") return bad("angle unit must be radian");
    if (w.has("-t") && !timeUnitFrom(w.value("-t"), runtime().options.timeUnit)) return bad("bad time unit");
    return w.rest.empty() ? MStatus(MS::kSuccess) : bad("unexpected '" + w.rest[0].text + "'");
}

MStatus Reader::playbackOptions(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-min", 1}, {"-max", 1}, {"-ast", 1}, {"-aet", 1}, {"-ps", 1}}, w); !st) return st;
    Runtime::TimeState& time = runtime().time;
    const auto unit = runtime().options.timeUnit;
    for (auto [flag, target] : {std::pair{"-min", &time.minTime}, std::pair{"-max", &time.maxTime},
                                std::pair{"-ast", &time.animationStart}, std::pair{"-aet", &time.animationEnd}})
        if (w.has(flag)) {
            double v = 0;
            if (MStatus st = readReal(w.value(flag), v); !st) return st;
            *target = MTime(v, unit);
        }
    if (w.has("-ps"))
        if (MStatus st = readReal(w.value("-ps"), time.playbackSpeed); !st) return st;
    return MS::kSuccess;
}

MStatus Reader::currentTime(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-u", 1}}, w); !st) return st;
    double v = 0;
    MTime::Unit unit = runtime().options.timeUnit;
    if (w.rest.size() != 1) return bad("currentTime takes one time");
    if (MStatus st = readReal(w.rest[0].text, v); !st) return st;
    if (w.has("-u") && !timeUnitFrom(w.value("-u"), unit)) return bad("bad time unit");
    // Stored quietly: an opened scene computes nothing until asked.
    if (Node* t = runtime().scene.find(runtime().timeNode()))
        for (const auto& [key, slot] : t->slots)
            if (std::holds_alternative<MTime>(slot.value)) slot.value = MTime(v, unit);
    return MS::kSuccess;
}

MStatus Reader::blindDataType(const std::vector<Arg>& args) {
    if (args.size() < 2 || args[0].text != "-id") return bad("blindDataType needs -id first");
    int id = 0;
    if (MStatus st = readInt(args[1].text, id); !st) return st;
    BlindDataType type;
    for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
        const std::string& f = args[i].text;
        if (f == "-dt") type.formats.push_back(args[i + 1].text);
        else if (f == "-ldn") type.longNames.push_back(args[i + 1].text);
        else if (f == "-sdn") type.shortNames.push_back(args[i + 1].text);
        else return bad("unexpected '" + f + "' in blindDataType");
    }
    if (args.size() % 2 != 0 || type.formats.size() != type.longNames.size() ||
        type.longNames.size() != type.shortNames.size())
        return bad("blindDataType needs a format and two names per attribute");
    runtime().blindDataTypes[id] = std::move(type);
    return MS::kSuccess;
}

MStatus Reader::createNode(const std::vector<Arg>& args) {
    if (attributes_.pending()) return bad("a compound attribute misses children");
    Words w;
    if (MStatus st = split(args, {{"-n", 1}, {"-p", 1}}, w); !st) return st;
    if (w.rest.size() != 1 || !w.has("-n")) return bad("createNode takes a type and -n name");
    Runtime& rt = runtime();
    const std::string& name = w.value("-n");
    current_ = 0;
    NodeType* type = rt.registry.findType(w.rest[0].text);
    skipping_ = type == nullptr;
    if (!type) {
        if (skipped_.empty()) firstSkipped_ = rt.log.locationLine();
        skipped_.insert(name);
        rt.log.add(LogKind::Error, "Unknown node type '" + w.rest[0].text + "' in " + source_ + "; node '" + name +
                                       "' skipped.");
        return MS::kSuccess;
    }
    std::uint64_t parentId = 0;
    if (w.has("-p")) {
        const Node* p = node(w.value("-p"));
        if (!p) return skipped_.count(w.value("-p")) ? bad("parent '" + w.value("-p") + "' was skipped")
                                                      : bad("no parent '" + w.value("-p") + "'");
        parentId = p->id;
    }
    MStatus st;
    std::uint64_t id = 0;
    if (!parentId && dag::isShapeType(*type)) {
        // Its parents come later: made alone, without a transform of its own.
        id = rt.scene.createNode(*type, name, false, &st);
    } else {
        const auto made = dag::createNode(*type, name, parentId, false, &st);
        id = made.empty() ? 0 : made.back();
    }
    if (!id) return bad("cannot create '" + name + "'");
    made_[name] = id;
    current_ = id;
    return MS::kSuccess;
}

MStatus Reader::addAttr(const std::vector<Arg>& args) {
    if (skipping_) return MS::kSuccess;
    Node* n = runtime().scene.find(current_);
    if (!n) return bad("addAttr before createNode");
    AttributePtr done;
    if (MStatus st = attributes_.add(args, done); !st) return st;
    if (done)
        if (MStatus st = runtime().scene.addDynamicAttribute(*n, done); !st)
            return bad("cannot add '" + done->longName + "': " + st.errorString().str());
    return MS::kSuccess;
}

MStatus Reader::setAttr(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-type", 1}, {"-l", 1}}, w); !st) return st;
    if (w.rest.empty()) return bad("setAttr without a plug");
    const std::string& target = w.rest[0].text;
    const bool relative = !target.empty() && target[0] == '.';
    if (relative && skipping_) return MS::kSuccess;
    PlugKey key;
    bool skipped = false;
    if (MStatus st = plug(target, key, skipped); !st) return skipped ? MStatus(MS::kSuccess) : st;
    Scene& scene = runtime().scene;
    if (w.rest.size() > 1 || w.has("-type")) {
        Value v;
        const std::vector<Arg> values(w.rest.begin() + 1, w.rest.end());
        if (MStatus st = readValue(w.has("-type") ? w.value("-type") : std::string(), values, v); !st)
            return bad(target + ": " + st.errorString().str());
        if (MStatus st = checkValue(*key.attr, v, target); !st) return st;
        if (MStatus st = scene.write(key, std::move(v)); !st) return bad(target + ": " + st.errorString().str());
    }
    if (w.has("-l")) scene.setPlugLocked(key, w.value("-l") == "true");
    return MS::kSuccess;
}

MStatus Reader::parent(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-add", 0}}, w); !st) return st;
    if (!w.has("-add") || w.rest.size() != 2) return bad("parent takes -add, a node and a parent");
    const Node* child = node(w.rest[0].text);
    const Node* p = node(w.rest[1].text);
    if (!child || !p) {
        if (skipped_.count(w.rest[0].text) || skipped_.count(w.rest[1].text)) return MS::kSuccess;
        return bad("no node for parent '" + w.rest[0].text + "' '" + w.rest[1].text + "'");
    }
    return dag::addChild(p->id, child->id);
}

MStatus Reader::connectAttr(const std::vector<Arg>& args) {
    if (args.size() != 2) return bad("connectAttr takes two plugs");
    PlugKey src, dst;
    bool skippedSrc = false, skippedDst = false;
    const MStatus a = plug(args[0].text, src, skippedSrc);
    const MStatus b = plug(args[1].text, dst, skippedDst);
    if (skippedSrc || skippedDst) return MS::kSuccess;  // an end lies on a skipped node
    if (!a) return a;
    if (!b) return b;
    if (MStatus st = checkConnection(*src.attr, *dst.attr, args[0].text, args[1].text); !st) return st;
    return runtime().scene.connect(src, dst);
}

MStatus Reader::lockNode(const std::vector<Arg>& args) {
    Words w;
    if (MStatus st = split(args, {{"-l", 1}}, w); !st) return st;
    if (w.rest.size() != 1) return bad("lockNode takes one node");
    Node* n = node(w.rest[0].text);
    if (!n) return skipped_.count(w.rest[0].text) ? MStatus(MS::kSuccess) : bad("no node '" + w.rest[0].text + "'");
    n->locked = !w.has("-l") || w.value("-l") == "true";
    return MS::kSuccess;
}

Reader::Reader(std::string source) : source_(std::move(source)) {
    static const std::pair<const char*, Handler> handlers[] = {
        {"requires", &Reader::requireModule},         {"currentUnit", &Reader::currentUnit},
        {"playbackOptions", &Reader::playbackOptions}, {"currentTime", &Reader::currentTime},
        {"blindDataType", &Reader::blindDataType}, {"createNode", &Reader::createNode},
        {"addAttr", &Reader::addAttr},           {"setAttr", &Reader::setAttr},
        {"parent", &Reader::parent},             {"connectAttr", &Reader::connectAttr},
        {"lockNode", &Reader::lockNode},         {kEndOfScene, &Reader::endScene}};
    for (const auto& [name, handler] : handlers)
        commands_[name] = [this, h = handler](mel::Interpreter&, const std::vector<Arg>& args, Result&) {
            return (this->*h)(args);
        };
}

MStatus Reader::parse(const std::string& text) {
    text_ = &text;
    int lastLine = 1;         // of the last statement
    bool marked = false;      // the closing marker was met
    int afterMarker = 0;      // the line of the statement right after it
    const auto note = [&](const mel::FileStatement& s) {
        if (marked && afterMarker == 0) afterMarker = s.line;
        marked = marked || s.command == kEndOfScene;
        lastLine = s.line;
        return MStatus(MS::kSuccess);
    };
    if (MStatus st = mel::Interpreter::parseFile(text, commands_, source_, note, false); !st) return st;
    // The writer closes every file with the marker: without it the file was cut short.
    if (!marked)
        return bad(source_ + ":" + std::to_string(lastLine) + ": the file ends without its closing '" + kEndOfScene +
                   ";': it is cut short");
    if (afterMarker != 0)
        return bad(source_ + ":" + std::to_string(afterMarker) + ": statements after '" + kEndOfScene + ";'");
    return MS::kSuccess;
}

MStatus Reader::run() {
    if (MStatus st = runtime().mel().runFile(*text_, commands_, source_); !st) return st;
    if (!skipped_.empty())
        return bad(source_ + ":" + std::to_string(firstSkipped_) + ": unknown node types were skipped.");
    return MS::kSuccess;
}

// Quiet reading for the file's lifetime: no node-added callbacks, no computes, no undo.
class FileMode {
public:
    FileMode() : reading_(runtime().scene.readingFile), recording_(runtime().undo.recording) {
        runtime().scene.readingFile = true;
        runtime().undo.recording = false;
    }
    ~FileMode() {
        runtime().scene.readingFile = reading_;
        runtime().undo.recording = recording_;
    }
    FileMode(const FileMode&) = delete;
    FileMode& operator=(const FileMode&) = delete;

private:
    bool reading_, recording_;
};


// The whole file, when it is a regular file that can be read.
MStatus readText(const std::string& path, std::string& text) {
    struct stat sb {};
    if (stat(path.c_str(), &sb) != 0) return bad("Cannot read '" + path + "'.");
    if (!S_ISREG(sb.st_mode)) return bad("Cannot read '" + path + "': not a regular file.");
    // Read straight into the text: a scene file may be tens of megabytes, held once.
    std::ifstream in(path, std::ios::binary);
    text.clear();
    if (in) {
        text.resize(static_cast<std::size_t>(sb.st_size));
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        // A file that grew since stat keeps its tail too.
        if (in) {
            std::ostringstream rest;
            rest << in.rdbuf();
            text += rest.str();
        }
    }
    if (in.bad() || !in.is_open()) return bad("Cannot read '" + path + "'.");
    return MS::kSuccess;
}

}  // namespace

MStatus readScene(const std::string& text, const std::string& source) {
    Reader reader(source);
    if (MStatus st = reader.parse(text); !st) return st;
    const FileMode quiet;
    return reader.run();
}

void clearScene() {
    Scene& scene = runtime().scene;
    const std::uint64_t cam = runtime().cameraNode;
    const Node* camera = scene.find(cam);
    const auto ids = scene.nodeIds();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        Node* n = scene.find(*it);
        if (!n || !n->type->deletable || *it == cam) continue;
        if (camera && std::find(camera->parents.begin(), camera->parents.end(), *it) != camera->parents.end()) continue;
        n->locked = false;
        scene.deleteNode(*it);
    }
    runtime().selection.clear();
    runtime().blindDataTypes.clear();
}

MStatus openScene(const std::string& path, bool* replaced) {
    if (replaced) *replaced = false;
    std::string text;
    if (MStatus st = readText(path, text); !st) return st;
    Reader reader(path);
    if (MStatus st = reader.parse(text); !st) return st;
    runtime().messages.sceneMessage(MSceneMessage::kBeforeOpen);
    runtime().undo.flush();
    clearScene();
    if (replaced) *replaced = true;
    MStatus st;
    {
        const FileMode quiet;
        st = reader.run();
    }
    // The text is read: what runs after the open builds without it.
    std::string().swap(text);
    runtime().messages.sceneMessage(MSceneMessage::kAfterOpen);
    return st;
}

MStatus importScene(const std::string& path) {
    std::string text;
    if (MStatus st = readText(path, text); !st) return st;
    const MStatus st = readScene(text, path);
    runtime().messages.sceneMessage(MSceneMessage::kAfterImport);
    return st;
}

}  // namespace host::io
