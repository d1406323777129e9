#include "host/io/sceneText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "host/api/component.h"
#include "host/core/numericData.h"
#include "host/core/valueCheck.h"
#include "host/io/sceneFile.h"
#include "host/io/sceneWriters.h"
#include "host/scene/animationData.h"
#include "host/scene/curveData.h"
#include "host/scene/meshShape.h"

namespace host::io {

namespace {

constexpr std::pair<const char*, MTime::Unit> kUnits[] = {
    {"hour", MTime::kHours}, {"min", MTime::kMinutes},     {"sec", MTime::kSeconds},    {"millisec", MTime::kMilliseconds},
    {"game", MTime::kGames}, {"film", MTime::kFilm},       {"pal", MTime::kPALFrame},   {"ntsc", MTime::kNTSCFrame},
    {"show", MTime::kShowScan}, {"palf", MTime::kPALField}, {"ntscf", MTime::kNTSCField}};

// Component kinds a file can name.
constexpr MFn::Type kComponents[] = {MFn::kMeshPolygonComponent, MFn::kMeshEdgeComponent, MFn::kMeshVertComponent};

MStatus bad(const std::string& text) { return MStatus(MS::kFailure, text); }

// Spells the numbers of one value and notes whether each was finite: a file never
// holds inf or nan, so a value with one is not written.
struct Spelling {
    bool finite = true;
    std::string operator()(double v) {
        finite = finite && std::isfinite(v);
        return real(v);
    }
    std::string operator()(float v) {
        finite = finite && std::isfinite(v);
        return number(v);
    }
};

void writeMesh(std::ostream& out, const MeshGeometry& g, Spelling& spell) {
    out << "-type \"mesh\"";
    for (const auto& p : g.points) out << "\n  v " << spell(p[0]) << ' ' << spell(p[1]) << ' ' << spell(p[2]);
    for (int p = 0; p < g.numPolygons(); ++p) {
        out << "\n  f " << g.polygonLoops[p];
        int k = g.polygonStart[p];
        for (int l = g.polygonFirstLoop[p]; l < g.polygonFirstLoop[p + 1]; ++l) {
            out << ' ' << g.loopSizes[l];
            for (int i = 0; i < g.loopSizes[l]; ++i) out << ' ' << g.faceVertices[k++];
        }
    }
    for (int k = 0; k < g.numFaceVertices(); ++k)
        if (g.normalLocked[k]) {
            const auto& n = g.lockedNormals[k];
            out << "\n  n " << k << ' ' << spell(n[0]) << ' ' << spell(n[1]) << ' ' << spell(n[2]);
        }
    for (const auto& set : g.uvSets) {
        out << "\n  uvset " << quoted(set.name);
        for (std::size_t i = 0; i < set.u.size(); ++i) out << "\n  uv " << spell(set.u[i]) << ' ' << spell(set.v[i]);
        for (int p = 0; p < g.numPolygons(); ++p) {
            out << "\n  uvf";
            for (int k = g.polygonStart[p]; k < g.polygonStart[p + 1]; ++k) out << ' ' << set.ids[k];
        }
    }
    out << "\n  curuv " << g.currentUVSet;
    for (const auto& set : g.colorSets) {
        out << "\n  colorset " << quoted(set.name);
        for (std::size_t i = 0; i < set.colors.size(); ++i) {
            const auto& c = set.colors[i];
            out << "\n  c " << int(set.has[i]) << ' ' << spell(c[0]) << ' ' << spell(c[1]) << ' ' << spell(c[2])
                << ' ' << spell(c[3]);
        }
    }
    out << "\n  curcolor " << g.currentColorSet;
    for (const auto& [type, kinds] : g.blindData)
        for (const auto& [kind, comps] : kinds)
            for (const auto& [comp, attrs] : comps)
                for (const auto& [name, v] : attrs) {
                    out << "\n  b " << type << ' ' << kind << ' ' << comp << ' ' << quoted(name) << ' ';
                    if (const int* i = std::get_if<int>(&v)) out << *i;
                    else if (const double* d = std::get_if<double>(&v)) out << spell(*d);
                    else out << quoted(valueAsString(v));
                }
}

// Words grouped by source line: a multi-line value has one item per line.
std::vector<std::vector<const mel::Arg*>> lines(const std::vector<mel::Arg>& words) {
    std::vector<std::vector<const mel::Arg*>> out;
    int line = -1;
    for (const auto& w : words) {
        if (out.empty() || w.line != line) out.emplace_back();
        line = w.line;
        out.back().push_back(&w);
    }
    return out;
}

// Numbers of a file: the whole word, finite (a file never holds inf or nan).
float toFloat(const std::string& s, bool& ok) {
    float v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    ok = ok && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
    return v;
}

int toInt(const std::string& s, bool& ok) {
    int v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    ok = ok && r.ec == std::errc() && r.ptr == s.data() + s.size();
    return v;
}

double toReal(const std::string& s, bool& ok) {
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    ok = ok && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
    return v;
}

MStatus readMesh(const std::vector<mel::Arg>& words, Value& out) {
    auto data = std::make_shared<MeshData>();
    MeshGeometry& g = data->geometry;
    std::vector<int> uvFaces;  // per UV set: faces given so far
    for (const auto& w : lines(words)) {
        const std::string& tag = w[0]->text;
        const std::size_t n = w.size();
        bool ok = true;
        auto f = [&](std::size_t i) { return toFloat(w[i]->text, ok); };
        auto i = [&](std::size_t k) { return toInt(w[k]->text, ok); };
        if (tag == "v" && n == 4) {
            g.points.push_back({f(1), f(2), f(3)});
        } else if (tag == "f" && n >= 2) {
            std::vector<std::vector<int>> loops;
            std::size_t k = 2;
            for (int l = 0, count = i(1); l < count && ok; ++l) {
                if (k >= n) return bad("short face");
                const int size = i(k++);
                if (size < 0 || k + static_cast<std::size_t>(size) > n) return bad("short face");
                std::vector<int> loop;
                for (int c = 0; c < size; ++c) {
                    const int v = i(k++);
                    if (v < 0 || v >= static_cast<int>(g.points.size())) return bad("face of a missing vertex");
                    loop.push_back(v);
                }
                loops.push_back(std::move(loop));
            }
            if (loops.empty() || k != n) return bad("bad face");
            g.addPolygon(loops);
        } else if (tag == "n" && n == 5) {
            const int k = i(1);
            if (k < 0 || k >= g.numFaceVertices()) return bad("normal of a missing face-vertex");
            g.lockedNormals[k] = {f(2), f(3), f(4)};
            g.normalLocked[k] = 1;
        } else if (tag == "uvset" && n == 2) {
            g.uvSets.push_back(UVSetData{w[1]->text, {}, {}, {}});
            uvFaces.push_back(0);
        } else if (tag == "uv" && n == 3 && !g.uvSets.empty()) {
            g.uvSets.back().u.push_back(f(1));
            g.uvSets.back().v.push_back(f(2));
        } else if (tag == "uvf" && !g.uvSets.empty()) {
            const int p = uvFaces.back()++;
            if (p >= g.numPolygons() || static_cast<int>(n) - 1 != g.polygonSize(p)) return bad("bad UV face");
            for (std::size_t k = 1; k < n; ++k) {
                const int id = i(k);
                if (id < -1 || id >= static_cast<int>(g.uvSets.back().u.size())) return bad("bad UV id");
                g.uvSets.back().ids.push_back(id);
            }
        } else if (tag == "curuv" && n == 2) {
            g.currentUVSet = i(1);
        } else if (tag == "colorset" && n == 2) {
            g.colorSets.push_back(ColorSetData{w[1]->text, {}, {}});
        } else if (tag == "c" && n == 6 && !g.colorSets.empty()) {
            g.colorSets.back().has.push_back(static_cast<char>(i(1)));
            g.colorSets.back().colors.push_back({f(2), f(3), f(4), f(5)});
        } else if (tag == "curcolor" && n == 2) {
            g.currentColorSet = i(1);
        } else if (tag == "b" && n == 6) {
            Value v = w[5]->text;
            if (!w[5]->quoted && !readNumber(w[5]->text, v)) return bad("bad blind-data value");
            g.blindData[i(1)][i(2)][i(3)][w[4]->text] = std::move(v);
        } else {
            return bad("bad mesh line '" + tag + "'");
        }
        if (!ok) return bad("bad number in mesh line '" + tag + "'");
    }
    // Every set covers every face-vertex, so reads never run past the ids.
    for (auto& set : g.uvSets)
        if (static_cast<int>(set.ids.size()) != g.numFaceVertices()) return bad("UV set '" + set.name + "' misses faces");
    const int uvSets = static_cast<int>(g.uvSets.size());
    if (g.currentUVSet < 0 || g.currentUVSet >= std::max(uvSets, 1)) return bad("bad current UV set");
    for (const auto& set : g.colorSets)
        if (set.colors.size() != g.points.size()) return bad("colour set '" + set.name + "' misses vertices");
    if (g.currentColorSet < -1 || g.currentColorSet >= static_cast<int>(g.colorSets.size()))
        return bad("bad current colour set");
    out = std::shared_ptr<DataObject>(data);
    return MS::kSuccess;
}

MStatus readCurve(const std::vector<mel::Arg>& words, Value& out) {
    auto data = std::make_shared<CurveData>();
    CurveGeometry& g = data->geometry;
    bool ok = true;
    for (const auto& w : lines(words)) {
        const std::string& tag = w[0]->text;
        if (tag == "degree" && w.size() == 2) g.degree = toInt(w[1]->text, ok);
        else if (tag == "cv" && w.size() == 4)
            g.cvs.push_back({toReal(w[1]->text, ok), toReal(w[2]->text, ok), toReal(w[3]->text, ok)});
        else if (tag == "knots")
            for (std::size_t k = 1; k < w.size(); ++k) g.knots.push_back(toReal(w[k]->text, ok));
        else
            return bad("bad curve line '" + tag + "'");
    }
    if (!ok) return bad("bad number in a curve");
    // Evaluation relies on the host's knot count: CVs + degree - 1.
    const bool empty = g.cvs.empty() && g.knots.empty();
    if (!empty && (g.degree < 1 || g.cvs.size() <= static_cast<std::size_t>(g.degree) ||
                   g.knots.size() != g.cvs.size() + static_cast<std::size_t>(g.degree) - 1))
        return bad("curve knots do not fit its CVs and degree");
    out = std::shared_ptr<DataObject>(data);
    return MS::kSuccess;
}

MStatus readKeys(const std::vector<mel::Arg>& words, Value& out) {
    auto data = std::make_shared<AnimKeysData>();
    bool ok = true;
    for (const auto& w : lines(words)) {
        MTime::Unit unit{};
        if (w.size() != 5 || w[0]->text != "k" || !timeUnitFrom(w[2]->text, unit)) return bad("bad key line");
        data->keys.push_back(AnimKey{MTime(toReal(w[1]->text, ok), unit), toReal(w[3]->text, ok), w[4]->text == "1"});
    }
    if (!ok) return bad("bad number in a key");
    out = std::shared_ptr<DataObject>(data);
    return MS::kSuccess;
}

}  // namespace

std::string real(double v) {
    std::string s = number(v);
    if (s.find_first_of(".eni") == std::string::npos) s += ".0";
    return s;
}

const char* timeUnitName(MTime::Unit unit) {
    for (const auto& [name, u] : kUnits)
        if (u == unit) return name;
    return "film";
}

bool timeUnitFrom(const std::string& name, MTime::Unit& unit) {
    for (const auto& [n, u] : kUnits)
        if (name == n) {
            unit = u;
            return true;
        }
    return false;
}

MStatus readReal(const std::string& text, double& out) {
    bool ok = true;
    out = toReal(text, ok);
    return ok ? MStatus(MS::kSuccess) : bad("bad number '" + text + "' (a finite number expected)");
}

MStatus readInt(const std::string& text, int& out) {
    bool ok = true;
    out = toInt(text, ok);
    return ok ? MStatus(MS::kSuccess) : bad("bad integer '" + text + "'");
}

MStatus readNumber(const std::string& text, Value& out) {
    if (text.find_first_of(".eEnNiI") == std::string::npos) {
        int i = 0;
        if (MStatus st = readInt(text, i); !st) return st;
        out = i;
        return MS::kSuccess;
    }
    double d = 0;
    if (MStatus st = readReal(text, d); !st) return st;
    out = d;
    return MS::kSuccess;
}

ValueText writeValue(std::ostream& out, const Value& v) {
    Spelling spell;
    if (const int* i = std::get_if<int>(&v)) out << *i;
    else if (const double* d = std::get_if<double>(&v)) out << spell(*d);
    else if (const Vec3* x = std::get_if<Vec3>(&v))
        out << "-type \"double3\" " << spell((*x)[0]) << ' ' << spell((*x)[1]) << ' ' << spell((*x)[2]);
    else if (const std::string* s = std::get_if<std::string>(&v)) out << "-type \"string\" " << quoted(*s);
    else if (const MTime* t = std::get_if<MTime>(&v))
        out << "-type \"time\" " << spell(t->value()) << ' ' << timeUnitName(t->unit());
    else if (const auto* data = std::get_if<std::shared_ptr<DataObject>>(&v)) {
        const DataObject* d = data->get();
        if (!d) return ValueText::Unwritable;
        if (const auto* mesh = dynamic_cast<const MeshData*>(d)) {
            writeMesh(out, mesh->geometry, spell);
        } else if (const auto* keys = dynamic_cast<const AnimKeysData*>(d)) {
            out << "-type \"animCurve\"";
            for (const auto& k : keys->keys)
                out << "\n  k " << spell(k.time.value()) << ' ' << timeUnitName(k.time.unit()) << ' ' << spell(k.value) << ' '
                    << int(k.stepped);
        } else if (const auto* curve = dynamic_cast<const CurveData*>(d)) {
            out << "-type \"nurbsCurve\"\n  degree " << curve->geometry.degree;
            for (const auto& cv : curve->geometry.cvs)
                out << "\n  cv " << spell(cv[0]) << ' ' << spell(cv[1]) << ' ' << spell(cv[2]);
            out << "\n  knots";
            for (const double k : curve->geometry.knots) out << ' ' << spell(k);
        } else if (const auto* matrix = dynamic_cast<const MatrixData*>(d)) {
            out << "-type \"matrix\"";
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) out << ' ' << spell(matrix->matrix[r][c]);
        } else if (const auto* numeric = dynamic_cast<const NumericData*>(d)) {
            out << "-type \"numeric\" " << int(numeric->type);
            for (const double x : numeric->values) out << ' ' << spell(x);
        } else if (std::find(std::begin(kComponents), std::end(kComponents), d->kind()) != std::end(kComponents)) {
            out << "-type \"components\" " << int(d->kind());
            for (const int f : componentIndices(MObject::fromData(*data))) out << ' ' << f;
        } else {
            return ValueText::Unwritable;
        }
    } else {
        return ValueText::Unwritable;
    }
    return spell.finite ? ValueText::Written : ValueText::NotFinite;
}

MStatus readValue(const std::string& type, const std::vector<mel::Arg>& w, Value& out) {
    const std::size_t n = w.size();
    auto count = [&](std::size_t want) {
        return n == want ? MStatus(MS::kSuccess) : bad("'" + type + "' takes " + std::to_string(want) + " values");
    };
    if (type.empty()) {
        if (MStatus st = count(1); !st) return st;
        return readNumber(w[0].text, out);
    }
    if (type == "string") {
        if (MStatus st = count(1); !st) return st;
        out = w[0].text;
        return MS::kSuccess;
    }
    if (type == "double3") {
        if (MStatus st = count(3); !st) return st;
        Vec3 v{};
        for (std::size_t i = 0; i < 3; ++i)
            if (MStatus st = readReal(w[i].text, v[i]); !st) return st;
        out = v;
        return MS::kSuccess;
    }
    if (type == "time") {
        double t = 0;
        MTime::Unit unit{};
        if (MStatus st = count(2); !st) return st;
        if (MStatus st = readReal(w[0].text, t); !st) return st;
        if (!timeUnitFrom(w[1].text, unit)) return bad("bad time unit '" + w[1].text + "'");
        out = MTime(t, unit);
        return MS::kSuccess;
    }
    if (type == "mesh") return readMesh(w, out);
    if (type == "nurbsCurve") return readCurve(w, out);
    if (type == "animCurve") return readKeys(w, out);
    if (type == "matrix") {
        if (MStatus st = count(16); !st) return st;
        auto data = std::make_shared<MatrixData>();
        for (std::size_t i = 0; i < 16; ++i)
            if (MStatus st = readReal(w[i].text, data->matrix.matrix[i / 4][i % 4]); !st) return st;
        out = std::shared_ptr<DataObject>(data);
        return MS::kSuccess;
    }
    if (type == "numeric") {
        int t = 0;
        if (MStatus st = count(4); !st) return st;
        if (MStatus st = readInt(w[0].text, t); !st) return st;
        // Compared as a number first: an enumerator outside its enumeration has no value.
        if (t <= MFnNumericData::kInvalid || t >= MFnNumericData::kLast)
            return bad("unknown numeric type " + w[0].text);
        auto data = std::make_shared<NumericData>(static_cast<MFnNumericData::Type>(t));
        for (std::size_t i = 0; i < 3; ++i) {
            if (MStatus st = readReal(w[i + 1].text, data->values[i]); !st) return st;
            if (!fitsNumeric(t, data->values[i])) return bad("'" + w[i + 1].text + "' lies outside its numeric type's range");
        }
        out = std::shared_ptr<DataObject>(data);
        return MS::kSuccess;
    }
    if (type == "components") {
        int kind = 0;
        if (n < 1 || !readInt(w[0].text, kind) ||
            std::none_of(std::begin(kComponents), std::end(kComponents), [kind](MFn::Type k) { return k == kind; }))
            return bad("unknown component kind " + (n < 1 ? std::string("(none)") : w[0].text));
        std::vector<int> indices;
        for (std::size_t i = 1; i < n; ++i) {
            int k = 0;
            if (MStatus st = readInt(w[i].text, k); !st) return st;
            indices.push_back(k);
        }
        out = makeComponent(static_cast<MFn::Type>(kind), std::move(indices)).data();
        return MS::kSuccess;
    }
    return bad("unknown value type '" + type + "'");
}

}  // namespace host::io
