// Records of the LSQR solver: allocation, release, sizing, the vector routines and the
// dense product. Every allocation is a non-throwing new so that a failure can be
// reported by a line on stderr and a null result instead of an exception.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "engine/solver/lsqr.h"

namespace {

void report(const char* text) {
    std::fprintf(stderr, "\t%s\n", text);
}

void freeMatrix(MatrixView* matrix) {
    if (matrix != nullptr) {
        delete[] matrix->data;
        delete matrix;
    }
}

// A new record of the solver; its members' own initialisers let its release run at any
// stage of its filling. A failure is reported with text.
template <typename Record>
Record* newRecord(const char* text) {
    auto* record = new (std::nothrow) Record;
    if (record == nullptr) {
        report(text);
    }
    return record;
}

// Fills one vector member of a record. On failure the text is reported and the whole
// record released, so the caller only has to answer null.
template <typename Record>
bool allocMember(dvec*& member, std::int32_t n, Record* record, void (*release)(Record*), const char* text) {
    member = dvec_alloc(n);
    if (member == nullptr) {
        report(text);
        release(record);
        return false;
    }
    return true;
}

MatrixView* allocMatrix(std::int32_t m, std::int32_t n) {
    if (m < 0 || n < 0) {
        return nullptr;
    }
    auto* matrix = new (std::nothrow) MatrixView;
    if (matrix == nullptr) {
        return nullptr;
    }
    matrix->data = new (std::nothrow) double[static_cast<std::size_t>(m) * static_cast<std::size_t>(n)]();
    if (matrix->data == nullptr) {
        delete matrix;
        return nullptr;
    }
    matrix->rows = m;
    matrix->rowCapacity = m;
    matrix->cols = n;
    matrix->stride = n;
    return matrix;
}

}  // namespace

dvec* dvec_alloc(std::int32_t n) {
    if (n < 0) {
        return nullptr;
    }
    auto* v = new (std::nothrow) dvec;
    if (v == nullptr) {
        return nullptr;
    }
    v->elements = new (std::nothrow) double[static_cast<std::size_t>(n)]();
    if (v->elements == nullptr) {
        delete v;
        return nullptr;
    }
    v->owner = 0;
    v->capacity = n;
    v->length = n;
    return v;
}

void dvec_free(dvec* v) {
    if (v == nullptr) {
        return;
    }
    if (v->owner == 0) {
        delete[] v->elements;
    }
    delete v;
}

lvec* alloc_lvec(std::int32_t n) {
    auto* v = new (std::nothrow) lvec;
    if (v == nullptr) {
        report("lsqr: vector allocation failure in function alloc_lvec()");
        return nullptr;
    }
    v->elements = n < 0 ? nullptr : new (std::nothrow) std::int32_t[static_cast<std::size_t>(n)]();
    if (v->elements == nullptr) {
        report("lsqr: element allocation failure in function alloc_lvec()");
        delete v;
        return nullptr;
    }
    v->length = n;
    return v;
}

void free_lvec(lvec* v) {
    if (v != nullptr) {
        delete[] v->elements;
        delete v;
    }
}

lsqr_input* alloc_lsqr_in(std::int32_t m, std::int32_t n) {
    auto* input = newRecord<lsqr_input>("lsqr: input structure allocation failure in function alloc_lsqr_in()");
    if (input == nullptr ||
        !allocMember(input->b, m, input, free_lsqr_in,
                     "lsqr: right hand side vector 'b' allocation failure in function alloc_lsqr_in()") ||
        !allocMember(input->x, n, input, free_lsqr_in,
                     "lsqr: solution vector 'x' allocation failure in function alloc_lsqr_in()")) {
        return nullptr;
    }
    input->m = m;
    input->n = n;
    return input;
}

void free_lsqr_in(lsqr_input* input) {
    if (input != nullptr) {
        dvec_free(input->b);
        dvec_free(input->x);
        delete input;
    }
}

lsqr_output* alloc_lsqr_out(std::int32_t /*m*/, std::int32_t n) {
    auto* output = newRecord<lsqr_output>("lsqr: output structure allocation failure in function alloc_lsqr_out()");
    if (output == nullptr ||
        !allocMember(output->e, n, output, free_lsqr_out,
                     "lsqr: standard error vector 'e' allocation failure in function alloc_lsqr_out()")) {
        return nullptr;
    }
    return output;
}

void free_lsqr_out(lsqr_output* output) {
    if (output != nullptr) {
        dvec_free(output->e);
        delete output;
    }
}

lsqr_work* alloc_lsqr_wrk(std::int32_t /*m*/, std::int32_t n) {
    auto* work = newRecord<lsqr_work>("lsqr: work structure allocation failure in function alloc_lsqr_wrk()");
    if (work == nullptr ||
        !allocMember(work->v, n, work, free_lsqr_wrk,
                     "lsqr: bidiagonalization work vector 'v' allocation failure in function alloc_lsqr_wrk()") ||
        !allocMember(work->w, n, work, free_lsqr_wrk,
                     "lsqr: search direction vector 'w' allocation failure in function alloc_lsqr_wrk()")) {
        return nullptr;
    }
    return work;
}

void free_lsqr_wrk(lsqr_work* work) {
    if (work != nullptr) {
        dvec_free(work->v);
        dvec_free(work->w);
        delete work;
    }
}

lsqr_func* alloc_lsqr_fnc(std::int32_t m, std::int32_t n) {
    auto* function = newRecord<lsqr_func>("lsqr: function structure allocation failure in function alloc_lsqr_fnc()");
    if (function == nullptr) {
        return nullptr;
    }
    function->matrix = allocMatrix(m, n);
    if (function->matrix == nullptr) {
        // The established text of this failure names the work routine.
        report("lsqr: function structure mat 'v' allocation failure in function alloc_lsqr_wrk()");
        delete function;
        return nullptr;
    }
    function->product = lsqr_dense_product;
    return function;
}

void free_lsqr_fnc(lsqr_func* function) {
    if (function != nullptr) {
        freeMatrix(function->matrix);
        delete function;
    }
}

LsqrProblemSet alloc_lsqr_set(std::int32_t m, std::int32_t n) {
    LsqrProblemSet set;
    set.input = alloc_lsqr_in(m, n);
    if (set.input != nullptr) {
        set.output = alloc_lsqr_out(m, n);
    }
    if (set.output != nullptr) {
        set.work = alloc_lsqr_wrk(m, n);
    }
    if (set.work != nullptr) {
        set.function = alloc_lsqr_fnc(m, n);
    }
    if (set.function == nullptr) {
        free_lsqr_set(set);
        return set;
    }
    set.output->x = set.input->x;
    return set;
}

void free_lsqr_set(LsqrProblemSet& set) {
    free_lsqr_in(set.input);
    free_lsqr_out(set.output);
    free_lsqr_wrk(set.work);
    free_lsqr_fnc(set.function);
    set = LsqrProblemSet{};
}

bool resize_lsqr_set(LsqrProblemSet& set, std::int32_t m, std::int32_t n) {
    if (set.input == nullptr) {
        return false;
    }
    MatrixView& matrix = *set.function->matrix;
    if (m < 0 || n < 0 || m > set.input->b->capacity || m > matrix.rowCapacity || n > set.input->x->capacity ||
        n > matrix.stride) {
        return false;
    }
    set.input->m = m;
    set.input->n = n;
    set.input->b->length = m;
    set.input->x->length = n;
    set.output->e->length = n;
    set.work->v->length = n;
    set.work->w->length = n;
    matrix.rows = m;
    matrix.cols = n;
    return true;
}

// Rows are taken four at a time so that four independent sums run side by side; each
// row's own sum still runs over j in order, so the result is that of the plain loops.
void lsqr_dense_product(std::int32_t mode, dvec* x, dvec* y, const MatrixView* A) {
    const int rows = A->rows;
    const int cols = A->cols;
    const std::ptrdiff_t stride = A->stride;
    double* xs = x->elements;
    double* ys = y->elements;
    if (mode == 0) {  // y += A x
        int i = 0;
        for (; i + 4 <= rows; i += 4) {
            const double* r0 = &A->at(i, 0);
            const double* r1 = r0 + stride;
            const double* r2 = r1 + stride;
            const double* r3 = r2 + stride;
            double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
            for (int j = 0; j < cols; ++j) {
                const double xj = xs[j];
                s0 += r0[j] * xj;
                s1 += r1[j] * xj;
                s2 += r2[j] * xj;
                s3 += r3[j] * xj;
            }
            ys[i] += s0;
            ys[i + 1] += s1;
            ys[i + 2] += s2;
            ys[i + 3] += s3;
        }
        for (; i < rows; ++i) {
            const double* r = &A->at(i, 0);
            double sum = 0.0;
            for (int j = 0; j < cols; ++j) {
                sum += r[j] * xs[j];
            }
            ys[i] += sum;
        }
    } else if (mode == 1) {  // x += A^T y, row by row
        int i = 0;
        for (; i + 4 <= rows; i += 4) {
            const double* r0 = &A->at(i, 0);
            const double* r1 = r0 + stride;
            const double* r2 = r1 + stride;
            const double* r3 = r2 + stride;
            const double y0 = ys[i], y1 = ys[i + 1], y2 = ys[i + 2], y3 = ys[i + 3];
            for (int j = 0; j < cols; ++j) {
                xs[j] = (((xs[j] + r0[j] * y0) + r1[j] * y1) + r2[j] * y2) + r3[j] * y3;
            }
        }
        for (; i < rows; ++i) {
            const double* r = &A->at(i, 0);
            const double yi = ys[i];
            for (int j = 0; j < cols; ++j) {
                xs[j] += r[j] * yi;
            }
        }
    }
}

double dvec_norm2(const dvec* v) {
    double sum = 0.0;
    for (int i = 0; i < v->length; ++i) {
        sum += v->elements[i] * v->elements[i];
    }
    return std::sqrt(sum);
}

void dvec_scale(double s, dvec* v) {
    for (int i = 0; i < v->length; ++i) {
        v->elements[i] *= s;
    }
}

void dvec_copy(const dvec* v, dvec* copy) {
    std::copy_n(v->elements, v->length, copy->elements);
}

void dvec_zero_range(dvec* v, int from, int to) {
    if (from < 0 || to < 0 || from >= v->capacity || to >= v->capacity) {
        return;
    }
    for (int i = from; i <= to; ++i) {
        v->elements[i] = 0.0;
    }
}
