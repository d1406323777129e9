// Joint building: the fracture body ties its fragments together from their geometry,
// to the nearest fragment of one body, to every fragment near one body, between all
// touching fragments, or as a complete rebuild. Only hull and triangle-mesh bodies
// take part: only they carry the convex bound the distance queries read.
//
// The face queries answer squared distances, so every distance limit is compared in
// its squared form.

#include <cfloat>
#include <cstring>
#include <vector>

#include "engine/bodies/bodyDistance.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureLists.h"
#include "engine/fracture/jointCandidates.h"
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

bool sphereGate(const QmtVector3& ca, double ra, const QmtVector3& cb, double rb, double d) {
    const double reach = (ra + d) + (rb + d);
    return (ca - cb).SquaredLength() - reach * reach < GATE_SLACK;
}

bool sphereGate(HardBody* a, HardBody* b, double d) {
    QmtVector3 ca;
    QmtVector3 cb;
    double ra = 0.0;
    double rb = 0.0;
    a->getBSphere(ca, ra);
    b->getBSphere(cb, rb);
    return sphereGate(ca, ra, cb, rb, d);
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
// points; without a facing pair the midpoint of the two centres stands in. Only a
// distance below `bound` is measured exactly (see closestFacingFaces).
double facingDistance(HardBody* a, HardBody* b, QmtVector3& midpoint, double bound = FACE_DISTANCE_NONE) {
    std::uint32_t fa = 0;
    std::uint32_t fb = 0;
    QmtVector3 pa = a->dyn.position;
    QmtVector3 pb = b->dyn.position;
    const double d2 = closestFacingFaces(boundMesh(a), boundMesh(b), fa, fb, pa, pb, bound);
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

// The enlarged world boxes of the bodies, in list order.
template <class List>
std::vector<const ZYLbox*> boxesOf(const List& bodies) {
    std::vector<const ZYLbox*> boxes;
    for (const HardBody* b : bodies) {
        boxes.push_back(&b->getBbox());
    }
    return boxes;
}

// Every further pair of touching fragments, A before B in the fragment list, gets a
// joint unless one ties them already; only pairs whose boxes may meet are tried.
void joinTouchingFragments(FractureBody& body, double distance) {
    std::vector<PrivateHardBody*> frags(body.fragments.begin(), body.fragments.end());
    FractureBody::JointList made;
    const double limit = distance * distance;
    for (const auto& [a, b] : overlapCandidates(boxesOf(frags), distance)) {
        PrivateHardBody* const A = frags[a];
        PrivateHardBody* const B = frags[b];
        QmtVector3 anchor;
        if (bothStatic(A, B) || !boxGate(A, B, distance) || FractureBody::findFragmentJoint(A, B) || !boundMesh(A) ||
            !boundMesh(B) || !(facingDistance(A, B, anchor, limit) < limit)) {
            continue;
        }
        fl::append(made, makeJoint(anchor, A, B, contactJointCounter++));
    }
    body.registerJoints(made);
    for (DynamicStress* joint : made) {
        fl::append(body.activeJoints, joint);
    }
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
    // Each body's centre, whether it is static and whether it has a bound, read once:
    // nothing here moves a body.
    struct Member {
        PrivateHardBody* body;
        QmtVector3 centre;
        bool isStatic;
        bool bounded;
    };
    const auto member = [](PrivateHardBody* b) {
        return Member{b, b->dyn.position, b->isStatic(), boundMesh(b) != nullptr};
    };
    const auto candidates = [](const Member& a, const Member& b) {
        return !(a.isStatic && b.isStatic) && a.bounded && b.bounded;
    };
    std::vector<Member> loose;
    for (PrivateHardBody* d : disconnectedBodies) {
        loose.push_back(member(d));
    }

    // Seed: the two closest loose bodies.
    const Member* seedA = nullptr;
    const Member* seedB = nullptr;
    double best = FLT_MAX;
    for (std::size_t a = 0; a < loose.size(); ++a) {
        for (std::size_t b = a + 1; b < loose.size(); ++b) {
            const double d2 = (loose[a].centre - loose[b].centre).SquaredLength();
            if (candidates(loose[a], loose[b]) && d2 < best) {
                best = d2;
                seedA = &loose[a];
                seedB = &loose[b];
            }
        }
    }
    if (!seedA) {
        return false;
    }
    addJoined(seedA->body, seedB->body);

    // Grow: each pass joins the loose body nearest to the joined set. Each loose body
    // keeps its nearest fragment, the first in fragment order on a tie; a pass only
    // adds one fragment, at the front of the list, so the nearest fragments follow
    // from it alone and the pass picks what a walk over every loose body and every
    // fragment would.
    struct Nearest {
        Member loose;
        double d2 = FLT_MAX;
        PrivateHardBody* fragment = nullptr;
    };
    std::vector<Member> joined;
    for (PrivateHardBody* f : fragments) {
        joined.push_back(member(f));
    }
    std::vector<Nearest> nearest;
    for (PrivateHardBody* d : disconnectedBodies) {
        Nearest n{member(d)};
        for (const Member& f : joined) {
            const double d2 = (n.loose.centre - f.centre).SquaredLength();
            if (candidates(n.loose, f) && d2 < n.d2) {
                n.d2 = d2;
                n.fragment = f.body;
            }
        }
        nearest.push_back(n);
    }
    for (;;) {
        const Nearest* pick = nullptr;
        best = FLT_MAX;
        for (const Nearest& n : nearest) {
            if (n.fragment && n.d2 < best) {
                best = n.d2;
                pick = &n;
            }
        }
        if (!pick) {
            break;
        }
        const Member added = pick->loose;
        // A body listed as both loose and joined stays so: the next pass picks it again.
        const bool wasFragment = fragments.contains(added.body);
        addJoined(added.body, pick->fragment);
        if (wasFragment) {
            continue;
        }
        std::erase_if(nearest, [&](const Nearest& n) { return n.loose.body == added.body; });
        for (Nearest& n : nearest) {
            const double d2 = (n.loose.centre - added.centre).SquaredLength();
            if (candidates(n.loose, added) && d2 <= n.d2 && d2 < FLT_MAX) {
                n.d2 = d2;
                n.fragment = added.body;
            }
        }
    }
    joinTouchingFragments(*this, distance);
    return true;
}

bool FractureBody::rebuildJoints(double distance, bool byContact, bool includeStaticPairs) {
    if (byContact) {
        return buildJointsByContact(distance);
    }
    clearFragmentJointLists();
    std::vector<PrivateHardBody*> loose(disconnectedBodies.begin(), disconnectedBodies.end());
    // The bounding sphere of every body that some pair asks for it, asked once, as the
    // walk over all pairs would ask (it may refresh the body's world centre).
    std::size_t bounded = 0;
    std::size_t boundedMoving = 0;
    for (PrivateHardBody* b : loose) {
        if (boundMesh(b)) {
            ++bounded;
            boundedMoving += b->isStatic() ? 0 : 1;
        }
    }
    struct Sphere {
        QmtVector3 centre;
        double radius = 0.0;
    };
    std::vector<Sphere> spheres(loose.size());
    for (std::size_t i = 0; i < loose.size(); ++i) {
        PrivateHardBody* const b = loose[i];
        const bool asked = boundMesh(b) && ((includeStaticPairs || !b->isStatic()) ? bounded >= 2 : boundedMoving >= 1);
        if (asked) {
            b->getBSphere(spheres[i].centre, spheres[i].radius);
        }
    }
    for (const auto& [a, b] : overlapCandidates(boxesOf(loose), distance)) {
        PrivateHardBody* const A = loose[a];
        PrivateHardBody* const B = loose[b];
        ZYLmesh* const meshA = boundMesh(A);
        ZYLmesh* const meshB = boundMesh(B);
        if ((bothStatic(A, B) && !includeStaticPairs) || !meshA || !meshB ||
            !sphereGate(spheres[a].centre, spheres[a].radius, spheres[b].centre, spheres[b].radius, distance) ||
            !boxGate(A, B, distance)) {
            continue;
        }
        QmtVector3 axis = B->dyn.position - A->dyn.position;
        axis.Unitize(Qmt::QmtMatrix3::EPSILON);
        const bool qualifies = A->hasJagginess() || B->hasJagginess() ? closestVertexPair(meshA, meshB, axis, distance)
                                                                        : convexPiecesShareFace(meshA, meshB, distance);
        if (qualifies) {
            const QmtVector3 anchor = (A->dyn.position + B->dyn.position) * 0.5;
            fl::append(activeJoints, makeJoint(anchor, A, B, rebuildJointCounter++));
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
