#pragma once

#include <array>
#include <cstdint>

#include "math/qmtVector3.h"

class PrivateHardBody;
struct MatrixView;
struct dvec;

// A joint impulse: linear x, y, z, then angular x, y, z (zero without torsion).
using StressImpulse = std::array<double, 6>;

// On the body's lane copy: v += invMass J (the current inverse mass),
// L += (Q - x) x J, w := Iinv L.
void applyImpulseThread(PrivateHardBody* body, const Qmt::QmtVector3& J, const Qmt::QmtVector3& Q, int lane);

// Bits of DynamicStress::flags.
inline constexpr std::uint32_t JOINT_ACTIVE = 1;           // the joint holds
inline constexpr std::uint32_t JOINT_BREAK_BY_FRAME = 2;
inline constexpr std::uint32_t JOINT_BREAK_BY_FORCE = 4;
inline constexpr std::uint32_t JOINT_PROCESSED = 8;
inline constexpr std::uint32_t JOINT_TORSION = 16;

inline constexpr int JOINT_LANES = 32;
inline constexpr int JOINT_NAME_SIZE = 256;  // including the terminator

// Breakable joint tying two fragment bodies together at one anchor point, or one body
// to a fixed world point. It owns nothing: the bodies belong to the world, and a
// joint is copied member by member.
class DynamicStress {
public:
    char name[JOINT_NAME_SIZE] = {};
    std::int32_t nPoints = 1;  // always one anchor
    std::uint32_t index = 0;
    std::uint32_t flags = 0;
    std::uint32_t initialFlags = 0;
    std::uint8_t processedThread[JOINT_LANES] = {};  // handled by that lane in the current crack
    PrivateHardBody* CNode = nullptr;  // the body the joint always has once attached
    PrivateHardBody* PNode = nullptr;  // null when tied to a world point
    double breakTolerance = 0.0;       // velocity change at which a force-breakable joint breaks
    double breakEnergy = 0.0;          // energy given to the two sides when it breaks
    Qmt::QmtVector3 externalForce;
    Qmt::QmtVector3 PNodeAnchor;  // in the PNode's frame; a world point without a PNode
    Qmt::QmtVector3 CNodeAnchor;  // in the CNode's frame

    DynamicStress() = default;
    DynamicStress(const DynamicStress&) = default;
    DynamicStress& operator=(const DynamicStress&) = default;

    const char* getName() const { return name; }
    // Copies at most 255 characters; a longer name is cut. Null leaves the name.
    void setName(const char* text);
    std::uint32_t getIndex() const { return index; }
    void setIndex(unsigned int value) { index = value; }
    int getNPoints() const { return 1; }

    PrivateHardBody* getCNode() const { return CNode; }
    void setCNode(PrivateHardBody* body) { CNode = body; }
    PrivateHardBody* getPNode() const { return PNode; }
    void setPNode(PrivateHardBody* body) { PNode = body; }

    bool isActive() const { return (flags & JOINT_ACTIVE) != 0; }
    void activate() { flags |= JOINT_ACTIVE; }
    void deActivate() { flags &= ~JOINT_ACTIVE; }
    bool isBreakableByFrame() const { return (flags & JOINT_BREAK_BY_FRAME) != 0; }
    void enableBreakableByFrame() { flags |= JOINT_BREAK_BY_FRAME; }
    void disableBreakableByFrame() { flags &= ~JOINT_BREAK_BY_FRAME; }
    bool isBreakableByForce() const { return (flags & JOINT_BREAK_BY_FORCE) != 0; }
    void enableBreakableByForce() { flags |= JOINT_BREAK_BY_FORCE; }
    void disableBreakableByForce() { flags &= ~JOINT_BREAK_BY_FORCE; }
    bool isProcessed() const { return (flags & JOINT_PROCESSED) != 0; }
    void enableProcessed() { flags |= JOINT_PROCESSED; }
    void disableProcessed() { flags &= ~JOINT_PROCESSED; }
    bool isTorsionEnabled() const { return (flags & JOINT_TORSION) != 0; }
    void enableTorsion() { flags |= JOINT_TORSION; }
    void disableTorsion() { flags &= ~JOINT_TORSION; }
    // Size of the joint's stress system.
    int getNDofs() const { return isTorsionEnabled() ? 6 : 3; }

    bool isProcessedThread(int lane) const { return processedThread[lane] != 0; }
    void enableProcessedThread(int lane) { processedThread[lane] = 1; }
    void disableProcessedThread(int lane) { processedThread[lane] = 0; }

    double get_break_tolerance() const { return breakTolerance; }
    void set_break_tolerance(double value) { breakTolerance = value; }
    double getBreakEnergy() const { return breakEnergy; }
    void setBreakEnergy(double value) { breakEnergy = value; }

    void applyExternalForce(Qmt::QmtVector3 F) { externalForce += F; }
    void clearExternalForces() { externalForce = Qmt::QmtVector3::ZERO; }
    Qmt::QmtVector3 getExternalForce() const { return externalForce; }

    // When the flags share a bit with the mask the mask's bits are recorded as set,
    // otherwise as clear; initial bits outside the mask are kept.
    void storeInitialState(unsigned int mask) {
        if (flags & mask) {
            initialFlags |= mask;
        } else {
            initialFlags &= ~mask;
        }
    }
    void applyInitialState() { flags = initialFlags; }

    // Ties the joint at the world point. With both bodies first becomes the PNode and
    // second the CNode; with one body that body is the CNode and the PNode anchor stays
    // the world point. Marks the bodies joined and the joint active. False, with
    // nothing changed, when no body is given or count is negative.
    bool attach(const Qmt::QmtVector3& point, int count, PrivateHardBody* first,
                PrivateHardBody* second);
    // Unit vector from the CNode's position to the PNode's (the PNode anchor stands in
    // for a missing PNode); a difference not longer than the single-precision 1e-6 is
    // returned as it is, and zero when there is no CNode. Returns out.
    Qmt::QmtVector3& getAxis(Qmt::QmtVector3& out) const;
    // Midpoint of the two world anchors; a missing body's anchor is taken as a world
    // point.
    void getAnchorState(Qmt::QmtVector3& out) const;

    // ---- stress solving: the impulse the joint must carry to hold its two sides ----
    // b[o..o+2] := -s (u_P - u_C) from the current states, the break energy acting as a
    // separating speed along the axis.
    void computeVelocityRhs(dvec* b, int offset, double scale) const;
    // The same from the lane copies, without the energy term.
    void computeLaneVelocityRhs(dvec* b, int offset, double scale, int lane) const;
    // A[o..o+2][o..o+2] := (s/m_B) I - [r] (s Iinv_B) [r], r = P - x_B (lane copy).
    void buildBodyBlock(MatrixView* A, int offset, double scale, const PrivateHardBody* body, int lane) const;
    // The two-body block from the lane-0 copies (one-body when the PNode is missing or static).
    void buildPairBlock(MatrixView* A, int offset, double scale) const;
    // The impulse that makes the joint hold, seen from the body alone, in the lane.
    StressImpulse computeStressImpulse(const PrivateHardBody* body, int lane) const;
    // The two-body impulse of the joint on the lane-0 copies.
    StressImpulse solveStressImpulse() const;
    // The two-body impulse from the lane-0 velocities without the energy term.
    StressImpulse solveLaneStressImpulse() const;
    // -f J to the body's lane-0 copy.
    void applyImpulseToBody(const StressImpulse& J, PrivateHardBody* body, double factor) const;
    // -f J to the CNode and +f J to the PNode, lane-0 copies.
    void applyImpulse(const StressImpulse& J, double factor) const;
    // Both anchors from a world point; false without a point or a CNode.
    bool setAnchorsFromPoint(const Qmt::QmtVector3* point);
    // b[o..o+2] := PNode world anchor - CNode world anchor.
    void computeAnchorGap(dvec* b, int offset) const;
    // x[o..o+2] as an impulse at the world anchor on the current states: +J to the
    // PNode, -J to the CNode, each only when not static.
    void applyImpulseToCurrentState(const dvec* x, int offset) const;
    // Speed-weighted block of the position correction, current states.
    void buildSpeedWeightedBlock(MatrixView* A, int offset) const;
    // Moves both bodies by a solved correction, each in proportion to its own speed.
    void applyPositionCorrection(const dvec* x, int offset) const;
    // The entries coupling n contact rows (from row k) with the joint's three linear
    // variables (from column c) of a combined system.
    void buildContactCouplingBlock(MatrixView* A, const PrivateHardBody* bodyA, const PrivateHardBody* bodyB,
                                   const Qmt::QmtVector3* armsA, const Qmt::QmtVector3* armsB,
                                   const Qmt::QmtVector3* directions, int count, int firstRow, int column,
                                   double scale) const;
};
