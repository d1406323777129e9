#pragma once

// Reusable holders of the small dense least-squares systems that give joint and contact
// impulses, and the masked solves that drop variables coming out as a pull rather than
// a push and solve again without them.
//
// Use: setup hands out the system's A, b and x; the caller clears A and b (setup does
// not), fills them, solves and reads x. A, b and x passed to the solves are the ones
// setup handed out. Nothing allocates during a solve: storage is made at construction
// and when a workspace setup has to grow.

#include <cstdint>

#include "engine/solver/lsqr.h"
#include "engine/solver/matrixView.h"
#include "math/qmtVector3.h"

// A system of at most 16 variables (joint stress, the impulse at a world point).
class LsqSystem {
public:
    static constexpr int MAX_SIZE = 16;

    LsqSystem();
    ~LsqSystem();
    LsqSystem(LsqSystem&& other) noexcept;
    LsqSystem& operator=(LsqSystem&& other) noexcept;
    LsqSystem(const LsqSystem&) = delete;
    LsqSystem& operator=(const LsqSystem&) = delete;

    // Sizes the system to n x n for 1 <= n <= 16 (false otherwise): no damping, all
    // tolerances 0, at most floor(3n/2) iterations.
    bool setup(int n, MatrixView*& A, dvec*& b, dvec*& x);
    // Solves from x = 0; b is as it was on return. The solution is in x.
    bool solve(MatrixView* A, dvec* b, dvec* x);

    const lsqr_input* getInput() const { return input; }
    const lsqr_output* getOutput() const { return output; }

private:
    lsqr_input* input = nullptr;
    lsqr_output* output = nullptr;
    lsqr_work* work = nullptr;
    lsqr_func* function = nullptr;
    dvec* savedRhs = nullptr;  // b across a solve, which overwrites it
};

// A pair of growable systems for contacts: a scalar one (one variable per contact or
// group contact) and a block one (three variables per contact). One per lane.
class ContactLsqWorkspace {
public:
    static constexpr int INITIAL_CAPACITY = 96;

    ContactLsqWorkspace();
    ~ContactLsqWorkspace();
    ContactLsqWorkspace(ContactLsqWorkspace&& other) noexcept;
    ContactLsqWorkspace& operator=(ContactLsqWorkspace&& other) noexcept;
    ContactLsqWorkspace(const ContactLsqWorkspace&) = delete;
    ContactLsqWorkspace& operator=(const ContactLsqWorkspace&) = delete;

    // Scalar system of n variables with its skip bytes; false when n is 0 or when the
    // growth that n >= capacity asks for fails (the old system then stays as it was).
    bool setup(int n, MatrixView*& A, dvec*& b, dvec*& x, std::uint8_t*& skip);
    // Block system of s = m + 3n variables; false when n is 0 or a needed growth fails.
    bool setupRows(int n, int m, MatrixView*& A, dvec*& b, dvec*& x);

    int getCapacity() const { return capacity; }
    int getBlockCapacity() const { return blockCapacity; }
    int getSavedRhsCapacity() const { return savedRhs != nullptr ? savedRhs->capacity : 0; }
    const LsqrProblemSet& getScalarSet() const { return scalarSet; }
    const LsqrProblemSet& getBlockSet() const { return blockSet; }

private:
    friend double solveMaskedContactSystem(ContactLsqWorkspace&, int, int, MatrixView*, dvec*, dvec*,
                                           std::uint8_t*, std::uint8_t*);
    friend double solveContactBlockSystem(ContactLsqWorkspace&, int, MatrixView*, dvec*, dvec*,
                                          const Qmt::QmtVector3*, std::uint8_t*);

    // Grows a set (and what goes with it) to size + 1, all or nothing.
    bool growScalar(int size);
    bool growBlock(int size);
    // A savedRhs of at least size entries when the current one is smaller (grown stays
    // null when it is large enough); false when it cannot be made.
    bool growSavedRhs(int size, dvec*& grown) const;
    void adoptSavedRhs(dvec* grown);

    std::uint8_t* skip = nullptr;  // one byte per scalar variable (capacity entries)
    LsqrProblemSet scalarSet;
    LsqrProblemSet blockSet;
    dvec* savedRhs = nullptr;  // holds the larger of the two capacities; never shrinks
    std::int32_t capacity = 0;  // of the scalar set and the skip bytes
    std::int32_t blockCapacity = 0;  // of the block set
};

// Scalar masked solve over two groups: the first p variables (skip bytes skip1) and the
// next q (skip2). Each pass drops at most one variable per group, the first whose value
// is below -1e-5, and solves again from the current x; the kept variables are then
// compacted to the front in order. Returns ||r|| of the last run.
double solveMaskedContactSystem(ContactLsqWorkspace& ws, int p, int q, MatrixView* A, dvec* b, dvec* x,
                                std::uint8_t* skip1, std::uint8_t* skip2);

// Block masked solve over n contacts of three variables each: each pass drops the first
// contact whose impulse points against its normal (x_i . n_i < -1e-5), then the kept
// contacts are compacted by blocks. Returns ||r|| of the last run.
double solveContactBlockSystem(ContactLsqWorkspace& ws, int n, MatrixView* A, dvec* b, dvec* x,
                               const Qmt::QmtVector3* normals, std::uint8_t* skip);

// Moves the kept variables (skip byte 0) of the two groups to the front, in order, and
// shrinks x, b and A to their count.
void compactMaskedSystem(ContactLsqWorkspace& ws, int p, int q, MatrixView* A, dvec* x, dvec* b,
                         const std::uint8_t* skip1, const std::uint8_t* skip2);

// The same by 3 x 3 blocks for n contacts.
void compactBlockSystem(ContactLsqWorkspace& ws, int n, MatrixView* A, dvec* x, dvec* b, const std::uint8_t* skip);
