// Joint building: the fracture body ties its fragments together from their geometry,
// to the nearest fragment of one body, to every fragment near one body, between all
// touching fragments, or as a complete rebuild. Only hull and triangle-mesh bodies
// take part: only they carry the convex bound the distance queries read.
//
// The face queries answer squared distances, so every distance limit is compared in
// its squared form.

#include <cfloat>
#include <cstring>

#include "engine/bodies/bodyDistance.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureLists.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/query/faceDistances.h"
#include "math/qmtMatrix3.h"

namespace fl = fracture_lists;
using Qmt::QmtVector3;

namespace {

// Joint indices shared by every fracture body for the life of the process.
bool nearJointCounterStarted = false;
std::uint32_t nearJointCounter = 0;     // buildJoints
std::uint32_t contactJointCounter = 0;  // buildJointsByContact
std::uint32_t rebuildJointCounter = 0;  // rebuildJoints

constexpr double GATE_SLACK = 1e-5;
constexpr double BUILT_TOLERANCE = 1.0;

PrivateHardBody* asFragment(HardBody* body) {
    return body && body->getType() != HB_FRACTURE ? static_cast<PrivateHardBody*>(body) : nullptr;
}

// The world mesh of the body's convex bound, null for a body without one.
ZYLmesh* boundMesh(HardBody* body) {
    const BVmesh* const bound = convexBoundOf(body);
    return bound ? bound->mesh : nullptr;
}

bool bothStatic(const HardBody* a, const HardBody* b) { return a->isStatic() && b->isStatic(); }

bool sphereGate(HardBody* a, HardBody* b, double d) {
    QmtVector3 ca;
    QmtVector3 cb;
    double ra = 0.0;
    double rb = 0.0;
    a->getBSphere(ca, ra);
    b->getBSphere(cb, rb);
    const double reach = (ra + d) + (rb + d);
    return (ca - cb).SquaredLength() - reach * reach < GATE_SLACK;
}

bool boxGate(const HardBody* a, const HardBody* b, double d) {
    ZYLbox ba = a->getBbox();
    ZYLbox bb = b->getBbox();
    const QmtVector3 grow(d, d, d);
    ba.halfExtents += grow;
    bb.halfExtents += grow;
    return orientedBoxesOverlap(ba, bb);
}

// Squared sampled distance of the two bounds with the midpoint of the closest points.
double sampledDistance(HardBody* a, HardBody* b, QmtVector3& midpoint) {
    std::uint32_t v[4];
    QmtVector3 pa;
    QmtVector3 pb;
    const double d2 = boundDistance(a, b, v[0], v[1], v[2], v[3], pa, pb);
    if (d2 < FACE_DISTANCE_NONE) {
        midpoint = (pa + pb) * 0.5;
    }
    return d2;
}

// Squared facing-face distance of the two bound meshes with the midpoint of the closest
// points; without a facing pair the midpoint of the two centres stands in.
double facingDistance(HardBody* a, HardBody* b, QmtVector3& midpoint) {
    std::uint32_t fa = 0;
    std::uint32_t fb = 0;
    QmtVector3 pa = a->dyn.position;
    QmtVector3 pb = b->dyn.position;
    const double d2 = closestFacingFaces(boundMesh(a), boundMesh(b), fa, fb, pa, pb);
    midpoint = (pa + pb) * 0.5;
    return d2;
}

void appendBounded(char* out, std::size_t& used, const char* text) {
    for (; *text && used + 1 < JOINT_NAME_SIZE; ++text) {
        out[used++] = *text;
    }
    out[used] = '\0';
}

// A new joint between two fragments, first the PNode; named after both bodies.
DynamicStress* makeJoint(const QmtVector3& anchor, PrivateHardBody* first, PrivateHardBody* second,
                         std::uint32_t index) {
    auto* joint = new DynamicStress();
    char name[JOINT_NAME_SIZE] = {};
    std::size_t used = 0;
    appendBounded(name, used, "str_");
    appendBounded(name, used, first->transform.name);
    appendBounded(name, used, "_");
    appendBounded(name, used, second->transform.name);
    joint->setName(name);
    joint->set_break_tolerance(BUILT_TOLERANCE);
    joint->setBreakEnergy(0.0);
    joint->attach(anchor, 1, first, second);
    joint->setIndex(index);
    return joint;
}

}  // namespace

DynamicStress* FractureBody::buildJointsByDistance(HardBody* body, double distance, bool force) {
    PrivateHardBody* const B = asFragment(body);
    if (!B) {
        return nullptr;
    }
    PrivateHardBody* nearest = nullptr;
    double best = FLT_MAX;
    QmtVector3 anchor;
    for (PrivateHardBody* f : fragments) {
        if (f == B || !sphereGate(B, f, distance)) {
            continue;
        }
        QmtVector3 midpoint;
        const double d2 = sampledDistance(B, f, midpoint);
        if (d2 < best) {
            best = d2;
            nearest = f;
            anchor = midpoint;
        }
    }
    if (!nearest || findFragmentJoint(B, nearest)) {
        return nullptr;
    }
    if (!force && !(distance * distance > best)) {
        return nullptr;
    }
    DynamicStress* const joint = makeJoint(anchor, B, nearest, activeJoints.count);
    JointList made;
    made.pushFront(joint);
    registerJoints(made);
    fl::append(activeJoints, joint);
    return joint;
}

void FractureBody::buildJointsDefault() {
    for (bool joined = true; joined;) {
        joined = false;
        // A join moves the body into the fragment list: the pass starts over.
        for (FragmentList::Node* n = fl::firstNode(disconnectedBodies); n && !joined; n = n->next) {
            PrivateHardBody* const d = n->value;
            bool sharesGroup = false;
            for (const PrivateHardBody* f : fragments) {
                sharesGroup = sharesGroup || f->getGroupID() == d->getGroupID();
            }
            joined = sharesGroup && buildJointsByDistance(d, FLT_MAX, false) != nullptr;
        }
    }
}

bool FractureBody::buildJoints(HardBody* body, double distance) {
    PrivateHardBody* const B = asFragment(body);
    if (!B) {
        return false;
    }
    if (!nearJointCounterStarted) {
        nearJointCounterStarted = true;
        nearJointCounter = activeJoints.count;
    }
    JointList made;
    for (PrivateHardBody* f : fragments) {
        QmtVector3 midpoint;
        if (f != B && sphereGate(B, f, distance) && sampledDistance(B, f, midpoint) < distance * distance) {
            fl::append(made, makeJoint(midpoint, B, f, nearJointCounter++));
        }
    }
    if (made.count == 0) {
        return false;
    }
    registerJoints(made);
    for (DynamicStress* joint : made) {
        fl::append(activeJoints, joint);
    }
    return true;
}

bool FractureBody::buildJointsByContact(double distance) {
    clearFragmentJointLists();
    const auto addJoined = [this](PrivateHardBody* a, PrivateHardBody* b) {
        QmtVector3 anchor;
        facingDistance(a, b, anchor);
        DynamicStress* const joint = makeJoint(anchor, a, b, contactJointCounter++);
        JointList made;
        made.pushFront(joint);
        registerJoints(made);
        fl::append(activeJoints, joint);
    };
    const auto candidates = [](PrivateHardBody* a, PrivateHardBody* b) {
        return !bothStatic(a, b) && boundMesh(a) && boundMesh(b);
    };

    // Seed: the two closest loose bodies.
    PrivateHardBody* seedA = nullptr;
    PrivateHardBody* seedB = nullptr;
    double best = FLT_MAX;
    for (FragmentList::Node* a = fl::firstNode(disconnectedBodies); a; a = a->next) {
        for (FragmentList::Node* b = a->next; b; b = b->next) {
            const double d2 = (a->value->dyn.position - b->value->dyn.position).SquaredLength();
            if (candidates(a->value, b->value) && d2 < best) {
                best = d2;
                seedA = a->value;
                seedB = b->value;
            }
        }
    }
    if (!seedA) {
        return false;
    }
    addJoined(seedA, seedB);

    // Grow: each pass joins the loose body nearest to the joined set.
    for (;;) {
        PrivateHardBody* loose = nullptr;
        PrivateHardBody* joinedTo = nullptr;
        best = FLT_MAX;
        for (PrivateHardBody* d : disconnectedBodies) {
            for (PrivateHardBody* f : fragments) {
                const double d2 = (d->dyn.position - f->dyn.position).SquaredLength();
                if (candidates(d, f) && d2 < best) {
                    best = d2;
                    loose = d;
                    joinedTo = f;
                }
            }
        }
        if (!loose) {
            break;
        }
        addJoined(loose, joinedTo);
    }

    // Contacts: every further pair of touching fragments.
    JointList made;
    const double limit = distance * distance;
    for (FragmentList::Node* a = fl::firstNode(fragments); a; a = a->next) {
        for (FragmentList::Node* b = a->next; b; b = b->next) {
            PrivateHardBody* const A = a->value;
            PrivateHardBody* const B = b->value;
            QmtVector3 anchor;
            if (bothStatic(A, B) || !boxGate(A, B, distance) || findFragmentJoint(A, B) || !candidates(A, B) ||
                !(facingDistance(A, B, anchor) < limit)) {
                continue;
            }
            fl::append(made, makeJoint(anchor, A, B, contactJointCounter++));
        }
    }
    registerJoints(made);
    for (DynamicStress* joint : made) {
        fl::append(activeJoints, joint);
    }
    return true;
}

bool FractureBody::rebuildJoints(double distance, bool byContact, bool includeStaticPairs) {
    if (byContact) {
        return buildJointsByContact(distance);
    }
    clearFragmentJointLists();
    for (FragmentList::Node* a = fl::firstNode(disconnectedBodies); a; a = a->next) {
        for (FragmentList::Node* b = a->next; b; b = b->next) {
            PrivateHardBody* const A = a->value;
            PrivateHardBody* const B = b->value;
            ZYLmesh* const meshA = boundMesh(A);
            ZYLmesh* const meshB = boundMesh(B);
            if ((bothStatic(A, B) && !includeStaticPairs) || !meshA || !meshB || !sphereGate(A, B, distance) ||
                !boxGate(A, B, distance)) {
                continue;
            }
            QmtVector3 axis = B->dyn.position - A->dyn.position;
            axis.Unitize(Qmt::QmtMatrix3::EPSILON);
            const bool qualifies = A->hasJagginess() || B->hasJagginess()
                                       ? closestVertexPair(meshA, meshB, axis, distance)
                                       : convexPiecesShareFace(meshA, meshB, distance);
            if (qualifies) {
                const QmtVector3 anchor = (A->dyn.position + B->dyn.position) * 0.5;
                fl::append(activeJoints, makeJoint(anchor, A, B, rebuildJointCounter++));
            }
        }
    }
    fragments.clear();
    registerJoints(activeJoints);
    return true;
}

DynamicStress* FractureBody::joinBodies(HardBody* first, HardBody* second) {
    PrivateHardBody* const A = asFragment(first);
    PrivateHardBody* const B = asFragment(second);
    if (!A || !B || findFragmentJoint(A, B) || !boundMesh(A) || !boundMesh(B)) {
        return nullptr;
    }
    QmtVector3 anchor = (A->dyn.position + B->dyn.position) * 0.5;
    sampledDistance(A, B, anchor);
    auto* joint = new DynamicStress();
    joint->attach(anchor, 1, A, B);
    fl::append(activeJoints, joint);
    for (PrivateHardBody* body : {A, B}) {
        if (!fl::contains(fragments, body)) {
            fl::append(fragments, body);
        }
        disconnectedBodies.remove(body);
    }
    return joint;
}
