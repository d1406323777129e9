#pragma once

#include <string>

// A mouse cursor shape for a tool. There is no window: the shape is only stored.
class MCursor {
public:
    MCursor() = default;
    bool operator==(const MCursor& o) const { return name_ == o.name_; }
    bool operator!=(const MCursor& o) const { return !(*this == o); }

    static const MCursor defaultCursor;
    static const MCursor crossHairCursor;
    static const MCursor doubleCrossHairCursor;

    // Host side.
    explicit MCursor(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

private:
    std::string name_ = "default";
};
