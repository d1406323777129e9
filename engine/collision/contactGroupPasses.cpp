// The collision manager's contact-group passes: taking records, building groups from
// the pairs that detection found, linking them to pairs, refreshing them every
// substep and solving them with a pair's contacts.

#include <algorithm>
#include <cstdint>
#include <new>

#include "engine/collision/collisionManager.h"
#include "engine/collision/contactGroup.h"
#include "engine/collision/pairListMoves.h"
#include "engine/solver/lsqSystem.h"

using Qmt::QmtVector3;

namespace {

constexpr std::uint32_t EXTRA_GROUPS_PER_REFILL = 10;
constexpr double TOLERANCE = 1e-5;

// Lane 0 solves in the manager's own workspace, a worker lane in its own.
ContactLsqWorkspace* groupWorkspace(CollisionManager& manager, int lane) {
    if (lane == 0) {
        return manager.workspace.get();
    }
    if (lane > 0 && lane <= getCollisionWorkerCount() && manager.laneWorkspaces) {
        return &manager.laneWorkspaces[lane - 1];
    }
    return nullptr;
}

// Contacts of the linked groups: the variables their rows take.
int linkedContacts(const CollisionPair* pair) {
    int n = 0;
    for (const ContactGroup* group : pair->groupLinks) {
        n += static_cast<int>(group->count);
    }
    return n;
}

void unlinkGroup(CollisionPair* pair, CollisionPair::GroupList::Node* node) {
    unlinkListNode(pair->groupLinks, node);
    --pair->groupLinkCount;
}

// Rows, blocks and couplings of the pair's linked groups from variable `first` on; the
// pair's own rows are coupled in only when withPair is set.
void fillLinkedGroups(CollisionPair* pair, MatrixView* matrix, dvec* rhs, int first, double scale,
                      bool withPair) {
    int o = first;
    for (ContactGroup* group : pair->groupLinks) {
        group->fillVelocityRows(rhs, o, scale);
        o += static_cast<int>(group->count);
    }
    o = first;
    for (ContactGroup* group : pair->groupLinks) {
        group->fillBlock(matrix, o, scale);
        if (withPair) {
            group->fillPairCoupling(matrix, pair, 0, o, scale);
        }
        o += static_cast<int>(group->count);
    }
    o = first;
    for (auto* n = firstListNode(pair->groupLinks); n; n = n->next) {
        int p = o + static_cast<int>(n->value->count);
        for (auto* m = n->next; m; m = m->next) {
            n->value->fillGroupCoupling(matrix, m->value, o, p, scale);
            p += static_cast<int>(m->value->count);
        }
        o += static_cast<int>(n->value->count);
    }
}

}  // namespace

ContactGroup* CollisionManager::takeContactGroup() {
    if (freeGroups.count == 0) {
        for (std::uint32_t i = 0; i < EXTRA_GROUPS_PER_REFILL; ++i) {
            auto* const group = new (std::nothrow) ContactGroup;
            if (!group) {
                continue;
            }
            extraGroups.pushFront(group);
            freeGroups.pushFront(group);
        }
    }
    auto* const n = firstListNode(freeGroups);
    if (!n) {
        return nullptr;
    }
    ContactGroup* const group = n->value;
    unlinkListNode(freeGroups, n);
    return group;
}

std::uint32_t CollisionManager::buildContactGroups() {
    auto* const firstPair = firstListNode(groupPairs);
    if (!firstPair) {
        return 0;
    }
    const std::int32_t bottom =
        std::min(firstPair->value->bodyA->getContactStage(), firstPair->value->bodyB->getContactStage());
    std::uint32_t added = 0;
    for (CollisionPair* pair : groupPairs) {
        for (HardBody* body : {pair->bodyA, pair->bodyB}) {
            if (body->getContactStage() == bottom) {
                continue;
            }
            body->enableInContact();
            ContactGroup* const group = takeContactGroup();
            if (!group) {
                return added;
            }
            if (!group->fillFromPair(pair, body)) {
                freeGroups.pushFront(group);
                return added;
            }
            // Groups of this pass stand at the front of usedGroups; the first of the
            // same body is folded into the new group.
            std::uint32_t seen = 0;
            for (auto* n = firstListNode(usedGroups); n && seen < added; n = n->next, ++seen) {
                ContactGroup* const old = n->value;
                if (old->body != body) {
                    continue;
                }
                if (group->count + old->count >= ContactGroup::MAX_CONTACTS) {
                    group->thin();
                    old->thin();
                }
                group->mergeFrom(old);
                unlinkListNode(usedGroups, n);
                freeGroups.pushFront(old);
                --usedGroupCount;
                --added;
                break;
            }
            // A group whose list node cannot be had is counted all the same.
            usedGroups.pushFront(group);
            ++usedGroupCount;
            ++added;
        }
    }
    return added;
}

std::uint32_t CollisionManager::linkContactGroups() {
    for (CollisionPair* pair : groupPairs) {
        HardBody* const a = pair->bodyA;
        HardBody* const b = pair->bodyB;
        if (!a->isInContact() && !b->isInContact()) {
            continue;
        }
        pair->groupLinks.clear();
        pair->groupLinkCount = 0;
        for (ContactGroup* group : usedGroups) {
            HardBody* const parent = group->body->getParent();
            if (!parent) {
                if (group->body == a || group->body == b) {
                    pair->groupLinks.pushFront(group);
                    ++pair->groupLinkCount;
                    break;
                }
            } else if (parent == a->getParent() || parent == b->getParent()) {
                pair->groupLinks.pushFront(group);
                ++pair->groupLinkCount;
            }
        }
    }
    return 0;
}

void CollisionManager::prepareContactGroups() {
    lastLinkCount = linkContactGroups();
    linkCountSum += lastLinkCount;
    buildContactGroups();
    for (CollisionPair* pair : groupPairs) {
        extractPair(pair);
        pair->groupNumber = groupCounter;
        newPairs.pushFront(pair);
    }
    ++groupCounter;
}

void CollisionManager::refreshPairGroups(CollisionPair* pair, const QmtVector3& alignment) {
    if (!pair) {
        return;
    }
    for (auto* n = firstListNode(pair->groupLinks); n;) {
        auto* const next = n->next;
        const HardBody* const body = n->value->body;
        if (body != pair->bodyA && body != pair->bodyB && !body->getParent()) {
            unlinkGroup(pair, n);
        }
        n = next;
    }
    if (auto* const head = firstListNode(pair->groupLinks); head && head->next) {
        ContactGroup* const first = head->value;
        for (auto* n = head->next; n;) {
            auto* const next = n->next;
            ContactGroup* const group = n->value;
            HardBody* const parent = group->body->getParent();
            const bool sameBody = group->body == first->body;
            if (sameBody || (parent && parent == first->body->getParent())) {
                group->body = first->body;
                if (group->count + first->count >= ContactGroup::MAX_CONTACTS) {
                    first->thin();
                    group->thin();
                }
                first->mergeFrom(group);
                unlinkGroup(pair, n);
            }
            n = next;
        }
    }
    for (auto* n = firstListNode(pair->groupLinks); n;) {
        auto* const next = n->next;
        ContactGroup* const group = n->value;
        group->refresh();
        group->keepDominantSide();
        group->keepAlignedContacts(alignment);
        if (group->count == 0) {
            unlinkGroup(pair, n);
        }
        n = next;
    }
}

void CollisionManager::solvePairWithGroups(CollisionPair* pair, int mode, MatrixView* blockMatrix,
                                           std::uint32_t* linkedGroupCount, double massProduct, int lane) {
    if (!pair || pair->state == 0) {
        return;
    }
    const bool withGroups = linkedGroupCount && *linkedGroupCount != 0;
    const int pairSize = static_cast<int>(pair->contactCount);
    // The resolution has just set groupContactCount to this sum; counting the groups
    // themselves keeps the rows inside the system whatever the caller left there.
    const int groupSize = withGroups ? linkedContacts(pair) : 0;
    ContactLsqWorkspace* const ws = groupWorkspace(*this, lane);
    MatrixView* matrix = nullptr;
    dvec* rhs = nullptr;
    dvec* x = nullptr;
    std::uint8_t* groupSkip = nullptr;
    if (!ws || !ws->setup(pairSize + groupSize, matrix, rhs, x, groupSkip)) {
        return;
    }
    dvec_zero_range(rhs, 0, rhs->length - 1);
    MatrixView::setZero(*matrix, 0.0);

    const double e =
        mode == 1 ? std::min(pair->bodyA->getRestitutionCoeff(), pair->bodyB->getRestitutionCoeff()) : 0.0;
    for (int k = 0; k < pairSize; ++k) {
        // A resting contact does not bounce.
        const double approach = -pair->relativeVelocities[k].Dot(pair->normals[k]);
        const double target = (1.0 + (approach > restingApproach ? e : 0.0)) * massProduct * approach;
        rhs->elements[k] = target < TOLERANCE ? 0.0 : target;
    }
    if (blockMatrix) {
        buildFrictionlessNormalRows(pair, blockMatrix, matrix);
    }
    std::uint8_t noSkip = 0;
    if (withGroups) {
        fillLinkedGroups(pair, matrix, rhs, pairSize, massProduct, true);
        solveMaskedContactSystem(*ws, pairSize, groupSize, matrix, rhs, x, pair->dropMarks, groupSkip);
    } else {
        solveMaskedContactSystem(*ws, pairSize, 0, matrix, rhs, x, pair->dropMarks, &noSkip);
    }

    // The solve leaves the kept variables compacted to the front in order, the pair's
    // first: each kept pair contact takes the next entry, dropped ones get nothing.
    HardBody* const a = pair->bodyA;
    HardBody* const b = pair->bodyB;
    const QmtVector3 centreA = a->getDyn().position;
    int entry = 0;
    for (int k = 0; k < pairSize; ++k) {
        if (pair->dropMarks[k] != 0) {
            continue;
        }
        const double value = x->elements[entry++];
        if (value > TOLERANCE || value < -TOLERANCE) {
            const QmtVector3 impulse = pair->normals[k] * value;
            const QmtVector3 point = pair->armsA[k] + centreA;
            a->applyImpulse(impulse, point);
            if (!b->isStatic()) {
                b->applyImpulse(-impulse, point);
            }
        }
    }
    if (!withGroups) {
        return;
    }
    pair->groupContactCount = 0;
    int slice = 0;
    for (ContactGroup* group : pair->groupLinks) {
        pair->groupContactCount += group->setDropMarks(groupSkip + slice);
        slice += static_cast<int>(group->count);
    }
    int o = entry;
    for (ContactGroup* group : pair->groupLinks) {
        if (group->kept > 0) {
            group->applyImpulses(x, o);
            o += static_cast<int>(group->kept);
        }
    }
}

void CollisionManager::solvePairGroups(CollisionPair* pair, double massProduct, int lane) {
    if (!pair || pair->contactCount == 0) {
        return;
    }
    const int size = linkedContacts(pair);  // groupContactCount as the resolution set it
    ContactLsqWorkspace* const ws = groupWorkspace(*this, lane);
    MatrixView* matrix = nullptr;
    dvec* rhs = nullptr;
    dvec* x = nullptr;
    std::uint8_t* skip = nullptr;
    if (!ws || !ws->setup(size, matrix, rhs, x, skip)) {
        return;
    }
    dvec_zero_range(rhs, 0, rhs->length - 1);
    MatrixView::setZero(*matrix, 0.0);
    fillLinkedGroups(pair, matrix, rhs, 0, massProduct, false);
    std::uint8_t noSkip = 0;
    solveMaskedContactSystem(*ws, 0, size, matrix, rhs, x, &noSkip, skip);
    // Back to one entry per variable: skipped variables get nothing.
    if (std::any_of(skip, skip + size, [](std::uint8_t s) { return s != 0; })) {
        int keptCount = static_cast<int>(std::count(skip, skip + size, std::uint8_t{0}));
        for (int i = size - 1; i >= 0; --i) {
            x->elements[i] = skip[i] != 0 ? 0.0 : x->elements[--keptCount];
        }
    }
    int o = 0;
    for (ContactGroup* group : pair->groupLinks) {
        group->applyImpulses(x, o);
        o += static_cast<int>(group->count);
    }
}
