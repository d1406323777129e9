#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Random command scripts over a scene of the module: a fracture-body wall, a gravity
// field, boxes and spheres (one keyed) made rigid with random flags, then 10-40 steps
// drawn from every command of the module and the host's ordinary edits (delete, undo,
// redo, flushUndo, setAttr, currentTime, file -save and -open), with valid and invalid
// selections and flags. The same seed gives the same script on every platform.
struct SequenceScript {
    std::string setup;               // MEL that builds the scene
    std::vector<std::string> steps;  // one MEL text each, run whether or not the last failed

    // The script as text: "# setup", the setup, "# steps" and one step per line.
    std::string text() const;
    // Reads what text() writes; false when it is not such a script.
    static bool parse(const std::string& text, SequenceScript& out);
};

SequenceScript generateSequence(std::uint64_t seed);

// Hand-written scripts: "name: step | step | ..." per line ('#' starts a comment line),
// each after the wall's setup (a block shattered into 12 shards bound into the fracture
// body "wall" on the ground); a name starting with "raised/" lifts the block to y 1.92
// first, so that the wall falls.
struct SequenceCase {
    std::string name;
    SequenceScript script;
};
std::vector<SequenceCase> readSequenceCases(const std::string& text);
