#pragma once

#include <ostream>
#include <string>

#include "host/api/status.h"

// Scene files: MEL statements, one per line (mesh, curve and key values span
// lines, one vertex, face, CV or key each), read by the interpreter in file
// mode. Nothing time- or address-dependent is written, so saving an opened file
// gives the same bytes.
namespace host::io {

// The statement that closes every file: a file without it was cut short and is refused.
inline constexpr const char* kEndOfScene = "endScene";
// The environment variable naming further folders (':' between) that `requires`
// finds modules in, after those of loaded modules and of the scene file.
inline constexpr const char* kModulePathVariable = "HOST_MODULE_PATH";

// Writes the scene (no messages), closed by the end marker. Fails, naming the
// plug, when a value holds a number that is not finite (no file holds inf or
// nan); the text written by then is to be dropped.
MStatus writeScene(std::ostream& out);
// Reads a file's text (`source` names it) into the current scene without
// node-added callbacks, undo or computes. The whole text is checked first: a
// syntax error or a missing end marker changes nothing. Unknown node types are
// reported and skipped; the read then fails. Errors start with "source:line: ".
MStatus readScene(const std::string& text, const std::string& source);

// Message 9, then the file, written next to the old one and renamed over it
// when complete: a failed save (a number that is not finite among them) leaves
// the old file as it was.
MStatus saveScene(const std::string& path);
// Message 5, the scene cleared (removal callbacks and module destructors run),
// the file read, message 6. A file that is not a regular file, cannot be read
// or fails its check changes nothing; `replaced` tells whether the scene was cleared.
MStatus openScene(const std::string& path, bool* replaced = nullptr);
// The file without message 9 (the caller sends 11).
MStatus exportScene(const std::string& path);
// Reads the file into the scene as it is (message 4 after).
MStatus importScene(const std::string& path);
// Deletes every node a file can hold, keeping the host's own (time, view camera).
void clearScene();

// Text helpers shared by the writer and the reader.
std::string quoted(const std::string& text);

}  // namespace host::io
