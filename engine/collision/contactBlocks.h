#pragma once

// The 3n x 3n block matrix shared by the impulse and the extraction systems of a pair:
// block (i, j) tells how a unit push at contact j changes the relative motion at
// contact i, K_ij = D I - [rA_i] MA [rA_j] - [rB_i] MB [rB_j], with [r] the
// cross-product matrix of an arm and MA, MB the weighted inverse inertias.

#include <cstdint>

#include "engine/solver/matrixView.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// [r] M [s]: the matrix of v -> r x (M (s x v)).
inline Qmt::QmtMatrix3 crossSandwich(const Qmt::QmtVector3& r, const Qmt::QmtMatrix3& m, const Qmt::QmtVector3& s) {
    Qmt::QmtMatrix3 out;
    for (unsigned c = 0; c < 3; ++c) {
        Qmt::QmtVector3 e;
        e[static_cast<int>(c)] = 1.0;
        const Qmt::QmtVector3 column = r.Cross(m * s.Cross(e));
        out(0, c) = column.x;
        out(1, c) = column.y;
        out(2, c) = column.z;
    }
    return out;
}

// Assigns every entry of the 3n x 3n blocks; B's term is left out when inverseB is null.
inline void fillContactBlocks(MatrixView& matrix, std::uint32_t count, double diagonal,
                              const Qmt::QmtMatrix3& inverseA, const Qmt::QmtVector3* armsA,
                              const Qmt::QmtMatrix3* inverseB, const Qmt::QmtVector3* armsB) {
    for (std::uint32_t i = 0; i < count; ++i) {
        for (std::uint32_t j = 0; j < count; ++j) {
            const Qmt::QmtMatrix3 blockA = crossSandwich(armsA[i], inverseA, armsA[j]);
            Qmt::QmtMatrix3 blockB;
            if (inverseB) {
                blockB = crossSandwich(armsB[i], *inverseB, armsB[j]);
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
