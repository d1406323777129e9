#pragma once

#include "host/api/status.h"
#include "host/api/text.h"

// The host's one progress window. A caller reserves it first; every other call
// fails while it is not reserved; endProgress releases it.
class MProgressWindow {
public:
    // False when another caller holds it.
    static bool reserve();
    static MStatus setProgressRange(int minValue, int maxValue);
    static MStatus setTitle(const MString& title);
    static MStatus setProgressStatus(const MString& status);
    static MStatus setInterruptable(bool value);
    static MStatus startProgress();
    static MStatus setProgress(int value);
    static MStatus advanceProgress(int amount);
    static int progress(MStatus* status = nullptr);
    static int progressMin(MStatus* status = nullptr);
    static int progressMax(MStatus* status = nullptr);
    static MString title(MStatus* status = nullptr);
    static MString progressStatus(MStatus* status = nullptr);
    static bool isInterruptable(MStatus* status = nullptr);
    // Whether the user asked to stop (only an interruptable, started window is asked).
    static bool isCancelled(MStatus* status = nullptr);
    static MStatus endProgress();
};
