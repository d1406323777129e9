#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "host/api/status.h"

// Scene files: MEL statements, one per line (mesh, curve and key values span
// lines, one vertex, face, CV or key each), read by the interpreter in file
// mode. Nothing time- or address-dependent is written, so saving an opened file
// gives the same bytes.
namespace host::io {

// Writes the scene (no messages).
void writeScene(std::ostream& out);
// Reads statements into the current scene without node-added callbacks, undo or
// computes. Unknown node types are reported and skipped; the read then fails.
MStatus readScene(std::istream& in, const std::string& source);

// Message 9, then the file.
MStatus saveScene(const std::string& path);
// Message 5, the scene cleared (removal callbacks and module destructors run),
// the file read, message 6.
MStatus openScene(const std::string& path);
// The file without message 9 (the caller sends 11).
MStatus exportScene(const std::string& path);
// Reads the file into the scene as it is (message 4 after).
MStatus importScene(const std::string& path);
// Deletes every node a file can hold, keeping the host's own (time, view camera).
void clearScene();

// Text helpers shared by the writer and the reader.
std::string quoted(const std::string& text);

}  // namespace host::io
