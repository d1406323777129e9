#pragma once

// The 3n x 3n block matrix shared by the impulse and the extraction systems of a pair:
// block (i, j) tells how a unit push at contact j changes the relative motion at
// contact i, K_ij = D I - [rA_i] MA [rA_j] - [rB_i] MB [rB_j], with [r] the
// cross-product matrix of an arm and MA, MB the weighted inverse inertias.

#include <cstdint>

#include "engine/solver/matrixView.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// The columns M (s x e_c), c = 0, 1, 2, of the right half of [r] M [s].
struct SandwichRight {
    Qmt::QmtVector3 columns[3];
};

inline SandwichRight sandwichRight(const Qmt::QmtMatrix3& m, const Qmt::QmtVector3& s) {
    SandwichRight right;
    for (unsigned c = 0; c < 3; ++c) {
        Qmt::QmtVector3 e;
        e[static_cast<int>(c)] = 1.0;
        right.columns[c] = m * s.Cross(e);
    }
    return right;
}

// [r] M [s]: the matrix of v -> r x (M (s x v)), from the right half of s.
inline Qmt::QmtMatrix3 crossSandwich(const Qmt::QmtVector3& r, const SandwichRight& right) {
    Qmt::QmtMatrix3 out;
    for (unsigned c = 0; c < 3; ++c) {
        const Qmt::QmtVector3 column = r.Cross(right.columns[c]);
        out(0, c) = column.x;
        out(1, c) = column.y;
        out(2, c) = column.z;
    }
    return out;
}

inline Qmt::QmtMatrix3 crossSandwich(const Qmt::QmtVector3& r, const Qmt::QmtMatrix3& m, const Qmt::QmtVector3& s) {
    return crossSandwich(r, sandwichRight(m, s));
}

// Assigns every entry of the 3n x 3n blocks; B's term is left out when inverseB is null.
// The right halves depend on the column contact alone and are made once per contact.
inline void fillContactBlocks(MatrixView& matrix, std::uint32_t count, double diagonal,
                              const Qmt::QmtMatrix3& inverseA, const Qmt::QmtVector3* armsA,
                              const Qmt::QmtMatrix3* inverseB, const Qmt::QmtVector3* armsB) {
    constexpr std::uint32_t MOST = 24;
    SandwichRight rightA[MOST];
    SandwichRight rightB[MOST];
    const std::uint32_t n = count < MOST ? count : MOST;
    for (std::uint32_t j = 0; j < n; ++j) {
        rightA[j] = sandwichRight(inverseA, armsA[j]);
        if (inverseB) {
            rightB[j] = sandwichRight(*inverseB, armsB[j]);
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        for (std::uint32_t j = 0; j < count; ++j) {
            const Qmt::QmtMatrix3 blockA =
                j < n ? crossSandwich(armsA[i], rightA[j]) : crossSandwich(armsA[i], inverseA, armsA[j]);
            Qmt::QmtMatrix3 blockB;
            if (inverseB) {
                blockB = j < n ? crossSandwich(armsB[i], rightB[j]) : crossSandwich(armsB[i], *inverseB, armsB[j]);
            }
            for (unsigned r = 0; r < 3; ++r) {
                for (unsigned c = 0; c < 3; ++c) {
                    double value = (r == c ? diagonal : 0.0) - blockA(r, c);
                    if (inverseB) {
                        value -= blockB(r, c);
                    }
                    matrix.at(static_cast<int>(3 * i + r), static_cast<int>(3 * j + c)) = value;
                }
            }
        }
    }
}
