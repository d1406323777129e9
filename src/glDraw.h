#pragma once

// Immediate-mode OpenGL helpers for the module's locator drawing, and two affine
// helpers on host matrices (row vectors: p' = p · M, translation in the fourth row).
// The GL functions need the view's GL context current (between beginGL and endGL).

#include "host/api/matrix.h"

void glFrontPolygonMode(int mode);  // mode > 0: outlines, else filled
void glBackPolygonMode(int mode);
float glSetPointSize(float size);   // returns size

void drawLine(const float a[3], const float b[3]);
void drawPoint(const float p[3]);
// Circles in the XY plane as line loops through whole degrees; angles use 3.14/180
// per degree, so a full circle stops a little short of a turn and its loop closes
// the gap. The half circle is the negative-X side when leftHalf, else the positive.
void drawHalfCircle(float radius, bool leftHalf);
void drawCircle(float radius);
// Turned to a direction: 0, 3 about Y; 1, 4 about X; 2, 5 unturned (0-2 left
// halves, 3-5 right ones). Other values draw nothing. The line width becomes 2 first.
void drawHalfCircleOnAxis(int direction, float radius);
void drawCircleOnAxis(int axis, float radius);
// A polygon through count points; count <= 0 still opens and closes an empty one.
void drawPolygon(const float (*points)[3], int count);
void drawTriangle(const float a[3], const float b[3], const float c[3]);
void drawQuad(const float a[3], const float b[3], const float c[3], const float d[3]);

// A wire capsule around the segment from p0 to p1: four lines along it offset by the
// radius in +y, -y, +x and -x, then at p0 a ring about axis 0 and half rings 1 and 2,
// at p1 a ring and half rings 4 and 5.
void drawWireCapsule(const MVector& p0, const MVector& p1, double radius);

// Model-view matrix pushed, then multiplied by a column-major GL matrix; and popped.
void pushGLMatrix(const float matrix[16]);
void popGLMatrix();
void glSetColor(float red, float green, float blue, float alpha);

// v · M's upper 3x3, plus M's translation.
MVector transformPoint(const MVector& v, const MMatrix& M);
// The affine product B · A: B's rotation-scale times A, translation B's moved by A.
MMatrix composeTransform(const MMatrix& A, const MMatrix& B);
