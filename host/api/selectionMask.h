#pragma once

#include <set>

// A set of selection types: what a click or marquee may pick. The stand-in
// stores masks and hands them back; screen selection always picks transforms.
class MSelectionMask {
public:
    enum SelectionType {
        kSelectTransforms = 1,
        kSelectMeshes,
        kSelectNurbsCurves,
        kSelectLocators,
        kSelectCameras,
        kSelectMeshVerts,
        kSelectMeshEdges,
        kSelectMeshFaces,
        // The type a selection tool leaves in the component mask after a release.
        kSelectToolComponent = 29,
    };

    MSelectionMask() = default;
    MSelectionMask(SelectionType type) : types_{type} {}  // NOLINT: a type converts to its mask

    void setMask(SelectionType type) { types_ = {type}; }
    void setMask(const MSelectionMask& mask) { types_ = mask.types_; }
    void addMask(SelectionType type) { types_.insert(type); }
    bool intersects(SelectionType type) const { return types_.count(type) != 0; }
    bool intersects(const MSelectionMask& mask) const;
    MSelectionMask operator|(const MSelectionMask& mask) const;
    bool operator==(const MSelectionMask& o) const { return types_ == o.types_; }
    bool operator!=(const MSelectionMask& o) const { return !(*this == o); }

private:
    std::set<SelectionType> types_;
};

inline bool MSelectionMask::intersects(const MSelectionMask& mask) const {
    for (const SelectionType t : mask.types_)
        if (intersects(t)) return true;
    return false;
}

inline MSelectionMask MSelectionMask::operator|(const MSelectionMask& mask) const {
    MSelectionMask out = *this;
    out.types_.insert(mask.types_.begin(), mask.types_.end());
    return out;
}
