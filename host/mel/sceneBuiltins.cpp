#include <algorithm>

#include "host/api/argList.h"
#include "host/api/fnAttribute.h"
#include "host/core/runtime.h"
#include "host/core/valueCheck.h"
#include "host/mel/builtinArgs.h"

namespace host::mel {

namespace {

struct PlugRef {
    Node* node = nullptr;
    const Attribute* attr = nullptr;
    int index = -1;
    PlugKey key() const { return PlugKey{node->id, runtime().scene.attributePtr(*node, attr), index}; }
};

// "node.attr", "node.attr[3]" or "node.parent[3].child". `why` tells what is wrong
// with a plug that names an existing attribute.
bool resolvePlug(const std::string& text, PlugRef& out, std::string* why = nullptr) {
    const auto dot = text.find('.');
    if (dot == std::string::npos) return false;
    Scene& scene = runtime().scene;
    out.node = scene.findByName(text.substr(0, dot));
    if (!out.node) return false;
    std::string path = text.substr(dot + 1);
    if (!path.empty() && path[0] == '.') path = path.substr(1);
    const auto inner = path.find('.');
    std::string head = inner == std::string::npos ? path : path.substr(0, inner);
    bool badIndex = false;
    if (const auto b = head.find('['); b != std::string::npos) {
        const MString index(head.substr(b + 1, head.size() - b - 2));
        badIndex = head.back() != ']' || !index.isInt() || index.asInt() < 0;
        out.index = badIndex ? -1 : index.asInt();
        head = head.substr(0, b);
    }
    out.attr = scene.findAttribute(*out.node, head);
    if (out.attr && inner != std::string::npos) {
        const std::string child = path.substr(inner + 1);
        const Attribute* found = nullptr;
        for (const auto& c : out.attr->children)
            if (c->matches(child)) found = c.get();
        out.attr = found;
    }
    if (!out.attr) return false;
    MStatus st = badIndex ? MStatus(MS::kInvalidParameter, "'" + text + "' has a bad element index")
                          : checkIndex(*out.attr, out.index, text);
    if (!st && why) *why = st.errorString().str();
    return st == MS::kSuccess;
}

MStatus noPlug(const std::string& cmd, const std::string& text, const std::string& why = {}) {
    return commandError(cmd, why.empty() ? "No object matches name: " + text : why);
}

MStatus renameCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    if (args.size() < 2) return commandError("rename", "Two names expected");
    Node* n = runtime().scene.findByName(args[0].text);
    if (!n) return noPlug("rename", args[0].text);
    std::string given;
    const MStatus st = runtime().scene.rename(n->id, args[1].text, &given);
    if (!st) return commandError("rename", st.errorString().str());
    result = given;
    return MS::kSuccess;
}

MStatus setAttrCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    // Negative numbers are values, not flags: only known flag names are taken as flags.
    std::vector<Arg> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& t = args[i].text;
        if (!args[i].quoted && (t == "-type" || t == "-typ" || t == "-l" || t == "-lock") && i + 1 < args.size()) {
            p.flags[t == "-type" || t == "-typ" ? "typ" : "l"].push_back(args[++i].text);
            continue;
        }
        rest.push_back(args[i]);
    }
    if (rest.empty()) return commandError("setAttr", "No attribute given");
    PlugRef ref;
    std::string why;
    if (!resolvePlug(rest[0].text, ref, &why)) return noPlug("setAttr", rest[0].text, why);
    Scene& scene = runtime().scene;
    const PlugKey key = ref.key();
    if (p.has("l")) {
        scene.setPlugLocked(key, truthy(p.value("l")));
        if (rest.size() == 1) return MS::kSuccess;
    }
    if (rest.size() < 2) return commandError("setAttr", "No value given");
    const Attribute* a = ref.attr;
    const std::string& name = rest[0].text;
    const std::string what = "'" + name + "'";
    Value v;
    if (a->kind == AttrKind::Typed) {
        v = rest[1].text;
    } else if (a->kind == AttrKind::Numeric && !a->children.empty()) {
        if (rest.size() < 4) return commandError("setAttr", "Three values expected");
        Vec3 x{};
        for (std::size_t i = 0; i < 3; ++i)
            if (MStatus st = realArg("setAttr", what, rest[1 + i].text, x[i]); !st) return st;
        v = x;
    } else if (a->kind == AttrKind::Unit && a->unitType == MFnUnitAttribute::kTime) {
        double t = 0;
        if (MStatus st = realArg("setAttr", what, rest[1].text, t); !st) return st;
        v = MTime(t, runtime().options.timeUnit);
    } else if (a->kind == AttrKind::Enum && !MString(rest[1].text).isInt()) {
        const auto f = std::find_if(a->fields.begin(), a->fields.end(),
                                    [&](const auto& fl) { return fl.first == rest[1].text; });
        if (f == a->fields.end()) return commandError("setAttr", "Unknown enum value: " + rest[1].text);
        v = f->second;
    } else {
        const std::string& t = rest[1].text;
        bool b = false;
        const bool integral = a->kind == AttrKind::Enum ||
                              (a->kind == AttrKind::Numeric && a->numericType > 0 &&
                               a->numericType < MFnNumericData::kFloat);
        double d = 0;
        if (parseBool(t, b) && !MString(t).isDouble())
            v = b ? 1 : 0;
        else if (!MString(t).isDouble())
            return commandError("setAttr", "Invalid value: " + t);
        else if (MStatus st = realArg("setAttr", what, t, d); !st)
            return st;
        else if (integral && !fitsInt(d))
            return commandError("setAttr", what + " needs a whole number within the integer range, not '" + t + "'");
        else if (integral)
            v = static_cast<int>(d);
        else
            v = d;
    }
    if (MStatus st = checkValue(*a, v, name); !st) return commandError("setAttr", st.errorString().str());
    const MStatus st = scene.write(key, v);
    if (!st) return commandError("setAttr", st.errorString().str());
    return MS::kSuccess;
}

MStatus getAttrCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("getAttr", args, {{"l", "lock", 0}, {"s", "size", 0}}, p); !st) return st;
    if (p.words.empty()) return commandError("getAttr", "No attribute given");
    PlugRef ref;
    if (!resolvePlug(p.words[0].text, ref)) return noPlug("getAttr", p.words[0].text);
    Scene& scene = runtime().scene;
    if (p.has("l")) {
        result = scene.plugLocked(ref.key()) ? 1 : 0;
        return MS::kSuccess;
    }
    if (p.has("s")) {
        result = static_cast<int>(scene.elementIndices(*ref.node, ref.attr).size());
        return MS::kSuccess;
    }
    const Value v = scene.read(ref.key());
    if (auto d = std::get_if<Vec3>(&v))
        result = std::vector<double>{(*d)[0], (*d)[1], (*d)[2]};
    else if (auto i = std::get_if<int>(&v))
        result = *i;
    else if (auto x = std::get_if<double>(&v))
        result = *x;
    else if (auto s = std::get_if<std::string>(&v))
        result = *s;
    else if (auto t = std::get_if<MTime>(&v))
        result = t->value();
    return MS::kSuccess;
}

MStatus connectAttrCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("connectAttr", args, {{"f", "force", 0}, {"na", "nextAvailable", 0}}, p); !st) return st;
    if (p.words.size() < 2) return commandError("connectAttr", "Two plugs expected");
    PlugRef src, dst;
    std::string why;
    if (!resolvePlug(p.words[0].text, src, &why)) return noPlug("connectAttr", p.words[0].text, why);
    if (!resolvePlug(p.words[1].text, dst, &why)) return noPlug("connectAttr", p.words[1].text, why);
    if (MStatus st = checkConnection(*src.attr, *dst.attr, p.words[0].text, p.words[1].text); !st)
        return commandError("connectAttr", st.errorString().str());
    if (p.has("na") && dst.attr->array && dst.index < 0) {
        const auto used = runtime().scene.elementIndices(*dst.node, dst.attr);
        dst.index = used.empty() ? 0 : used.back() + 1;
    }
    const MStatus st = runtime().scene.connect(src.key(), dst.key(), p.has("f"));
    if (!st) return commandError("connectAttr", st.errorString().str());
    return MS::kSuccess;
}

MStatus disconnectAttrCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    if (args.size() < 2) return commandError("disconnectAttr", "Two plugs expected");
    PlugRef src, dst;
    if (!resolvePlug(args[0].text, src)) return noPlug("disconnectAttr", args[0].text);
    if (!resolvePlug(args[1].text, dst)) return noPlug("disconnectAttr", args[1].text);
    const MStatus st = runtime().scene.disconnect(src.key(), dst.key());
    if (!st) return commandError("disconnectAttr", st.errorString().str());
    return MS::kSuccess;
}

MStatus addAttrCmd(Interpreter&, const std::vector<Arg>& args, Result&) {
    ParsedArgs p;
    if (MStatus st = parseArgs("addAttr", args,
                               {{"ln", "longName", 1}, {"sn", "shortName", 1}, {"at", "attributeType", 1},
                                {"dt", "dataType", 1}, {"dv", "defaultValue", 1}, {"m", "multi", 0},
                                {"k", "keyable", 1}, {"min", "minValue", 1}, {"max", "maxValue", 1},
                                {"en", "enumName", 1}, {"h", "hidden", 1}},
                               p);
        !st)
        return st;
    if (!p.has("ln")) return commandError("addAttr", "No long name given");
    std::vector<std::uint64_t> targets;
    for (const auto& w : p.words) {
        Node* n = runtime().scene.findByName(w.text);
        if (!n) return noPlug("addAttr", w.text);
        targets.push_back(n->id);
    }
    if (p.words.empty()) targets = runtime().selection;
    if (targets.empty()) return commandError("addAttr", "No object given and nothing selected");
    if (MStatus st = realFlags("addAttr", p, {"dv", "min", "max"}); !st) return st;
    const std::string type = p.has("dt") ? p.value("dt") : p.has("at") ? p.value("at") : "double";
    for (const auto id : targets) {
        auto a = std::make_shared<Attribute>();
        a->longName = p.value("ln");
        a->shortName = p.has("sn") ? p.value("sn") : a->longName;
        a->array = p.has("m");
        a->keyable = p.has("k") && truthy(p.value("k"));
        a->hidden = p.has("h") && truthy(p.value("h"));
        const double dv = MString(p.value("dv")).asDouble();
        if (type == "string") {
            a->kind = AttrKind::Typed;
            a->dataType = MFnData::kString;
            a->defaultValue = std::string();
        } else if (type == "message") {
            a->kind = AttrKind::Message;
            a->storable = false;
        } else if (type == "bool" || type == "long" || type == "short" || type == "byte" || type == "enum") {
            a->kind = type == "enum" ? AttrKind::Enum : AttrKind::Numeric;
            a->numericType = type == "bool" ? MFnNumericData::kBoolean : MFnNumericData::kInt;
            if (!fitsInt(dv)) return commandError("addAttr", "-dv needs a whole number within the integer range");
            a->defaultValue = static_cast<int>(dv);
            if (type == "enum") {
                MStringArray names;
                MString(p.value("en")).split(':', names);
                for (unsigned i = 0; i < names.length(); ++i) a->fields.emplace_back(names[i].str(), int(i));
            }
        } else if (type == "double" || type == "float") {
            a->numericType = type == "double" ? MFnNumericData::kDouble : MFnNumericData::kFloat;
            a->defaultValue = dv;
        } else {
            return commandError("addAttr", "Unsupported attribute type: " + type);
        }
        if (p.has("min")) a->minValue = MString(p.value("min")).asDouble();
        if (p.has("max")) a->maxValue = MString(p.value("max")).asDouble();
        Node* n = runtime().scene.find(id);
        const MStatus st = runtime().scene.addDynamicAttribute(*n, a);
        if (!st) return commandError("addAttr", "Found an attribute named '" + a->longName + "' on " + n->name + ".");
    }
    return MS::kSuccess;
}

MStatus attributeQueryCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("attributeQuery", args, {{"n", "node", 1}, {"ex", "exists", 0}}, p); !st) return st;
    if (!p.has("n") || p.words.empty()) return commandError("attributeQuery", "-node and an attribute expected");
    Node* n = runtime().scene.findByName(p.value("n"));
    if (!n) return noPlug("attributeQuery", p.value("n"));
    result = runtime().scene.findAttribute(*n, p.words[0].text) ? 1 : 0;
    return MS::kSuccess;
}

MStatus lsCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("ls", args, {{"typ", "type", 1}, {"et", "exactType", 1}, {"sl", "selection", 0}}, p);
        !st)
        return st;
    std::vector<std::string> names;
    Scene& scene = runtime().scene;
    const auto ids = p.has("sl") ? runtime().selection : scene.nodeIds();
    for (const auto id : ids) {
        const Node* n = scene.find(id);
        if (!n) continue;
        if (p.has("et") && std::find(p.flags["et"].begin(), p.flags["et"].end(), n->type->name) == p.flags["et"].end())
            continue;
        if (p.has("typ")) {
            bool any = false;
            for (const auto& t : p.flags["typ"]) any = any || t == n->type->name || t == "dependNode";
            if (!any) continue;
        }
        bool matched = p.words.empty();
        for (const auto& w : p.words) matched = matched || globMatch(w.text, n->name);
        if (matched) names.push_back(n->name);
    }
    result = names;
    return MS::kSuccess;
}

MStatus lockNodeCmd(Interpreter&, const std::vector<Arg>& args, Result& result) {
    ParsedArgs p;
    if (MStatus st = parseArgs("lockNode", args, {{"l", "lock", 1}, {"q", "query", 0}}, p); !st) return st;
    std::vector<std::uint64_t> ids;
    for (const auto& w : p.words) {
        Node* n = runtime().scene.findByName(w.text);
        if (!n) return noPlug("lockNode", w.text);
        ids.push_back(n->id);
    }
    if (p.words.empty()) ids = runtime().selection;
    std::vector<int> states;
    for (const auto id : ids) {
        Node* n = runtime().scene.find(id);
        if (p.has("q"))
            states.push_back(n->locked ? 1 : 0);
        else
            n->locked = p.has("l") ? truthy(p.value("l")) : true;
    }
    if (p.has("q")) result = states;
    return MS::kSuccess;
}

}  // namespace

void addSceneBuiltins(std::map<std::string, Builtin>& table) {
    table["rename"] = renameCmd;
    table["setAttr"] = setAttrCmd;
    table["getAttr"] = getAttrCmd;
    table["connectAttr"] = connectAttrCmd;
    table["disconnectAttr"] = disconnectAttrCmd;
    table["addAttr"] = addAttrCmd;
    table["attributeQuery"] = attributeQueryCmd;
    table["ls"] = lsCmd;
    table["lockNode"] = lockNodeCmd;
}

}  // namespace host::mel
