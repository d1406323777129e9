#pragma once

class zylSolverNode;

// The module version written into every solver's `version`.
inline constexpr const char* kModuleVersion = "3.5";

// A scene saved by an older module (the solver's `version` reads below 3.5) is brought up
// to date once: `version` becomes "3.5", the user is told, collision shapes are rewired
// to feed their type to the bodies and crackers, and each fracture member takes its
// shatter's index as its group. Answers whether it did so.
bool upgradeOlderScene(zylSolverNode& solver);
