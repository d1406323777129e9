#include "geometry/mesh/massProperties.h"

#include <algorithm>

#include "geometry/bounds/boxFit.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double ONE_SIXTH = 1.0 / 6.0;
constexpr double ONE_24TH = 1.0 / 24.0;
constexpr double ONE_60TH = 1.0 / 60.0;
constexpr double ONE_120TH = 1.0 / 120.0;

// Below these the volume or a principal moment is not physically plausible.
constexpr double MIN_VOLUME = 1e-5;
constexpr double MIN_PRINCIPAL_MOMENT = -1e-5;

// Corner indices of a face in winding order; the counts are clamped to the storage
// so that a corrupt count cannot read past the face record.
struct FaceCorners {
    const std::uint32_t* indices;
    std::uint32_t count;
};

FaceCorners cornersOf(const ZYLface& face) {
    return {face.vertices, std::min(face.numVertices, ZYLFACE_MAX_CORNERS)};
}

FaceCorners cornersOf(const ZYL_DFface& face) {
    return {face.vertices, face.vertices ? std::min(face.numVertices, face.capacity) : 0u};
}

// Calls visit(p0, p1, p2) for the fan triangles (i0, ik, ik+1) of every face, with
// each vertex passed through place().
template <class Mesh, class Place, class Visit>
void forEachFanTriangle(const Mesh& mesh, Place place, Visit visit) {
    if (!mesh.faces || !mesh.vertices) {
        return;
    }
    const QmtVector3* v = mesh.vertices;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const FaceCorners face = cornersOf(mesh.faces[f]);
        if (face.count < 3) {
            continue;
        }
        const QmtVector3 p0 = place(v[face.indices[0]]);
        QmtVector3 p1 = place(v[face.indices[1]]);
        for (std::uint32_t k = 2; k < face.count; ++k) {
            const QmtVector3 p2 = place(v[face.indices[k]]);
            visit(p0, p1, p2);
            p1 = p2;
        }
    }
}

// The per-coordinate subexpressions of the polyhedral integrals for w0, w1, w2.
struct Subexpressions {
    double f1, f2, f3, g0, g1, g2;

    Subexpressions(double w0, double w1, double w2) {
        const double t0 = w0 + w1;
        f1 = t0 + w2;
        const double t1 = w0 * w0;
        const double t2 = t1 + w1 * t0;
        f2 = t2 + w2 * f1;
        f3 = w0 * t1 + w1 * t2 + w2 * f2;
        g0 = f2 + w0 * (f1 + w0);
        g1 = f2 + w1 * (f1 + w1);
        g2 = f2 + w2 * (f1 + w2);
    }
};

// The ten surface integrals: volume, first moments x y z, second moments xx yy zz,
// products xy yz zx. add() accumulates only the groups a caller asks for; the volume
// always.
struct Integrals {
    double volume = 0.0;
    QmtVector3 first;
    double xx = 0.0, yy = 0.0, zz = 0.0;
    double xy = 0.0, yz = 0.0, zx = 0.0;

    template <bool withFirst, bool withSecond>
    void add(const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& p2) {
        const QmtVector3 d = (p1 - p0).Cross(p2 - p0);
        const Subexpressions x(p0.x, p1.x, p2.x);
        volume += d.x * x.f1;
        if constexpr (withFirst || withSecond) {
            const Subexpressions y(p0.y, p1.y, p2.y);
            const Subexpressions z(p0.z, p1.z, p2.z);
            if constexpr (withFirst) {
                first.x += d.x * x.f2;
                first.y += d.y * y.f2;
                first.z += d.z * z.f2;
            }
            if constexpr (withSecond) {
                xx += d.x * x.f3;
                yy += d.y * y.f3;
                zz += d.z * z.f3;
                xy += d.x * (p0.y * x.g0 + p1.y * x.g1 + p2.y * x.g2);
                yz += d.y * (p0.z * y.g0 + p1.z * y.g1 + p2.z * y.g2);
                zx += d.z * (p0.x * z.g0 + p1.x * z.g1 + p2.x * z.g2);
            }
        }
    }

    void applyFactors() {
        volume *= ONE_SIXTH;
        first.x *= ONE_24TH;
        first.y *= ONE_24TH;
        first.z *= ONE_24TH;
        xx *= ONE_60TH;
        yy *= ONE_60TH;
        zz *= ONE_60TH;
        xy *= ONE_120TH;
        yz *= ONE_120TH;
        zx *= ONE_120TH;
    }

    // Inertia tensor about the origin for density 1.
    QmtMatrix3 originTensor() const {
        return {yy + zz, -xy, -zx,
                -xy, xx + zz, -yz,
                -zx, -yz, xx + yy};
    }
};

const QmtVector3& unscaled(const QmtVector3& p) { return p; }

template <bool withFirst, bool withSecond, class Mesh>
Integrals integrate(const Mesh& mesh) {
    Integrals in;
    forEachFanTriangle(mesh, unscaled,
                       [&in](const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& p2) {
                           in.add<withFirst, withSecond>(p0, p1, p2);
                       });
    in.applyFactors();
    return in;
}

// Eigenvalues of a symmetric tensor (the matrix is taken by value and consumed).
void principalMoments(QmtMatrix3 m, double moments[3]) {
    double subd[3];
    tridiagonalize3(m, moments, subd);
    solveQL(3, moments, subd, m);
    sortEigenIncreasing(3, moments, m);
}

bool momentsPlausible(const QmtMatrix3& tensor) {
    double moments[3];
    principalMoments(tensor, moments);
    return !(moments[0] < MIN_PRINCIPAL_MOMENT || moments[1] < MIN_PRINCIPAL_MOMENT ||
             moments[2] < MIN_PRINCIPAL_MOMENT);
}

bool strictlyInside(const QmtVector3& c, const QmtVector3& lo, const QmtVector3& hi) {
    return lo.x < c.x && c.x < hi.x && lo.y < c.y && c.y < hi.y && lo.z < c.z && c.z < hi.z;
}

template <class Mesh>
double massProperties(const Mesh* mesh, QmtVector3& centre) {
    if (!mesh || mesh->numVertices == 0 || !mesh->vertices) {
        centre = QmtVector3::ZERO;
        return 0.0;
    }
    const Integrals in = integrate<true, true>(*mesh);
    centre = in.first / in.volume;

    const QmtVector3* v = mesh->vertices;
    QmtVector3 lo = v[0];
    QmtVector3 hi = v[0];
    for (std::uint32_t i = 1; i < mesh->numVertices; ++i) {
        lo.x = std::min(lo.x, v[i].x);
        lo.y = std::min(lo.y, v[i].y);
        lo.z = std::min(lo.z, v[i].z);
        hi.x = std::max(hi.x, v[i].x);
        hi.y = std::max(hi.y, v[i].y);
        hi.z = std::max(hi.z, v[i].z);
    }

    // The eigen solve runs only when the cheaper tests pass; its verdict could not
    // change the outcome otherwise.
    const bool plausible = strictlyInside(centre, lo, hi) && !(MIN_VOLUME > in.volume) &&
                           momentsPlausible(in.originTensor());
    if (!plausible) {
        centre = (lo + hi) * 0.5;
    }
    return in.volume;
}

// Tetrahedra from the origin: an open surface gets the volume of its cone to the
// origin, which the divergence-theorem integral above would not give.
template <class Mesh>
double meshVolume(const Mesh* mesh) {
    if (!mesh) {
        return 0.0;
    }
    double sum = 0.0;
    forEachFanTriangle(*mesh, unscaled,
                       [&sum](const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& p2) {
                           sum += p0.Dot(p1.Cross(p2));
                       });
    return sum * ONE_SIXTH;
}

}  // namespace

double ComputeMassProperties(const ZYLmesh* mesh, QmtVector3& centre) {
    return massProperties(mesh, centre);
}

double ComputeMassProperties(const ZYL_DFmesh* mesh, QmtVector3& centre) {
    return massProperties(mesh, centre);
}

QmtMatrix3& computeScaledMassProperties(QmtMatrix3& inertia, const ZYLmesh* mesh,
                                        const double& mass, const QmtVector3& centre,
                                        const QmtVector3& scale) {
    inertia = QmtMatrix3::ZERO;
    // Without vertices there is neither a volume nor a point model to stand in for it.
    if (!mesh || mesh->numVertices == 0 || !mesh->vertices) {
        return inertia;
    }
    const auto scaled = [&scale](const QmtVector3& p) {
        return QmtVector3(p.x * scale.x, p.y * scale.y, p.z * scale.z);
    };

    Integrals in;
    forEachFanTriangle(*mesh, scaled,
                       [&in](const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& p2) {
                           in.add<false, true>(p0, p1, p2);
                       });
    in.applyFactors();
    inertia = in.originTensor();

    double factor;
    if (in.volume < MIN_VOLUME || !momentsPlausible(inertia)) {
        // Point model: equal point masses at the scaled vertices.
        inertia = QmtMatrix3::ZERO;
        for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
            const QmtVector3 p = scaled(mesh->vertices[i]);
            inertia(0, 0) += p.y * p.y + p.z * p.z;
            inertia(1, 1) += p.x * p.x + p.z * p.z;
            inertia(2, 2) += p.x * p.x + p.y * p.y;
            inertia(0, 1) -= p.x * p.y;
            inertia(0, 2) -= p.x * p.z;
            inertia(1, 2) -= p.y * p.z;
        }
        inertia(1, 0) = inertia(0, 1);
        inertia(2, 0) = inertia(0, 2);
        inertia(2, 1) = inertia(1, 2);
        factor = mass / static_cast<double>(mesh->numVertices);
    } else {
        factor = mass / in.volume;
    }
    inertia = inertia * factor;

    // Parallel-axis shift to the requested centre.
    const double m = mass;
    const QmtVector3& c = centre;
    inertia(0, 0) -= m * (c.y * c.y + c.z * c.z);
    inertia(1, 1) -= m * (c.x * c.x + c.z * c.z);
    inertia(2, 2) -= m * (c.x * c.x + c.y * c.y);
    inertia(0, 1) += m * c.x * c.y;
    inertia(0, 2) += m * c.x * c.z;
    inertia(1, 2) += m * c.y * c.z;
    inertia(1, 0) = inertia(0, 1);
    inertia(2, 0) = inertia(0, 2);
    inertia(2, 1) = inertia(1, 2);
    return inertia;
}

double computeMeshVolume(const ZYLmesh* mesh) { return meshVolume(mesh); }

double computeMeshVolume(const ZYL_DFmesh* mesh) { return meshVolume(mesh); }

double computeMeshCentroid(const ZYLmesh* mesh, QmtVector3& centre) {
    if (!mesh) {
        centre = QmtVector3::ZERO;
        return 0.0;
    }
    const Integrals in = integrate<true, false>(*mesh);
    centre = in.first / in.volume;
    return in.volume;
}

double computePolygonArea(const QmtVector3* loop, unsigned count, const QmtVector3& normal) {
    if (!loop || count < 3) {
        return 0.0;
    }
    QmtVector3 sum;
    for (unsigned i = 0; i < count; ++i) {
        const QmtVector3& next = loop[i + 1 == count ? 0 : i + 1];
        sum += next.Cross(loop[i]);
    }
    return 0.5 * normal.Dot(sum);
}
