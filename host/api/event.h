#pragma once

#include "host/api/status.h"

// One mouse event sent to a tool: where (view pixels, origin bottom left),
// which button and which modifier keys were held.
class MEvent {
public:
    enum ModifierType { shiftKey = 1 << 0, controlKey = 1 << 2 };
    enum MouseButtonType { kLeftMouse = 1 << 6, kMiddleMouse = 1 << 7, kRightMouse = 1 << 8 };

    MEvent() = default;

    MStatus getPosition(short& x, short& y) const {
        x = x_;
        y = y_;
        return MS::kSuccess;
    }
    int modifiers() const { return modifiers_; }
    bool isModifierNone() const { return modifiers_ == 0; }
    bool isModifierShift() const { return (modifiers_ & shiftKey) != 0; }
    bool isModifierControl() const { return (modifiers_ & controlKey) != 0; }
    MouseButtonType mouseButton() const { return button_; }
    bool isModifierLeftMouseButton() const { return button_ == kLeftMouse; }
    bool isModifierMiddleMouseButton() const { return button_ == kMiddleMouse; }

    // Host side.
    MEvent(short x, short y, int modifiers, MouseButtonType button = kLeftMouse)
        : x_(x), y_(y), modifiers_(modifiers), button_(button) {}

private:
    short x_ = 0, y_ = 0;
    int modifiers_ = 0;
    MouseButtonType button_ = kLeftMouse;
};
