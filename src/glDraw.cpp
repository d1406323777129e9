#include "src/glDraw.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// One degree as the drawings have always turned it: 3.14 / 180, not pi / 180.
constexpr double kDegree = 0.017444444444444446;

// Vertices at whole degrees first..last as one line loop.
void drawArc(float radius, int first, int last) {
    glBegin(GL_LINE_LOOP);
    for (int k = first; k <= last; ++k) {
        const double a = k * kDegree;
        glVertex3d(radius * std::cos(a), radius * std::sin(a), 0.0);
    }
    glEnd();
}

// The turn of each direction code 0-5 (codes 3-5 repeat 0-2), rotated about a
// pushed matrix; codes 2 and 5 draw in place. Other codes draw nothing.
template <typename Draw>
void drawTurned(int code, Draw draw) {
    if (code < 0 || code > 5) return;
    switch (code % 3) {
        case 0:
            glPushMatrix();
            glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
            draw();
            glPopMatrix();
            break;
        case 1:
            glPushMatrix();
            glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
            draw();
            glPopMatrix();
            break;
        default:
            draw();
            break;
    }
}

}  // namespace

void glFrontPolygonMode(int mode) { glPolygonMode(GL_FRONT, mode > 0 ? GL_LINE : GL_FILL); }

void glBackPolygonMode(int mode) { glPolygonMode(GL_BACK, mode > 0 ? GL_LINE : GL_FILL); }

float glSetPointSize(float size) {
    glPointSize(size);
    return size;
}

void drawLine(const float a[3], const float b[3]) {
    glBegin(GL_LINES);
    glVertex3fv(a);
    glVertex3fv(b);
    glEnd();
}

void drawPoint(const float p[3]) {
    glBegin(GL_POINTS);
    glVertex3fv(p);
    glEnd();
}

void drawHalfCircle(float radius, bool leftHalf) {
    if (leftHalf)
        drawArc(radius, 90, 269);
    else
        drawArc(radius, 270, 449);
}

void drawCircle(float radius) { drawArc(radius, 0, 359); }

void drawHalfCircleOnAxis(int direction, float radius) {
    glLineWidth(2.0f);
    drawTurned(direction, [&] { drawHalfCircle(radius, direction < 3); });
}

void drawCircleOnAxis(int axis, float radius) {
    glLineWidth(2.0f);
    drawTurned(axis, [&] { drawCircle(radius); });
}

void drawPolygon(const float (*points)[3], int count) {
    glBegin(GL_POLYGON);
    for (int i = 0; i < count; ++i) glVertex3fv(points[i]);
    glEnd();
}

void drawTriangle(const float a[3], const float b[3], const float c[3]) {
    glBegin(GL_TRIANGLES);
    glVertex3fv(a);
    glVertex3fv(b);
    glVertex3fv(c);
    glEnd();
}

void drawQuad(const float a[3], const float b[3], const float c[3], const float d[3]) {
    glBegin(GL_QUADS);
    glVertex3fv(a);
    glVertex3fv(b);
    glVertex3fv(c);
    glVertex3fv(d);
    glEnd();
}

namespace {

void pushTranslation(const MVector& at) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0,
                         static_cast<float>(at.x), static_cast<float>(at.y), static_cast<float>(at.z), 1};
    pushGLMatrix(m);
}

}  // namespace

void drawWireCapsule(const MVector& p0, const MVector& p1, double r) {
    const auto radius = static_cast<float>(r);
    for (const MVector& offset : {MVector(0, r, 0), MVector(0, -r, 0), MVector(r, 0, 0), MVector(-r, 0, 0)}) {
        const MVector a = p0 + offset, b = p1 + offset;
        const float from[3] = {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
        const float to[3] = {static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.z)};
        drawLine(from, to);
    }
    pushTranslation(p0);
    drawCircleOnAxis(0, radius);
    drawHalfCircleOnAxis(1, radius);
    drawHalfCircleOnAxis(2, radius);
    popGLMatrix();
    pushTranslation(p1);
    drawCircleOnAxis(0, radius);
    drawHalfCircleOnAxis(4, radius);
    drawHalfCircleOnAxis(5, radius);
    popGLMatrix();
}

void pushGLMatrix(const float matrix[16]) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMultMatrixf(matrix);
}

void popGLMatrix() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void glSetColor(float red, float green, float blue, float alpha) { glColor4f(red, green, blue, alpha); }

MVector transformPoint(const MVector& v, const MMatrix& M) {
    MVector out;
    for (unsigned j = 0; j < 3; ++j) out[j] = v.x * M(0, j) + v.y * M(1, j) + v.z * M(2, j) + M(3, j);
    return out;
}

MMatrix composeTransform(const MMatrix& A, const MMatrix& B) {
    MMatrix out;  // identity: the fourth column stays (0, 0, 0, 1)
    for (unsigned i = 0; i < 3; ++i)
        for (unsigned j = 0; j < 3; ++j) out(i, j) = B(i, 0) * A(0, j) + B(i, 1) * A(1, j) + B(i, 2) * A(2, j);
    const MVector t = transformPoint(MVector(B(3, 0), B(3, 1), B(3, 2)), A);
    for (unsigned j = 0; j < 3; ++j) out(3, j) = t[j];
    return out;
}
