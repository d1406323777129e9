// Hot operations of the math library: the ones every contact, body step and mesh
// transform calls many times per frame.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/benchSupport.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "math/quaternion.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

std::vector<QmtVector3> randomVectors(std::size_t n) { return benchdata::randomPoints(n, 7, -10.0, 10.0); }

void BM_Unitize(benchmark::State& state) {
    const auto input = randomVectors(1024);
    std::vector<QmtVector3> work(input.size());
    for (auto _ : state) {
        work = input;
        for (auto& v : work) {
            benchmark::DoNotOptimize(v.Unitize(QmtMatrix3::EPSILON));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_Unitize);

void BM_MatrixVector(benchmark::State& state) {
    const auto input = randomVectors(1024);
    QmtMatrix3 R;
    R.FromAxisAngle(QmtVector3(1.0, 2.0, 3.0) / QmtVector3(1.0, 2.0, 3.0).Length(), 0.7);
    QmtVector3 sum;
    for (auto _ : state) {
        for (const auto& v : input) {
            sum += R * v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_MatrixVector);

void BM_MatrixProduct(benchmark::State& state) {
    QmtMatrix3 A, B;
    A.FromAxisAngle(QmtVector3::UNIT_X, 0.3);
    B.FromAxisAngle(QmtVector3::UNIT_Z, 0.2);
    for (auto _ : state) {
        A = A * B;
        benchmark::DoNotOptimize(A);
    }
}
BENCHMARK(BM_MatrixProduct);

void BM_QuaternionProduct(benchmark::State& state) {
    Quaternion q(0.9, 0.1, 0.2, 0.3);
    q.Normalize();
    Quaternion step(0.99, 0.01, 0.02, 0.03);
    step.Normalize();  // a unit step keeps q away from denormals
    for (auto _ : state) {
        q = q * step;
        benchmark::DoNotOptimize(q);
    }
}
BENCHMARK(BM_QuaternionProduct);

void BM_QuaternionToMatrix(benchmark::State& state) {
    Quaternion q(0.9, 0.1, 0.2, 0.3);
    q.Normalize();
    QmtMatrix3 R;
    for (auto _ : state) {
        q.ToRotationMatrix(R);
        benchmark::DoNotOptimize(R);
    }
}
BENCHMARK(BM_QuaternionToMatrix);

void BM_EigenSolveSymmetric(benchmark::State& state) {
    const QmtMatrix3 A(4.0, 1.0, 0.5, 1.0, 3.0, 0.25, 0.5, 0.25, 2.0);
    double values[3];
    QmtVector3 vectors[3];
    for (auto _ : state) {
        A.EigenSolveSymmetric(values, vectors);
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(BM_EigenSolveSymmetric);

}  // namespace
