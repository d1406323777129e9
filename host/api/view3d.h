#pragma once

#include "host/api/color.h"
#include "host/api/fnDagNode.h"
#include "host/api/space.h"

// The one 3D view: an offscreen OpenGL picture of the scene seen through
// "viewCamera". It answers its camera in every mode; without a GL context (batch
// mode, or EGL unavailable) refresh and the GL brackets only record the call.
class M3dView {
public:
    enum DisplayStyle { kBoundingBox = 0, kFlatShaded = 1, kGouraudShaded = 2, kWireFrame = 3, kPoints = 4 };
    enum DisplayStatus { kActive = 0, kLive, kDormant, kInvisible, kHilite, kTemplate, kLead, kActiveAffected, kNoStatus };
    enum TextPosition { kLeft = 0, kCenter, kRight };

    static M3dView active3dView(MStatus* status = nullptr);
    MStatus getCamera(MDagPath& camera) const;
    // Draws the scene: grid, meshes, locators, manipulators.
    MStatus refresh(bool all = false, bool force = false);
    // Brackets direct GL calls; the view's GL context is current in between.
    MStatus beginGL();
    MStatus endGL();
    // Recorded with the position (in the current model space), alignment and draw colour; not rasterised.
    MStatus drawText(const MString& text, const MPoint& position, TextPosition align = kLeft);
    // The colour for the GL calls that follow (and for drawText).
    MStatus setDrawColor(const MColor& color);
    DisplayStyle displayStyle(MStatus* status = nullptr) const;
    int portWidth(MStatus* status = nullptr) const;
    int portHeight(MStatus* status = nullptr) const;
};

class MFnCamera : public MFnDagNode {
public:
    MFnCamera() = default;
    explicit MFnCamera(const MDagPath& path, MStatus* status = nullptr);
    explicit MFnCamera(const MObject& node, MStatus* status = nullptr);
    // Along the camera's local −Z; world space through the path.
    MVector viewDirection(MSpace::Space space = MSpace::kWorld, MStatus* status = nullptr) const;
    MPoint eyePoint(MSpace::Space space = MSpace::kWorld, MStatus* status = nullptr) const;
};
