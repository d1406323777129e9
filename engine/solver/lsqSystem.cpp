#include "engine/solver/lsqSystem.h"

#include <cassert>
#include <new>
#include <utility>

namespace {

// The engine solves undamped, with every tolerance 0, and lets machine precision or
// floor(3n/2) iterations end the run.
void configureSolve(lsqr_input& input, int n) {
    input.damp = 0.0;
    input.atol = 0.0;
    input.btol = 0.0;
    input.condLimit = 0.0;
    input.iterLimit = 3 * n / 2;
}

}  // namespace

// ---------------------------------------------------------------- LsqSystem

LsqSystem::LsqSystem() {
    LsqrProblemSet set = alloc_lsqr_set(MAX_SIZE, MAX_SIZE);
    dvec* rhs = set.input != nullptr ? dvec_alloc(MAX_SIZE) : nullptr;
    if (rhs == nullptr) {
        free_lsqr_set(set);  // a system without storage refuses every setup
        return;
    }
    input = set.input;
    output = set.output;
    work = set.work;
    function = set.function;
    savedRhs = rhs;
}

LsqSystem::~LsqSystem() {
    LsqrProblemSet set{input, output, work, function};
    free_lsqr_set(set);
    dvec_free(savedRhs);
}

LsqSystem::LsqSystem(LsqSystem&& other) noexcept
    : input(std::exchange(other.input, nullptr)),
      output(std::exchange(other.output, nullptr)),
      work(std::exchange(other.work, nullptr)),
      function(std::exchange(other.function, nullptr)),
      savedRhs(std::exchange(other.savedRhs, nullptr)) {}

LsqSystem& LsqSystem::operator=(LsqSystem&& other) noexcept {
    std::swap(input, other.input);
    std::swap(output, other.output);
    std::swap(work, other.work);
    std::swap(function, other.function);
    std::swap(savedRhs, other.savedRhs);
    return *this;
}

bool LsqSystem::setup(int n, MatrixView*& A, dvec*& b, dvec*& x) {
    if (n < 1 || n > MAX_SIZE || input == nullptr) {
        return false;
    }
    LsqrProblemSet set{input, output, work, function};
    resize_lsqr_set(set, n, n);
    configureSolve(*input, n);
    savedRhs->length = n;
    A = function->matrix;
    b = input->b;
    x = input->x;
    return true;
}

bool LsqSystem::solve(MatrixView* A, dvec* b, dvec* x) {
    if (input == nullptr) {
        return false;
    }
    assert(b == input->b && x == input->x);
    dvec_zero_range(x, 0, x->length - 1);
    dvec_copy(b, savedRhs);
    lsqr(input, output, work, function, A);
    dvec_copy(savedRhs, b);
    return true;
}

// ---------------------------------------------------------------- ContactLsqWorkspace

ContactLsqWorkspace::ContactLsqWorkspace() {
    // A part that cannot be made starts at capacity 0: the first setup grows it.
    growScalar(INITIAL_CAPACITY - 1);
    growBlock(INITIAL_CAPACITY - 1);
}

ContactLsqWorkspace::~ContactLsqWorkspace() {
    delete[] skip;
    free_lsqr_set(scalarSet);
    free_lsqr_set(blockSet);
    dvec_free(savedRhs);
}

ContactLsqWorkspace::ContactLsqWorkspace(ContactLsqWorkspace&& other) noexcept
    : skip(std::exchange(other.skip, nullptr)),
      scalarSet(std::exchange(other.scalarSet, LsqrProblemSet{})),
      blockSet(std::exchange(other.blockSet, LsqrProblemSet{})),
      savedRhs(std::exchange(other.savedRhs, nullptr)),
      capacity(std::exchange(other.capacity, 0)),
      blockCapacity(std::exchange(other.blockCapacity, 0)) {}

ContactLsqWorkspace& ContactLsqWorkspace::operator=(ContactLsqWorkspace&& other) noexcept {
    std::swap(skip, other.skip);
    std::swap(scalarSet, other.scalarSet);
    std::swap(blockSet, other.blockSet);
    std::swap(savedRhs, other.savedRhs);
    std::swap(capacity, other.capacity);
    std::swap(blockCapacity, other.blockCapacity);
    return *this;
}

bool ContactLsqWorkspace::growSavedRhs(int size, dvec*& grown) const {
    grown = nullptr;
    if (savedRhs != nullptr && savedRhs->capacity >= size) {
        return true;
    }
    grown = dvec_alloc(size);
    return grown != nullptr;
}

void ContactLsqWorkspace::adoptSavedRhs(dvec* grown) {
    if (grown != nullptr) {
        dvec_free(savedRhs);
        savedRhs = grown;
    }
}

bool ContactLsqWorkspace::growScalar(int size) {
    const int grownCapacity = size + 1;
    LsqrProblemSet grownSet = alloc_lsqr_set(grownCapacity, grownCapacity);
    if (grownSet.input == nullptr) {
        return false;
    }
    auto* grownSkip = new (std::nothrow) std::uint8_t[grownCapacity]();
    dvec* grownRhs = nullptr;
    if (grownSkip == nullptr || !growSavedRhs(grownCapacity, grownRhs)) {
        delete[] grownSkip;
        free_lsqr_set(grownSet);
        return false;
    }
    std::swap(scalarSet, grownSet);
    free_lsqr_set(grownSet);
    delete[] std::exchange(skip, grownSkip);
    adoptSavedRhs(grownRhs);
    capacity = grownCapacity;
    return true;
}

bool ContactLsqWorkspace::growBlock(int size) {
    const int grownCapacity = size + 1;
    LsqrProblemSet grownSet = alloc_lsqr_set(grownCapacity, grownCapacity);
    if (grownSet.input == nullptr) {
        return false;
    }
    dvec* grownRhs = nullptr;
    if (!growSavedRhs(grownCapacity, grownRhs)) {
        free_lsqr_set(grownSet);
        return false;
    }
    std::swap(blockSet, grownSet);
    free_lsqr_set(grownSet);
    adoptSavedRhs(grownRhs);
    blockCapacity = grownCapacity;
    return true;
}

bool ContactLsqWorkspace::setup(int n, MatrixView*& A, dvec*& b, dvec*& x, std::uint8_t*& skipBytes) {
    if (n <= 0 || (n >= capacity && !growScalar(n))) {
        return false;
    }
    resize_lsqr_set(scalarSet, n, n);
    configureSolve(*scalarSet.input, n);
    savedRhs->length = n;
    A = scalarSet.function->matrix;
    b = scalarSet.input->b;
    x = scalarSet.input->x;
    skipBytes = skip;
    return true;
}

bool ContactLsqWorkspace::setupRows(int n, int m, MatrixView*& A, dvec*& b, dvec*& x) {
    const int size = m + 3 * n;
    if (n <= 0 || m < 0 || (size >= blockCapacity && !growBlock(size))) {
        return false;
    }
    resize_lsqr_set(blockSet, size, size);
    configureSolve(*blockSet.input, size);
    savedRhs->length = size;
    A = blockSet.function->matrix;
    b = blockSet.input->b;
    x = blockSet.input->x;
    return true;
}
