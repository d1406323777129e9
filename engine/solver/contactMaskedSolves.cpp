// Masked solves of the contact workspace. A contact can only push, so a variable whose
// solution comes out as a pull (below -1e-5) is removed - its row, column, right-hand
// side and value set to 0 - and the system is solved again from the current x, whose
// kept entries are already close. At the end the kept variables are compacted to the
// front so that the caller reads them by position.

#include <algorithm>

#include "engine/solver/lsqSystem.h"

namespace {

constexpr double PULL_LIMIT = -1e-5;

// savedRhs serves both systems: it takes b's length here, so the restore after each run
// covers all of b whichever of the two setups ran last.
void saveRhs(const dvec& b, dvec& savedRhs) {
    savedRhs.length = b.length;
    dvec_copy(&b, &savedRhs);
}

void runLsqr(LsqrProblemSet& set, const MatrixView* A) {
    lsqr(set.input, set.output, set.work, set.function, A);
}

void removeVariables(MatrixView& A, dvec& x, dvec& savedRhs, int first, int last) {
    zeroMatrixRows(A, first, last);
    zeroMatrixColumns(A, first, last);
    dvec_zero_range(&savedRhs, first, last);
    dvec_zero_range(&x, first, last);
}

// Index (within the group) of the first unskipped variable below the limit, or -1.
int firstPull(const dvec& x, int offset, int count, const std::uint8_t* skip) {
    for (int i = 0; i < count; ++i) {
        if (skip[i] == 0 && x.elements[offset + i] < PULL_LIMIT) {
            return i;
        }
    }
    return -1;
}

}  // namespace

double solveMaskedContactSystem(ContactLsqWorkspace& ws, int p, int q, MatrixView* A, dvec* b, dvec* x,
                                std::uint8_t* skip1, std::uint8_t* skip2) {
    std::fill_n(skip1, p, std::uint8_t{0});
    std::fill_n(skip2, q, std::uint8_t{0});
    dvec_zero_range(x, 0, x->length - 1);
    saveRhs(*b, *ws.savedRhs);

    bool removed = true;
    while (removed) {
        runLsqr(ws.scalarSet, A);
        removed = false;
        if (const int i = firstPull(*x, 0, p, skip1); i >= 0) {
            removeVariables(*A, *x, *ws.savedRhs, i, i);
            skip1[i] = 1;
            removed = true;
        }
        if (const int j = firstPull(*x, p, q, skip2); j >= 0) {
            removeVariables(*A, *x, *ws.savedRhs, p + j, p + j);
            skip2[j] = 1;
            removed = true;
        }
        dvec_copy(ws.savedRhs, b);  // the solve left its residual vector in b
    }
    compactMaskedSystem(ws, p, q, A, x, b, skip1, skip2);
    return ws.scalarSet.output->rnorm;
}

double solveContactBlockSystem(ContactLsqWorkspace& ws, int n, MatrixView* A, dvec* b, dvec* x,
                               const Qmt::QmtVector3* normals, std::uint8_t* skip) {
    std::fill_n(skip, n, std::uint8_t{0});
    dvec_zero_range(x, 0, x->length - 1);
    saveRhs(*b, *ws.savedRhs);

    bool removed = true;
    while (removed) {
        runLsqr(ws.blockSet, A);
        removed = false;
        for (int i = 0; i < n; ++i) {
            const Qmt::QmtVector3 impulse(&x->elements[3 * i]);
            if (skip[i] == 0 && impulse.Dot(normals[i]) < PULL_LIMIT) {
                removeVariables(*A, *x, *ws.savedRhs, 3 * i, 3 * i + 2);
                skip[i] = 1;
                removed = true;
                break;
            }
        }
        dvec_copy(ws.savedRhs, b);
    }
    compactBlockSystem(ws, n, A, x, b, skip);
    return ws.blockSet.output->rnorm;
}

// In place is safe: sources are visited in increasing memory order and every target lies
// at or before its source.
void compactMaskedSystem(ContactLsqWorkspace& /*ws*/, int p, int q, MatrixView* A, dvec* x, dvec* b,
                         const std::uint8_t* skip1, const std::uint8_t* skip2) {
    const auto kept = [&](int i) { return (i < p ? skip1[i] : skip2[i - p]) == 0; };
    const int count = p + q;
    int k = 0;
    for (int i = 0; i < count; ++i) {
        if (!kept(i)) {
            continue;
        }
        x->elements[k] = x->elements[i];
        b->elements[k] = b->elements[i];
        int l = 0;
        for (int j = 0; j < count; ++j) {
            if (kept(j)) {
                A->at(k, l++) = A->at(i, j);
            }
        }
        ++k;
    }
    x->length = k;
    b->length = k;
    A->rows = k;
    A->cols = k;
}

void compactBlockSystem(ContactLsqWorkspace& /*ws*/, int n, MatrixView* A, dvec* x, dvec* b,
                        const std::uint8_t* skip) {
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (skip[i] != 0) {
            continue;
        }
        for (int r = 0; r < 3; ++r) {
            x->elements[3 * k + r] = x->elements[3 * i + r];
            b->elements[3 * k + r] = b->elements[3 * i + r];
            int l = 0;
            for (int j = 0; j < n; ++j) {
                if (skip[j] != 0) {
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    A->at(3 * k + r, 3 * l + c) = A->at(3 * i + r, 3 * j + c);
                }
                ++l;
            }
        }
        ++k;
    }
    x->length = 3 * k;
    b->length = 3 * k;
    A->rows = 3 * k;
    A->cols = 3 * k;
}
