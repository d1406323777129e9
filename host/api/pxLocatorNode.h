#pragma once

#include "host/api/boundingBox.h"
#include "host/api/pxNode.h"

// A module node drawn in the view; drawing comes with the view.
class MPxLocatorNode : public MPxNode {
public:
    Type type() const override { return kLocatorNode; }
    virtual bool isBounded() const { return false; }
    virtual MBoundingBox boundingBox() const { return {}; }
    virtual bool excludeAsLocator() const { return false; }
    virtual bool isTransparent() const { return false; }
};
