// Small dense least-squares systems of any values: the joint system (LsqSystem), the
// scalar masked contact solve over two groups and the block contact solve, with skip
// masks and removals, on one workspace reused (and grown) across up to four systems;
// between systems the matrix operations clear rows, columns, blocks and variables at
// any index. The solves never report through a sanitizer, never run past their
// iteration limit, leave the skip bytes 0 or 1, and never leave more variables than
// they were given.
//
// Input: per system a kind byte, a size byte (and a second for the scalar groups or the
// block's extra rows), then the raw doubles of A (row-major), b and, for the block
// solve, one normal per contact; then four raw 32-bit indices for the matrix
// operations.
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/solver/lsqSystem.h"
#include "engine/solver/lsqr.h"
#include "engine/solver/matrixView.h"
#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzInput.h"

namespace {

void fill(FuzzInput& in, MatrixView* A, dvec* b, dvec* x, int n) {
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) A->at(i, j) = in.real();
    }
    for (int i = 0; i < n; ++i) b->elements[i] = in.real();
    for (int i = 0; i < n; ++i) x->elements[i] = 0.0;
}

void matrixOperations(FuzzInput& in, MatrixView& A) {
    const auto raw = [&] { return static_cast<int>(in.u32()); };
    zeroMatrixRows(A, raw(), raw());
    zeroMatrixColumns(A, raw(), raw());
    clearMatrixBlock(A, raw());
    clearMatrixVariable(A, raw());
}

void checkSkips(const std::uint8_t* skip, int n) {
    for (int i = 0; i < n; ++i) fuzzRequire(skip[i] <= 1, "skip byte 0 or 1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    LsqSystem joint;
    ContactLsqWorkspace workspace;
    for (int round = 0; round < 4 && in.remaining() > 0; ++round) {
        MatrixView* A = nullptr;
        dvec* b = nullptr;
        dvec* x = nullptr;
        const std::uint8_t kind = in.u8() % 3;
        if (kind == 0) {
            // Sizes beyond 1..16 are refused.
            const int n = static_cast<int>(in.u8() % 20);
            if (!joint.setup(n, A, b, x)) {
                fuzzRequire(n < 1 || n > LsqSystem::MAX_SIZE, "sizes 1..16 accepted");
                continue;
            }
            fill(in, A, b, x, n);
            joint.solve(A, b, x);
            fuzzRequire(joint.getOutput()->iter <= joint.getInput()->iterLimit, "iteration limit");
        } else if (kind == 1) {
            const int p = in.u8() % 40;
            const int q = in.u8() % 40;
            std::uint8_t* skip = nullptr;
            if (!workspace.setup(p + q, A, b, x, skip)) {
                fuzzRequire(p + q == 0, "a scalar system of variables is made");
                continue;
            }
            fill(in, A, b, x, p + q);
            const double residual = solveMaskedContactSystem(workspace, p, q, A, b, x, skip, skip + p);
            fuzzRequire(!(residual < 0.0), "residual norm not negative");
            checkSkips(skip, p + q);
            fuzzRequire(x->length <= p + q && A->rows <= p + q, "no more variables than given");
        } else {
            const int n = in.u8() % 16;
            const int m = in.u8() % 4;
            if (!workspace.setupRows(n, m, A, b, x)) {
                fuzzRequire(n == 0, "a block system of contacts is made");
                continue;
            }
            const int s = m + 3 * n;
            fill(in, A, b, x, s);
            std::vector<Qmt::QmtVector3> normals(n);
            for (Qmt::QmtVector3& v : normals) v = in.vector();
            std::vector<std::uint8_t> skip(n, 0);
            const double residual = solveContactBlockSystem(workspace, n, A, b, x, normals.data(), skip.data());
            fuzzRequire(!(residual < 0.0), "residual norm not negative");
            checkSkips(skip.data(), n);
            fuzzRequire(x->length <= s && A->rows <= s, "no more variables than given");
        }
        matrixOperations(in, *A);
    }
    return 0;
}
