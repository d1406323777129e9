#pragma once

#include <filesystem>
#include <string>

#include "sequenceScript.h"

// The hostrun and module a script runs with, and which checks apply: a sanitizer build
// runs the script, 5 frames and a save and must report nothing; an optimised build
// saves after the script, opens and saves the file again (the same bytes) and steps 30
// frames both live and from the file (the same OBJ bytes).
struct SequenceBuild {
    std::string hostrun;
    std::string module;
    bool sanitized = false;
};

// What a check found: empty when the script passed. `kind` names the failure's family
// (crash, sanitizer, save, open, bytes, frames), which a shrunk script must keep.
struct SequenceOutcome {
    std::string kind;
    std::string detail;
    bool passed() const { return kind.empty(); }
};

// Runs the checks in `dir` (made empty first).
SequenceOutcome checkSequence(const SequenceBuild& build, const SequenceScript& script,
                              const std::filesystem::path& dir);

// The fewest steps (removed one run at a time, halving as it goes) that still fail
// with the same kind; the setup stays as it is.
SequenceScript shrinkSequence(const SequenceBuild& build, const SequenceScript& script, const std::string& kind,
                              const std::filesystem::path& dir);
