#pragma once

#include <cstdint>

#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Bounding-volume records and the small volume classes that wrap them.
//
// A volume holds its record by an ownership state:
//   -1  no record
//    0  the record belongs to someone else (a body, a tree node, a caller's array)
//    1  the volume owns the record and deletes it when destroyed
// Copies are shallow and take the state with them, so a copy of an owning volume
// must not be destroyed beside its source while both still say 1: copy only
// non-owning volumes, or reset one of the two (state and record are public) first.
//
// Box corner order, shared by BVbox, BVAAbox and every routine that stores corner
// indices (box meshes, box supports in the collision code). With c the centre and
// X = e0 * axis0, Y = e1 * axis1, Z = e2 * axis2 (half extents times axis columns;
// for an axis-aligned box the coordinate axes times the half sizes):
//   0: c + X + Y + Z      4: c - X - Y - Z
//   1: c + X + Y - Z      5: c - X + Y - Z
//   2: c + X - Y - Z      6: c - X + Y + Z
//   3: c + X - Y + Z      7: c - X - Y + Z
// Corners 4..7 mirror corners 0, 3, 2, 1 through c.

// Lets go of a record held by an ownership state: deletes it when the state says
// the holder owns it (1). The pointer becomes null; the state is left to the caller.
template <class T>
void releaseHeldRecord(T*& record, std::int32_t state) {
    if (state == 1) {
        delete record;
    }
    record = nullptr;
}

// Oriented box.
struct ZYLbox {
    Qmt::QmtVector3 centre;
    Qmt::QmtMatrix3 axes;         // COLUMNS are the box's unit axes
    Qmt::QmtVector3 halfExtents;  // component k belongs to axis column k
};

// Axis-aligned box.
struct ZYLAAbox {
    Qmt::QmtVector3 minCorner;
    Qmt::QmtVector3 maxCorner;
};

// Capsule: the core segment runs from centre - axis * length/2 to
// centre + axis * length/2.
struct ZYLcapsule {
    Qmt::QmtVector3 centre;
    Qmt::QmtVector3 axis;  // unit
    double length = 0.0;   // of the core segment
    double radius = 0.0;
};

// Oriented-box volume.
class BVbox {
public:
    std::int32_t state = -1;  // ownership state, see above
    ZYLbox* box = nullptr;

    BVbox() = default;
    // Refers to a record that lives elsewhere (state 0).
    explicit BVbox(ZYLbox* record) : state(0), box(record) {}
    BVbox(const BVbox&) = default;
    BVbox& operator=(const BVbox&) = default;
    virtual ~BVbox();

    ZYLbox* getBox() const { return box; }

    Qmt::QmtVector3 getCenter() const { return box->centre; }
    void setCenter(const Qmt::QmtVector3& c) { box->centre = c; }
    void translate(const Qmt::QmtVector3& d) { box->centre += d; }
    // Centre-to-corner distance: the length of the half-extent vector.
    double getRadio() const { return box->halfExtents.Length(); }
    // Axis column i for i = 0, 1, 2; the zero vector for any other i.
    Qmt::QmtVector3 getAxis(int i) const;
    double getVolumen() const;
    // Writes the 8 corners in the shared corner order; returns 8.
    std::uint32_t computeVertexes(Qmt::QmtVector3* out) const;

    // A new zeroed record owned by this volume (state 1). A record held before is
    // not released. False when the allocation fails.
    bool createBox();
    // Deletes the record when this volume owns it (state 1) and drops the pointer
    // in any case; the state is left as it is.
    void deleteBox();
    // Copies b into the record, creating an owned one first when there is none.
    void init(const ZYLbox& b);

    // centre' = R * (S o centre) + T; axes' = R * axes; half extents scaled by index.
    void transformSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BVbox& out) const;
    // centre' = S o (R * (centre + T)); axes and half extents as for SRT.
    void transformTRS(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BVbox& out) const;
};

// Axis-aligned-box volume. Copy-constructible but not assignable.
class BVAAbox {
public:
    std::int32_t state = -1;
    ZYLAAbox* box = nullptr;

    BVAAbox() = default;
    explicit BVAAbox(ZYLAAbox* record) : state(0), box(record) {}
    BVAAbox(const BVAAbox&) = default;
    BVAAbox& operator=(const BVAAbox&) = delete;
    virtual ~BVAAbox();

    Qmt::QmtVector3 getCenter() const;
    // Moves the box to centre c keeping its size.
    void setCenter(const Qmt::QmtVector3& c);
    void translate(const Qmt::QmtVector3& d);
    double getRadio() const;
    // The coordinate axis i for i = 0, 1, 2; the zero vector for any other i.
    Qmt::QmtVector3 getAxis(int i) const;
    double getVolumen() const;
    std::uint32_t computeVertexes(Qmt::QmtVector3* out) const;

    bool createBox();
    void init(const ZYLAAbox& b);

    // The rotation moves the centre only; the extents are the scaled ones, unrotated.
    void transformSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BVAAbox& out) const;
    void transformTRS(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BVAAbox& out) const;
};

// Capsule volume with a frame (u, v, axis) around its axis.
class BCapsule {
public:
    std::int32_t state = -1;
    ZYLcapsule* capsule = nullptr;
    Qmt::QmtVector3 u;  // first frame vector
    Qmt::QmtVector3 v;  // second frame vector

    BCapsule() = default;
    // Refers to a record that lives elsewhere (state 0) and builds the frame.
    explicit BCapsule(ZYLcapsule* record);
    BCapsule(const BCapsule&) = default;
    BCapsule& operator=(const BCapsule&) = default;
    virtual ~BCapsule();

    // Radius of the sphere about the centre that holds the capsule.
    double getRadio() const { return capsule->length * 0.5 + capsule->radius; }
    double getSize() const { return capsule->length; }
    // u for 0, v for 1, the record's axis for anything else.
    Qmt::QmtVector3 getAxis(int i) const;
    // 4 r^2 L.
    double getVolumen() const;
    // The two tips along the axis, then centre + u*r and centre + v*r; returns 4.
    std::uint32_t computeVertexes(Qmt::QmtVector3* out) const;

    // A new record (centre and axis zero) owned by this volume; false on failure.
    bool createCap();
    // Copies c into the record (creating an owned one when there is none) and
    // rebuilds the frame.
    void init(const ZYLcapsule& c);

    // Length and radius scale by the largest component of S; the axis is rotated
    // but not renormalised.
    void transformSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BCapsule& out) const;
    void transformTRS(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R,
                      const Qmt::QmtVector3& S, BCapsule& out) const;
    // The record transformSRT would write, left unwritten.
    ZYLcapsule placedSRT(const Qmt::QmtVector3& T, const Qmt::QmtMatrix3& R, const Qmt::QmtVector3& S) const;

private:
    // u, v orthonormal to the axis; both the axis itself when |axis|^2 <= 1e-5.
    void buildFrame();
};

// The box's eight corners in the shared corner order above.
void computeBoxCorners(const ZYLbox& box, Qmt::QmtVector3 corners[8]);

// Bounds of points[indices[0 .. n-1]]; the zeroed box when n is 0.
void fitAxisAlignedBoxIndexed(ZYLAAbox& out, std::uint32_t n, const std::uint32_t* indices,
                              const Qmt::QmtVector3* points);
