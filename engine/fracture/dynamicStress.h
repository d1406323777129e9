#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

class PrivateHardBody;

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
};
