// A value made on a second thread reaches the waiter once, or not at all when memory
// runs out there, and the waiter can tell.

#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "geometry/hull/besideThread.h"

TEST(MadeBeside, GivesTheValueOrNothingWhenMemoryRanOut) {
    MadeBeside<std::vector<int>> made;
    EXPECT_EQ(made.wait(), nullptr);  // never started
    made.start([](std::vector<int>& v) { v.assign(1000, 7); });
    made.start([](std::vector<int>& v) { v.assign(1, 0); });  // only the first counts
    const std::vector<int>* v = made.wait();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->size(), 1000u);
    EXPECT_EQ(made.wait(), v);

    MadeBeside<std::vector<int>> failed;
    failed.start([](std::vector<int>&) { throw std::bad_alloc(); });
    EXPECT_EQ(failed.wait(), nullptr);
}
