#include "geometry/bounds/boundingVolumes.h"

#include <new>

#include "geometry/bounds/boxFit.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// The shared corner order (see the header).
void writeBoxCorners(const QmtVector3& c, const QmtVector3& X, const QmtVector3& Y,
                     const QmtVector3& Z, QmtVector3* out) {
    out[0] = c + X + Y + Z;
    out[1] = c + X + Y - Z;
    out[2] = c + X - Y - Z;
    out[3] = c + X - Y + Z;
    out[4] = c - X - Y - Z;
    out[5] = c - X + Y - Z;
    out[6] = c - X + Y + Z;
    out[7] = c - X - Y + Z;
}

QmtVector3 scaled(const QmtVector3& S, const QmtVector3& p) { return {S.x * p.x, S.y * p.y, S.z * p.z}; }

QmtVector3 placeSRT(const QmtVector3& p, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    return R * scaled(S, p) + T;
}

QmtVector3 placeTRS(const QmtVector3& p, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    return scaled(S, R * (p + T));
}

// A new default record owned by its holder (state 1); a record held before is not
// released. False when the allocation fails.
template <class T>
bool createOwned(T*& record, std::int32_t& state) {
    record = new (std::nothrow) T();
    if (record == nullptr) {
        return false;
    }
    state = 1;
    return true;
}

// Copies value into the held record, creating an owned one first when there is
// none. False when no record could be had.
template <class T>
bool assignRecord(T*& record, std::int32_t& state, const T& value) {
    if (record == nullptr && !createOwned(record, state)) {
        return false;
    }
    *record = value;
    return true;
}

void writeTransformedBox(const ZYLbox& src, const QmtVector3& centre, const QmtMatrix3& R,
                         const QmtVector3& S, BVbox& out) {
    // Computed before out is touched: out may be the source volume itself.
    const ZYLbox result{centre, R * src.axes, scaled(S, src.halfExtents)};
    out.init(result);
}

void writeTransformedAAbox(const ZYLAAbox& src, const QmtVector3& centre, const QmtVector3& S,
                           BVAAbox& out) {
    const QmtVector3 h = (scaled(S, src.maxCorner) - scaled(S, src.minCorner)) / 2.0;
    out.init(ZYLAAbox{centre - h, centre + h});
}

ZYLcapsule transformedCapsule(const ZYLcapsule& src, const QmtVector3& centre, const QmtMatrix3& R,
                              const QmtVector3& S) {
    double s = S.x;
    if (S.y > s) {
        s = S.y;
    }
    if (S.z > s) {
        s = S.z;
    }
    ZYLcapsule result;
    result.centre = centre;
    result.axis = R * src.axis;
    result.length = s * src.length;
    result.radius = s * src.radius;
    return result;
}

void writeTransformedCapsule(const ZYLcapsule& src, const QmtVector3& centre, const QmtMatrix3& R,
                             const QmtVector3& S, BCapsule& out) {
    out.init(transformedCapsule(src, centre, R, S));
}

}  // namespace

// ---------------------------------------------------------------- BVbox

BVbox::~BVbox() { releaseHeldRecord(box, state); }

QmtVector3 BVbox::getAxis(int i) const {
    if (i < 0 || i > 2) {
        return QmtVector3::ZERO;
    }
    return box->axes.GetColumn(static_cast<unsigned>(i));
}

double BVbox::getVolumen() const {
    const QmtVector3& e = box->halfExtents;
    return 8.0 * e.x * e.y * e.z;
}

std::uint32_t BVbox::computeVertexes(QmtVector3* out) const {
    computeBoxCorners(*box, out);
    return 8;
}

bool BVbox::createBox() { return createOwned(box, state); }

// A record held by reference belongs to someone else.
void BVbox::deleteBox() { releaseHeldRecord(box, state); }

void BVbox::init(const ZYLbox& b) { assignRecord(box, state, b); }

void BVbox::transformSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                         BVbox& out) const {
    writeTransformedBox(*box, placeSRT(box->centre, T, R, S), R, S, out);
}

void BVbox::transformTRS(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                         BVbox& out) const {
    writeTransformedBox(*box, placeTRS(box->centre, T, R, S), R, S, out);
}

// ---------------------------------------------------------------- BVAAbox

BVAAbox::~BVAAbox() { releaseHeldRecord(box, state); }

QmtVector3 BVAAbox::getCenter() const { return (box->minCorner + box->maxCorner) / 2.0; }

void BVAAbox::setCenter(const QmtVector3& c) {
    const QmtVector3 h = (box->maxCorner - box->minCorner) / 2.0;
    box->minCorner = c - h;
    box->maxCorner = c + h;
}

void BVAAbox::translate(const QmtVector3& d) { setCenter(getCenter() + d); }

double BVAAbox::getRadio() const { return ((box->maxCorner - box->minCorner) / 2.0).Length(); }

QmtVector3 BVAAbox::getAxis(int i) const {
    switch (i) {
        case 0: return QmtVector3::UNIT_X;
        case 1: return QmtVector3::UNIT_Y;
        case 2: return QmtVector3::UNIT_Z;
        default: return QmtVector3::ZERO;
    }
}

double BVAAbox::getVolumen() const {
    const QmtVector3 h = (box->maxCorner - box->minCorner) / 2.0;
    return 8.0 * h.x * h.y * h.z;
}

std::uint32_t BVAAbox::computeVertexes(QmtVector3* out) const {
    const QmtVector3 h = (box->maxCorner - box->minCorner) / 2.0;
    writeBoxCorners(getCenter(), QmtVector3(h.x, 0.0, 0.0), QmtVector3(0.0, h.y, 0.0),
                    QmtVector3(0.0, 0.0, h.z), out);
    return 8;
}

bool BVAAbox::createBox() { return createOwned(box, state); }

void BVAAbox::init(const ZYLAAbox& b) { assignRecord(box, state, b); }

void BVAAbox::transformSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                           BVAAbox& out) const {
    writeTransformedAAbox(*box, placeSRT(getCenter(), T, R, S), S, out);
}

void BVAAbox::transformTRS(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                           BVAAbox& out) const {
    writeTransformedAAbox(*box, placeTRS(getCenter(), T, R, S), S, out);
}

// ---------------------------------------------------------------- BCapsule

BCapsule::BCapsule(ZYLcapsule* record) : state(0), capsule(record) {
    if (capsule != nullptr) {
        buildFrame();
    }
}

BCapsule::~BCapsule() { releaseHeldRecord(capsule, state); }

QmtVector3 BCapsule::getAxis(int i) const {
    if (i == 0) {
        return u;
    }
    if (i == 1) {
        return v;
    }
    return capsule->axis;
}

double BCapsule::getVolumen() const { return 4.0 * capsule->radius * capsule->radius * capsule->length; }

std::uint32_t BCapsule::computeVertexes(QmtVector3* out) const {
    const QmtVector3& c = capsule->centre;
    const double reach = capsule->length / 2.0 + capsule->radius;
    out[0] = c - capsule->axis * reach;
    out[1] = c + capsule->axis * reach;
    out[2] = c + u * capsule->radius;
    out[3] = c + v * capsule->radius;
    return 4;
}

bool BCapsule::createCap() { return createOwned(capsule, state); }

void BCapsule::init(const ZYLcapsule& c) {
    if (assignRecord(capsule, state, c)) {
        buildFrame();
    }
}

void BCapsule::buildFrame() {
    const QmtVector3& axis = capsule->axis;
    if (axis.SquaredLength() > 1e-5) {
        generateOrthonormalBasis(axis, u, v);
    } else {
        u = axis;
        v = axis;
    }
}

void BCapsule::transformSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                            BCapsule& out) const {
    writeTransformedCapsule(*capsule, placeSRT(capsule->centre, T, R, S), R, S, out);
}

ZYLcapsule BCapsule::placedSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) const {
    return transformedCapsule(*capsule, placeSRT(capsule->centre, T, R, S), R, S);
}

void BCapsule::transformTRS(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S,
                            BCapsule& out) const {
    writeTransformedCapsule(*capsule, placeTRS(capsule->centre, T, R, S), R, S, out);
}

// ---------------------------------------------------------------- free functions

void computeBoxCorners(const ZYLbox& box, QmtVector3 corners[8]) {
    const QmtVector3& e = box.halfExtents;
    writeBoxCorners(box.centre, box.axes.GetColumn(0) * e.x, box.axes.GetColumn(1) * e.y,
                    box.axes.GetColumn(2) * e.z, corners);
}

void fitAxisAlignedBoxIndexed(ZYLAAbox& out, std::uint32_t n, const std::uint32_t* indices,
                              const QmtVector3* points) {
    if (n == 0) {
        out = ZYLAAbox{};
        return;
    }
    QmtVector3 lo = points[indices[0]];
    QmtVector3 hi = lo;
    for (std::uint32_t i = 1; i < n; ++i) {
        const QmtVector3& p = points[indices[i]];
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k]) {
                lo[k] = p[k];
            } else if (p[k] > hi[k]) {
                hi[k] = p[k];
            }
        }
    }
    out.minCorner = lo;
    out.maxCorner = hi;
}
