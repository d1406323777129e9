#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "host/core/slotTable.h"

namespace {

using host::Slot;
using host::SlotKey;
using host::SlotTable;

// Random additions and attribute removals keep the table equal to an ordered map of the
// same keys: the same slots found, visited in the same order, the same element lists.
TEST(SlotTable, BehavesAsAnOrderedMapOfItsKeys) {
    std::vector<host::AttributePtr> owned;
    for (int a = 0; a < 5; ++a) {
        owned.push_back(std::make_shared<host::Attribute>());
        owned.back()->defaultValue = a;
        owned.back()->array = a % 2 == 1;
    }
    const std::vector<host::AttributePtr> listed = {owned[2], owned[0], owned[1], owned[2], owned[4]};
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        SlotTable table;
        std::map<SlotKey, Slot> expected;
        // New nodes get the whole plugs of the attributes that are no arrays, once each.
        table.assignWholes(listed);
        for (const auto& a : listed)
            if (!a->array) expected.emplace(SlotKey{a.get(), -1}, Slot{a->defaultValue});
        for (int step = 0; step < 200; ++step) {
            const host::Attribute* attr = owned[random() % owned.size()].get();
            const int pick = static_cast<int>(random() % 40);
            // Mostly ascending indices, some out of order, the whole plug, and a cast-down one.
            const int index = pick < 4 ? -1 : pick == 4 ? -7 : pick < 30 ? step : pick;
            if (random() % 25 == 0) {
                table.eraseAttribute(attr);
                std::erase_if(expected, [&](const auto& kv) { return kv.first.attr == attr; });
                continue;
            }
            const Slot fresh{step};
            Slot& got = table.findOrAdd(SlotKey{attr, index}, fresh);
            const Slot& want = expected.try_emplace(SlotKey{attr, index}, fresh).first->second;
            ASSERT_EQ(got.value, want.value);
        }
        std::vector<std::pair<SlotKey, host::Value>> visited, wanted;
        for (const auto& [key, slot] : table) visited.emplace_back(key, slot.value);
        for (const auto& [key, slot] : expected) wanted.emplace_back(key, slot.value);
        ASSERT_EQ(visited, wanted);
        for (const auto& a : owned) {
            const host::Attribute* attr = a.get();
            std::vector<int> indices, wantedIndices;
            for (const auto& [index, slot] : table.elements(attr)) indices.push_back(index);
            for (const auto& [key, slot] : expected)
                if (key.attr == attr && key.index != -1) wantedIndices.push_back(key.index);
            EXPECT_EQ(indices, wantedIndices);
            for (const int index : {-7, -1, 3, 31})
                EXPECT_EQ(table.find(SlotKey{attr, index}) != nullptr, expected.count(SlotKey{attr, index}) == 1);
        }
    }
}

}  // namespace
