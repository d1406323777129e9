#pragma once

// Cut-face blind data: one int per polygon telling the faces a cut made from the
// surface the mesh had before; every reader takes a face without a value as 0.
namespace cutFace {

inline constexpr int kBlindDataId = 70111001;
inline constexpr const char* kLongName = "zylCutFace";
inline constexpr const char* kShortName = "zcut";
inline constexpr const char* kDataType = "int";

inline constexpr int kSurface = 0;   // a face of the surface before any cut
inline constexpr int kCut = 1;       // made by the cut that produced this mesh
inline constexpr int kOlderCut = 2;  // a cut face of an earlier cut, or one lying against a new cut

}  // namespace cutFace
