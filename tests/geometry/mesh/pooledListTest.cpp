#include "geometry/mesh/pooledList.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/allocationHooks.h"

namespace {

using List = PooledList<int*>;
using Nodes = std::vector<const List::Node*>;
using Values = std::vector<int*>;

// Values in order, after checking every previous link and the count.
template <class T, bool I>
std::vector<T> valuesOf(const PooledList<T, I>& list) {
    std::vector<T> values;
    for (const auto *before = list.head, *n = list.head->next; n; before = n, n = n->next) {
        EXPECT_EQ(n->previous, before) << "element " << values.size();
        values.push_back(n->value);
    }
    EXPECT_EQ(values.size(), list.count);
    return values;
}

Nodes chain(const List::Node* n) {
    Nodes nodes;
    for (; n; n = n->next) {
        nodes.push_back(n);
    }
    return nodes;
}

List listOf(std::initializer_list<int*> values) {
    List list;
    for (auto* tail = list.head; int* v : values) {
        list.insertAfter(v, tail);
        tail = tail->next;
    }
    return list;
}

int a = 1, b = 2, c = 3, x = 4, y = 5;

}  // namespace

TEST(PooledList, NodeReuse) {
    List list = listOf({&a, &b, &c});
    const Nodes elements = chain(list.head->next);
    list.clear();
    EXPECT_EQ(chain(list.spare), (Nodes{elements[2], elements[1], elements[0]}));
    zyltest::nothrowAllocations = 0;
    list.pushFront(&x);
    list.pushFront(&y);
    list.pushFront(&a);
    EXPECT_TRUE(zyltest::nothrowAllocations == 0 && list.spare == nullptr);
    EXPECT_EQ(chain(list.head->next), elements);  // x took the first spare, c's old node

    List target = listOf({&x, &y});
    const Nodes old = chain(target.head->next);
    const List source = listOf({&a, &b, &c});
    zyltest::nothrowAllocations = 0;
    target = source;
    const Nodes now = chain(target.head->next);
    EXPECT_EQ(valuesOf(target), (Values{&a, &b, &c}));
    EXPECT_TRUE(zyltest::nothrowAllocations == 1 && now[0] == old[1] && now[1] == old[0]);

    target.reserveSpares(3);
    target.reserveSpares(2);
    EXPECT_EQ(chain(target.spare).size(), 3u);
    target.releaseSpares();
    EXPECT_EQ(target.spare, nullptr);
}

TEST(PooledList, LinkIntegrity) {
    List list;
    list.pushFront(&a);
    EXPECT_EQ(list.head->previous, list.head);  // not null, so pushFront leaves it
    List::Node* const nodeA = list.head->next;
    list.insertAfter(&b, nodeA);
    list.pushFront(&c);
    list.insertAfter(&x, list.head);  // after the last-node link, which moves
    EXPECT_EQ(list.head->previous, list.head->next);
    list.insertAfter(&y, nullptr);
    EXPECT_EQ(valuesOf(list), (Values{&x, &c, &a, &b}));

    list.remove(&a);
    EXPECT_TRUE(list.spare == nodeA && nodeA->previous == nullptr);
    list.remove(&y);  // absent
    list.pushFront(&c);  // c x c b
    const List::Node* const firstC = list.head->next;
    list.remove(&c);
    EXPECT_EQ(valuesOf(list), (Values{&x, &c, &b}));
    EXPECT_EQ(list.spare, firstC);

    // Sorted insertion after the last key not greater keeps equal keys in arrival order.
    int keys[] = {5, 1, 3, 1, 0};
    List sorted;
    for (int& key : keys) {
        auto* at = sorted.head;
        while (at->next && *at->next->value <= key) {
            at = at->next;
        }
        sorted.insertAfter(&key, at);
    }
    EXPECT_EQ(valuesOf(sorted), (Values{&keys[4], &keys[1], &keys[3], &keys[2], &keys[0]}));
    EXPECT_EQ(Values(sorted.begin(), sorted.end()), valuesOf(sorted));
}

TEST(PooledList, CopiesDestroyVectorsAndPushFrontAll) {
    const List empty;
    const List emptyCopy(empty);
    EXPECT_TRUE(emptyCopy.count == 0 && !emptyCopy.spare && !emptyCopy.head->next);

    const List source = listOf({&a, &b, &c});
    List copy(source);
    EXPECT_EQ(copy.head->previous, nullptr);
    copy.pushFront(&x);
    EXPECT_EQ(copy.head->previous, copy.head->next->next);  // was null: takes the old first
    copy.remove(&b);
    List& alias = copy;
    const Nodes before = chain(copy.head->next);
    copy = alias;
    EXPECT_EQ(chain(copy.head->next), before);
    EXPECT_EQ(valuesOf(copy), (Values{&x, &a, &c}));
    EXPECT_EQ(valuesOf(source), (Values{&a, &b, &c}));

    copy.destroy();
    copy.destroy();
    copy.pushFront(&a);
    EXPECT_TRUE(!copy.head && !copy.spare && copy.count == 0);

    using Qmt::QmtVector3;
    PooledList<QmtVector3> points;
    points.pushFront(QmtVector3(1.0, 2.0, 3.0));
    points.insertAfter(QmtVector3(4.0, 5.0, 6.0), points.head->next);
    const PooledList<QmtVector3> pointsCopy(points);
    points.clear();
    EXPECT_EQ(valuesOf(pointsCopy), (std::vector<QmtVector3>{{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}}));

    List destination = listOf({&x, &y});
    destination.pushFrontAll(source);
    EXPECT_EQ(valuesOf(destination), (Values{&c, &b, &a, &x, &y}));
}

TEST(PooledList, FailedAllocationLinksAndCountsNothing) {
    const List source = listOf({&a, &b, &c});
    List pushed, assigned;
    pushed.reserveSpares(1);
    assigned.reserveSpares(1);
    zyltest::failNextNothrowNew = true;  // a takes the spare, b finds no node
    pushed.pushFrontAll(source);
    EXPECT_EQ(valuesOf(pushed), (Values{&c, &a}));
    zyltest::failNextNothrowNew = true;
    assigned = source;
    EXPECT_EQ(valuesOf(assigned), (Values{&a, &c}));

    zyltest::failNextNothrowNew = true;
    List headless;
    headless = source;
    EXPECT_TRUE(!headless.head && headless.count == 0);
}

TEST(PooledList, MoveFrontToBackRelinksNodes) {
    List source = listOf({&a, &b, &c});
    const Nodes moved = chain(source.head->next);
    ASSERT_EQ(source.head->previous, moved[2]);
    List target = listOf({&x});
    List::Node* targetTail = target.head->next;
    const List::Node* const nodeX = targetTail;
    List empty;
    List::Node* emptyTail = empty.head;

    zyltest::nothrowAllocations = 0;
    source.moveFrontToBack(target, targetTail);
    source.moveFrontToBack(empty, emptyTail);
    EXPECT_EQ(zyltest::nothrowAllocations, 0);
    EXPECT_EQ(valuesOf(source), (Values{&c}));
    EXPECT_EQ(source.head->previous, moved[2]);  // still names the remaining node
    EXPECT_EQ(valuesOf(target), (Values{&x, &a}));
    EXPECT_TRUE(targetTail == moved[0] && target.head->previous == targetTail);
    EXPECT_EQ(valuesOf(empty), (Values{&b}));
    EXPECT_TRUE(emptyTail == moved[1] && empty.head->previous == emptyTail);

    // Emptying the source: its last-node link falls back to its head.
    source.moveFrontToBack(target, targetTail);
    EXPECT_TRUE(source.count == 0 && source.head->next == nullptr && source.head->previous == source.head);
    EXPECT_EQ(chain(target.head->next), (Nodes{nodeX, moved[0], moved[2]}));
    EXPECT_EQ(valuesOf(target), (Values{&x, &a, &c}));
    EXPECT_TRUE(targetTail == moved[2] && targetTail->next == nullptr && target.head->previous == targetTail);

    // An empty source moves nothing; the tail stays.
    source.moveFrontToBack(target, targetTail);
    EXPECT_TRUE(target.count == 3 && targetTail == moved[2] && source.count == 0);

    // A receiving link that does not name the tail is left alone, as insertAfter
    // would leave it (a copy starts with a null link).
    List copied(empty);
    List::Node* copiedTail = copied.head->next;
    target.moveFrontToBack(copied, copiedTail);
    EXPECT_EQ(valuesOf(copied), (Values{&b, &x}));
    EXPECT_TRUE(copied.head->previous == nullptr && copiedTail == copied.head->next->next);
    EXPECT_EQ(valuesOf(target), (Values{&a, &c}));
}

// An indexed list follows a plain one through random edits (duplicates included): the
// same values in the same order, the same answers to contains and find, and its last
// node; once its index cannot grow it goes on as a plain list.
TEST(PooledList, IndexedListMatchesPlainList) {
    using Indexed = PooledList<int*, true>;
    int values[12] = {};
    std::uint32_t seed = 7;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    Indexed indexed, other;
    List plain, plainOther;
    const auto nodeAt = [](auto& list, std::uint32_t k) {
        auto* n = list.head;
        for (; k != 0 && n->next; --k) n = n->next;
        return n;
    };
    for (int step = 0; step < 4000; ++step) {
        int* const v = &values[next(12)];
        switch (next(9)) {
            case 0:
            case 1:
                indexed.pushFront(v);
                plain.pushFront(v);
                break;
            case 2:
            case 3: {
                const std::uint32_t at = next(plain.count + 1);
                indexed.insertAfter(v, nodeAt(indexed, at));
                plain.insertAfter(v, nodeAt(plain, at));
                break;
            }
            case 4:
            case 5:
                indexed.remove(v);
                plain.remove(v);
                break;
            case 6: {
                Indexed::Node* tail = other.last();
                indexed.moveFrontToBack(other, tail);
                List::Node* plainTail = plainOther.last();
                plain.moveFrontToBack(plainOther, plainTail);
                break;
            }
            case 7:
                if (next(20) == 0) {
                    indexed.clear();
                    plain.clear();
                } else if (next(2) == 0) {
                    indexed.reverse();
                    plain.reverse();
                } else {
                    zyltest::failNextNothrowNew = next(4) == 0;  // the index may give up
                    other = indexed;
                    zyltest::failNextNothrowNew = false;
                    plainOther = plain;
                    if (Values(other.begin(), other.end()) != valuesOf(plainOther)) {
                        plainOther = List();  // a node was refused: start both afresh
                        other.clear();
                    }
                }
                break;
            default:
                other.remove(v);
                plainOther.remove(v);
                break;
        }
        ASSERT_EQ(valuesOf(indexed), valuesOf(plain)) << "step " << step;
        ASSERT_EQ(valuesOf(other), valuesOf(plainOther)) << "step " << step;
        // find answers the first node holding the value: at the same place as in the plain list.
        const auto place = [](const auto& list, const auto* node) {
            int k = 0;
            for (const auto* n = list.head->next; n && n != node; n = n->next) ++k;
            return node ? k : -1;
        };
        for (int* w = values; w != values + 12; ++w) {
            const auto* expected = plain.head->next;
            while (expected && expected->value != w) expected = expected->next;
            ASSERT_EQ(place(indexed, indexed.find(w)), place(plain, expected));
            ASSERT_EQ(other.contains(w), plainOther.contains(w));
        }
        ASSERT_EQ(indexed.last(), nodeAt(indexed, indexed.count));
        ASSERT_EQ(other.last(), nodeAt(other, other.count));
    }
}
