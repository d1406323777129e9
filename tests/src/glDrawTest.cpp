// The drawing helpers captured in GL feedback mode inside beginGL/endGL, through an
// orthographic projection that maps model units to pixels around the port's
// centre; and the affine helpers against host matrix products.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "moduleTestSupport.h"
#include "host/view/feedback.h"
#include "src/glDraw.h"

namespace {

using hosttest::FeedbackPrimitive;

constexpr double kDegree = 0.017444444444444446;  // the drawings' degree: 3.14 / 180
constexpr float kRadius = 100.0f;
constexpr double kDepthRange = 1000.0;  // model z in [-1000, 1000] maps to depth 1..0

struct Point {
    double x, y, z;
};

class GlDraw : public zyltest::ModuleTest {
protected:

    static int width() { return host::view::state().width; }
    static int height() { return host::view::state().height; }

    // What `draw` issues, in feedback mode between beginGL and endGL.
    static std::vector<FeedbackPrimitive> capture(const std::function<void()>& draw) {
        M3dView view = M3dView::active3dView();
        EXPECT_TRUE(view.beginGL());
        glViewport(0, 0, width(), height());
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(-width() / 2.0, width() / 2.0, -height() / 2.0, height() / 2.0, -kDepthRange, kDepthRange);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        std::vector<GLfloat> buffer(1 << 16);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
        glRenderMode(GL_FEEDBACK);
        draw();
        const GLint count = glRenderMode(GL_RENDER);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        EXPECT_TRUE(view.endGL());
        return hosttest::readFeedback(buffer, count);
    }

    // A feedback vertex back in model space.
    static Point model(const hosttest::FeedbackVertex& v) {
        return {v.x - width() / 2.0, v.y - height() / 2.0, (0.5 - v.z) * 2.0 * kDepthRange};
    }

    // Each segment of a line loop through the arc's vertices k = first..last (each
    // mapped by `turn`) starts at its vertex and ends at the next, the last at the first.
    static void expectLoop(const std::vector<FeedbackPrimitive>& prims, int first, int last,
                           const std::function<Point(double, double)>& turn, const char* what) {
        const int n = last - first + 1;
        ASSERT_EQ(static_cast<int>(prims.size()), n) << what;
        auto vertex = [&](int k) { return turn(kRadius * std::cos(k * kDegree), kRadius * std::sin(k * kDegree)); };
        double worstXY = 0, worstZ = 0;  // largest deviations, reported once per loop
        int worstSegment = -1;
        for (int i = 0; i < n; ++i) {
            const FeedbackPrimitive& p = prims[static_cast<std::size_t>(i)];
            ASSERT_TRUE(p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) << what;
            const Point want[2] = {vertex(first + i), vertex(i + 1 < n ? first + i + 1 : first)};
            for (int e = 0; e < 2; ++e) {
                const Point got = model(p.vertices[static_cast<std::size_t>(e)]);
                const double xy = std::max(std::fabs(got.x - want[e].x), std::fabs(got.y - want[e].y));
                const double z = std::fabs(got.z - want[e].z);
                if (xy > worstXY || z > worstZ) worstSegment = i;
                worstXY = std::max(worstXY, xy);
                worstZ = std::max(worstZ, z);
            }
        }
        EXPECT_LT(worstXY, 2e-3) << what << ", worst at segment " << worstSegment;
        EXPECT_LT(worstZ, 2e-2) << what << ", worst at segment " << worstSegment;
    }

    static GLint modelViewDepth() {
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        return depth;
    }
    static GLfloat lineWidth() {
        GLfloat w = 0;
        glGetFloatv(GL_LINE_WIDTH, &w);
        return w;
    }
};

#define REQUIRE_VIEW()                                                                      \
    do {                                                                                     \
        if (!host::view::currentContext())                                                   \
            GTEST_SKIP() << "no OpenGL view (EGL): " << host::view::contextFailure();        \
    } while (0)

Point flat(double x, double y) { return {x, y, 0}; }
// 90 degrees about Y takes x to -z; -90 degrees about X takes y to -z.
Point aboutY(double x, double y) { return {0, y, -x}; }
Point aboutX(double x, double y) { return {x, 0, -y}; }

TEST_F(GlDraw, CirclesAreLineLoopsThroughWholeDegreesTurnedByDirection) {
    REQUIRE_VIEW();
    expectLoop(capture([] { drawCircle(kRadius); }), 0, 359, flat, "circle");
    expectLoop(capture([] { drawHalfCircle(kRadius, true); }), 90, 269, flat, "left half");
    expectLoop(capture([] { drawHalfCircle(kRadius, false); }), 270, 449, flat, "right half");

    // The circle stops short of a turn (359 x 3.14/180 = 6.2626 rad) and closes with a short segment.
    const auto circle = capture([] { drawCircle(kRadius); });
    const Point end = model(circle.back().vertices[0]), start = model(circle.back().vertices[1]);
    EXPECT_NEAR(std::atan2(end.y, end.x) + 2 * M_PI, 359 * kDegree, 1e-4);
    EXPECT_NEAR(start.x, kRadius, 1e-3);
    EXPECT_NEAR(start.y, 0.0, 1e-3);

    const std::function<Point(double, double)> turns[3] = {aboutY, aboutX, flat};
    for (int direction = 0; direction < 6; ++direction) {
        const bool left = direction < 3;
        const auto& turn = turns[direction % 3];
        expectLoop(capture([&] { drawHalfCircleOnAxis(direction, kRadius); }), left ? 90 : 270, left ? 269 : 449, turn,
                   ("half on direction " + std::to_string(direction)).c_str());
        expectLoop(capture([&] { drawCircleOnAxis(direction, kRadius); }), 0, 359, turn,
                   ("circle on axis " + std::to_string(direction)).c_str());
    }

    // Direction 2 draws the half through (-r, 0, 0), direction 5 the half through (r, 0, 0).
    for (const auto& [direction, side] : {std::pair{2, -1.0}, std::pair{5, 1.0}}) {
        double farthest = 0;
        for (const FeedbackPrimitive& p : capture([&] { drawHalfCircleOnAxis(direction, kRadius); }))
            farthest = std::max(farthest, side * model(p.vertices[0]).x);
        EXPECT_NEAR(farthest, kRadius, 1e-3) << direction;
    }
}

TEST_F(GlDraw, OtherDirectionsDrawNothingButSetTheLineWidthAndEveryStackStaysBalanced) {
    REQUIRE_VIEW();
    for (int direction = -1; direction <= 6; ++direction) {
        for (const auto& draw : {drawHalfCircleOnAxis, drawCircleOnAxis}) {
            GLint before = 0, after = 0;
            GLfloat width = 0;
            const auto prims = capture([&] {
                glLineWidth(1.0f);
                before = modelViewDepth();
                draw(direction, kRadius);
                after = modelViewDepth();
                width = lineWidth();
            });
            EXPECT_EQ(after, before) << direction;
            EXPECT_EQ(width, 2.0f) << direction;
            if (direction < 0 || direction > 5) EXPECT_TRUE(prims.empty()) << direction;
            else EXPECT_FALSE(prims.empty()) << direction;
        }
    }

    // The pushed matrix moves what follows; the pop takes it back off.
    const float moved[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
    const float origin[3] = {0, 0, 0};
    GLint before = 0, inside = 0, after = 0;
    const auto prims = capture([&] {
        before = modelViewDepth();
        glMatrixMode(GL_PROJECTION);  // both helpers work on the model-view stack whatever the mode
        pushGLMatrix(moved);
        inside = modelViewDepth();
        drawPoint(origin);
        popGLMatrix();
        drawPoint(origin);
        after = modelViewDepth();
    });
    EXPECT_EQ(inside, before + 1);
    EXPECT_EQ(after, before);
    ASSERT_EQ(prims.size(), 2u);
    const Point first = model(prims[0].vertices[0]), second = model(prims[1].vertices[0]);
    EXPECT_NEAR(first.x, 10, 1e-3);
    EXPECT_NEAR(first.y, 20, 1e-3);
    EXPECT_NEAR(first.z, 30, 2e-2);
    EXPECT_NEAR(second.x, 0, 1e-3);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlDraw, PrimitivesCarryTheirPointsColourAndState) {
    REQUIRE_VIEW();
    const float a[3] = {0, 0, 0}, b[3] = {50, 0, 0}, c[3] = {50, 40, 0}, d[3] = {0, 40, 0};
    const float polygon[5][3] = {{0, 0, 0}, {50, 0, 0}, {60, 30, 0}, {25, 50, 0}, {-10, 30, 0}};
    float size = 0;
    const auto prims = capture([&] {
        glSetColor(0.25f, 0.5f, 0.75f, 1.0f);
        drawLine(a, b);
        drawPoint(c);
        drawTriangle(a, b, c);
        drawQuad(a, b, c, d);
        drawPolygon(polygon, 5);
        drawPolygon(polygon, 0);  // an empty begin/end pair: nothing drawn, no error
        drawPolygon(nullptr, -3);
        size = glSetPointSize(3.5f);
    });
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(size, 3.5f);
    GLfloat pointSize = 0;
    glGetFloatv(GL_POINT_SIZE, &pointSize);
    EXPECT_EQ(pointSize, 3.5f);

    // Line, point, then the filled shapes (which feedback may split into triangles).
    ASSERT_GE(prims.size(), 5u);
    ASSERT_TRUE(prims[0].token == GL_LINE_TOKEN || prims[0].token == GL_LINE_RESET_TOKEN);
    EXPECT_NEAR(model(prims[0].vertices[1]).x, 50, 1e-3);
    ASSERT_EQ(prims[1].token, static_cast<GLenum>(GL_POINT_TOKEN));
    EXPECT_NEAR(model(prims[1].vertices[0]).y, 40, 1e-3);
    std::size_t triangles = 0;
    for (std::size_t i = 2; i < prims.size(); ++i) {
        ASSERT_EQ(prims[i].token, static_cast<GLenum>(GL_POLYGON_TOKEN));
        triangles += prims[i].vertices.size() - 2;
    }
    EXPECT_EQ(triangles, 1u + 2u + 3u);  // triangle, quad, pentagon; the empty polygons add none
    for (const FeedbackPrimitive& p : prims) {
        EXPECT_FLOAT_EQ(p.vertices[0].color[0], 0.25f);
        EXPECT_FLOAT_EQ(p.vertices[0].color[2], 0.75f);
    }

    GLint modes[2] = {0, 0};
    capture([&] {
        glFrontPolygonMode(1);
        glBackPolygonMode(0);
        glGetIntegerv(GL_POLYGON_MODE, modes);
    });
    EXPECT_EQ(modes[0], GL_LINE);
    EXPECT_EQ(modes[1], GL_FILL);
    capture([&] {
        glFrontPolygonMode(-2);
        glBackPolygonMode(3);
        glGetIntegerv(GL_POLYGON_MODE, modes);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    });
    EXPECT_EQ(modes[0], GL_FILL);
    EXPECT_EQ(modes[1], GL_LINE);
}

MMatrix randomAffine(std::mt19937& rng) {
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    MMatrix m;
    for (unsigned i = 0; i < 4; ++i)
        for (unsigned j = 0; j < 3; ++j) m(i, j) = value(rng);
    return m;
}

TEST_F(GlDraw, AffineHelpersMatchHostMatrixProducts) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const MMatrix A = randomAffine(rng), B = randomAffine(rng);
        EXPECT_TRUE(composeTransform(A, B).isEquivalent(B * A, 1e-12)) << trial;
        const MVector v(A(0, 0), B(1, 1), A(3, 2));
        const MPoint p = MPoint(v) * A;
        const MVector got = transformPoint(v, A);
        EXPECT_NEAR(got.x, p.x, 1e-12);
        EXPECT_NEAR(got.y, p.y, 1e-12);
        EXPECT_NEAR(got.z, p.z, 1e-12);
    }
    // An identity A gives B back unchanged; an identity rotation only adds the translation.
    MMatrix B = randomAffine(rng);
    EXPECT_TRUE(composeTransform(MMatrix(), B) == B);
    MMatrix shift;
    shift(3, 0) = 1.5, shift(3, 1) = -2, shift(3, 2) = 0.25;
    EXPECT_TRUE(transformPoint(MVector(1, 2, 3), shift) == MVector(2.5, 0, 3.25));
}

}  // namespace
