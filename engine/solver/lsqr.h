#pragma once

// LSQR (Paige and Saunders): min ||A x - b|| (optionally damped) for small dense systems,
// in a record-and-function style. Allocation routines make records of a fixed capacity,
// a resize sets the sizes the next solve uses, and the solve works on the records in
// place without allocating. An allocation routine that fails writes one line to the
// standard error stream, frees what it had made and returns null; the process goes on.

#include <cstdint>
#include <cstdio>

#include "engine/solver/matrixView.h"

// Vector of doubles: capacity entries of storage, the first length of them in use.
struct dvec {
    std::int32_t owner = 0;  // 0: the record owns elements
    std::int32_t capacity = 0;
    std::int32_t length = 0;
    double* elements = nullptr;
};

// Vector of 32-bit integers.
struct lvec {
    std::int32_t length = 0;
    std::int32_t* elements = nullptr;
};

struct lsqr_input {
    std::int32_t m = 0;  // rows of A
    std::int32_t n = 0;  // columns of A
    double damp = 0.0;
    double atol = 0.0;       // relative error of A
    double btol = 0.0;       // relative error of b
    double condLimit = 0.0;  // 0: machine precision decides
    std::int32_t iterLimit = 0;
    std::FILE* log = nullptr;  // null: the solve writes nothing
    dvec* b = nullptr;         // m entries; the solve overwrites them with the residual
    dvec* x = nullptr;         // n entries: the starting point on entry, the solution on return
};

struct lsqr_output {
    std::int32_t istop = 0;  // termination code, see lsqr()
    std::int32_t iter = 0;
    double anorm = 0.0;   // Frobenius-norm estimate of A
    double acond = 0.0;   // condition estimate of A
    double rnorm = 0.0;   // ||r||, r = b - A x
    double arnorm = 0.0;  // ||A^T r||
    double xnorm = 0.0;
    dvec* x = nullptr;  // the input's x, shared
    dvec* e = nullptr;  // standard-error estimates, n entries
};

struct lsqr_work {
    dvec* v = nullptr;  // bidiagonalisation vector, n entries
    dvec* w = nullptr;  // search direction, n entries
};

// mode 0: y += A x; mode 1: x += A^T y; any other mode: nothing.
using lsqr_product = void (*)(std::int32_t mode, dvec* x, dvec* y, const MatrixView* A);

struct lsqr_func {
    MatrixView* matrix = nullptr;  // m x n, owned
    lsqr_product product = nullptr;
};

// The four records of one solve, made and freed together. A set whose input is null
// was not made (or has been freed).
struct LsqrProblemSet {
    lsqr_input* input = nullptr;
    lsqr_output* output = nullptr;
    lsqr_work* work = nullptr;
    lsqr_func* function = nullptr;
};

dvec* dvec_alloc(std::int32_t n);
void dvec_free(dvec* v);
lvec* alloc_lvec(std::int32_t n);
void free_lvec(lvec* v);

lsqr_input* alloc_lsqr_in(std::int32_t m, std::int32_t n);
lsqr_output* alloc_lsqr_out(std::int32_t m, std::int32_t n);
lsqr_work* alloc_lsqr_wrk(std::int32_t m, std::int32_t n);
lsqr_func* alloc_lsqr_fnc(std::int32_t m, std::int32_t n);
void free_lsqr_in(lsqr_input* input);
void free_lsqr_out(lsqr_output* output);  // leaves the shared x alone
void free_lsqr_wrk(lsqr_work* work);
void free_lsqr_fnc(lsqr_func* function);

// Makes a set of capacity m x n, sized m x n, with zero damping and tolerances; on a
// failure returns an empty set after freeing every record it had made.
LsqrProblemSet alloc_lsqr_set(std::int32_t m, std::int32_t n);
// Frees every record of the set and empties it.
void free_lsqr_set(LsqrProblemSet& set);
// Sizes the set for an m x n solve: the input's m and n, the lengths of b (m), x, e, v
// and w (n), and the matrix's rows and cols. Refuses (false, nothing changed) a size
// beyond the capacity the set was made with.
bool resize_lsqr_set(LsqrProblemSet& set, std::int32_t m, std::int32_t n);

// The dense product routine every set is made with; reads rows x cols of A.
void lsqr_dense_product(std::int32_t mode, dvec* x, dvec* y, const MatrixView* A);

// Square root of the sum of squares over the length.
double dvec_norm2(const dvec* v);
void dvec_scale(double s, dvec* v);
// The first v's length entries into copy.
void dvec_copy(const dvec* v, dvec* copy);
// Entries from..to (inclusive) := 0, only when both lie below the capacity.
void dvec_zero_range(dvec* v, int from, int to);

// Solves with the given matrix through function->product, starting from input->x.
// input->b is overwritten (it ends as the last bidiagonalisation vector u); callers that
// need b again keep a copy. output->istop:
//   0 x was already the solution (A^T r = 0 or b - A x = 0 at the start)
//   1 ||r|| within the tolerances ATOL and BTOL     2 ||A^T r|| small given ATOL
//   3 condition estimate beyond CONDLIM             5 ||A^T r|| small to machine precision
//   6 condition estimate beyond machine precision   7 iteration limit reached
void lsqr(lsqr_input* input, lsqr_output* output, lsqr_work* work, lsqr_func* function, const MatrixView* matrix);
