#include <algorithm>
#include <cctype>
#include <random>
#include <set>

#include "host/core/registry.h"
#include "host/scene/dag.h"
#include "hostTestSupport.h"

namespace hosttest {
namespace {

// What a plain scan of the shown nodes picks: the name itself when free, else its stem
// with the trailing number raised (in decimal text, whatever its length) until free.
std::string scanPick(const std::set<std::string>& taken, const std::string& wanted) {
    if (!taken.count(wanted)) return wanted;
    std::size_t digits = wanted.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(wanted[digits - 1]))) --digits;
    const std::string stem = wanted.substr(0, digits);
    std::string number = wanted.substr(digits);
    while (true) {
        std::size_t i = number.size();
        while (i > 0 && number[i - 1] == '9') number[--i] = '0';
        if (i == 0)
            number.insert(number.begin(), '1');
        else
            ++number[i - 1];
        number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
        if (!taken.count(stem + number)) return stem + number;
    }
}

// The lowest number from 1 free for every stem.
std::string scanNumber(const std::set<std::string>& taken, const std::vector<std::string>& stems) {
    for (std::uint64_t n = 1;; ++n)
        if (std::none_of(stems.begin(), stems.end(), [&](const std::string& s) { return taken.count(s + std::to_string(n)); }))
            return std::to_string(n);
}

std::set<std::string> shownNames(const host::Scene& scene) {
    std::set<std::string> out;
    for (const auto id : scene.nodeIds()) out.insert(scene.find(id)->name);
    return out;
}

using NameIndex = HostTest;

TEST_F(NameIndex, NamesAreWhatAScanOfTheSceneWouldPick) {
    host::Scene& scene = rt().scene;
    host::NodeType& lambert = *rt().registry.findType("lambert");
    host::NodeType& mesh = *rt().registry.findType("mesh");
    const std::vector<std::string> stems{"lambert", "a", "mesh", "meshShape", ""};
    const std::vector<std::string> numbers{"", "0", "1", "2", "3", "007", "12", "99999999999999999999"};
    std::mt19937 rng(5);
    auto pickOne = [&](const auto& list) { return list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(rng)]; };
    std::vector<std::uint64_t> limbo;
    for (int step = 0; step < 3000; ++step) {
        std::string wanted = pickOne(stems);
        wanted.append(pickOne(numbers));
        if (wanted.empty()) wanted.push_back('7');
        const std::vector<std::uint64_t> ids = scene.nodeIds();
        const std::uint64_t some = pickOne(ids);
        std::set<std::string> taken = shownNames(scene);
        MStatus st;
        switch (std::uniform_int_distribution<int>(0, 6)(rng)) {
        case 0: {  // a default name
            const std::uint64_t id = scene.createNode(lambert, "", false, &st);
            EXPECT_EQ(scene.find(id)->name, "lambert" + scanNumber(taken, {"lambert"}));
            break;
        }
        case 1: {
            const std::uint64_t id = scene.createNode(lambert, wanted, false, &st);
            EXPECT_EQ(scene.find(id)->name, scanPick(taken, wanted));
            break;
        }
        case 2: {  // a shape without a parent: transform and shape take one number free for both
            const auto made = host::dag::createNode(mesh, "", 0, false, &st);
            ASSERT_EQ(made.size(), 2u);
            const std::string n = scanNumber(taken, {"mesh", "meshShape"});
            EXPECT_EQ(scene.find(made[0])->name, "mesh" + n);
            EXPECT_EQ(scene.find(made[1])->name, "meshShape" + n);
            break;
        }
        case 3: {
            const host::Node* n = scene.find(some);
            if (!n->type->deletable || n->locked) break;
            taken.erase(n->name);
            const std::string expected = wanted == n->name ? wanted : scanPick(taken, wanted);
            ASSERT_TRUE(scene.rename(some, wanted));
            EXPECT_EQ(scene.find(some)->name, expected);
            break;
        }
        case 4:
            scene.deleteNode(some);
            break;
        case 5: {
            std::vector<host::Connection> removed;
            if (scene.sendToLimbo(some, &removed)) limbo.push_back(some);
            break;
        }
        default:
            if (limbo.empty()) break;
            const std::uint64_t back = limbo.back();
            limbo.pop_back();
            const std::string expected = scanPick(taken, scene.findIncludingLimbo(back)->name);
            ASSERT_TRUE(scene.restoreFromLimbo(back, {}));
            EXPECT_EQ(scene.find(back)->name, expected);
        }
        if (HasFailure()) FAIL() << "at step " << step;
    }
    // Every shown node is found by its name, none in limbo.
    for (const auto id : scene.nodeIds()) EXPECT_EQ(scene.findByName(scene.find(id)->name)->id, id);
    for (const auto id : limbo) EXPECT_NE(scene.findByName(scene.findIncludingLimbo(id)->name), scene.findIncludingLimbo(id));
}

}  // namespace
}  // namespace hosttest
