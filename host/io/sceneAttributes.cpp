#include "host/io/sceneAttributes.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "host/io/sceneFile.h"
#include "host/io/sceneText.h"

namespace host::io {

namespace {

MStatus bad(const std::string& text) { return MStatus(MS::kFailure, text); }

// Names by enumerator value; values without a name are written as numbers.
const std::vector<const char*> kNumeric = {"number", "bool",  "byte",   "char",   "short",  "short2",
                                           "short3", "long",  "long2",  "long3",  "float",  "float2",
                                           "float3", "double", "double2", "double3"};
const std::vector<const char*> kData = {"none",        "numeric",   "plugin",     "pluginGeometry", "string",
                                        "matrix",      "stringArray", "doubleArray", "Int32Array",   "pointArray",
                                        "vectorArray", "data11",    "componentList", "mesh",        "lattice",
                                        "nurbsCurve",  "nurbsSurface"};
const std::vector<const char*> kUnit = {"unit", "doubleAngle", "doubleLinear", "time"};

std::string nameOf(const std::vector<const char*>& table, int value) {
    return value >= 0 && value < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(value)]
                                                                 : std::to_string(value);
}

// A type by name, or by the number written for one without a name; a number is
// taken only when it is one of the table's values, so no stored type lies outside
// its enumeration.
MStatus valueOf(const std::vector<const char*>& table, const std::string& name, int& value) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (name == table[i]) {
            value = static_cast<int>(i);
            return MS::kSuccess;
        }
    int number = 0;
    if (!readInt(name, number) || number < 0 || number >= static_cast<int>(table.size()))
        return bad("unknown attribute type '" + name + "'");
    value = number;
    return MS::kSuccess;
}

void flag(std::ostream& out, const char* name, bool value, bool usual) {
    if (value != usual) out << ' ' << name << (value ? " true" : " false");
}

}  // namespace

bool writeAttributeDefinition(std::ostream& out, const Attribute& a, const Attribute* parent) {
    bool finite = true;
    const auto spell = [&finite](double v) {
        finite = finite && std::isfinite(v);
        return real(v);
    };
    out << "addAttr -ln " << quoted(a.longName) << " -sn " << quoted(a.shortName);
    switch (a.kind) {
        case AttrKind::Numeric: out << " -at " << quoted(nameOf(kNumeric, a.numericType)); break;
        case AttrKind::Typed: out << " -dt " << quoted(nameOf(kData, a.dataType)); break;
        case AttrKind::Message: out << " -at \"message\""; break;
        case AttrKind::Enum: out << " -at \"enum\""; break;
        case AttrKind::Unit: out << " -at " << quoted(nameOf(kUnit, a.unitType)); break;
        case AttrKind::Compound: out << " -at \"compound\""; break;
    }
    if (a.array) out << " -m";
    const Attribute usual;
    flag(out, "-r", a.readable, usual.readable);
    flag(out, "-w", a.writable, usual.writable);
    flag(out, "-cn", a.connectable, usual.connectable);
    flag(out, "-s", a.storable, usual.storable);
    flag(out, "-k", a.keyable, usual.keyable);
    flag(out, "-h", a.hidden, usual.hidden);
    flag(out, "-ca", a.cached, usual.cached);
    flag(out, "-in", a.internal, usual.internal);
    if (const int* i = std::get_if<int>(&a.defaultValue)) out << " -dv " << *i;
    else if (const double* d = std::get_if<double>(&a.defaultValue)) out << " -dv " << spell(*d);
    else if (const Vec3* v = std::get_if<Vec3>(&a.defaultValue))
        out << " -dv3 " << spell((*v)[0]) << ' ' << spell((*v)[1]) << ' ' << spell((*v)[2]);
    else if (const std::string* s = std::get_if<std::string>(&a.defaultValue)) out << " -dvs " << quoted(*s);
    else if (const MTime* t = std::get_if<MTime>(&a.defaultValue))
        out << " -dvt " << spell(t->value()) << ' ' << timeUnitName(t->unit());
    if (a.minValue) out << " -min " << spell(*a.minValue);
    if (a.maxValue) out << " -max " << spell(*a.maxValue);
    if (!a.fields.empty()) {
        std::string fields;
        for (const auto& [name, value] : a.fields)
            fields += (fields.empty() ? "" : ":") + name + "=" + std::to_string(value);
        out << " -en " << quoted(fields);
    }
    if (!a.children.empty()) out << " -nc " << a.children.size();
    if (parent) out << " -p " << quoted(parent->longName);
    out << ";\n";
    for (const auto& c : a.children) finite = writeAttributeDefinition(out, *c, &a) && finite;
    return finite;
}

MStatus AttributeBuilder::add(const std::vector<mel::Arg>& args, AttributePtr& done) {
    static const std::map<std::string, int> arity = {
        {"-ln", 1}, {"-sn", 1}, {"-at", 1},  {"-dt", 1},  {"-m", 0},   {"-r", 1},   {"-w", 1},   {"-cn", 1},
        {"-s", 1},  {"-k", 1},  {"-h", 1},   {"-ca", 1},  {"-in", 1},  {"-dv", 1},  {"-dv3", 3}, {"-dvt", 2},
        {"-dvs", 1}, {"-min", 1}, {"-max", 1}, {"-en", 1}, {"-nc", 1}, {"-p", 1}};
    std::map<std::string, std::vector<std::string>> f;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto it = args[i].quoted ? arity.end() : arity.find(args[i].text);
        if (it == arity.end()) return bad("unexpected '" + args[i].text + "' in addAttr");
        auto& values = f[it->first];
        for (int k = 0; k < it->second; ++k) {
            if (++i >= args.size()) return bad("flag '" + it->first + "' needs a value");
            values.push_back(args[i].text);
        }
    }
    if (!f.count("-ln")) return bad("addAttr without a name");
    auto a = std::make_shared<Attribute>();
    a->longName = f["-ln"][0];
    a->shortName = f.count("-sn") ? f["-sn"][0] : a->longName;
    const std::string at = f.count("-at") ? f["-at"][0] : std::string();
    MStatus st;
    if (f.count("-dt")) {
        a->kind = AttrKind::Typed;
        st = valueOf(kData, f["-dt"][0], a->dataType);
    } else if (at == "message") {
        a->kind = AttrKind::Message;
    } else if (at == "enum") {
        a->kind = AttrKind::Enum;
    } else if (at == "compound") {
        a->kind = AttrKind::Compound;
    } else if (std::find(kUnit.begin(), kUnit.end(), at) != kUnit.end()) {
        a->kind = AttrKind::Unit;
        st = valueOf(kUnit, at, a->unitType);
    } else {
        a->kind = AttrKind::Numeric;
        st = valueOf(kNumeric, at, a->numericType);
    }
    if (!st) return st;
    a->array = f.count("-m") != 0;
    const auto setFlag = [&](const char* name, bool& field) {
        if (f.count(name)) field = f[name][0] == "true";
    };
    setFlag("-r", a->readable);
    setFlag("-w", a->writable);
    setFlag("-cn", a->connectable);
    setFlag("-s", a->storable);
    setFlag("-k", a->keyable);
    setFlag("-h", a->hidden);
    setFlag("-ca", a->cached);
    setFlag("-in", a->internal);
    if (f.count("-dv") && !(st = readNumber(f["-dv"][0], a->defaultValue))) return st;
    if (f.count("-dv3")) {
        Vec3 v{};
        for (std::size_t i = 0; i < 3; ++i)
            if (!(st = readReal(f["-dv3"][i], v[i]))) return st;
        a->defaultValue = v;
    }
    if (f.count("-dvs")) a->defaultValue = f["-dvs"][0];
    if (f.count("-dvt")) {
        double t = 0;
        MTime::Unit unit{};
        if (!(st = readReal(f["-dvt"][0], t)) || !timeUnitFrom(f["-dvt"][1], unit)) return bad("bad time default");
        a->defaultValue = MTime(t, unit);
    }
    for (auto [name, bound] : {std::pair{"-min", &a->minValue}, std::pair{"-max", &a->maxValue}})
        if (f.count(name)) {
            double v = 0;
            if (!(st = readReal(f[name][0], v))) return st;
            *bound = v;
        }
    if (f.count("-en")) {
        const std::string& list = f["-en"][0];
        for (std::size_t start = 0; start < list.size();) {
            const auto end = std::min(list.find(':', start), list.size());
            const std::string item = list.substr(start, end - start);
            const auto eq = item.rfind('=');
            int value = 0;
            if (eq == std::string::npos || !readInt(item.substr(eq + 1), value)) return bad("bad enum field '" + item + "'");
            a->fields.emplace_back(item.substr(0, eq), value);
            start = end + 1;
        }
    }
    int children = 0;
    if (f.count("-nc") && (!(st = readInt(f["-nc"][0], children)) || children < 0)) return bad("bad child count");

    // Every walk over an attribute's children may recurse (writing, freeing): a file
    // cannot nest them deeper than any type does.
    if (f.count("-p") && open_.size() >= kMaxAttributeDepth)
        return bad("attribute '" + a->longName + "' nests deeper than " + std::to_string(kMaxAttributeDepth) +
                   " compound levels");
    if (f.count("-p")) {
        if (open_.empty() || open_.back().attr->longName != f["-p"][0])
            return bad("attribute '" + a->longName + "' names parent '" + f["-p"][0] + "', which takes no children");
        Open& parent = open_.back();
        a->parent = parent.attr.get();
        a->childIndex = static_cast<int>(parent.attr->children.size());
        parent.attr->children.push_back(a);
        --parent.missing;
    } else if (!open_.empty()) {
        return bad("attribute '" + open_.back().attr->longName + "' misses children");
    }
    if (children > 0) open_.push_back(Open{a, children});
    // Close every compound that has all its children; the outermost one is done.
    done = nullptr;
    if (!a->parent && children == 0) done = a;
    while (!open_.empty() && open_.back().missing == 0) {
        AttributePtr closed = open_.back().attr;
        open_.pop_back();
        if (open_.empty()) done = closed;
    }
    return MS::kSuccess;
}

}  // namespace host::io
