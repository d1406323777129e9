// Joint stress solving: the impulse a joint has to carry at its anchor so that its two
// sides move together, from a small dense least-squares system (3 linear variables, 6
// with torsion) solved by the lane's reusable LsqSystem, and the application of such
// impulses to the bodies' lane copies or current states.

#include <cmath>

#include "engine/bodies/privateHardBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/solver/lsqSystem.h"
#include "math/qmtMatrix3.h"
#include "math/quaternion.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

constexpr double ZERO_SPEED = 1e-5;

// [r]: the matrix of r x ().
QmtMatrix3 skew(const QmtVector3& r) {
    QmtMatrix3 S = QmtMatrix3::ZERO;
    S(0, 1) = -r.z;
    S(0, 2) = r.y;
    S(1, 0) = r.z;
    S(1, 2) = -r.x;
    S(2, 0) = -r.y;
    S(2, 1) = r.x;
    return S;
}

QmtVector3 anchorOf(const DynamicStress& joint) {
    QmtVector3 p;
    joint.getAnchorState(p);
    return p;
}

// u = v + w x (P - x).
QmtVector3 pointVelocity(const RBDynamics& d, const QmtVector3& P) { return d.v + d.w.Cross(P - d.position); }

void writeVector(dvec* b, int offset, const QmtVector3& v) {
    b->elements[offset] = v.x;
    b->elements[offset + 1] = v.y;
    b->elements[offset + 2] = v.z;
}

void writeBlock(MatrixView* A, int row, int col, const QmtMatrix3& M) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            A->at(row + i, col + j) = M(static_cast<unsigned>(i), static_cast<unsigned>(j));
        }
    }
}

// (s_I) I - K written as a 3 x 3 block.
void writeDiagonalMinus(MatrixView* A, int o, double diagonal, const QmtMatrix3& K) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double d = i == j ? diagonal : 0.0;
            A->at(o + i, o + j) = d - K(static_cast<unsigned>(i), static_cast<unsigned>(j));
        }
    }
}

// Both sides move together: every linear component (and, with torsion, every spin
// component) below the zero speed.
bool holdsAlready(const dvec* b, const QmtVector3& omega, bool torsion) {
    const double* e = b->elements;
    if (std::fabs(e[0]) >= ZERO_SPEED || std::fabs(e[1]) >= ZERO_SPEED || std::fabs(e[2]) >= ZERO_SPEED) {
        return false;
    }
    if (!torsion) {
        return true;
    }
    return std::fabs(omega.x) < ZERO_SPEED && std::fabs(omega.y) < ZERO_SPEED && std::fabs(omega.z) < ZERO_SPEED;
}

StressImpulse readSolution(const dvec* x, bool torsion) {
    StressImpulse out{};
    const int n = torsion ? 6 : 3;
    for (int i = 0; i < n; ++i) {
        out[static_cast<std::size_t>(i)] = x->elements[i];
    }
    return out;
}

QmtVector3 linearPart(const StressImpulse& J, double f) { return QmtVector3(J[0], J[1], J[2]) * f; }
QmtVector3 angularPart(const StressImpulse& J, double f) { return QmtVector3(J[3], J[4], J[5]) * f; }

// Angular impulse straight onto the lane-0 momentum.
void addAngularImpulse(PrivateHardBody* body, const QmtVector3& h) {
    RBDynamics& d = body->laneDyn[0];
    d.L += h;
    d.w = d.invInertiaWorld * d.L;
}

bool isMovable(const PrivateHardBody* body) { return body && !body->isStatic(); }

// Rotates the body by theta (when longer than the zero speed) and puts its old spin
// back when the turn made it spin faster than the correction allows.
void rotateBy(PrivateHardBody* body, const QmtVector3& theta, double spinLimit, const QmtVector3& oldSpin) {
    const double angle = theta.Length();
    if (angle <= ZERO_SPEED) {
        return;
    }
    Quaternion q = Quaternion(theta / angle, angle) * body->dyn.orientation;
    // A degenerate turn leaves the orientation as it was rather than writing a
    // non-rotation into the body.
    if (q.Length() == 0.0) {
        return;
    }
    q.Normalize();
    body->setOrientation(q);
    body->updateInertiaTensor();
    if (body->dyn.w.Length() > spinLimit) {
        body->setAngularVelocity(oldSpin);
    }
}

}  // namespace

void applyImpulseThread(PrivateHardBody* body, const QmtVector3& J, const QmtVector3& Q, int lane) {
    if (!body) {
        return;
    }
    RBDynamics& d = body->laneDyn[lane];
    d.v += J * body->dyn.invMass;
    d.L += (Q - d.position).Cross(J);
    d.w = d.invInertiaWorld * d.L;
}

void DynamicStress::computeVelocityRhs(dvec* b, int offset, double scale) const {
    const QmtVector3 P = anchorOf(*this);
    QmtVector3 n;
    getAxis(n);
    const QmtVector3 e = n * breakEnergy;
    QmtVector3 uP = PNode ? pointVelocity(PNode->dyn, P) : QmtVector3::ZERO;
    QmtVector3 uC = CNode ? pointVelocity(CNode->dyn, P) : QmtVector3::ZERO;
    uP += e;
    uC -= e;
    writeVector(b, offset, (uP - uC) * -scale);
}

void DynamicStress::computeLaneVelocityRhs(dvec* b, int offset, double scale, int lane) const {
    const QmtVector3 P = anchorOf(*this);
    const QmtVector3 uP = PNode ? pointVelocity(PNode->laneDyn[lane], P) : QmtVector3::ZERO;
    const QmtVector3 uC = CNode ? pointVelocity(CNode->laneDyn[lane], P) : QmtVector3::ZERO;
    writeVector(b, offset, (uP - uC) * -scale);
}

void DynamicStress::buildBodyBlock(MatrixView* A, int offset, double scale, const PrivateHardBody* body,
                                   int lane) const {
    const RBDynamics& d = body->laneDyn[lane];
    const QmtMatrix3 S = skew(anchorOf(*this) - d.position);
    const double m = 1.0 / body->dyn.invMass;
    writeDiagonalMinus(A, offset, scale / m, S * (d.invInertiaWorld * scale) * S);
}

void DynamicStress::buildPairBlock(MatrixView* A, int offset, double scale) const {
    const QmtVector3 P = anchorOf(*this);
    const RBDynamics& c = CNode->laneDyn[0];
    const double mC = 1.0 / CNode->dyn.invMass;
    const QmtMatrix3 SC = skew(P - c.position);
    const QmtMatrix3 KC = SC * (c.invInertiaWorld * scale) * SC;
    if (!PNode || PNode->isStatic()) {
        writeDiagonalMinus(A, offset, scale / mC, KC);
        return;
    }
    const RBDynamics& p = PNode->laneDyn[0];
    const double mP = 1.0 / PNode->dyn.invMass;
    const QmtMatrix3 SP = skew(P - p.position);
    const QmtMatrix3 KP = SP * (p.invInertiaWorld * scale) * SP;
    writeDiagonalMinus(A, offset, (mP + mC) * scale / (mP * mC), KP + KC);
}

StressImpulse DynamicStress::computeStressImpulse(const PrivateHardBody* body, int lane) const {
    StressImpulse out{};
    LsqSystem* system = getLaneLsqSystem(lane);
    if (!system || !body || !CNode) {
        return out;
    }
    const bool torsion = isTorsionEnabled();
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    if (!system->setup(torsion ? 6 : 3, A, b, x)) {
        return out;
    }
    const RBDynamics& d = body->laneDyn[lane];
    const double m = 1.0 / body->dyn.invMass;
    const QmtVector3 wP = PNode ? PNode->laneDyn[lane].w : QmtVector3::ZERO;
    QmtVector3 omega = CNode->laneDyn[lane].w - wP;
    if (body != CNode) {
        computeLaneVelocityRhs(b, 0, -m, lane);
        omega = -omega;
    } else {
        computeLaneVelocityRhs(b, 0, m, lane);
    }
    if (holdsAlready(b, omega, torsion)) {
        return out;
    }
    if (torsion) {
        writeVector(b, 3, omega * m);
    }
    MatrixView::setZero(*A, 1.0);
    buildBodyBlock(A, 0, m, body, lane);
    if (torsion) {
        const QmtMatrix3 S = skew(anchorOf(*this) - d.position);
        const QmtMatrix3 M = d.invInertiaWorld * m;
        writeBlock(A, 0, 3, -(S * M));
        writeBlock(A, 3, 0, M * S);
        writeBlock(A, 3, 3, M);
    }
    system->solve(A, b, x);
    return readSolution(x, torsion);
}

namespace {

// The two-body solve shared by the current-state form (with the energy term) and the
// lane-0 form (without it).
StressImpulse solvePair(const DynamicStress& joint, bool currentState) {
    StressImpulse out{};
    PrivateHardBody* const C = joint.CNode;
    PrivateHardBody* const Pn = joint.PNode;
    if (!C || !Pn) {
        return out;
    }
    if (Pn->isStatic()) {
        return joint.computeStressImpulse(C, 0);
    }
    LsqSystem* system = getLaneLsqSystem(0);
    const bool torsion = joint.isTorsionEnabled();
    MatrixView* A = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    if (!system || !system->setup(torsion ? 6 : 3, A, b, x)) {
        return out;
    }
    const double s = 1.0 / C->dyn.invMass;
    if (currentState) {
        joint.computeVelocityRhs(b, 0, s);
    } else {
        joint.computeLaneVelocityRhs(b, 0, s, 0);
    }
    const RBDynamics& c = C->laneDyn[0];
    const RBDynamics& p = Pn->laneDyn[0];
    const QmtVector3 omega = c.w - p.w;
    if (holdsAlready(b, omega, torsion)) {
        return out;
    }
    if (torsion) {
        writeVector(b, 3, omega * s);
    }
    MatrixView::setZero(*A, 1.0);
    joint.buildPairBlock(A, 0, s);
    if (torsion) {
        const QmtVector3 P = anchorOf(joint);
        const QmtMatrix3 MC = c.invInertiaWorld * s;
        const QmtMatrix3 MP = p.invInertiaWorld * s;
        const QmtMatrix3 SC = skew(P - c.position);
        const QmtMatrix3 SP = skew(P - p.position);
        writeBlock(A, 0, 3, -(SC * MC + SP * MP));
        writeBlock(A, 3, 0, MC * SC + MP * SP);
        writeBlock(A, 3, 3, MC + MP);
    }
    system->solve(A, b, x);
    return readSolution(x, torsion);
}

}  // namespace

StressImpulse DynamicStress::solveStressImpulse() const { return solvePair(*this, true); }

StressImpulse DynamicStress::solveLaneStressImpulse() const { return solvePair(*this, false); }

void DynamicStress::applyImpulseToBody(const StressImpulse& J, PrivateHardBody* body, double factor) const {
    if (!body) {
        return;
    }
    const QmtVector3 P = anchorOf(*this);
    const QmtVector3 lin = linearPart(J, factor);
    const QmtVector3 ang = angularPart(J, factor);
    if (lin.Length() > ZERO_SPEED) {
        applyImpulseThread(body, -lin, P, 0);
    }
    if (ang.Length() > ZERO_SPEED) {
        addAngularImpulse(body, -ang);
    }
}

void DynamicStress::applyImpulse(const StressImpulse& J, double factor) const {
    const QmtVector3 P = anchorOf(*this);
    const QmtVector3 lin = linearPart(J, factor);
    const QmtVector3 ang = angularPart(J, factor);
    if (lin.Length() > ZERO_SPEED) {
        applyImpulseThread(CNode, -lin, P, 0);
        applyImpulseThread(PNode, lin, P, 0);
    }
    if (ang.Length() > ZERO_SPEED) {
        if (CNode) {
            addAngularImpulse(CNode, -ang);
        }
        if (PNode) {
            addAngularImpulse(PNode, ang);
        }
    }
}

bool DynamicStress::setAnchorsFromPoint(const QmtVector3* point) {
    if (!point || !CNode) {
        return false;
    }
    PNodeAnchor = PNode ? (*point - PNode->dyn.position) * PNode->dyn.rotation : *point;
    CNodeAnchor = (*point - CNode->dyn.position) * CNode->dyn.rotation;
    return true;
}

void DynamicStress::computeAnchorGap(dvec* b, int offset) const {
    const QmtVector3 p = PNode ? PNode->dyn.rotation * PNodeAnchor + PNode->dyn.position : PNodeAnchor;
    const QmtVector3 c = CNode ? CNode->dyn.rotation * CNodeAnchor + CNode->dyn.position : CNodeAnchor;
    writeVector(b, offset, p - c);
}

void DynamicStress::applyImpulseToCurrentState(const dvec* x, int offset) const {
    const QmtVector3 P = anchorOf(*this);
    const QmtVector3 J(x->elements[offset], x->elements[offset + 1], x->elements[offset + 2]);
    if (isMovable(PNode)) {
        PNode->applyImpulse(J, P);
    }
    if (isMovable(CNode)) {
        CNode->applyImpulse(-J, P);
    }
}

void DynamicStress::buildSpeedWeightedBlock(MatrixView* A, int offset) const {
    const QmtVector3 P = anchorOf(*this);
    const RBDynamics& c = CNode->dyn;
    const double mC = 1.0 / c.invMass;
    const QmtMatrix3 SC = skew(P - c.position);
    const QmtMatrix3 KC = SC * c.invInertiaWorld * SC;
    if (!PNode || PNode->isStatic()) {
        writeDiagonalMinus(A, offset, mC * c.v.Length(), KC * (mC * c.w.Length()));
        return;
    }
    const RBDynamics& p = PNode->dyn;
    const double mP = 1.0 / p.invMass;
    const QmtMatrix3 SP = skew(P - p.position);
    const QmtMatrix3 KP = SP * p.invInertiaWorld * SP;
    const double mm = mC * mP;
    writeDiagonalMinus(A, offset, mm * (c.v.Length() + p.v.Length()),
                       (KC * c.w.Length() + KP * p.w.Length()) * mm);
}

void DynamicStress::applyPositionCorrection(const dvec* x, int offset) const {
    if (!CNode) {
        return;
    }
    const QmtVector3 P = anchorOf(*this);
    const bool twoBodies = isMovable(PNode);
    const double mC = 1.0 / CNode->dyn.invMass;
    const double M = twoBodies ? mC / PNode->dyn.invMass : mC;
    const double* e = x->elements + offset;
    const QmtVector3 J(e[0], e[1], e[2]);
    const QmtVector3 Ja = isTorsionEnabled() ? QmtVector3(e[3], e[4], e[5]) : QmtVector3::ZERO;

    const RBDynamics c = CNode->dyn;
    const double spinC = c.w.Length();
    const QmtVector3 thetaC = c.invInertiaWorld * (((P - c.position).Cross(J) + Ja) * (spinC * M));
    CNode->setPosition(c.position + J * (c.v.Length() * M));
    rotateBy(CNode, thetaC, twoBodies ? 1.00001 * spinC * M / mC : 1.00001 * spinC, c.w);
    if (!twoBodies) {
        return;
    }
    const RBDynamics p = PNode->dyn;
    const double spinP = p.w.Length();
    const double mP = 1.0 / p.invMass;
    const QmtVector3 thetaP = -(p.invInertiaWorld * (((P - p.position).Cross(J) + Ja) * (spinP * M)));
    PNode->setPosition(p.position - J * (p.v.Length() * M));
    rotateBy(PNode, thetaP, 1.00001 * spinP * M / mP, p.w);
}

void DynamicStress::buildContactCouplingBlock(MatrixView* A, const PrivateHardBody* bodyA,
                                              const PrivateHardBody* bodyB, const QmtVector3* armsA,
                                              const QmtVector3* armsB, const QmtVector3* directions, int count,
                                              int firstRow, int column, double scale) const {
    const PrivateHardBody* body = nullptr;
    const QmtVector3* arms = nullptr;
    double sigma = 1.0;
    if (bodyA && (bodyA == CNode || bodyA == PNode)) {
        body = bodyA;
        arms = armsA;
        sigma = bodyA == CNode ? -1.0 : 1.0;
    } else if (bodyB && (bodyB == CNode || bodyB == PNode)) {
        body = bodyB;
        arms = armsB;
        sigma = bodyB == PNode ? -1.0 : 1.0;
    } else {
        return;
    }
    const QmtMatrix3 R = skew(anchorOf(*this) - body->dyn.position);
    const QmtMatrix3& Iinv = body->dyn.invInertiaWorld;
    const QmtMatrix3 massI = QmtMatrix3::IDENTITY * body->dyn.invMass;
    MatrixView rowView;
    for (int i = 0; i < count; ++i) {
        const QmtMatrix3 Pi = skew(arms[i]);
        const QmtMatrix3 K = (massI - Pi * Iinv * R) * scale;
        const QmtMatrix3 Kt = (massI - R * Iinv * Pi) * scale;
        const QmtVector3 rowValues = directions[i] * K * sigma;  // K^T n
        const QmtVector3 colValues = Kt * directions[i] * sigma;
        MatrixView::row(*A, rowView, firstRow + i);
        for (int j = 0; j < 3; ++j) {
            rowView.at(0, column + j) = rowValues[j];
        }
        for (int j = 0; j < 3; ++j) {
            MatrixView::row(*A, rowView, column + j);
            rowView.at(0, firstRow + i) = colValues[j];
        }
    }
}
