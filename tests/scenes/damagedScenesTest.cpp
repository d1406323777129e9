// Damaged copies of saved scenes, opened with the module linked in: each copy is refused
// with its file and line, or it opens, steps a few frames with every transform and mesh
// point finite, and saves into a file that opens again. The copies come from seeds (a
// failure names its seed and damage); ZYL_DAMAGED_SCENES sets how many each block of
// seeds opens (a longer run than CI's).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/api/animControl.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/mel/interpreter.h"
#include "host/io/sceneWriters.h"
#include "host/scene/meshShape.h"
#include "src/moduleRegistry.h"

namespace {

constexpr int kBlocks = 4;
constexpr int kVariantsPerBlock = 100;  // CI: 400 variants in all
constexpr int kFrames = 4;

host::Runtime& rt() { return host::runtime(); }

std::string bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text.append(line).push_back('\n');
    return text;
}

// Seeded damage to a scene file's text, of the kinds a disk, a hand edit or a hostile
// sender makes. `what` says what was done, for a failure's message.
class Damage {
public:
    explicit Damage(std::uint64_t seed) : rng_(seed) {}

    std::string apply(const std::string& text) {
        std::vector<std::string> lines = splitLines(text);
        std::string out;
        const int kinds = pick(4) == 0 ? 2 : 1;
        for (int k = 0; k < kinds && !lines.empty(); ++k) {
            switch (pick(16)) {
                case 0: truncate(lines); break;
                case 1: randomBytes(lines); break;
                case 2:
                case 3: deleteLines(lines); break;
                case 4:
                case 5: duplicateLine(lines); break;
                case 6:
                case 7: swapLines(lines); break;
                case 8:
                case 9:
                case 10: hostileNumber(lines); break;
                case 11: wrongType(lines); break;
                case 12: lyingSize(lines); break;
                case 13: badConnection(lines); break;
                case 14: duplicateName(lines); break;
                default: moduleNode(lines); break;
            }
        }
        return joinLines(lines);
    }
    const std::string& what() const { return what_; }

private:
    std::size_t pick(std::size_t n) { return n ? static_cast<std::size_t>(rng_() % n) : 0; }
    // Most lines of a file are mesh data: three times in four a statement is taken.
    std::size_t pickLine(const std::vector<std::string>& lines) {
        for (int tries = 0; pick(4) != 0 && tries < 50; ++tries) {
            const std::size_t i = pick(lines.size());
            if (lines[i].rfind("  ", 0) != 0) return i;
        }
        return pick(lines.size());
    }
    void note(const std::string& text) { what_ += (what_.empty() ? "" : "; ") + text; }
    // A line starting with `head`, or lines.size() when none does.
    std::size_t lineStarting(const std::vector<std::string>& lines, const std::string& head) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(head, 0) == 0) found.push_back(i);
        return found.empty() ? lines.size() : found[pick(found.size())];
    }
    // The quoted words of a line, as [begin, end) of their text.
    static std::vector<std::pair<std::size_t, std::size_t>> quotedWords(const std::string& line) {
        std::vector<std::pair<std::size_t, std::size_t>> words;
        for (std::size_t at = line.find('"'); at != std::string::npos;) {
            const std::size_t end = line.find('"', at + 1);
            if (end == std::string::npos) break;
            words.emplace_back(at + 1, end);
            at = line.find('"', end + 1);
        }
        return words;
    }

    void truncate(std::vector<std::string>& lines) {
        std::string text = joinLines(lines);
        const std::size_t at = pick(text.size());
        note("cut at byte " + std::to_string(at));
        text.resize(at);
        lines = splitLines(text);
    }
    void deleteLines(std::vector<std::string>& lines) {
        const std::size_t at = pickLine(lines), n = std::min(lines.size() - at, 1 + pick(3));
        note("lines " + std::to_string(at + 1) + "+" + std::to_string(n) + " deleted");
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at), lines.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    void duplicateLine(std::vector<std::string>& lines) {
        const std::size_t from = pickLine(lines), to = pickLine(lines) + pick(2);
        note("line " + std::to_string(from + 1) + " repeated before " + std::to_string(to + 1));
        const std::string copy = lines[from];
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(to), copy);
    }
    void swapLines(std::vector<std::string>& lines) {
        const std::size_t a = pickLine(lines), b = pickLine(lines);
        note("lines " + std::to_string(a + 1) + " and " + std::to_string(b + 1) + " swapped");
        std::swap(lines[a], lines[b]);
    }
    // The numbers of a line (words between blanks, brackets and semicolons), as
    // [begin, length) of their text.
    static std::vector<std::pair<std::size_t, std::size_t>> numbers(const std::string& line) {
        std::vector<std::pair<std::size_t, std::size_t>> found;
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t end = std::min(line.find_first_of(" [];", at), line.size());
            double v = 0;
            const auto r = std::from_chars(line.data() + at, line.data() + end, v);
            if (end > at && r.ec == std::errc() && r.ptr == line.data() + end) found.emplace_back(at, end - at);
            at = end + 1;
        }
        return found;
    }
    // A number of a statement or of a mesh, curve or key line replaced.
    void hostileNumber(std::vector<std::string>& lines) {
        static const char* const hostile[] = {
            "1e39",    "-1e39", "3.4028236e38", "1e308", "-1e308",     "1e-310",      "0",   "-0",  "2147483647",
            "2147483648", "-2147483649", "32768", "99999", "-1", "1e400", "nan", "inf", "1.5", "100000000", "-7"};
        for (int tries = 0; tries < 20; ++tries) {
            const std::size_t i = pickLine(lines);
            const auto found = numbers(lines[i]);
            if (found.empty()) continue;
            const auto [at, length] = found[pick(found.size())];
            const std::string by = hostile[pick(std::size(hostile))];
            note("line " + std::to_string(i + 1) + ": '" + lines[i].substr(at, length) + "' -> '" + by + "'");
            lines[i].replace(at, length, by);
            return;
        }
    }
    void wrongType(std::vector<std::string>& lines) {
        static const char* const types[] = {"double3", "string", "mesh",      "matrix",    "numeric",
                                            "components", "time", "animCurve", "nurbsCurve", "float3"};
        const std::size_t i = lineStarting(lines, "setAttr");
        if (i == lines.size()) return;
        std::string& line = lines[i];
        if (const auto t = line.find("-type \""); t != std::string::npos && pick(3) != 0) {
            const auto end = line.find('"', t + 7);
            const std::string by = types[pick(std::size(types))];
            note("line " + std::to_string(i + 1) + ": type -> " + by);
            line.replace(t + 7, end - t - 7, by);
        } else if (const auto space = line.rfind(' '); space != std::string::npos && space > 8) {
            note("line " + std::to_string(i + 1) + ": last value -> text");
            line.replace(space + 1, std::string::npos, "-type \"string\" \"x\";");
        }
    }
    // Counts that do not match what follows: faces, loops, children, element indices.
    void lyingSize(std::vector<std::string>& lines) {
        static const char* const sizes[] = {"0", "1", "2", "5", "-1", "64", "1000000", "2147483647"};
        const std::string by = sizes[pick(std::size(sizes))];
        switch (pick(3)) {
            case 0: {  // a face's loop count or a loop's size
                const std::size_t i = lineStarting(lines, "  f ");
                if (i == lines.size()) return;
                std::istringstream words(lines[i].substr(4));
                std::vector<std::string> w(std::istream_iterator<std::string>(words), {});
                if (w.size() < 2) return;
                w[pick(2)] = by;
                note("line " + std::to_string(i + 1) + ": face count -> " + by);
                std::string line = "  f";
                for (const auto& x : w) line.append(" ").append(x);
                lines[i] = line;
                break;
            }
            case 1: {  // a compound's child count
                const std::size_t i = lineStarting(lines, "addAttr");
                const auto at = i == lines.size() ? std::string::npos : lines[i].find("-nc ");
                if (at == std::string::npos) return;
                const auto end = lines[i].find_first_of(" ;", at + 4);
                note("line " + std::to_string(i + 1) + ": child count -> " + by);
                lines[i].replace(at + 4, end - at - 4, by);
                break;
            }
            default: {  // an element index
                const std::size_t i = pick(lines.size());
                const auto open = lines[i].find('['), close = lines[i].find(']');
                if (open == std::string::npos || close == std::string::npos || close < open) return;
                note("line " + std::to_string(i + 1) + ": index -> " + by);
                lines[i].replace(open + 1, close - open - 1, by);
                break;
            }
        }
    }
    void badConnection(std::vector<std::string>& lines) {
        const std::size_t i = lineStarting(lines, "connectAttr"), j = lineStarting(lines, "connectAttr");
        if (i == lines.size()) return;
        const auto a = quotedWords(lines[i]), b = quotedWords(lines[j]);
        if (a.size() != 2 || b.size() != 2) return;
        const std::size_t end = pick(2);
        if (pick(2)) {  // one end of another connection
            const std::string other = lines[j].substr(b[end].first, b[end].second - b[end].first);
            note("line " + std::to_string(i + 1) + ": end " + std::to_string(end) + " -> " + other);
            lines[i].replace(a[end].first, a[end].second - a[end].first, other);
        } else {  // the two ends swapped
            const std::string src = lines[i].substr(a[0].first, a[0].second - a[0].first);
            const std::string dst = lines[i].substr(a[1].first, a[1].second - a[1].first);
            note("line " + std::to_string(i + 1) + ": ends swapped");
            lines[i] = "connectAttr \"" + dst + "\" \"" + src + "\";";
        }
    }
    void duplicateName(std::vector<std::string>& lines) {
        const std::size_t i = lineStarting(lines, "createNode"), j = lineStarting(lines, "createNode");
        if (i == lines.size()) return;
        const auto a = quotedWords(lines[i]), b = quotedWords(lines[j]);
        if (a.empty() || b.empty()) return;
        const std::string name = lines[j].substr(b[0].first, b[0].second - b[0].first);
        note("line " + std::to_string(i + 1) + ": named " + name);
        lines[i].replace(a[0].first, a[0].second - a[0].first, name);
    }
    // A node of the module made another type, or taken out with its statements.
    void moduleNode(std::vector<std::string>& lines) {
        static const char* const types[] = {"zylSolverNode", "zylRigidBody",  "zylCollisionShape", "fBodyNode",
                                            "stressNode",    "ClusterZylNode", "zylCracker",       "voronoiNode",
                                            "zylMeshOpNode", "transform",      "noSuchType"};
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < lines.size(); ++i)
            for (std::size_t t = 0; t + 2 < std::size(types); ++t)
                if (lines[i].rfind(std::string("createNode ") + types[t] + " ", 0) == 0) found.push_back(i);
        if (found.empty()) return;
        const std::size_t i = found[pick(found.size())];
        const std::size_t typeEnd = lines[i].find(' ', 11);
        if (pick(2)) {
            const std::string by = types[pick(std::size(types))];
            note("line " + std::to_string(i + 1) + ": retyped " + by);
            lines[i].replace(11, typeEnd - 11, by);
        } else {
            std::size_t end = i + 1;
            while (end < lines.size() && lines[end].rfind("createNode", 0) != 0 && lines[end].rfind("parent", 0) != 0 &&
                   lines[end].rfind("connectAttr", 0) != 0)
                ++end;
            note("line " + std::to_string(i + 1) + ": node deleted");
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
    void randomBytes(std::vector<std::string>& lines) {
        std::string text = joinLines(lines);
        const std::size_t n = 1 + pick(8);
        note(std::to_string(n) + " random bytes");
        for (std::size_t k = 0; k < n && !text.empty(); ++k) text[pick(text.size())] = static_cast<char>(pick(256));
        lines = splitLines(text);
    }

    std::mt19937_64 rng_;
    std::string what_;
};

// The first mesh point or transform row with a number that is not finite, or "". Mesh
// points are the mesh's own: a transform far out (finite in double precision) may put
// world points beyond single precision.
std::string notFinite() {
    host::Scene& scene = rt().scene;
    for (const auto id : scene.nodeIds()) {
        const host::Node* n = scene.find(id);
        if (!n || n->type->apiType != MFn::kMesh) continue;
        for (const auto& p : host::tweakedGeometry(id).points)
            if (!std::ranges::all_of(p, [](float x) { return std::isfinite(x); })) return "a point of " + n->name;
    }
    std::ostringstream csv;
    host::io::writeTransformRows(csv, 0);
    for (const std::string& line : splitLines(csv.str())) {
        std::stringstream fields(line);
        std::string field;
        for (int k = 0; std::getline(fields, field, ','); ++k)
            if (k != 1 && !std::isfinite(std::strtod(field.c_str(), nullptr))) return "transform " + line;
    }
    return "";
}

class DamagedScenes : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        rt().reset();
        rt().log.setQuiet(true);
        rt().options.scriptPath = {HOST_UI_DIR};
        rt().options.batch = true;
        ASSERT_TRUE(rt().loadStaticModule(initializeModule, uninitializeModule, "zylMaya3x"));
        // One folder a process and block: runs of other build trees may share the temp folder.
        folder_ = std::filesystem::path(::testing::TempDir()) /
                  ("damagedScenes" + std::to_string(GetParam()) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        rt().reset();
        rt().log.setQuiet(true);
        if (!HasFailure()) std::filesystem::remove_all(folder_);  // a failure keeps its seeds' files
    }
    std::string file(const std::string& name) const { return (folder_ / name).string(); }

    // The scene a script builds, as saved.
    std::string saved(const std::string& script) {
        EXPECT_TRUE(rt().mel().runScript(bytes(script), script)) << rt().log.text();
        rt().idle.flush();
        const std::string path = file("base.scene");
        EXPECT_TRUE(host::io::saveScene(path)) << rt().log.text();
        host::io::clearScene();
        return bytes(path);
    }

    // What went wrong with one damaged copy, or "" when it was refused or went through.
    std::string tryVariant(const std::string& text, bool& opened) {
        const std::string path = file("damaged.scene"), again = file("again.scene");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        rt().log.clear();
        bool replaced = false;
        const MStatus st = host::io::openScene(path, &replaced);
        rt().idle.flush();
        opened = static_cast<bool>(st);
        if (!st) {
            // "<path>:<line>: why"
            const std::string error = st.errorString().str();
            const std::size_t digits = error.rfind(path + ":", 0) == 0 ? path.size() + 1 : error.size();
            const std::size_t colon = error.find_first_not_of("0123456789", digits);
            const bool located = colon > digits && colon != std::string::npos && error.compare(colon, 2, ": ") == 0;
            return located ? "" : "refused without a line: " + error;
        }
        for (int frame = 1; frame <= kFrames; ++frame) {
            MAnimControl::setCurrentTime(MTime(frame, MTime::uiUnit()));
            rt().idle.flush();
        }
        if (const std::string bad = notFinite(); !bad.empty()) return "not finite after the frames: " + bad;
        if (const MStatus saveSt = host::io::saveScene(again); !saveSt) return "save failed: " + saveSt.errorString().str();
        if (const MStatus reopen = host::io::openScene(again); !reopen)
            return "the saved file does not open: " + reopen.errorString().str();
        rt().idle.flush();
        return "";
    }

    std::filesystem::path folder_;
};

TEST_P(DamagedScenes, AreRefusedAtALineOrOpenStepAndSaveAgain) {
    const std::array<std::string, 2> bases = {saved(ZYL_ROOT "/scenes/demo.mel"),
                                              saved(ZYL_ROOT "/tests/scenes/fractureMix.mel")};
    ASSERT_FALSE(bases[0].empty() || bases[1].empty());
    int perBlock = kVariantsPerBlock;
    if (const char* n = std::getenv("ZYL_DAMAGED_SCENES")) perBlock = std::max(1, std::atoi(n));
    int refused = 0, opened = 0;
    std::vector<std::string> failures;
    for (int k = 0; k < perBlock; ++k) {
        const std::uint64_t seed = static_cast<std::uint64_t>(GetParam()) * 1000003u + static_cast<std::uint64_t>(k);
        Damage damage(seed);
        const std::string text = damage.apply(bases[seed % bases.size()]);
        bool open = false;
        if (const std::string failure = tryVariant(text, open); !failure.empty()) {
            const std::string kept = file("seed" + std::to_string(seed) + ".scene");
            std::ofstream(kept, std::ios::binary) << text;
            failures.push_back("seed " + std::to_string(seed) + " (" + damage.what() + ", kept as " + kept + "): " + failure);
        }
        ++(open ? opened : refused);
    }
    std::printf("%d damaged scenes: %d refused at a line, %d opened, stepped and saved\n", perBlock, refused, opened);
    EXPECT_TRUE(failures.empty()) << failures.size() << " failed:\n" << [&] {
        std::string all;
        for (const auto& f : failures) all += f + "\n";
        return all;
    }();
}

INSTANTIATE_TEST_SUITE_P(Blocks, DamagedScenes, ::testing::Range(0, kBlocks));

}  // namespace
