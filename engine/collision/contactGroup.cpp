// The contact-group record: filling from a pair, refreshing from the stored local
// points, the filters, merging, and the rows and blocks it adds to a pair's impulse
// system.

#include "engine/collision/contactGroup.h"

#include <new>

#include "engine/bodies/hardBody.h"
#include "engine/collision/collisionPair.h"
#include "engine/solver/lsqr.h"
#include "engine/solver/matrixView.h"

using Qmt::QmtVector3;

namespace {

constexpr std::uint32_t THIN_FROM = 12;
constexpr double ALIGNMENT_LIMIT = 0.98;
constexpr double TOLERANCE = 1e-5;

// The body's world point for a point in its own frame.
QmtVector3 toWorld(const HardBody* body, const QmtVector3& local) {
    const RBDynamics& d = body->getDyn();
    return d.rotation * local + d.position;
}

}  // namespace

bool ContactGroup::makeBuffers() {
    if (!otherLocal) {
        otherLocal.reset(new (std::nothrow) QmtVector3[MAX_CONTACTS]);
    }
    if (!ownLocal) {
        ownLocal.reset(new (std::nothrow) QmtVector3[MAX_CONTACTS]);
    }
    return otherLocal && ownLocal;
}

HardBody* ContactGroup::solvingBody() const { return body->getParent() ? body->getParent() : body; }

QmtVector3 ContactGroup::velocityAt(const HardBody* otherBody, const QmtVector3& p) const {
    // A neighbour whose mesh deforms carries its own surface velocities; the contact
    // then follows the group's body.
    ZYLmesh* const mesh = otherBody ? const_cast<HardBody*>(otherBody)->getMesh() : nullptr;
    if (mesh && mesh->velocityFlag != 0) {
        return body->getPointVelocity(p);
    }
    return otherBody ? otherBody->getPointVelocity(p) : QmtVector3::ZERO;
}

void ContactGroup::moveContact(std::uint32_t from, std::uint32_t to) {
    if (from == to) {
        return;
    }
    other[to] = other[from];
    point[to] = point[from];
    normal[to] = normal[from];
    pointVelocity[to] = pointVelocity[from];
    recordedVelocity[to] = recordedVelocity[from];
    if (otherLocal) {
        otherLocal[to] = otherLocal[from];
    }
    if (ownLocal) {
        ownLocal[to] = ownLocal[from];
    }
}

bool ContactGroup::fillFromPair(const CollisionPair* pair, HardBody* groupBody) {
    if (!pair || !groupBody || !makeBuffers()) {
        return false;
    }
    double sign = 0.0;
    HardBody* otherBody = nullptr;
    const QmtVector3* otherPoints = nullptr;
    const QmtVector3* ownPoints = nullptr;
    if (groupBody == pair->bodyA) {
        sign = -1.0;
        otherBody = pair->bodyB;
        otherPoints = pair->pointsB;
        ownPoints = pair->points;
    } else if (groupBody == pair->bodyB) {
        sign = 1.0;
        otherBody = pair->bodyA;
        otherPoints = pair->points;
        ownPoints = pair->pointsB;
    } else {
        return false;
    }
    body = groupBody;
    count = kept = pair->contactCount < MAX_CONTACTS ? pair->contactCount : MAX_CONTACTS;
    for (std::uint16_t& mark : dropMark) {
        mark = 0;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        otherLocal[i] = otherPoints[i];
        ownLocal[i] = ownPoints[i];
        point[i] = toWorld(otherBody, otherLocal[i]);
        pointVelocity[i] = velocityAt(otherBody, point[i]);
        normal[i] = pair->normals[i] * sign;
        other[i] = otherBody;
    }
    flags = (flags & ~STALE) | ACTIVE;
    return true;
}

bool ContactGroup::refresh() {
    if (!otherLocal && !ownLocal) {
        return false;
    }
    kept = count;
    for (std::uint16_t& mark : dropMark) {
        mark = 0;
    }
    if (otherLocal) {
        for (std::uint32_t i = 0; i < count; ++i) {
            point[i] = toWorld(other[i], otherLocal[i]);
            pointVelocity[i] = velocityAt(other[i], point[i]);
        }
    }
    flags = (flags & ~STALE) | ACTIVE;
    return true;
}

void ContactGroup::thin() {
    if (count < THIN_FROM) {
        return;
    }
    const std::uint32_t half = count / 2;
    for (std::uint32_t i = 0; i < half; ++i) {
        moveContact(2 * i, i);
    }
    count = kept = half;
}

void ContactGroup::keepAlignedContacts(const QmtVector3& direction) {
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const double d = direction.Dot(normal[i]);
        if ((d < 0.0 ? -d : d) > ALIGNMENT_LIMIT) {
            moveContact(i, n++);
        }
    }
    count = kept = n;
}

void ContactGroup::keepDominantSide() {
    for (std::uint16_t& mark : dropMark) {
        mark = 0;
    }
    double smallest = 0.0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        for (std::uint32_t j = i + 1; j < count; ++j) {
            const double d = normal[i].Dot(normal[j]);
            if (d < smallest) {
                smallest = d;
                first = i;
                second = j;
            }
        }
    }
    if (!(smallest < -TOLERANCE)) {
        return;
    }
    const QmtVector3 a = normal[first];
    const QmtVector3 b = normal[second];
    QmtVector3 sideA;
    QmtVector3 sideB;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (a.Dot(normal[i]) > b.Dot(normal[i])) {
            sideA += pointVelocity[i];
        } else {
            sideB += pointVelocity[i];
        }
    }
    const QmtVector3 keep = sideB.SquaredLength() > sideA.SquaredLength() ? b : a;
    std::uint32_t n = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (normal[i].Dot(keep) > TOLERANCE) {
            moveContact(i, n++);
        }
    }
    count = kept = n;
}

void ContactGroup::computeWorldPoints(QmtVector3* out) const {
    if (!otherLocal || !ownLocal) {
        for (std::uint32_t i = 0; i < count; ++i) {
            out[i] = point[i];
        }
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = (toWorld(other[i], otherLocal[i]) + toWorld(body, ownLocal[i])) * 0.5;
    }
}

std::uint32_t ContactGroup::setDropMarks(const std::uint8_t* bytes) {
    if (!bytes) {
        return 0;
    }
    std::uint32_t zeros = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        dropMark[i] = bytes[i];
        zeros += bytes[i] == 0 ? 1 : 0;
    }
    kept = zeros;
    return zeros;
}

bool ContactGroup::mergeFrom(const ContactGroup* source) {
    if (!source || count >= MAX_CONTACTS || !body || source->body != body || !makeBuffers()) {
        return false;
    }
    QmtVector3 midpoints[MAX_CONTACTS];
    source->computeWorldPoints(midpoints);
    for (std::uint32_t k = 0; k < source->count; ++k) {
        if (count >= MAX_CONTACTS) {
            thin();
        }
        point[count] = midpoints[k];
        other[count] = source->other[k];
        normal[count] = source->normal[k];
        pointVelocity[count] = velocityAt(other[count], midpoints[k]);
        otherLocal[count] = source->otherLocal ? source->otherLocal[k] : QmtVector3::ZERO;
        ownLocal[count] = source->ownLocal ? source->ownLocal[k] : QmtVector3::ZERO;
        ++count;
    }
    flags &= ~ACTIVE;
    kept = count;
    return true;
}

QmtVector3 ContactGroup::response(const QmtVector3& a, const QmtVector3& b, const QmtVector3& n,
                                  double scale) const {
    const RBDynamics& d = solvingBody()->getDyn();
    return (n * d.invMass - a.Cross(d.invInertiaWorld * b.Cross(n))) * scale;
}

void ContactGroup::fillVelocityRows(dvec* rhs, int first, double scale) {
    computeWorldPoints(point);
    const HardBody* const solver = solvingBody();
    for (std::uint32_t i = 0; i < count; ++i) {
        rhs->elements[first + static_cast<int>(i)] = normal[i].Dot(solver->getPointVelocity(point[i])) * scale;
    }
}

void ContactGroup::fillBlock(MatrixView* matrix, int first, double scale) {
    computeWorldPoints(point);
    const QmtVector3 centre = solvingBody()->getDyn().position;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3 ri = point[i] - centre;
        for (std::uint32_t j = 0; j < count; ++j) {
            matrix->at(first + static_cast<int>(i), first + static_cast<int>(j)) =
                normal[i].Dot(response(ri, point[j] - centre, normal[j], scale));
        }
    }
}

void ContactGroup::fillPairCoupling(MatrixView* matrix, const CollisionPair* pair, int firstPairRow,
                                    int firstGroupRow, double scale) {
    HardBody* const solver = solvingBody();
    if (solver != pair->bodyA && solver != pair->bodyB) {
        return;
    }
    computeWorldPoints(point);
    const bool first = solver == pair->bodyA;
    const double t = first ? 1.0 : -1.0;
    const QmtVector3* const arms = first ? pair->armsA : pair->armsB;
    const QmtVector3 centre = solver->getDyn().position;
    for (std::uint32_t k = 0; k < pair->contactCount; ++k) {
        const QmtVector3 n = pair->normals[k] * t;
        for (std::uint32_t i = 0; i < count; ++i) {
            const QmtVector3 ri = point[i] - centre;
            const int row = firstPairRow + static_cast<int>(k);
            const int column = firstGroupRow + static_cast<int>(i);
            matrix->at(row, column) = -n.Dot(response(arms[k], ri, normal[i], scale));
            matrix->at(column, row) = -normal[i].Dot(response(ri, arms[k], n, scale));
        }
    }
}

void ContactGroup::fillGroupCoupling(MatrixView* matrix, ContactGroup* group, int first, int groupFirst,
                                     double scale) {
    if (!group || group->body != body) {
        return;
    }
    computeWorldPoints(point);
    group->computeWorldPoints(group->point);
    const QmtVector3 centre = solvingBody()->getDyn().position;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3 ri = point[i] - centre;
        for (std::uint32_t j = 0; j < group->count; ++j) {
            const QmtVector3 rj = group->point[j] - centre;
            const int row = first + static_cast<int>(i);
            const int column = groupFirst + static_cast<int>(j);
            matrix->at(row, column) = normal[i].Dot(response(ri, rj, group->normal[j], scale));
            matrix->at(column, row) = group->normal[j].Dot(response(rj, ri, normal[i], scale));
        }
    }
}

void ContactGroup::applyImpulses(const dvec* x, int first) {
    if (body->isStatic()) {
        return;
    }
    computeWorldPoints(point);
    QmtVector3 sum;
    int entry = first;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (dropMark[i] != 1) {
            sum += normal[i] * x->elements[entry++];
        }
    }
    if ((flags & IMPULSE_LIMITED) != 0 && sum.SquaredLength() > impulseLimit * impulseLimit) {
        flags &= ~ACTIVE;
        return;
    }
    HardBody* const target = solvingBody();
    entry = first;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (dropMark[i] != 1) {
            target->applyImpulse(-(normal[i] * x->elements[entry++]), point[i]);
        }
    }
}

// ---- operations that the collision passes do not use ----

void ContactGroup::activateLinkedGroups(CollisionPair* pair) {
    pair->groupContactCount = 0;
    for (ContactGroup* group : pair->groupLinks) {
        group->flags |= ACTIVE;
        pair->groupContactCount += group->count;
    }
}

void ContactGroup::dropAlongDirections(const QmtVector3* directions, int n) {
    std::uint32_t left = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        bool along = false;
        for (int k = 0; k < n && !along; ++k) {
            along = normal[i].Dot(directions[k]) > TOLERANCE;
        }
        if (!along) {
            moveContact(i, left++);
        }
    }
    count = kept = left;
}

void ContactGroup::copyNormals(QmtVector3* out) const {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = normal[i];
    }
}

void ContactGroup::copyPointVelocities(QmtVector3* out) const {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = pointVelocity[i];
    }
}

void ContactGroup::copyRecordedVelocities(QmtVector3* out) const {
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = recordedVelocity[i];
    }
}

void ContactGroup::compactByDropMarks() {
    std::uint32_t left = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (dropMark[i] == 0) {
            moveContact(i, left++);
        }
    }
    count = kept = left;
    for (std::uint16_t& mark : dropMark) {
        mark = 0;
    }
}

void ContactGroup::dropChangedVelocities() {
    for (std::uint32_t i = 0; i < count; ++i) {
        const double now = normal[i].Dot(body->getPointVelocity(point[i]));
        const double difference = recordedVelocity[i].Dot(normal[i]) - now;
        dropMark[i] = (difference > TOLERANCE || difference < -TOLERANCE) ? 1 : 0;
    }
    compactByDropMarks();
}

void ContactGroup::fillSeparations(dvec* rhs, int first) const {
    if (!otherLocal || !ownLocal) {
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        rhs->elements[first + static_cast<int>(i)] =
            (toWorld(other[i], otherLocal[i]) - toWorld(body, ownLocal[i])).Dot(normal[i]);
    }
}

void ContactGroup::applyDisplacements(const dvec* x, int first) {
    computeWorldPoints(point);
    const QmtVector3 centre = body->getDyn().position;
    QmtVector3 push;
    QmtVector3 moment;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3 j = normal[i] * x->elements[first + static_cast<int>(i)];
        push += j;
        moment += (point[i] - centre).Cross(j);
    }
    const double mass = body->getMass();
    body->translate(push * -mass);
    body->rotate(moment * -mass);
}

void ContactGroup::absorb(const ContactGroup* source) {
    if (!source || !makeBuffers()) {
        return;
    }
    body = source->body;
    for (std::uint16_t& mark : dropMark) {
        mark = 0;
    }
    for (std::uint32_t k = 0; k < source->count; ++k) {
        if (count >= MAX_CONTACTS) {
            thin();
        }
        point[count] = source->point[k];
        other[count] = source->other[k];
        normal[count] = source->normal[k];
        pointVelocity[count] = source->pointVelocity[k];
        recordedVelocity[count] = velocityAt(source->other[k], source->point[k]);
        otherLocal[count] = source->otherLocal ? source->otherLocal[k] : QmtVector3::ZERO;
        ownLocal[count] = source->ownLocal ? source->ownLocal[k] : QmtVector3::ZERO;
        ++count;
    }
    kept = count;
    flags = (flags & ~STALE) | ACTIVE;
}

void ContactGroup::dropOpposing(const ContactGroup* group) {
    if (!group) {
        return;
    }
    std::uint32_t left = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        bool opposing = false;
        for (std::uint32_t k = 0; k < group->count && !opposing; ++k) {
            opposing = normal[i].Dot(group->normal[k]) < -TOLERANCE;
        }
        if (!opposing) {
            moveContact(i, left++);
        }
    }
    count = kept = left;
}
