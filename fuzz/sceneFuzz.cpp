// Scene files of any text into the host's reader, on a fresh scene each time: it
// builds the scene or refuses the file, and never crashes or hangs. A scene it
// builds saves, reopens and saves again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzzCheck.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"

namespace {

// No folder of modules: a file's `requires` finds nothing to load.
constexpr const char* kSource = "/nonexistent/fuzz.scene";

void freshScene() {
    host::Runtime& rt = host::runtime();
    rt.reset();
    rt.log.setQuiet(true);
    rt.options.batch = true;
    host::io::clearScene();  // as an open does
}

// A scene the reader built holds only finite numbers, so it always saves.
std::string written() {
    std::ostringstream out;
    fuzzRequire(host::io::writeScene(out) == MS::kSuccess, "a read scene saves");
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    freshScene();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!host::io::readScene(text, kSource)) return 0;
    const std::string first = written();
    freshScene();
    fuzzRequire(host::io::readScene(first, kSource) == MS::kSuccess, "a saved scene reopens");
    fuzzRequire(written() == first, "save, open, save gives the same bytes");
    return 0;
}
