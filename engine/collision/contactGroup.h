#pragma once

#include <cstdint>
#include <memory>

#include "math/qmtVector3.h"

class HardBody;
class CollisionPair;
struct MatrixView;
struct dvec;

// The contacts one body has with its neighbours in a stack, gathered so that a pair's
// impulses can be solved together with the contacts that press on the same body from
// other pairs. The collision manager keeps 1024 of them in place and lends them out.
//
// Contact i is entry i of other, point, normal, pointVelocity, otherLocal, ownLocal and
// dropMark. Normals are the pair's, turned for the group's body, which the solved
// impulses push against them. The solving body is the body's parent when it has one,
// else the body.
struct ContactGroup {
    static constexpr std::uint32_t MAX_CONTACTS = 24;
    // Values of flags.
    static constexpr std::uint32_t ACTIVE = 1;
    static constexpr std::uint32_t IMPULSE_LIMITED = 4;
    static constexpr std::uint32_t STALE = 8;  // cleared by every fill and refresh, set by nothing

    std::uint16_t dropMark[MAX_CONTACTS] = {};  // 1: dropped from the last solve
    std::uint32_t flags = 0;
    HardBody* body = nullptr;
    std::uint32_t count = 0;
    std::uint32_t kept = 0;
    // Each contact point in the frame of its other body and in the group body's
    // frame; made on the first fill or merge and kept across reuse.
    std::unique_ptr<Qmt::QmtVector3[]> otherLocal;
    std::unique_ptr<Qmt::QmtVector3[]> ownLocal;
    double impulseLimit = 0.0;
    HardBody* other[MAX_CONTACTS] = {};
    Qmt::QmtVector3 point[MAX_CONTACTS];
    Qmt::QmtVector3 normal[MAX_CONTACTS];
    Qmt::QmtVector3 pointVelocity[MAX_CONTACTS];
    Qmt::QmtVector3 recordedVelocity[MAX_CONTACTS];

    ContactGroup() = default;
    ContactGroup(const ContactGroup&) = delete;
    ContactGroup& operator=(const ContactGroup&) = delete;
    ~ContactGroup() = default;

    // The pair's contacts seen from `body`, one of the pair's two bodies. False when
    // pair or body is null, a buffer cannot be made or body is in neither side.
    bool fillFromPair(const CollisionPair* pair, HardBody* body);
    // World points and point velocities again from the stored local points; false when
    // neither local buffer exists.
    bool refresh();
    // A group of 12 or more keeps its contacts at even positions (at most 12).
    void thin();
    // Keeps the contacts with |direction . normal| > 0.98.
    void keepAlignedContacts(const Qmt::QmtVector3& direction);
    // When two normals oppose each other, keeps the side whose summed point velocity is
    // the longer (the first normal's side on a tie).
    void keepDominantSide();
    // Midpoints of the two bodies' versions of each contact point.
    void computeWorldPoints(Qmt::QmtVector3* out) const;
    // dropMark[i] = bytes[i]; returns the zero bytes, also stored in kept. A null array
    // changes nothing and returns 0.
    std::uint32_t setDropMarks(const std::uint8_t* bytes);
    // Appends the source group's contacts (thinning when full). False when this group
    // is full, has no body or the source is of another body.
    bool mergeFrom(const ContactGroup* source);

    // Rows and blocks of a least-squares system scaled by the pair's mass product;
    // each writes the midpoints into point first.
    void fillVelocityRows(dvec* rhs, int first, double scale);
    void fillBlock(MatrixView* matrix, int first, double scale);
    void fillPairCoupling(MatrixView* matrix, const CollisionPair* pair, int firstPairRow, int firstGroupRow,
                          double scale);
    void fillGroupCoupling(MatrixView* matrix, ContactGroup* group, int first, int groupFirst, double scale);
    // Solution entries x[first], x[first + 1], ... in turn for the contacts not dropped,
    // applied as -x * normal to the solving body; nothing for a static body.
    void applyImpulses(const dvec* x, int first);

    // ---- operations that the collision passes do not use ----
    // Every linked group of the pair active; the pair's groupContactCount their sum.
    static void activateLinkedGroups(CollisionPair* pair);
    // Drops every contact whose normal has a dot above 1e-5 with one of the directions.
    void dropAlongDirections(const Qmt::QmtVector3* directions, int n);
    void copyNormals(Qmt::QmtVector3* out) const;
    void copyPointVelocities(Qmt::QmtVector3* out) const;
    void copyRecordedVelocities(Qmt::QmtVector3* out) const;
    // Keeps the contacts whose mark is 0, in order, then clears every mark.
    void compactByDropMarks();
    // Marks and drops the contacts whose recorded normal speed no longer matches the
    // body's current velocity at the point.
    void dropChangedVelocities();
    // rhs[first + i] = separation of contact i along its normal.
    void fillSeparations(dvec* rhs, int first) const;
    // Moves and turns the body by the displacement the solution gives its contacts.
    void applyDisplacements(const dvec* x, int first);
    // Takes the source's body and appends all its contacts without the guards of
    // mergeFrom, recording a velocity at each point.
    void absorb(const ContactGroup* source);
    // Drops every contact opposing (dot below -1e-5) some normal of the other group.
    void dropOpposing(const ContactGroup* group);

private:
    bool makeBuffers();
    // The solving body: the parent when there is one.
    HardBody* solvingBody() const;
    // The velocity stored for a contact point at p with the given other body.
    Qmt::QmtVector3 velocityAt(const HardBody* otherBody, const Qmt::QmtVector3& p) const;
    // Copies everything of contact `from` but its drop mark to slot `to`.
    void moveContact(std::uint32_t from, std::uint32_t to);
    // s * (m n - a x (I (b x n))) for the solving body.
    Qmt::QmtVector3 response(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b, const Qmt::QmtVector3& n,
                             double scale) const;
};
