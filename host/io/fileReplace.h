#pragma once

#include <string>

#include "host/api/status.h"

namespace host::io {

// Writes `bytes` to a new file in the folder of `path` and renames it over
// `path` only once every byte is on disk: whatever fails (no room, a file-size
// limit, a folder that refuses), the file that was there stays as it was and
// no temporary file is left. A link is followed; the replaced file keeps its
// permissions; something that is not a regular file is never replaced.
MStatus replaceFile(const std::string& path, const std::string& bytes);

}  // namespace host::io
