#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "host/api/component.h"
#include "host/api/messages.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/scene/animationData.h"
#include "host/scene/dag.h"
#include "host/scene/meshGeometry.h"

namespace host::io {

namespace {

// Words of one line; quoted words lose their quotes and escapes.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string w;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                    w += line[i] == 'n' ? '\n' : line[i];
                } else
                    w += line[i];
            }
            ++i;
        } else
            while (i < line.size() && line[i] != ' ') w += line[i++];
        out.push_back(std::move(w));
    }
    return out;
}

double num(const std::string& s) {
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}
float numf(const std::string& s) {
    float v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}
int integer(const std::string& s) {
    int v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

class Reader {
public:
    Reader(std::istream& in, std::string source) : in_(in), source_(std::move(source)) {}
    MStatus run();

private:
    MStatus fail(const std::string& text) {
        return MStatus(MS::kFailure, source_ + " line " + std::to_string(line_) + ": " + text);
    }
    bool next(std::vector<std::string>& w) {
        std::string text;
        if (!std::getline(in_, text)) return false;
        ++line_;
        w = words(text);
        return true;
    }
    MStatus statement(const std::vector<std::string>& w);
    // The value after w[from]: reads further lines for meshes and keys.
    MStatus value(const std::vector<std::string>& w, std::size_t from, Value& out);
    MStatus mesh(Value& out);
    bool plug(const std::string& text, PlugKey& key, const Node* relativeTo) const;

    std::istream& in_;
    std::string source_;
    int line_ = 0;
    Node* current_ = nullptr;  // the node last created: target of addAttr and setAttr
    bool skipping_ = false;    // the current node's type is unknown
    bool unknown_ = false;
};

bool Reader::plug(const std::string& text, PlugKey& key, const Node* relativeTo) const {
    Scene& scene = runtime().scene;
    const Node* n = relativeTo;
    std::string path = text;
    if (!n) {
        const auto dot = text.find('.');
        if (dot == std::string::npos || !(n = scene.findByName(text.substr(0, dot)))) return false;
        path = text.substr(dot + 1);
    }
    const auto inner = path.find('.');
    std::string head = inner == std::string::npos ? path : path.substr(0, inner);
    int index = -1;
    if (const auto b = head.find('['); b != std::string::npos) {
        index = integer(head.substr(b + 1));
        head = head.substr(0, b);
    }
    const Attribute* a = scene.findAttribute(*n, head);
    if (a && inner != std::string::npos) {
        const std::string child = path.substr(inner + 1);
        const Attribute* found = nullptr;
        for (const auto& c : a->children)
            if (c->matches(child)) found = c.get();
        a = found;
    }
    if (!a) return false;
    key = PlugKey{n->id, scene.attributePtr(*n, a), index};
    return true;
}

MStatus Reader::mesh(Value& out) {
    auto data = std::make_shared<MeshData>();
    MeshGeometry& g = data->geometry;
    std::vector<std::string> w;
    while (next(w)) {
        if (w.empty()) continue;
        const std::string& tag = w[0];
        if (tag == "end") {
            out = std::shared_ptr<DataObject>(data);
            return MS::kSuccess;
        }
        if (tag == "p" && w.size() == 4) {
            g.points.push_back({numf(w[1]), numf(w[2]), numf(w[3])});
        } else if (tag == "f" && w.size() >= 2) {
            std::vector<std::vector<int>> loops;
            std::size_t i = 2;
            for (int l = 0; l < integer(w[1]) && i < w.size(); ++l) {
                const int size = integer(w[i++]);
                std::vector<int> loop;
                for (int k = 0; k < size && i < w.size(); ++k) loop.push_back(integer(w[i++]));
                loops.push_back(std::move(loop));
            }
            g.addPolygon(loops);
        } else if (tag == "n" && w.size() == 5) {
            const int k = integer(w[1]);
            if (k < 0 || k >= g.numFaceVertices()) return fail("normal of a missing face-vertex");
            g.lockedNormals[k] = {numf(w[2]), numf(w[3]), numf(w[4])};
            g.normalLocked[k] = 1;
        } else if (tag == "uvset" && w.size() == 2) {
            g.uvSets.push_back(UVSetData{w[1], {}, {}, {}});
        } else if (tag == "uv" && w.size() == 3 && !g.uvSets.empty()) {
            g.uvSets.back().u.push_back(numf(w[1]));
            g.uvSets.back().v.push_back(numf(w[2]));
        } else if (tag == "uvf" && !g.uvSets.empty()) {
            for (std::size_t i = 1; i < w.size(); ++i) g.uvSets.back().ids.push_back(integer(w[i]));
        } else if (tag == "curuv" && w.size() == 2) {
            g.currentUVSet = integer(w[1]);
        } else if (tag == "colorset" && w.size() == 2) {
            g.colorSets.push_back(ColorSetData{w[1], {}, {}});
        } else if (tag == "c" && w.size() == 6 && !g.colorSets.empty()) {
            g.colorSets.back().has.push_back(static_cast<char>(integer(w[1])));
            g.colorSets.back().colors.push_back({numf(w[2]), numf(w[3]), numf(w[4]), numf(w[5])});
        } else if (tag == "curcolor" && w.size() == 2) {
            g.currentColorSet = integer(w[1]);
        } else if (tag == "b" && w.size() == 7) {
            Value v;
            if (w[5] == "i") v = integer(w[6]);
            else if (w[5] == "d") v = num(w[6]);
            else v = w[6];
            g.blindData[integer(w[1])][integer(w[2])][integer(w[3])][w[4]] = std::move(v);
        } else
            return fail("bad mesh line '" + tag + "'");
    }
    return fail("mesh without end");
}

MStatus Reader::value(const std::vector<std::string>& w, std::size_t from, Value& out) {
    if (from >= w.size()) return fail("value expected");
    const std::string& tag = w[from];
    const std::size_t n = w.size() - from - 1;
    if (tag == "i" && n == 1) out = integer(w[from + 1]);
    else if (tag == "d" && n == 1) out = num(w[from + 1]);
    else if (tag == "v" && n == 3) out = Vec3{num(w[from + 1]), num(w[from + 2]), num(w[from + 3])};
    else if (tag == "s" && n == 1) out = w[from + 1];
    else if (tag == "t" && n == 2) out = MTime(num(w[from + 1]), static_cast<MTime::Unit>(integer(w[from + 2])));
    else if (tag == "faces") {
        std::vector<int> faces;
        for (std::size_t i = from + 1; i < w.size(); ++i) faces.push_back(integer(w[i]));
        out = makeComponent(MFn::kMeshPolygonComponent, std::move(faces)).data();
    } else if (tag == "mesh")
        return mesh(out);
    else if (tag == "keys") {
        auto keys = std::make_shared<AnimKeysData>();
        std::vector<std::string> k;
        while (next(k)) {
            if (!k.empty() && k[0] == "end") {
                out = std::shared_ptr<DataObject>(keys);
                return MS::kSuccess;
            }
            if (k.size() != 5 || k[0] != "k") return fail("bad key line");
            keys->keys.push_back(AnimKey{MTime(num(k[1]), static_cast<MTime::Unit>(integer(k[2]))), num(k[3]), k[4] == "1"});
        }
        return fail("keys without end");
    } else
        return fail("bad value '" + tag + "'");
    return MS::kSuccess;
}

MStatus Reader::statement(const std::vector<std::string>& w) {
    Runtime& rt = runtime();
    Scene& scene = rt.scene;
    const std::string& cmd = w[0];
    if (cmd == "requires" && w.size() == 2) {
        if (rt.modules.find(w[1])) return MS::kSuccess;
        if (MStatus st = rt.modules.load(w[1]); !st) return fail("cannot load required module '" + w[1] + "'");
    } else if (cmd == "currentUnit" && w.size() == 2) {
        rt.options.timeUnit = static_cast<MTime::Unit>(integer(w[1]));
    } else if (cmd == "playbackOptions" && w.size() == 6) {
        const auto unit = rt.options.timeUnit;
        rt.time.minTime = MTime(num(w[1]), unit);
        rt.time.maxTime = MTime(num(w[2]), unit);
        rt.time.animationStart = MTime(num(w[3]), unit);
        rt.time.animationEnd = MTime(num(w[4]), unit);
        rt.time.playbackSpeed = num(w[5]);
    } else if (cmd == "currentTime" && w.size() == 3) {
        // Stored quietly: an opened scene computes nothing until asked.
        if (Node* t = scene.find(rt.timeNode()))
            for (auto& [key, slot] : t->slots)
                if (std::holds_alternative<MTime>(slot.value))
                    slot.value = MTime(num(w[1]), static_cast<MTime::Unit>(integer(w[2])));
    } else if (cmd == "blindDataType" && (w.size() - 2) % 3 == 0) {
        BlindDataType type;
        for (std::size_t i = 2; i + 2 < w.size(); i += 3) {
            type.longNames.push_back(w[i]);
            type.shortNames.push_back(w[i + 1]);
            type.formats.push_back(w[i + 2]);
        }
        rt.blindDataTypes[integer(w[1])] = std::move(type);
    } else if (cmd == "createNode" && (w.size() == 3 || w.size() == 4)) {
        current_ = nullptr;
        NodeType* type = rt.registry.findType(w[1]);
        skipping_ = type == nullptr;
        if (!type) {
            unknown_ = true;
            rt.log.add(LogKind::Error, "Unknown node type '" + w[1] + "' in " + source_ + "; node '" + w[2] + "' skipped.");
            return MS::kSuccess;
        }
        std::uint64_t parent = 0;
        if (w.size() == 4) {
            const Node* p = scene.findByName(w[3]);
            if (!p) return fail("no parent '" + w[3] + "'");
            parent = p->id;
        }
        MStatus st;
        const auto made = dag::createNode(*type, w[2], parent, false, &st);
        if (made.empty()) return fail("cannot create '" + w[2] + "'");
        current_ = scene.find(made.back());
    } else if (skipping_ && (cmd == "addAttr" || cmd == "default" || cmd == "setAttr")) {
        return MS::kSuccess;
    } else if (cmd == "addAttr" && w.size() >= 8 && current_) {
        auto a = std::make_shared<Attribute>();
        a->longName = w[1];
        a->shortName = w[2];
        a->kind = static_cast<AttrKind>(integer(w[3]));
        a->numericType = integer(w[4]);
        a->dataType = integer(w[5]);
        a->unitType = integer(w[6]);
        const std::string& flags = w[7];
        if (flags.size() != 5) return fail("bad attribute flags");
        a->array = flags[0] == '1';
        a->storable = flags[1] == '1';
        a->keyable = flags[2] == '1';
        a->hidden = flags[3] == '1';
        a->connectable = flags[4] == '1';
        for (std::size_t i = 8; i + 1 < w.size(); i += 2) a->fields.emplace_back(w[i], integer(w[i + 1]));
        if (MStatus st = scene.addDynamicAttribute(*current_, a); !st) return fail(st.errorString().str());
    } else if (cmd == "default" && w.size() >= 3 && current_) {
        const Attribute* a = scene.findAttribute(*current_, w[1]);
        const auto& dyn = current_->dynamicAttributes;
        if (!a || std::none_of(dyn.begin(), dyn.end(), [a](const AttributePtr& d) { return d.get() == a; }))
            return fail("no dynamic attribute '" + w[1] + "'");
        Value v;
        if (MStatus st = value(w, 2, v); !st) return st;
        AttributePtr owned = scene.attributePtr(*current_, a);
        owned->defaultValue = v;
        for (auto& [key, slot] : current_->slots)
            if (key.attr == a) slot.value = v;
    } else if (cmd == "setAttr" && w.size() >= 3 && current_) {
        PlugKey key;
        if (!plug(w[1], key, current_)) return fail("no attribute '" + w[1] + "'");
        Value v;
        if (MStatus st = value(w, 2, v); !st) return st;
        if (MStatus st = scene.write(key, std::move(v)); !st) return fail(st.errorString().str());
    } else if (cmd == "connectAttr" && w.size() == 3) {
        PlugKey src, dst;
        if (!plug(w[1], src, nullptr) || !plug(w[2], dst, nullptr)) {
            if (unknown_) return MS::kSuccess;  // an end lies on a skipped node
            return fail("no plug for '" + w[1] + "' -> '" + w[2] + "'");
        }
        if (MStatus st = scene.connect(src, dst); !st) return fail(st.errorString().str());
    } else if (cmd == "lockAttr" && w.size() == 2) {
        PlugKey key;
        if (!plug(w[1], key, nullptr)) return unknown_ ? MStatus(MS::kSuccess) : fail("no plug '" + w[1] + "'");
        scene.setPlugLocked(key, true);
    } else if (cmd == "lockNode" && w.size() == 2) {
        Node* n = scene.findByName(w[1]);
        if (!n) return unknown_ ? MStatus(MS::kSuccess) : fail("no node '" + w[1] + "'");
        n->locked = true;
    } else
        return fail("bad statement '" + cmd + "'");
    return MS::kSuccess;
}

MStatus Reader::run() {
    std::vector<std::string> w;
    while (next(w)) {
        if (w.empty()) continue;
        if (MStatus st = statement(w); !st) return st;
    }
    if (unknown_) return MStatus(MS::kFailure, source_ + ": unknown node types were skipped.");
    return MS::kSuccess;
}

// Quiet reading for the file's lifetime: no node-added callbacks, no computes, no undo.
class FileMode {
public:
    FileMode() : recording_(runtime().undo.recording) {
        runtime().scene.readingFile = true;
        runtime().undo.recording = false;
    }
    ~FileMode() {
        runtime().scene.readingFile = false;
        runtime().undo.recording = recording_;
    }
    FileMode(const FileMode&) = delete;
    FileMode& operator=(const FileMode&) = delete;

private:
    bool recording_;
};

}  // namespace

MStatus readScene(std::istream& in, const std::string& source) {
    const FileMode quiet;
    return Reader(in, source).run();
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

MStatus openScene(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return MStatus(MS::kFailure, "Cannot read '" + path + "'.");
    runtime().messages.sceneMessage(MSceneMessage::kBeforeOpen);
    runtime().undo.flush();
    clearScene();
    const MStatus st = readScene(in, path);
    runtime().messages.sceneMessage(MSceneMessage::kAfterOpen);
    return st;
}

MStatus importScene(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return MStatus(MS::kFailure, "Cannot read '" + path + "'.");
    const MStatus st = readScene(in, path);
    runtime().messages.sceneMessage(MSceneMessage::kAfterImport);
    return st;
}

}  // namespace host::io
