#include "src/shatter/inOrderWorkers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

struct Scratch {
    int uses = 0;
};

// Items made on many threads arrive in index order with the values a plain loop makes,
// a caller that stops early gets nothing further, and a failing item reaches the caller.
TEST(InOrderWorkers, ItemsArriveInOrderStopEarlyAndCarryFailures) {
    for (const unsigned threads : {1u, 2u, 8u}) {
        std::vector<std::uint64_t> taken;
        const bool all = makeInOrder<std::uint64_t, Scratch>(
            2000, threads, 32, [] { return Scratch{}; },
            [](Scratch& s, std::uint32_t i) {
                ++s.uses;
                return std::uint64_t{i} * i + 7;
            },
            [&](std::uint32_t i, std::uint64_t item) {
                EXPECT_EQ(i, taken.size());
                taken.push_back(item);
                return true;
            });
        EXPECT_TRUE(all);
        ASSERT_EQ(taken.size(), 2000u);
        for (std::uint64_t i = 0; i < taken.size(); ++i) EXPECT_EQ(taken[i], i * i + 7);

        std::uint32_t seen = 0;
        EXPECT_FALSE((makeInOrder<int, Scratch>(
            500, threads, 8, [] { return Scratch{}; }, [](Scratch&, std::uint32_t i) { return int(i); },
            [&](std::uint32_t i, int) { return ++seen, i < 99; })));
        EXPECT_EQ(seen, 100u);

        EXPECT_THROW((makeInOrder<int, Scratch>(
                         300, threads, 8, [] { return Scratch{}; },
                         [](Scratch&, std::uint32_t i) {
                             if (i == 150) throw std::runtime_error("cell failed");
                             return int(i);
                         },
                         [](std::uint32_t, int) { return true; })),
                     std::runtime_error);
    }
}

}  // namespace
