#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/api/pxLocatorNode.h"
#include "host/scene/dag.h"
#include "host/view/projection.h"

namespace host::view {

// Runs GL drawing that is not the view's own with every GL attribute, client
// attribute and the model-view and projection matrices saved around it. A stack
// left unbalanced (or a beginGL without endGL, or an open glBegin) is repaired and
// logged as a warning, once per `key` until the view is reset.
void withSavedGlState(const std::string& who, std::uint64_t key, const std::function<void()>& draw);

// Selected (its node or an ancestor on the path in the active selection): kLead
// for the last selected item, else kActive; otherwise kDormant.
M3dView::DisplayStatus displayStatus(const dag::Path& path);

// One locator instance: model-view = its world matrix · inverse camera matrix,
// the projection loaded, then its draw with the view's style and the path's status.
// A bounded locator whose box lies wholly outside the view is not drawn.
void drawLocator(M3dView& view, const ViewProjection& projection, const dag::Path& path, MPxLocatorNode& locator);

// Every visible locator instance: opaque ones first, then transparent ones blended.
void drawLocators(M3dView& view, const ViewProjection& projection);

}  // namespace host::view
