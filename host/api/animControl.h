#pragma once

#include "host/api/dagPath.h"
#include "host/api/hostTime.h"
#include "host/api/plug.h"

// The scene's time line: current time, play-back and animation ranges, speed.
class MAnimControl {
public:
    static MTime currentTime();
    // Always sets the time node and sends "timeChanged", also for an unchanged time.
    static MStatus setCurrentTime(const MTime& t);
    static MTime minTime();
    static MTime maxTime();
    // Each sends "playbackRangeChanged" when the range changes.
    static MStatus setMinTime(const MTime& t);
    static MStatus setMaxTime(const MTime& t);
    static MStatus setMinMaxTime(const MTime& min, const MTime& max);
    static MTime animationStartTime();
    static MTime animationEndTime();
    static MStatus setAnimationStartTime(const MTime& t);
    static MStatus setAnimationEndTime(const MTime& t);
    static MStatus setAnimationStartEndTime(const MTime& start, const MTime& end);
    // 0 plays every frame; stored only.
    static double playbackSpeed();
    static MStatus setPlaybackSpeed(double speed);
    static bool isPlaying();
    // Steps the play-back range frame by frame with "playingBack" on.
    static MStatus playForward();
    static MStatus stop() { return MS::kSuccess; }
};

// Whether values change over time: the source chain reaches an animation curve
// or a motion path, through connections and the node's own attribute
// dependencies, never through DAG parents.
class MAnimUtil {
public:
    static bool isAnimated(const MPlug& plug, bool checkParent = false, MStatus* status = nullptr);
    static bool isAnimated(const MObject& node, bool checkParent = false, MStatus* status = nullptr);
    // The path's node, and its ancestors on the path when checkParent.
    static bool isAnimated(const MDagPath& path, bool checkParent = false, MStatus* status = nullptr);
};
