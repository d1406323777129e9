#pragma once

#include <string>

#include "host/api/cursor.h"
#include "host/api/event.h"
#include "host/api/status.h"
#include "host/api/text.h"

// Base of module tools. A context is made by its context command, owned by the
// host, switched on with useTool and fed mouse events; the default handlers do nothing.
class MPxContext {
public:
    enum ImageIndex { kImage1 = 0, kImage2, kImage3 };

    MPxContext() = default;
    MPxContext(const MPxContext&) = delete;
    MPxContext& operator=(const MPxContext&) = delete;
    virtual ~MPxContext() = default;

    // Called when the tool becomes current and when it stops being current.
    virtual void toolOnSetup(MEvent& event);
    virtual void toolOffCleanup();
    virtual MStatus doPress(MEvent& event);
    virtual MStatus doRelease(MEvent& event);
    virtual MStatus doDrag(MEvent& event);
    virtual MStatus doHold(MEvent& event);

    MStatus setTitleString(const MString& title);
    MString titleString() const { return title_; }
    MStatus setImage(const MString& image, ImageIndex index);
    MString image(ImageIndex index) const;
    MStatus setHelpString(const MString& help);
    MString helpString() const { return help_; }
    MStatus setCursor(const MCursor& cursor);
    MCursor cursor() const { return cursor_; }

    // The marquee: begun at the event, dragged to later events; the release gives
    // the rectangle from the begin to the release event in view pixels (origin
    // bottom left), top >= bottom and right >= left.
    // A release without a begun marquee gives the event's point and fails.
    MStatus beginMarquee(const MEvent& event);
    MStatus dragMarquee(const MEvent& event);
    MStatus releaseMarquee(const MEvent& event, short& top, short& left, short& bottom, short& right);

    // Host side.
    bool marqueeActive() const { return marquee_; }

private:
    MString title_, help_;
    MString images_[3];
    MCursor cursor_;
    bool marquee_ = false;
    short startX_ = 0, startY_ = 0;
};
