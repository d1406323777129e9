// The LSQR iteration: Golub-Kahan bidiagonalisation of A with the starting vector
// b - A x, a plane rotation per step to keep the bidiagonal system triangular, and
// running estimates of ||A||, cond(A), ||r||, ||A^T r|| and ||x|| for the stop tests.

#include <algorithm>
#include <cmath>

#include "engine/solver/lsqr.h"

namespace {

constexpr double MACHINE_EPSILON = 2.220446049250313e-16;

const char* const STOP_TEXTS[] = {
    "The exact solution is x = x0",
    "The residual Ax - b is small enough, given ATOL and BTOL",
    "The least squares error is small enough, given ATOL",
    "The estimated condition number has exceeded CONLIM",
    "The residual Ax - b is small enough, given machine precision",
    "The least squares error is small enough, given machine precision",
    "The estimated condition number has exceeded machine precision",
    "The iteration limit has been reached",
};

void logHeader(const lsqr_input& in) {
    std::fprintf(in.log, "LSQR: least-squares solution of A x = b\n");
    std::fprintf(in.log, "  rows %d  columns %d  damp %.4e\n", in.m, in.n, in.damp);
    std::fprintf(in.log, "  atol %.4e  btol %.4e  condLimit %.4e  iterLimit %d\n", in.atol, in.btol, in.condLimit,
                 in.iterLimit);
    std::fprintf(in.log, "  iter  x[0]  rnorm  arnorm  test1  test2  anorm  acond\n");
}

void logSummary(const lsqr_input& in, const lsqr_output& out) {
    std::fprintf(in.log, "LSQR stops with ISTOP %d after %d iterations: %s\n", out.istop, out.iter,
                 STOP_TEXTS[out.istop]);
    std::fprintf(in.log, "  anorm %.6e  acond %.6e  rnorm %.6e  arnorm %.6e  xnorm %.6e\n", out.anorm, out.acond,
                 out.rnorm, out.arnorm, out.xnorm);
}

}  // namespace

void lsqr(lsqr_input* input, lsqr_output* output, lsqr_work* work, lsqr_func* function, const MatrixView* matrix) {
    dvec* u = input->b;
    dvec* x = input->x;
    dvec* v = work->v;
    dvec* w = work->w;
    dvec* e = output->e;
    const int n = input->n;
    const double damp = input->damp;
    const double dampsq = damp * damp;
    const double ctol = input->condLimit > 0.0 ? 1.0 / input->condLimit : MACHINE_EPSILON;

    output->istop = 0;
    output->iter = 0;
    output->anorm = 0.0;
    output->acond = 0.0;
    output->xnorm = 0.0;
    std::fill_n(v->elements, n, 0.0);
    std::fill_n(w->elements, n, 0.0);
    std::fill_n(e->elements, n, 0.0);
    if (input->log != nullptr) {
        logHeader(*input);
    }

    // u := b - A x, in b's storage.
    dvec_scale(-1.0, u);
    function->product(0, x, u, matrix);
    dvec_scale(-1.0, u);

    double alpha = 0.0;
    double beta = dvec_norm2(u);
    if (beta > 0.0) {
        dvec_scale(1.0 / beta, u);
        function->product(1, v, u, matrix);
        alpha = dvec_norm2(v);
    }
    if (alpha > 0.0) {
        dvec_scale(1.0 / alpha, v);
        std::copy_n(v->elements, n, w->elements);
    }
    output->rnorm = beta;
    output->arnorm = alpha * beta;

    if (output->arnorm != 0.0) {
        const double bnorm = beta;
        double rhobar = alpha;
        double phibar = beta;
        double bbnorm = 0.0;   // running sum of squares behind ||A||
        double ddnorm = 0.0;   // running sum of squares of the w / rho vectors
        double res2 = 0.0;     // damping share of ||r||^2
        double xxnorm = 0.0;
        double z = 0.0;
        double cs2 = -1.0;
        double sn2 = 0.0;

        for (;;) {
            ++output->iter;

            // Next bidiagonalisation step: beta u = A v - alpha u, alpha v = A^T u - beta v.
            dvec_scale(-alpha, u);
            function->product(0, v, u, matrix);
            beta = dvec_norm2(u);
            bbnorm = bbnorm + alpha * alpha + beta * beta + dampsq;
            if (beta > 0.0) {
                dvec_scale(1.0 / beta, u);
                dvec_scale(-beta, v);
                function->product(1, v, u, matrix);
                alpha = dvec_norm2(v);
                if (alpha > 0.0) {
                    dvec_scale(1.0 / alpha, v);
                }
            }

            // Rotation that folds the damping row into the bidiagonal system.
            double rhbar1 = rhobar;
            double psi = 0.0;
            if (damp > 0.0) {
                rhbar1 = std::sqrt(rhobar * rhobar + dampsq);
                const double cs1 = rhobar / rhbar1;
                const double sn1 = damp / rhbar1;
                psi = sn1 * phibar;
                phibar = cs1 * phibar;
            }

            // Plane rotation that eliminates beta.
            const double rho = std::sqrt(rhbar1 * rhbar1 + beta * beta);
            const double cs = rhbar1 / rho;
            const double sn = beta / rho;
            const double theta = sn * alpha;
            rhobar = -cs * alpha;
            const double phi = cs * phibar;
            phibar = sn * phibar;
            const double tau = sn * phi;

            // x and w updates, with the squares of w / rho for the error estimates.
            const double t1 = phi / rho;
            const double t2 = -theta / rho;
            const double t3 = 1.0 / rho;
            double dknorm = 0.0;
            for (int i = 0; i < n; ++i) {
                const double wi = w->elements[i];
                x->elements[i] = t1 * wi + x->elements[i];
                w->elements[i] = t2 * wi + v->elements[i];
                const double d = (t3 * wi) * (t3 * wi);
                e->elements[i] += d;
                dknorm += d;
            }

            // Norm and condition estimates.
            ddnorm += dknorm;
            const double delta = sn2 * rho;
            const double gambar = -cs2 * rho;
            const double rhs = phi - delta * z;
            const double zbar = rhs / gambar;
            output->xnorm = std::sqrt(xxnorm + zbar * zbar);
            const double gamma = std::sqrt(gambar * gambar + theta * theta);
            cs2 = gambar / gamma;
            sn2 = theta / gamma;
            z = rhs / gamma;
            xxnorm += z * z;

            output->anorm = std::sqrt(bbnorm);
            output->acond = output->anorm * std::sqrt(ddnorm);
            res2 += psi * psi;
            output->rnorm = std::sqrt(phibar * phibar + res2);
            output->arnorm = alpha * std::fabs(tau);

            // Stop tests; the last true one names the reason.
            const double test1 = output->rnorm / bnorm;
            const double test2 = output->rnorm > 0.0 ? output->arnorm / (output->anorm * output->rnorm) : 0.0;
            const double test3 = 1.0 / output->acond;
            const double rtol = input->btol + input->atol * output->anorm * output->xnorm / bnorm;
            if (output->iter >= input->iterLimit) output->istop = 7;
            if (test3 <= MACHINE_EPSILON) output->istop = 6;
            if (test2 <= MACHINE_EPSILON) output->istop = 5;
            if (test3 <= ctol) output->istop = 3;
            if (test2 <= input->atol) output->istop = 2;
            if (test1 <= rtol) output->istop = 1;

            if (input->log != nullptr) {
                std::fprintf(input->log, "  %4d  %.9e  %.5e  %.5e  %.3e  %.3e  %.3e  %.3e\n", output->iter,
                             n > 0 ? x->elements[0] : 0.0, output->rnorm, output->arnorm, test1, test2,
                             output->anorm, output->acond);
            }
            if (output->istop != 0) {
                break;
            }
        }
    }

    // Standard errors of the solution components.
    double t = 1.0;
    if (input->m > n) {
        t = input->m - n;
    }
    if (dampsq > 0.0) {
        t = input->m;
    }
    const double scale = output->rnorm / std::sqrt(t);
    for (int j = 0; j < n; ++j) {
        e->elements[j] = std::sqrt(e->elements[j]) * scale;
    }

    if (input->log != nullptr) {
        logSummary(*input, *output);
    }
}
