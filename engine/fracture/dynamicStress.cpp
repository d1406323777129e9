#include "engine/fracture/dynamicStress.h"

#include <cstring>

#include "engine/bodies/privateHardBody.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// The world point p in the body's frame: R^T (p - x).
QmtVector3 toBodyFrame(const PrivateHardBody& body, const QmtVector3& p) {
    return (p - body.dyn.position) * body.dyn.rotation;
}

// The body-frame point a in the world: R a + x.
QmtVector3 toWorld(const PrivateHardBody& body, const QmtVector3& a) {
    return body.dyn.rotation * a + body.dyn.position;
}

}  // namespace

void DynamicStress::setName(const char* text) {
    if (!text) {
        return;
    }
    std::size_t n = 0;
    while (n < JOINT_NAME_SIZE - 1 && text[n] != '\0') {
        ++n;
    }
    std::memmove(name, text, n);
    name[n] = '\0';
}

bool DynamicStress::attach(const QmtVector3& point, int count, PrivateHardBody* first,
                           PrivateHardBody* second) {
    if ((!first && !second) || count < 0) {
        return false;
    }
    if (first && second) {
        PNode = first;
        CNode = second;
        PNodeAnchor = toBodyFrame(*first, point);
        first->enableJoined();
        second->enableJoined();
    } else {
        PNode = nullptr;
        CNode = first ? first : second;
        PNodeAnchor = point;
        CNode->enableJoined();
    }
    CNodeAnchor = toBodyFrame(*CNode, point);
    activate();
    return true;
}

QmtVector3& DynamicStress::getAxis(QmtVector3& out) const {
    if (!CNode) {
        out = QmtVector3::ZERO;
        return out;
    }
    const QmtVector3& p = PNode ? PNode->dyn.position : PNodeAnchor;
    out = p - CNode->dyn.position;
    out.Unitize(QmtMatrix3::EPSILON);
    return out;
}

void DynamicStress::getAnchorState(QmtVector3& out) const {
    const QmtVector3 p = PNode ? toWorld(*PNode, PNodeAnchor) : PNodeAnchor;
    const QmtVector3 c = CNode ? toWorld(*CNode, CNodeAnchor) : CNodeAnchor;
    out = (p + c) * 0.5;
}
