// Builders of the incremental hull: growth loops, the plain and careful builds, output records.

#include "geometry/hull/convexHull.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "geometry/hull/besideThread.h"
#include "geometry/hull/convexHullChecks.h"
#include "geometry/hull/hullConflictTracker.h"
#include "geometry/hull/hullInteriorCull.h"

namespace {

using Qmt::QmtVector3;

constexpr std::uint32_t NONE = ConvexHullContext::NONE;
constexpr std::uint32_t NEVER = NONE - 1;  // a face no remaining candidate passes
constexpr double TOLERANCE = 1e-5;

bool allFinite(const QmtVector3* points, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y) || !std::isfinite(points[i].z)) {
            return false;
        }
    }
    return true;
}

// ---- Output records ----

bool writeMesh(ZYLmesh& mesh, const ConvexHullContext& context, const OutputFaces& faces, bool singleTriangle) {
    const std::uint32_t count = singleTriangle ? 1 : faces.count();
    if (count == 0) {
        return false;
    }
    mesh.faces = new ZYLface[count]();
    mesh.normals = new QmtVector3[count]();
    mesh.worldNormals = new QmtVector3[count]();
    mesh.numFaces = count;
    if (singleTriangle) {
        // Stored order, no orientation test; both normal arrays hold the normal.
        const std::uint32_t s = context.frontFace();
        std::copy(context.face(s).corners, context.face(s).corners + 3, mesh.faces[0].vertices);
        mesh.faces[0].numVertices = 3;
        mesh.normals[0] = mesh.worldNormals[0] = context.face(s).normal;
        return true;
    }
    for (std::uint32_t j = 0; j < count; ++j) {
        ZYLface& face = mesh.faces[j];
        face.numVertices = faces.size(j);
        std::copy(faces.of(j), faces.of(j) + faces.size(j), face.vertices);
        mesh.normals[j] = *faces.normals[j];
    }
    return true;
}

// Default-constructed faces have no index arrays: size them before writing corners.
void sizeDFface(ZYL_DFface& face, std::uint32_t k) {
    face.allocate(k, 0);
    if (!face.vertices) {
        throw std::bad_alloc();
    }
    std::fill(face.normals, face.normals + k, 0u);
    std::fill(face.uvs, face.uvs + k, 0u);
    face.numVertices = k;
}

bool writeMesh(ZYL_DFmesh& mesh, const ConvexHullContext& context, const OutputFaces& faces,
               bool singleTriangle) {
    const std::uint32_t count = singleTriangle ? 1 : faces.count();
    if (count == 0) {
        return false;
    }
    mesh.faces = new ZYL_DFface[count];
    mesh.numFaces = count;
    mesh.normals = new QmtVector3[count]();
    mesh.worldNormals = new QmtVector3[count]();
    if (singleTriangle) {
        const std::uint32_t s = context.frontFace();
        sizeDFface(mesh.faces[0], 3);
        std::copy(context.face(s).corners, context.face(s).corners + 3, mesh.faces[0].vertices);
        mesh.normals[0] = mesh.worldNormals[0] = context.face(s).normal;
        return true;
    }
    for (std::uint32_t j = 0; j < count; ++j) {
        ZYL_DFface& face = mesh.faces[j];
        sizeDFface(face, faces.size(j));
        std::copy(faces.of(j), faces.of(j) + faces.size(j), face.vertices);
        mesh.normals[j] = *faces.normals[j];
    }
    return true;
}

// ---- Growth ----

std::vector<std::uint32_t> candidatesWithout(std::uint32_t n, const std::uint32_t simplex[4]) {
    std::vector<std::uint32_t> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i != simplex[0] && i != simplex[1] && i != simplex[2] && i != simplex[3]) {
            out.push_back(i);
        }
    }
    return out;
}

QmtVector3 simplexCentre(const QmtVector3* points, const std::uint32_t simplex[4]) {
    return (points[simplex[0]] + points[simplex[1]] + points[simplex[2]] + points[simplex[3]]) * 0.25;
}

// A closed surface on V vertices has 2V - 4 triangles. A first build whose faces
// outnumber that many times over has fans overlapping where a horizon ran in several
// loops, and the growth rules keep multiplying them (a flat slab of 2,000 points grew
// 4,000 faces on 250 vertices and ran on for hours): it cannot close, so it is given up
// for the rebuild, whose horizons are single loops.
bool overgrown(const ConvexHullContext& context, std::uint32_t vertexCount) {
    return !context.robust && context.faceCount() > 4 * std::uint64_t{vertexCount} + 64;
}

// Whether another thread has asked the build to give up.
bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// What a growth loop carries from one step to the next besides the mesh and the
// context, so that a careful build can carry on from a plain one's state (see
// forkInto below).
struct ProjectionLoop {
    // A candidate taken whose step is yet to be made, its faces in the context's
    // visibleHint; NONE otherwise.
    std::uint32_t taken = NONE;
};

struct FaceLoop {
    struct Pending {
        std::uint32_t seq;
        std::uint32_t slot;
        bool operator<(const Pending& o) const { return seq < o.seq; }
    };
    struct Cached {
        std::uint32_t slot;
        std::uint32_t seq;
        std::uint32_t next;
    };
    // Faces to ask, newest first. Faces just made are newer than every face asked
    // before, so they go on a stack that stays sorted; faces asked again go on a heap.
    std::vector<Pending> fresh;
    std::vector<Pending> pending;
    std::vector<Pending> retry;
    std::vector<std::uint32_t> answer;      // per face slot: candidate that failed it
    std::vector<std::uint32_t> answerSeq;   // per face slot
    std::vector<Cached> cached;             // per candidate: faces answered by it
    std::vector<std::uint32_t> cachedHead;
    // A candidate taken for face `top` whose step is yet to be made (see
    // ProjectionLoop::taken).
    Pending top{};
    std::uint32_t taken = NONE;
    bool takenCulled = false;  // taken from the points the cull left out
    // Candidates kept out of the tracker (see InteriorCull).
    InteriorCull cull;

    void push(const Pending& p) {
        pending.push_back(p);
        std::push_heap(pending.begin(), pending.end());
    }
    void pushFace(std::uint32_t slot, const ConvexHullContext& context) { push({context.face(slot).seq, slot}); }
    void pushNewest(std::uint32_t slot, const ConvexHullContext& context) {
        const Pending p{context.face(slot).seq, slot};
        if (fresh.empty() || fresh.back() < p) {
            fresh.push_back(p);
        } else {
            push(p);
        }
    }
};

template <class Loop>
struct Growth {
    HullConflictTracker tracker;
    Loop loop;
    bool ended = false;  // the loop has ended: a build carrying on from here only finishes
};

// addPointToHull. Where the step pauses because the careful rules would make it
// otherwise (see ConvexHullContext::pauseAtParting), fork() copies the state first, and
// the step is then made by the plain rules.
template <class Mesh, class Fork>
bool addPoint(Mesh& mesh, const QmtVector3& point, const QmtVector3& interior, ConvexHullContext& context,
              Fork& fork) {
    if (addPointToHull(mesh, point, interior, context)) {
        return true;
    }
    if (!context.pausedAtParting) {
        return false;
    }
    context.pausedAtParting = false;
    context.pauseAtParting = false;
    fork();
    context.hintActive = true;
    return addPointToHull(mesh, point, interior, context);
}

// Each pass takes the candidate with the largest projection on the normal of the
// newest face it lies outside of; candidates outside no face leave for good (unless
// a last build keeps them, see startGrowth). The tracker keeps those projections up to
// date instead of rescanning every pair.
// False when the build was given up as overgrown or told to stop.
template <class Fork, class Step>
bool growByProjection(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4], ZYLmesh& mesh,
                      ConvexHullContext& context, Growth<ProjectionLoop>& growth, const std::atomic<bool>* stop,
                      Fork& fork, Step& step) {
    const QmtVector3 interior = simplexCentre(points, simplex);
    HullConflictTracker& tracker = growth.tracker;
    ProjectionLoop& loop = growth.loop;
    while (mesh.numVertices < n) {
        if (loop.taken == NONE) {
            loop.taken = tracker.takeBest();
            if (loop.taken == NONE) {
                break;
            }
            context.visibleHint.clear();
            tracker.facesSeenBy(loop.taken, context.visibleHint);
        }
        const std::uint32_t best = loop.taken;
        context.hintActive = true;
        const bool added = addPoint(mesh, points[best], interior, context, fork);
        loop.taken = NONE;
        if (!added) {
            break;
        }
        tracker.drop(best);
        tracker.update(context);
        if (overgrown(context, mesh.numVertices) || stopped(stop)) {
            return false;
        }
        step(mesh.numVertices);
        if (tracker.liveCount() == 0) {
            break;
        }
    }
    growth.ended = true;
    return true;
}

// Face-driven growth: from the front of the face list, each face takes the candidate
// of largest projection on its normal; the first such candidate more than 1e-5 above
// its face joins the hull and the next pass starts from the front again. A face's
// answer stays valid while its candidate remains, so only new faces and faces whose
// candidate joined are asked again; a max-heap on creation numbers keeps list order.
template <class Fork, class Step>
bool growByFaces(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4], ZYL_DFmesh& mesh,
                 ConvexHullContext& context, Growth<FaceLoop>& growth, const std::atomic<bool>* stop, Fork& fork,
                 Step& step) {
    using Pending = FaceLoop::Pending;
    const QmtVector3 interior = simplexCentre(points, simplex);
    HullConflictTracker& tracker = growth.tracker;
    FaceLoop& loop = growth.loop;
    while (loop.taken != NONE || ((!loop.pending.empty() || !loop.fresh.empty()) && mesh.numVertices < n &&
                                  (tracker.liveCount() > 0 || loop.cull.active()))) {
        if (loop.taken == NONE) {
            Pending top;
            if (!loop.fresh.empty() && (loop.pending.empty() || loop.pending.front() < loop.fresh.back())) {
                top = loop.fresh.back();
                loop.fresh.pop_back();
            } else {
                std::pop_heap(loop.pending.begin(), loop.pending.end());
                top = loop.pending.back();
                loop.pending.pop_back();
            }
            if (!context.isLiveFace(top.slot, top.seq)) {
                continue;
            }
            if (loop.answer.size() <= top.slot) {
                loop.answer.resize(context.slotCount(), NONE);
                loop.answerSeq.resize(context.slotCount(), NONE);
            }
            if (loop.answerSeq[top.slot] == top.seq &&
                (loop.answer[top.slot] == NEVER || tracker.isLive(loop.answer[top.slot]))) {
                continue;
            }
            const ConvexHullContext::Face& face = context.face(top.slot);
            std::uint32_t best = tracker.bestOutside(top.slot, context);
            const QmtVector3& corner = mesh.vertices[face.corners[0]];
            // A point the cull left out may answer the face instead (see InteriorCull).
            bool takenCulled = false;
            if (loop.cull.active()) {
                std::uint32_t taken = NONE;
                switch (loop.cull.challenge(points, face.normal, corner, best, TOLERANCE, taken)) {
                case InteriorCull::Verdict::STANDS:
                    break;
                case InteriorCull::Verdict::TAKEN:
                    best = taken;
                    takenCulled = true;
                    break;
                case InteriorCull::Verdict::UNSURE:
                    // Every point left out goes back into the tracker.
                    tracker.restartWith(points, n, loop.cull.release(), context);
                    best = tracker.bestOutside(top.slot, context);
                    break;
                }
            }
            if (best == NONE) {
                // No remaining candidate can ever pass this face.
                loop.answer[top.slot] = NEVER;
                loop.answerSeq[top.slot] = top.seq;
                continue;
            }
            if (!((points[best] - corner).Dot(face.normal) > TOLERANCE)) {
                loop.answer[top.slot] = best;
                loop.answerSeq[top.slot] = top.seq;
                loop.cached.push_back({top.slot, top.seq, loop.cachedHead[best]});
                loop.cachedHead[best] = static_cast<std::uint32_t>(loop.cached.size() - 1);
                continue;
            }
            context.visibleHint.clear();
            if (!takenCulled) {
                tracker.facesSeenBy(best, context.visibleHint);
            }
            loop.top = top;
            loop.taken = best;
            loop.takenCulled = takenCulled;
        }
        const std::uint32_t best = loop.taken;
        // The tracker knows no faces of a point left out: the step looks at every face.
        context.hintActive = !loop.takenCulled;
        const bool added = addPoint(mesh, points[best], interior, context, fork);
        loop.taken = NONE;
        if (!added) {
            loop.retry.push_back(loop.top);  // asked again in the next pass
            continue;
        }
        if (loop.takenCulled) {
            loop.cull.joined(best);
        }
        tracker.drop(best);
        tracker.update(context);
        for (const std::uint32_t s : context.createdFaces) {
            loop.pushNewest(s, context);
        }
        for (std::uint32_t c = loop.cachedHead[best]; c != NONE; c = loop.cached[c].next) {
            const FaceLoop::Cached& k = loop.cached[c];
            if (context.isLiveFace(k.slot, k.seq) && loop.answer[k.slot] == best && loop.answerSeq[k.slot] == k.seq) {
                loop.answer[k.slot] = NONE;
                loop.pushFace(k.slot, context);
            }
        }
        loop.cachedHead[best] = NONE;
        for (const Pending& p : loop.retry) {
            loop.push(p);
        }
        loop.retry.clear();
        if (overgrown(context, mesh.numVertices) || stopped(stop)) {
            return false;
        }
        step(mesh.numVertices);
    }
    growth.ended = true;
    return true;
}

// Starts a growth loop on the simplex's hull. A last build's candidates outside no face
// stay for the faces to come (face-driven growth never drops them).
void startGrowth(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4], double rounding,
                 const CloudBox&, const ZYLmesh& mesh, const ConvexHullContext& context,
                 Growth<ProjectionLoop>& growth) {
    growth.tracker.start(points, n, candidatesWithout(n, simplex), context, mesh.vertices, true, rounding,
                         context.lastBuild);
}

void startGrowth(const QmtVector3* points, std::uint32_t n, const std::uint32_t simplex[4], double rounding,
                 const CloudBox& box, const ZYL_DFmesh& mesh, const ConvexHullContext& context,
                 Growth<FaceLoop>& growth) {
    std::vector<std::uint32_t> candidates = candidatesWithout(n, simplex);
    // Far deeper than the tolerances let a vertex stand over a face, and than the
    // rounding of the depth tests.
    const double depth = 100.0 * (TOLERANCE * cloudSize(box)) + 1e3 * rounding;
    growth.loop.cull.apply(points, n, candidates, box.lo, box.hi, depth, rounding);
    // A plain build's widened steps prove many faces through the point tree.
    growth.tracker.start(points, n, candidates, context, mesh.vertices, false, rounding, false, !context.robust);
    growth.loop.cachedHead.assign(n, NONE);
    for (std::uint32_t s = context.frontFace(); s != NONE; s = context.face(s).next) {
        growth.loop.pushFace(s, context);
    }
}

template <class Mesh>
using LoopOf = std::conditional_t<std::is_same_v<Mesh, ZYLmesh>, ProjectionLoop, FaceLoop>;

// A thread costs about 0.1 ms to start and join, and making a record costs tens of
// nanoseconds: a careful build beside the plain one (which keeps the caller's thread
// busy) writes its records, and then checks that they close, on a third thread while
// its containment check runs, from this many records on (20,000 for a sphere of 10,000
// points). Fewer (a few hundred for a cloud in a cube) are written by the caller once
// both builds have ended.
constexpr std::uint32_t WRITE_WHILE_CHECKING_FROM = 4096;

// One build into its own mesh and context, plain (the build rules as they stand) or
// careful (see ConvexHullContext::robust).
template <class Mesh>
struct Attempt {
    // UNSOUND: a careful build whose surface is open or does not hold the cloud.
    enum Outcome { ACCEPTED, REJECTED, UNSOUND, NO_HULL };
    std::unique_ptr<Mesh> mesh;
    ConvexHullContext context;
    // The growth loop's state while it runs; set beforehand when the build carries on
    // from another's (resumes).
    std::unique_ptr<Growth<LoopOf<Mesh>>> growth;
    bool resumes = false;
    OutputFaces faces;
    bool singleTriangle = false;
    Outcome outcome = NO_HULL;
    // Whether the output records were written, and whether there were any.
    bool written = false;
    bool hasFaces = false;
    // The simplex's input indices (NONE until found), the box and the two slacks from
    // it: they depend on the points alone, and a forked state takes them along.
    std::uint32_t simplex[4] = {NONE, NONE, NONE, NONE};
    CloudBox box;
    double rounding = 0.0;
    double slack = 0.0;
    // Set for a careful build beside the plain one, whose many records are written on
    // a third thread while its containment check runs (see WRITE_WHILE_CHECKING_FROM);
    // writeFailed then says whether memory ran out.
    bool writeBeside = false;
    bool writeFailed = false;
    // The containment check's tree, made on a thread of its own once the growth has
    // this many hull vertices (NONE: never). A growth that has made half the cloud's
    // points vertices is most likely making nearly all of them vertices (a cloud on a
    // sphere), where the check's core would leave few points out of its tree.
    std::uint32_t checkTreeFrom = NONE;
    MadeBeside<HullPointTree> checkTree;
};

template <class Mesh>
void writeOutput(Attempt<Mesh>& a) {
    a.hasFaces = writeMesh(*a.mesh, a.context, a.faces, a.singleTriangle);
    a.written = true;
}

// Until its first step that the careful rules would make otherwise, a plain build
// makes the very steps of the careful one, and often parts from it only near its end
// (random clouds in a box), or never (and is rejected for its merges). So a serial
// careful build carries on from a copy of the plain one's state where the two part,
// or where the plain growth ended, instead of growing again from the simplex.
template <class Mesh>
void forkInto(Attempt<Mesh>& careful, const Attempt<Mesh>& plain, std::uint32_t n) {
    careful.mesh = std::make_unique<Mesh>();
    careful.mesh->vertices = new QmtVector3[n];
    std::copy(plain.mesh->vertices, plain.mesh->vertices + n, careful.mesh->vertices);
    careful.mesh->numVertices = plain.mesh->numVertices;
    careful.context.copyFrom(plain.context);
    careful.context.robust = true;
    careful.context.pauseAtParting = false;
    careful.growth = std::make_unique<Growth<LoopOf<Mesh>>>();
    careful.growth->ended = plain.growth->ended;
    // A growth that has ended (most plain builds of clouds in a box never part) is
    // only finished: its tracker and loop are not read again.
    if (!careful.growth->ended) {
        careful.growth->tracker.copyFrom(plain.growth->tracker, careful.mesh->vertices);
        careful.growth->loop = plain.growth->loop;
    }
    std::copy(plain.simplex, plain.simplex + 4, careful.simplex);
    careful.box = plain.box;
    careful.rounding = plain.rounding;
    careful.slack = plain.slack;
    careful.resumes = true;
}

// Grows the attempt's hull from its simplex, or on from the state it resumes. A plain
// build given `careful` hands it a copy of its state where the two part (forkInto).
template <class Mesh>
bool grow(const QmtVector3* points, std::uint32_t n, const std::atomic<bool>* stop, Attempt<Mesh>& a,
          Attempt<Mesh>* careful) {
    Mesh& mesh = *a.mesh;
    ConvexHullContext& context = a.context;
    if (!a.resumes) {
        a.growth = std::make_unique<Growth<LoopOf<Mesh>>>();
        startGrowth(points, n, a.simplex, a.rounding, a.box, mesh, context, *a.growth);
    }
    context.pauseAtParting = careful != nullptr;
    const auto fork = [&] {
        if (careful) {
            forkInto(*careful, a, n);
        }
    };
    const auto step = [&](std::uint32_t vertices) {
        if (vertices == a.checkTreeFrom) {
            // Such a hull has at least about n faces.
            a.checkTree.start([points, n](HullPointTree& tree) { makeCheckTree(tree, points, n, n); });
        }
    };
    bool grown = a.growth->ended;
    if (!grown) {
        if constexpr (std::is_same_v<Mesh, ZYLmesh>) {
            grown = growByProjection(points, n, a.simplex, mesh, context, *a.growth, stop, fork, step);
        } else {
            grown = growByFaces(points, n, a.simplex, mesh, context, *a.growth, stop, fork, step);
        }
    }
    if (context.pauseAtParting) {
        // Never parted: the careful build carries on from where this growth stopped.
        context.pauseAtParting = false;
        fork();
    }
    a.growth.reset();
    return grown;
}

// Runs one build. A plain build that is closed and convex within the tolerances and
// holds the cloud is ACCEPTED; one that is not is REJECTED for the careful build; a
// careful build that fails its checks is UNSOUND. A build told to stop gives up as
// REJECTED at its next step. A plain build given `careful` prepares it to carry on from
// its state (see forkInto).
template <class Mesh>
void judgeAttempt(const QmtVector3* points, std::uint32_t n, bool robust, const std::atomic<bool>* stop,
                  Attempt<Mesh>& a, Attempt<Mesh>* careful) {
    a.outcome = Attempt<Mesh>::NO_HULL;
    if (!a.resumes) {
        a.mesh = std::make_unique<Mesh>();
        a.mesh->vertices = new QmtVector3[n]();
        a.context.robust = robust;
        if (!buildHullSimplex(points, n, *a.mesh, a.simplex, a.context)) {
            return;
        }
        a.singleTriangle = a.mesh->numVertices == 3;
        if (a.singleTriangle) {
            a.outcome = Attempt<Mesh>::ACCEPTED;
            return;
        }
        a.box = cloudBox(points, n);
        a.rounding = roundingSlack(a.box);
        a.slack = TOLERANCE * cloudSize(a.box);
    }
    Mesh& mesh = *a.mesh;
    ConvexHullContext& context = a.context;
    if (!grow(points, n, stop, a, careful)) {
        a.outcome = Attempt<Mesh>::REJECTED;
        return;
    }
    if (!robust && mergeCannotClose(context, mesh.vertices, mesh.numVertices)) {
        // Its merged faces would fail turnsClose below: the merge is spared.
        a.outcome = Attempt<Mesh>::REJECTED;
        return;
    }
    mergeCoplanarHullFaces(mesh, context);
    removeUnusedHullVertices(mesh, context);
    if (!turnsClose(context, mesh.numVertices)) {
        // Its records could not close a surface (closesSurface below): none are made.
        a.outcome = robust ? Attempt<Mesh>::UNSOUND : Attempt<Mesh>::REJECTED;
        return;
    }
    makeOutputFaces(context, mesh.vertices, a.faces);
    const double slack = a.slack;
    if (robust) {
        // Extreme clouds (denormal next to huge coordinates, near-duplicates) can leave
        // even the careful build open, or with a face tilted over points: no hull is
        // better than a surface that does not hold them, unless the last build mends it.
        const auto holds = [&] {
            return holdsCloud(a.faces, mesh.vertices, points, n, a.box, slack, a.checkTree.wait());
        };
        bool sound = false;
        if (a.writeBeside && !stopped(stop) && a.faces.count() >= WRITE_WHILE_CHECKING_FROM) {
            // Written while the containment check runs, and the surface checked after
            // the writing on that thread: both checks read only the records as made, and
            // the records of a build that then fails them are thrown away.
            bool closes = false;
            bool held = false;
            const auto writeThenClose = [&] {
                try {
                    writeOutput(a);
                } catch (const std::bad_alloc&) {
                    a.writeFailed = true;
                }
                closes = closesSurface(a.faces, mesh.numVertices);
            };
            runBeside([&] { held = holds(); }, writeThenClose);
            sound = closes && held;
        } else {
            sound = closesSurface(a.faces, mesh.numVertices) && holds();
        }
        a.outcome = sound ? Attempt<Mesh>::ACCEPTED : Attempt<Mesh>::UNSOUND;
        return;
    }
    const bool passes = closesSurface(a.faces, mesh.numVertices) &&
                        convexSurface(context, mesh.vertices, mesh.numVertices, slack) &&
                        holdsCloud(a.faces, mesh.vertices, points, n, a.box, slack);
    a.outcome = passes ? Attempt<Mesh>::ACCEPTED : Attempt<Mesh>::REJECTED;
}

// Face records of this many bytes come fresh from the system whatever thread asks
// (allocators map blocks this large directly), so they are written on the build's own
// thread, where beside a longer build they cost no wall time. Smaller arrays are
// written by the caller's thread, whose allocator recycles the memory of earlier calls:
// a second thread's would hand out pages to be faulted in again each time.
constexpr std::size_t WRITE_BESIDE_FROM_BYTES = std::size_t{32} << 20;

// judgeAttempt, then the output records of an accepted build with many faces (see
// WRITE_BESIDE_FROM_BYTES) unless they were written beside its checks. A build told to
// stop is not wanted, so it writes none.
template <class Mesh>
void runAttempt(const QmtVector3* points, std::uint32_t n, bool robust, const std::atomic<bool>* stop,
                Attempt<Mesh>& a, Attempt<Mesh>* careful = nullptr) {
    judgeAttempt(points, n, robust, stop, a, careful);
    using Record = std::remove_pointer_t<decltype(a.mesh->faces)>;
    if (a.outcome == Attempt<Mesh>::ACCEPTED && !stopped(stop) && !a.written &&
        std::size_t{a.faces.count()} * sizeof(Record) >= WRITE_BESIDE_FROM_BYTES) {
        writeOutput(a);
    }
}

// From this many points on, the plain build is often rejected (the more points, the
// likelier a merge somewhere leaves the surface open: most random clouds in a box of
// 1,500 points, about half the sphere surfaces of 4,000), so the careful build starts
// at once beside it on a second thread instead of after it. Smaller builds are short:
// a thread would cost more than it saves, and the careful build carries on from the
// plain one's state (forkInto) instead of starting over.
constexpr std::uint32_t CAREFUL_BESIDE_FROM = 2048;

// The plain build and, when it is rejected, the careful build. Large clouds run the
// careful one beside the plain one; the result is the same either way.
template <class Mesh>
Attempt<Mesh>* buildAttempts(const QmtVector3* points, std::uint32_t n, Attempt<Mesh>& plain,
                             Attempt<Mesh>& careful) {
    if (n >= CAREFUL_BESIDE_FROM) {
        std::atomic<bool> stop{false};
        careful.writeBeside = true;
        careful.checkTreeFrom = n / 2;
        bool carefulOutOfMemory = false;  // matters only if the careful build's result is needed
        runBeside(
            [&] {
                try {
                    runAttempt(points, n, false, nullptr, plain);
                } catch (...) {
                    stop = true;
                    throw;
                }
                // The careful build is needed only when the plain one is rejected.
                stop = plain.outcome != Attempt<Mesh>::REJECTED;
            },
            [&] {
                try {
                    runAttempt(points, n, true, &stop, careful);
                } catch (const std::bad_alloc&) {
                    carefulOutOfMemory = true;
                }
            });
        if (plain.outcome != Attempt<Mesh>::REJECTED) {
            return &plain;
        }
        if (carefulOutOfMemory || (careful.writeFailed && careful.outcome == Attempt<Mesh>::ACCEPTED)) {
            throw std::bad_alloc();
        }
        return &careful;
    }
    // A rejected plain build has handed the careful one its state (see grow).
    runAttempt(points, n, false, nullptr, plain, &careful);
    if (plain.outcome != Attempt<Mesh>::REJECTED) {
        return &plain;
    }
    runAttempt(points, n, true, nullptr, careful);
    return &careful;
}

// Runs last[0] and, beside it, last[1], which counts only when last[0] fails its
// checks and is told to stop as soon as last[0] passes. Clouds that need these builds
// (cylinders of hundreds of segments) can take seconds a build.
template <class Mesh>
void runLastBuilds(const QmtVector3* points, std::uint32_t n, Attempt<Mesh> (&last)[2]) {
    std::atomic<bool> stop{false};
    bool secondOutOfMemory = false;  // matters only if the first fails its checks
    runBeside(
        [&] {
            try {
                runAttempt(points, n, true, nullptr, last[0]);
            } catch (...) {
                stop = true;
                throw;
            }
            stop = last[0].outcome != Attempt<Mesh>::UNSOUND;
        },
        [&] {
            try {
                runAttempt(points, n, true, &stop, last[1]);
            } catch (const std::bad_alloc&) {
                secondOutOfMemory = true;
            }
        });
    if (last[0].outcome == Attempt<Mesh>::UNSOUND && secondOutOfMemory) {
        throw std::bad_alloc();
    }
}

template <class Mesh>
Mesh* buildHull(const QmtVector3* points, std::uint32_t n) {
    // Non-finite coordinates would give NaN planes that every test silently fails.
    if (!points || n < 3 || !allFinite(points, n)) {
        return nullptr;
    }
    try {
        // The build rules can leave the surface open where near-parallel faces are
        // widened into a step or merged with their collinear corners dropped, and can
        // merge faces into a polygon with a reflex corner or tilt a face over points
        // it once covered. Such a build is made again without widening and with
        // merges only into flat convex polygons. A first build that is closed and
        // convex within the tolerances is the result as it stands.
        Attempt<Mesh> plain;
        Attempt<Mesh> careful;
        Attempt<Mesh>* result = buildAttempts(points, n, plain, careful);
        // When the careful build fails its checks, last careful builds: one in which
        // points see only the faces they do not lie below (see
        // ConvexHullContext::strictSight), and when that one fails too, one whose
        // faces all get unit normals, whose points see only the faces they lie
        // strictly above (see lastBuild), and whose candidates stay until no face has
        // one outside it: a point that a face once covered within the tolerance can
        // stand out of a face made later. The second is kept apart so that the hulls
        // of the first stay as they were.
        Attempt<Mesh> last[2];
        if (result->outcome == Attempt<Mesh>::UNSOUND) {
            plain.mesh.reset();
            careful.mesh.reset();
            for (std::size_t i = 0; i < 2; ++i) {
                last[i].context.strictSight = true;
                last[i].context.lastBuild = i > 0;
            }
            runLastBuilds(points, n, last);
            result = last[0].outcome == Attempt<Mesh>::UNSOUND ? &last[1] : &last[0];
        }
        if (result->outcome != Attempt<Mesh>::ACCEPTED) {
            return nullptr;
        }
        if (!result->written) {
            writeOutput(*result);
        }
        if (!result->hasFaces) {
            return nullptr;
        }
        return result->mesh.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

ZYLmesh* buildConvexHullMesh(const QmtVector3* points, std::uint32_t n) {
    return buildHull<ZYLmesh>(points, n);
}

ZYL_DFmesh* buildConvexHullDFmesh(const QmtVector3* points, std::uint32_t n) {
    return buildHull<ZYL_DFmesh>(points, n);
}
