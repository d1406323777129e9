#include "host/api/progressWindow.h"

#include <algorithm>

#include "host/core/runtime.h"

using host::runtime;

namespace {

// The status of a call: failure when it is injected or the window is not reserved.
MStatus check(const char* call) {
    if (runtime().options.failProgressCall == call) return MStatus(MS::kFailure, std::string(call) + " failed");
    if (!runtime().progressWindow.reserved) return MStatus(MS::kFailure, "progress window not reserved");
    return MS::kSuccess;
}

template <typename T>
T answer(MStatus* status, const MStatus& st, T value) {
    if (status) *status = st;
    return st ? value : T();
}

}  // namespace

bool MProgressWindow::reserve() {
    auto& w = runtime().progressWindow;
    if (runtime().options.failProgressCall == "reserve" || w.reserved) return false;
    w = host::ProgressState();
    w.reserved = true;
    return true;
}

MStatus MProgressWindow::setProgressRange(int minValue, int maxValue) {
    const MStatus st = check("setProgressRange");
    if (!st) return st;
    if (minValue > maxValue) return MStatus(MS::kInvalidParameter, "range minimum above maximum");
    auto& w = runtime().progressWindow;
    w.minimum = minValue;
    w.maximum = maxValue;
    w.value = std::clamp(w.value, minValue, maxValue);
    return MS::kSuccess;
}

MStatus MProgressWindow::setTitle(const MString& title) {
    const MStatus st = check("setTitle");
    if (st) runtime().progressWindow.title = title.str();
    return st;
}

MStatus MProgressWindow::setProgressStatus(const MString& status) {
    const MStatus st = check("setProgressStatus");
    if (st) runtime().progressWindow.status = status.str();
    return st;
}

MStatus MProgressWindow::setInterruptable(bool value) {
    const MStatus st = check("setInterruptable");
    if (st) runtime().progressWindow.interruptable = value;
    return st;
}

MStatus MProgressWindow::startProgress() {
    const MStatus st = check("startProgress");
    if (!st) return st;
    auto& w = runtime().progressWindow;
    w.started = true;
    w.cancelQueries = 0;
    return MS::kSuccess;
}

MStatus MProgressWindow::setProgress(int value) {
    const MStatus st = check("setProgress");
    if (st) runtime().progressWindow.value = std::clamp(value, runtime().progressWindow.minimum, runtime().progressWindow.maximum);
    return st;
}

MStatus MProgressWindow::advanceProgress(int amount) {
    const MStatus st = check("advanceProgress");
    if (!st) return st;
    auto& w = runtime().progressWindow;
    w.value = std::clamp(w.value + amount, w.minimum, w.maximum);
    return MS::kSuccess;
}

int MProgressWindow::progress(MStatus* status) { return answer(status, check("progress"), runtime().progressWindow.value); }
int MProgressWindow::progressMin(MStatus* status) {
    return answer(status, check("progressMin"), runtime().progressWindow.minimum);
}
int MProgressWindow::progressMax(MStatus* status) {
    return answer(status, check("progressMax"), runtime().progressWindow.maximum);
}
MString MProgressWindow::title(MStatus* status) {
    return answer(status, check("title"), MString(runtime().progressWindow.title));
}
MString MProgressWindow::progressStatus(MStatus* status) {
    return answer(status, check("progressStatus"), MString(runtime().progressWindow.status));
}
bool MProgressWindow::isInterruptable(MStatus* status) {
    return answer(status, check("isInterruptable"), runtime().progressWindow.interruptable);
}

bool MProgressWindow::isCancelled(MStatus* status) {
    const MStatus st = check("isCancelled");
    if (status) *status = st;
    auto& w = runtime().progressWindow;
    if (!st || !w.started || !w.interruptable) return false;
    const int asked = w.cancelQueries++;
    const auto& o = runtime().options;
    return o.progressCancel || (o.cancelProgressAfter >= 0 && asked >= o.cancelProgressAfter);
}

MStatus MProgressWindow::endProgress() {
    const MStatus st = check("endProgress");
    if (!st) return st;
    runtime().progressWindow = host::ProgressState();
    return MS::kSuccess;
}
