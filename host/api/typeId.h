#pragma once

// A node type's 32-bit id.
class MTypeId {
public:
    constexpr MTypeId() = default;
    constexpr explicit MTypeId(unsigned id) : id_(id) {}
    constexpr unsigned id() const { return id_; }
    constexpr bool operator==(const MTypeId& o) const { return id_ == o.id_; }
    constexpr bool operator!=(const MTypeId& o) const { return id_ != o.id_; }

private:
    unsigned id_ = 0;
};
