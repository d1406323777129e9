#include "sequenceScript.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// SplitMix64, with ranges taken by rejection: the same numbers on every platform, which
// the standard library's distributions do not promise.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1.
    int below(int n) {
        const std::uint64_t range = static_cast<std::uint64_t>(n);
        const std::uint64_t limit = ~std::uint64_t{0} - ~std::uint64_t{0} % range;
        std::uint64_t x = next();
        while (x >= limit) x = next();
        return static_cast<int>(x % range);
    }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    // A decimal with the given places, lo..hi.
    std::string decimal(int lo, int hi, int places) {
        int scale = 1;
        for (int i = 0; i < places; ++i) scale *= 10;
        const int v = between(lo * scale, hi * scale);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.*f", places, static_cast<double>(v) / scale);
        return buf;
    }
    template <class Range>
    const auto& pick(const Range& range) {
        return range[static_cast<std::size_t>(below(static_cast<int>(std::size(range))))];
    }

private:
    std::uint64_t state_;
};

std::string numbered(std::string_view stem, int n) { return std::string(stem) + std::to_string(n); }

// The joints the demo wall's first build makes, by the members they tie.
constexpr std::array<std::array<int, 2>, 41> kWallJoints{{
    {1, 2},  {1, 3},  {1, 4},  {1, 5},  {1, 6},  {1, 7},   {1, 8},   {1, 10},  {2, 3},  {2, 5},  {2, 6},
    {2, 7},  {2, 8},  {2, 10}, {3, 4},  {3, 5},  {3, 6},   {3, 8},   {3, 9},   {3, 10}, {4, 5},  {4, 6},
    {4, 7},  {4, 9},  {4, 10}, {4, 11}, {4, 12}, {5, 6},   {5, 7},   {5, 8},   {5, 9},  {5, 11}, {5, 12},
    {6, 7},  {6, 10}, {7, 8},  {7, 10}, {7, 11}, {7, 12},  {8, 9},   {8, 11},
}};

constexpr std::array<std::string_view, 4> kLooseBodies{"boxZylBody1", "boxZylBody2", "ballZylBody1",
                                                       "ballZylBody2"};
constexpr std::array<std::string_view, 4> kLooseMeshes{"box1", "box2", "ball1", "ball2"};
constexpr std::array<std::string_view, 4> kFractureBodies{"wall", "wall1", "fb2", "ZylFractureBody"};
constexpr std::array<std::string_view, 3> kClusters{"cl1", "cl2", "zylCluster0"};
constexpr std::array<std::string_view, 3> kCrackers{"Zylball1", "Zylball2", "Zylbox1"};
constexpr std::array<std::string_view, 7> kOthers{"block",  "zylShatterGroup", "voronoiNode1", "grav",
                                                  "zylSolverNode1", "nothing", "time1"};

std::string wallSetup(bool raised) {
    return std::string("playbackOptions -min 1 -max 120 -ast 1 -aet 120; currentTime 1;\n"
                       "zylSolver; setAttr zylSolverNode1.useGroundGrid 1;\n"
                       "makeMesh -cube -name block; xform -ws -t 0 ") +
           (raised ? "1.92" : "0.5") +
           " 0 -s 2 1 2 block;\n"
           "string $shards[] = `zylShatter -ns 12 -sed 7 block`;\n"
           "new_ZYLBody -st 2 -a 0 $shards;\n"
           "string $bodies[] = `ls -type zylRigidBody`;\n"
           "zylFractureBody -dTh 0.02 -n wall $bodies;\n";
}

class Generator {
public:
    explicit Generator(std::uint64_t seed) : r_(seed) {}

    SequenceScript script() {
        SequenceScript out;
        out.setup = setup();
        const int count = r_.between(10, 40);
        for (int i = 0; i < count; ++i) out.steps.push_back(step());
        return out;
    }

private:
    // ---- names

    std::string member() { return numbered("meshZylBody", r_.between(1, r_.chance(5) ? 13 : 12)); }
    std::string anyBody() { return r_.chance(75) ? member() : std::string(r_.pick(kLooseBodies)); }
    std::string shardTransform() { return numbered("mesh", r_.between(1, 12)); }
    std::string shardShape() { return numbered("blockShape_shard", r_.between(1, 12)); }
    std::string stress() {
        if (r_.chance(10)) return "str_boxZylBody1_boxZylBody2";
        const auto& j = r_.pick(kWallJoints);
        return "str_meshZylBody" + std::to_string(j[0]) + "_meshZylBody" + std::to_string(j[1]);
    }
    std::string fractureBody() { return r_.chance(70) ? "wall" : std::string(r_.pick(kFractureBodies)); }
    std::string anyNode() {
        switch (r_.below(10)) {
        case 0: return shardTransform();
        case 1: return shardShape();
        case 2: return std::string(r_.pick(kLooseMeshes));
        case 3: return stress();
        case 4: return fractureBody();
        case 5: return std::string(r_.pick(kClusters));
        case 6: return std::string(r_.pick(kCrackers));
        case 7: return std::string(r_.pick(kOthers));
        case 8: return anyBody() + "Shape";
        default: return anyBody();
        }
    }
    // 1-5 bodies, now and then with a node of another kind among them.
    std::string bodies(int most = 5) {
        std::string out;
        const int n = r_.between(1, most);
        for (int i = 0; i < n; ++i) {
            if (i) out += ' ';
            out += r_.chance(8) ? anyNode() : anyBody();
        }
        return out;
    }
    // Neighbouring members, which the wall joins more often than not.
    std::string neighbours() {
        const auto& j = r_.pick(kWallJoints);
        std::string out = numbered("meshZylBody", j[0]) + " " + numbered("meshZylBody", j[1]);
        if (r_.chance(40)) out += " " + member();
        return out;
    }
    std::string memberSelection() { return r_.chance(50) ? neighbours() : bodies(); }
    std::string boolean() { return r_.chance(50) ? "true" : "false"; }

    // ---- the scene

    std::string setup() {
        std::ostringstream s;
        s << wallSetup(r_.chance(50));
        // Boxes and spheres beside and above the wall; the second sphere is keyed.
        for (const std::string_view mesh : kLooseMeshes) {
            const bool box = mesh.starts_with("box");
            s << "makeMesh " << (box ? "-cube" : "-sphere") << " -name " << mesh << "; xform -ws -t "
              << r_.decimal(-4, 4, 1) << ' ' << r_.decimal(1, 4, 1) << ' ' << r_.decimal(-3, 3, 1)
              << " -s 0.5 0.5 0.5 " << mesh << ";\n";
        }
        s << "setKeyframe -t 1 -at translateX -v -4 ball2; setKeyframe -t 30 -at translateX -v 2.5 ball2;\n";
        for (const std::string_view mesh : kLooseMeshes)
            s << "new_ZYLBody -st " << r_.between(0, 4) << " -a " << r_.between(0, 2)
              << (r_.chance(20) ? " -mul true" : "") << ' ' << mesh << ";\n";
        s << "makeField -type gravity -name grav -m " << r_.decimal(1, 10, 1) << ";\n";
        if (r_.chance(50)) s << "setAttr boxZylBody1.affectForceFields 1; zylConnectForceFields -cal grav;\n";
        s << "hostOption -confirm " << (r_.chance(50) ? "Yes" : "No") << ";\n";
        return s.str();
    }

    // ---- the steps

    // Each kind of step with its weight in a hundred.
    std::string step() {
        using Make = std::string (Generator::*)();
        static constexpr std::array<std::pair<int, Make>, 27> kinds{{
            {7, &Generator::deleteStep},     {7, &Generator::undo},        {4, &Generator::redo},
            {2, &Generator::flushUndo},      {12, &Generator::setAttr},    {8, &Generator::time},
            {4, &Generator::save},           {3, &Generator::open},        {1, &Generator::solver},
            {4, &Generator::newBody},        {2, &Generator::shatter},     {4, &Generator::fractureBodyCmd},
            {4, &Generator::cluster},        {2, &Generator::cracker},     {5, &Generator::update},
            {3, &Generator::deleteFBody},    {5, &Generator::detach},      {3, &Generator::stresses},
            {2, &Generator::trans},          {2, &Generator::queryBody},   {1, &Generator::queryFBody},
            {3, &Generator::manageList},     {2, &Generator::fields},      {1, &Generator::rotDist},
            {4, &Generator::deleteUserNode}, {3, &Generator::jagginess},   {2, &Generator::preview},
        }};
        int roll = r_.below(100);
        for (const auto& [weight, make] : kinds) {
            if (roll < weight) return (this->*make)();
            roll -= weight;
        }
        return undo();
    }

    std::string deleteStep() { return "delete " + anyNode() + (r_.chance(20) ? " " + anyNode() : "") + ";"; }
    std::string undo() { return "undo;"; }
    std::string redo() { return "redo;"; }
    std::string flushUndo() { return "flushUndo;"; }
    std::string save() { return "file -rename \"step.scene\"; file -save;"; }
    std::string open() { return std::string(r_.chance(50) ? "file -f -open" : "file -open") + " \"step.scene\";"; }
    std::string solver() { return r_.chance(50) ? "zylSolver -rc " + boolean() + ";" : "zylSolver -cac;"; }
    std::string cracker() {
        return "zylCracker " + (r_.chance(80) ? std::string(r_.pick(kLooseMeshes)) : anyNode()) + ";";
    }
    std::string deleteFBody() {
        return "deleteZylFBody " + std::string(r_.chance(40) ? "-db " : "") + fractureBody() +
               (r_.chance(15) ? " " + anyNode() : "") + ";";
    }
    std::string detach() { return "Detach_FBody " + memberSelection() + ";"; }
    std::string queryFBody() {
        return "queryZylFBody " + std::string(r_.chance(80) ? "-gtn " : "") + fractureBody() + ";";
    }
    std::string manageList() { return "ManageZylListCmd -add " + boolean() + " " + bodies() + ";"; }
    std::string rotDist() {
        return "dComputeRotDist -rx " + r_.decimal(-3, 3, 2) + " -ry2 " + r_.decimal(-3, 3, 2) + " -tol " +
               r_.decimal(0, 1, 2) + ";";
    }
    std::string deleteUserNode() {
        return "deleteUserNode " + anyNode() + (r_.chance(25) ? " " + anyNode() : "") + ";";
    }

    std::string setAttr() {
        std::string node, value;
        switch (r_.below(6)) {
        case 0: {  // a member or a loose body
            static constexpr std::array<std::string_view, 10> attrs{
                "mass", "passive", "bounciness", "friction", "enabled", "firstHitActive", "linearDamping",
                "initialVelocity", "massCenter", "affectForceFields"};
            const std::string_view a = r_.pick(attrs);
            node = anyBody() + "." + std::string(a);
            if (a == "initialVelocity" || a == "massCenter")
                value = r_.decimal(-2, 2, 2) + " " + r_.decimal(-1, 3, 2) + " " + r_.decimal(-2, 2, 2);
            else if (a == "passive")
                value = std::to_string(r_.between(0, 2));
            else if (a == "mass")
                value = r_.decimal(0, 50, 1);
            else
                value = r_.decimal(0, 1, 1);
            break;
        }
        case 1: {  // a collision shape's type
            node = anyBody() + "Shape.type";
            value = std::to_string(r_.between(0, 4));
            break;
        }
        case 2: {  // a fracture body
            static constexpr std::array<std::string_view, 16> attrs{
                "stressThreshold", "randomThreshold", "enabled",   "passive",      "stress2mass", "propStyle",
                "torsion",         "unbreakable",     "secCracks", "mass",         "friction",    "firstHitActive",
                "actFrame",        "breakFrame",      "displayStressses", "affectForceFields"};
            const std::string_view a = r_.pick(attrs);
            node = fractureBody() + "." + std::string(a);
            if (a == "stressThreshold" || a == "mass")
                value = r_.decimal(0, 100, 1);
            else if (a == "randomThreshold" || a == "actFrame" || a == "breakFrame")
                value = std::to_string(r_.between(0, 60));
            else if (a == "firstHitActive")
                value = std::to_string(r_.between(0, 2));
            else if (a == "friction")
                value = r_.decimal(0, 1, 2);
            else
                value = std::to_string(r_.below(2));
            break;
        }
        case 3: {  // a stress node
            static constexpr std::array<std::string_view, 7> attrs{
                "forceStrenght", "enabled", "torsion", "breakByForce", "breakByFrame", "frameToBreak", "breakEnergy"};
            const std::string_view a = r_.pick(attrs);
            node = stress() + "." + std::string(a);
            if (a == "forceStrenght" || a == "breakEnergy")
                value = r_.decimal(0, 20, 1);
            else if (a == "frameToBreak")
                value = std::to_string(r_.between(0, 40));
            else
                value = std::to_string(r_.below(2));
            break;
        }
        case 4: {  // a cluster or a cracker
            if (r_.chance(50)) {
                static constexpr std::array<std::string_view, 4> attrs{"stressThreshold", "breakByFrame",
                                                                       "breakFrame", "breakEnergy"};
                const std::string_view a = r_.pick(attrs);
                node = std::string(r_.pick(kClusters)) + "." + std::string(a);
                value = a == "breakByFrame" ? std::to_string(r_.below(2)) : r_.decimal(0, 30, 0);
            } else {
                static constexpr std::array<std::string_view, 3> attrs{"enabled", "mass", "massCenter"};
                const std::string_view a = r_.pick(attrs);
                node = std::string(r_.pick(kCrackers)) + "." + std::string(a);
                value = a == "massCenter" ? r_.decimal(-2, 2, 3) + " 0.5 0.5"
                                          : (a == "mass" ? r_.decimal(1, 20, 1) : std::to_string(r_.below(2)));
            }
            break;
        }
        default: {  // the solver
            static constexpr std::array<std::string_view, 4> attrs{"substeps", "useGroundGrid", "cacheActive",
                                                                   "repportCollisions"};
            const std::string_view a = r_.pick(attrs);
            node = "zylSolverNode1." + std::string(a);
            value = a == "substeps" ? std::to_string(r_.between(1, 8)) : std::to_string(r_.below(2));
            break;
        }
        }
        return "setAttr " + node + " " + value + ";";
    }

    // Back to the start, frames stepped one by one, or a jump.
    std::string time() {
        const int kind = r_.below(10);
        if (kind < 3) return "currentTime 1;";
        if (kind < 8) {
            std::string out = "currentTime 1;";
            const int last = r_.between(2, 20);
            for (int f = 2; f <= last; ++f) out += " currentTime " + std::to_string(f) + ";";
            return out;
        }
        return "currentTime " + std::to_string(r_.between(2, 40)) + ";";
    }

    std::string newBody() {
        std::string objects;
        switch (r_.below(4)) {
        case 0: objects = shardTransform(); break;
        case 1: objects = std::string(r_.pick(kLooseMeshes)); break;
        case 2: objects = shardShape() + " " + std::string(r_.pick(kLooseMeshes)); break;
        default: objects = anyNode(); break;
        }
        return "new_ZYLBody -st " + std::to_string(r_.between(0, 5)) + " -a " + std::to_string(r_.between(0, 3)) +
               (r_.chance(40) ? " -mul " + boolean() : "") + " " + objects + ";";
    }

    // Shards of a shard or a box, made rigid and bound now and then.
    std::string shatter() {
        const std::string source = r_.chance(60) ? shardShape() : std::string(r_.pick(kLooseMeshes));
        std::string out = "string $s[] = `zylShatter -ns " + std::to_string(r_.between(2, 5)) + " -sed " +
                          std::to_string(r_.between(1, 99)) + (r_.chance(20) ? " -st 1" : "") + " " + source + "`;";
        if (r_.chance(60)) out += " new_ZYLBody -st 2 -a 0 $s;";
        return out;
    }

    std::string fractureBodyCmd() {
        std::string flags = " -dTh " + r_.pick(std::array<std::string, 4>{"0.02", "0.05", "0.001", "0.5"});
        if (r_.chance(70)) flags += " -n " + std::string(r_.chance(70) ? "fb2" : "wall");
        if (r_.chance(15)) flags += " -nea";
        if (r_.chance(10)) flags += " -chk " + boolean();
        if (r_.chance(40)) return "string $b[] = `ls -type zylRigidBody`; zylFractureBody" + flags + " $b;";
        return "zylFractureBody" + flags + " " + bodies() + ";";
    }

    std::string cluster() {
        const int kind = r_.below(10);
        if (kind < 6)
            return "zylCluster -as -n " + std::string(r_.pick(kClusters)) + " " + neighbours() +
                   (r_.chance(50) ? " " + member() : "") + ";";
        if (kind < 9) return "zylCluster -rem " + std::string(r_.pick(kClusters)) + ";";
        return "zylCluster " + bodies() + ";";
    }

    std::string update() {
        switch (r_.below(4)) {
        case 0: return "update_dFBody -map " + fractureBody() + ";";
        case 1: return "update_dFBody -stf " + boolean() + " " + memberSelection() + ";";
        case 2: return "update_dFBody " + fractureBody() + ";";
        default: return "update_dFBody " + bodies() + ";";
        }
    }

    std::string stresses() {
        switch (r_.below(5)) {
        case 0: return "fBody_selStresses -ra " + fractureBody() + ";";
        case 1: return "fBody_selStresses -stm " + fractureBody() + ";";
        case 2: return "fBody_selStresses -glb " + fractureBody() + ";";
        default: return "fBody_selStresses -t " + std::to_string(r_.between(0, 2)) + " " + memberSelection() + ";";
        }
    }

    std::string trans() {
        const std::string target = r_.chance(50) ? "-fnode " + fractureBody() : "-node " + anyBody();
        const std::string mode = r_.chance(50) ? " -dyn" : " -ani";
        return "zylTrans " + target + mode + " -fr " + std::to_string(r_.between(1, 40)) + ";";
    }

    std::string queryBody() {
        static constexpr std::array<std::string_view, 4> flags{"-cl", "-cp", "-itr", "-imn"};
        return "queryZylBody " + std::string(r_.pick(flags)) + " " + bodies(3) + ";";
    }

    std::string fields() {
        switch (r_.below(3)) {
        case 0: return "zylConnectForceFields -con -bn " + anyBody() + " grav;";
        case 1: return "zylConnectForceFields -con -fbn " + fractureBody() + " grav;";
        default: return "zylConnectForceFields -cal grav;";
        }
    }

    std::string jagginess() {
        std::string flags;
        if (r_.chance(70)) flags += " -com";
        if (r_.chance(50)) flags += " -res " + std::to_string(r_.between(0, 2));
        if (r_.chance(40)) flags += " -st " + r_.decimal(0, 1, 2);
        if (r_.chance(20)) flags += " -sn " + boolean();
        if (r_.chance(30)) flags += " -aff " + std::to_string(r_.between(0, 2));
        if (r_.chance(10)) flags += " -del";
        return "hostOption -confirm " + std::string(r_.chance(60) ? "Yes" : "No") + "; zylJagginess" + flags + " " +
               (r_.chance(80) ? shardShape() : anyNode()) + ";";
    }

    std::string preview() {
        return "zylShatterPreview -ns " + std::to_string(r_.between(2, 8)) + " -sed " +
               std::to_string(r_.between(1, 50)) + " " + (r_.chance(70) ? shardShape() : anyNode()) + ";";
    }

    Random r_;
};

}  // namespace

std::string SequenceScript::text() const {
    std::string out = "# setup\n" + setup + "# steps\n";
    for (const std::string& s : steps) out += s + "\n";
    return out;
}

bool SequenceScript::parse(const std::string& text, SequenceScript& out) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "# setup") return false;
    out = {};
    bool inSteps = false;
    while (std::getline(in, line)) {
        if (!inSteps && line == "# steps") {
            inSteps = true;
        } else if (inSteps) {
            if (!line.empty()) out.steps.push_back(line);
        } else {
            out.setup += line + "\n";
        }
    }
    return inSteps;
}

SequenceScript generateSequence(std::uint64_t seed) { return Generator(seed).script(); }

std::vector<SequenceCase> readSequenceCases(const std::string& text) {
    std::vector<SequenceCase> cases;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(": ");
        if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
        SequenceCase c{line.substr(0, colon), {}};
        c.script.setup = wallSetup(c.name.starts_with("raised/"));
        std::size_t from = colon + 2;
        for (std::size_t bar; from < line.size(); from = bar + 3) {
            bar = line.find(" | ", from);
            if (bar == std::string::npos) bar = line.size();
            c.script.steps.push_back(line.substr(from, bar - from));
        }
        cases.push_back(std::move(c));
    }
    return cases;
}
