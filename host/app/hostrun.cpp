// hostrun: the headless host. Loads modules, runs MEL scripts and commands in
// order, then runs the exit sequence.

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/api/animControl.h"
#include "host/api/view3d.h"
#include "host/core/runtime.h"
#include "host/io/sceneFile.h"
#include "host/io/sceneWriters.h"
#include "host/mel/interpreter.h"
#include "host/view/capture.h"
#include "host/view/projection.h"
#include "host/view/viewState.h"

namespace {

struct Step {
    bool inline_;  // -c text, else a script file
    std::string text;
};

constexpr const char* kUsage = "usage: hostrun [options] [script.mel]...\n";

constexpr const char* kHelp =
    "Runs MEL scripts in a headless host: loads the modules, opens the scene, runs the\n"
    "scripts and -c commands in order, steps the frames writing their outputs, runs\n"
    "the --then script and saves the scene.\n"
    "  --batch            no main window and no 3D view (so no pictures)\n"
    "  --plugin PATH      load the module at PATH first (repeatable)\n"
    "  --script-path DIR  find sourced scripts in DIR too (repeatable)\n"
    "  -c MEL             run MEL text, in order with the scripts (repeatable)\n"
    "  --open FILE        open the scene file FILE before the scripts\n"
    "  --save FILE        save the scene to FILE at the end\n"
    "  --frames A:B       after the scripts, step frames A to B, writing the outputs of each\n"
    "  --out DIR          folder for the outputs (default: the current folder)\n"
    "  --obj              write frame_NNNN.obj: every visible mesh, in world space\n"
    "  --csv              write transforms.csv: every transform, one row per frame\n"
    "  --png              write frame_NNNN.png: a picture of the 3D view (not with --batch)\n"
    "  --size WxH         the 3D view's size in pixels (default 640x480)\n"
    "  --fit              turn the view camera to show everything visible, before the frames\n"
    "  --confirm ANSWER   the answer every confirm dialog gets\n"
    "  --log FILE         write every message shown (errors, warnings, prints) to FILE\n"
    "  --then FILE        run the script FILE after the frames, on the final state\n"
    "  --trace FILE       write every MEL text a module ran or queued to FILE, one per line\n"
    "  --keep-going       a script or -c text that fails does not stop the ones after it,\n"
    "                     the frames, the --then script or the save (the exit code is still 1)\n"
    "  --help             show this help\n"
    "Without --frames, --obj, --csv and --png write the current frame. Modules that\n"
    "scene files require are found in the folders of the --plugin modules, the scene\n"
    "file's folder and $HOST_MODULE_PATH. Exit code: 0 done, 1 a statement or file\n"
    "failed, 2 bad usage.\n";

int usage(const std::string& message) {
    std::fprintf(stderr, "hostrun: %s\n%s(hostrun --help lists the options)\n", message.c_str(), kUsage);
    return 2;
}

std::string executableDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

// A script's text; false (logged) for a missing, unreadable or non-regular file.
bool readScript(const std::string& path, std::string& out) {
    struct stat sb {};
    if (stat(path.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode)) {
        host::runtime().log.add(host::LogKind::Error, "Cannot read script '" + path + "': not a regular file.");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        host::runtime().log.add(host::LogKind::Error, "Cannot read script '" + path + "'.");
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

// The command trace, one text per line; a line break inside a text is written as
// a blank, which MEL reads the same way.
bool writeTrace(const std::string& path, const std::vector<std::string>& trace) {
    std::ofstream out(path);
    for (const auto& text : trace) {
        for (const char ch : text) out.put(ch == '\n' ? ' ' : ch);
        out.put('\n');
    }
    if (out) return true;
    std::fprintf(stderr, "hostrun: cannot write %s\n", path.c_str());
    return false;
}

// Frame numbers far beyond any animation only make endless loops and huge names.
constexpr int kFrameLimit = 1000000;

struct FrameOptions {
    bool frames = false;
    int first = 1, last = 1;
    std::string out = ".";
    bool obj = false, csv = false, png = false;
    bool any() const { return obj || csv || png; }
};

bool parseSize(const std::string& text, int& width, int& height) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    const MString w(text.substr(0, x)), h(text.substr(x + 1));
    if (!w.isInt() || !h.isInt() || w.asInt() < 1 || h.asInt() < 1 || w.asInt() > 16384 || h.asInt() > 16384)
        return false;
    width = w.asInt();
    height = h.asInt();
    return true;
}

std::string frameFile(const std::string& dir, int frame, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04d.%s", frame, extension);
    return dir + name;
}

// "A:B", whole frames, A not after B; else what is wrong with it.
std::string parseFrames(const std::string& text, FrameOptions& f) {
    const std::string form = "--frames needs A:B, the first and last frame as whole numbers (e.g. 1:120)";
    const auto colon = text.find(':');
    if (colon == std::string::npos) return form;
    const MString a(text.substr(0, colon)), b(text.substr(colon + 1));
    if (!a.isInt() || !b.isInt()) return form;
    const int first = a.asInt(), last = b.asInt();
    if (std::abs(first) > kFrameLimit || std::abs(last) > kFrameLimit)
        return "--frames " + text + ": frames lie between -" + std::to_string(kFrameLimit) + " and " +
               std::to_string(kFrameLimit);
    if (last < first)
        return "--frames " + text + ": the first frame comes after the last (to step " + std::to_string(last) +
               " to " + std::to_string(first) + ", give " + std::to_string(last) + ":" + std::to_string(first) + ")";
    f.frames = true;
    f.first = first;
    f.last = last;
    return {};
}

// Each frame as a plain time change (locators do not draw while playing back),
// then the idle queue, a refresh of the view, then the outputs of that frame.
// Without --frames the outputs are those of the current frame, time unchanged.
int runFrames(FrameOptions f) {
    if (!f.frames) {
        const double now = MAnimControl::currentTime().as(MTime::uiUnit());
        const double frame = std::round(now);
        if (!(std::abs(frame) <= kFrameLimit)) {
            host::runtime().log.add(host::LogKind::Error, "No outputs: the current time is no frame between -" +
                                                              std::to_string(kFrameLimit) + " and " +
                                                              std::to_string(kFrameLimit) + ".");
            return 1;
        }
        f.first = f.last = static_cast<int>(frame);
    }
    std::error_code ec;
    std::filesystem::create_directories(f.out, ec);
    const bool interactive = !host::runtime().options.batch;
    if (f.png && !interactive) host::runtime().log.add(host::LogKind::Warning, "--png: no pictures in batch mode (no view).");
    std::ofstream csv;
    if (f.csv) {
        csv.open(f.out + "/transforms.csv");
        if (!csv) {
            host::runtime().log.add(host::LogKind::Error, "Cannot write '" + f.out + "/transforms.csv'.");
            return 1;
        }
        host::io::writeTransformsHeader(csv);
    }
    for (int frame = f.first; frame <= f.last; ++frame) {  // the limits keep `frame` far from overflow
        if (f.frames && !MAnimControl::setCurrentTime(MTime(frame, MTime::uiUnit()))) return 1;
        host::runtime().idle.flush();
        if (interactive) M3dView::active3dView().refresh(false, false);
        if (f.obj) {
            const std::string name = frameFile(f.out, frame, "obj");
            if (!host::io::writeObj(name)) {
                host::runtime().log.add(host::LogKind::Error, "Cannot write '" + name + "'.");
                return 1;
            }
        }
        // Without a view (EGL failed) the warning has been given once: no pictures.
        host::io::RgbaImage picture;
        if (f.png && interactive && host::view::readViewPixels(picture)) {
            const std::string name = frameFile(f.out, frame, "png");
            if (const MStatus st = host::io::writePng(name, picture); !st) {
                host::runtime().log.add(host::LogKind::Error, st.errorString().str());
                return 1;
            }
        }
        if (f.csv) host::io::writeTransformRows(csv, frame);
    }
    return csv.is_open() && !csv ? 1 : 0;
}

// An error of a scene file ("file:line: text") is shown as errors from scripts
// are: located by its file and line.
void logFileError(const MStatus& st, const std::string& file) {
    std::string text = st.errorString().str();
    const std::string head = file + ":";
    if (text.rfind(head, 0) == 0) {
        std::size_t end = head.size();
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        int line = 0;
        const auto [ptr, ec] = std::from_chars(text.data() + head.size(), text.data() + end, line);
        if (end > head.size() && ec == std::errc() && text.compare(end, 2, ": ") == 0) {
            host::runtime().log.setLocation(file, line);
            host::runtime().log.add(host::LogKind::Error, text.substr(end + 2));
            host::runtime().log.setLocation({}, 0);
            return;
        }
    }
    host::runtime().log.add(host::LogKind::Error, text);
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file-size limit a write fails and is reported, instead of the signal ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        std::fprintf(stderr, "%s(hostrun --help lists the options)\n", kUsage);
        return 2;
    }
    host::Runtime& rt = host::runtime();
    std::vector<std::string> plugins;
    std::vector<Step> steps;
    std::string logPath, tracePath;
    std::vector<std::string> scriptPath;
    FrameOptions frames;
    std::string thenScript;
    std::string openPath, savePath;
    bool fit = false;
    bool keepGoing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        } else if (a == "--batch") {
            rt.options.batch = true;
        } else if (a == "--plugin") {
            if (!value(v)) return usage("--plugin needs a path");
            plugins.push_back(v);
        } else if (a == "--script-path") {
            if (!value(v)) return usage("--script-path needs a directory");
            scriptPath.push_back(v);
        } else if (a == "-c") {
            if (!value(v)) return usage("-c needs MEL text");
            steps.push_back(Step{true, v});
        } else if (a == "--confirm") {
            if (!value(v)) return usage("--confirm needs an answer");
            rt.options.confirmAnswer = v;
        } else if (a == "--frames") {
            if (!value(v)) return usage("--frames needs A:B, the first and last frame (e.g. 1:120)");
            if (const std::string wrong = parseFrames(v, frames); !wrong.empty()) return usage(wrong);
        } else if (a == "--out") {
            if (!value(frames.out) || frames.out.empty()) return usage("--out needs a folder name");
        } else if (a == "--obj") {
            frames.obj = true;
        } else if (a == "--csv") {
            frames.csv = true;
        } else if (a == "--png") {
            frames.png = true;
        } else if (a == "--fit") {
            fit = true;
        } else if (a == "--keep-going") {
            keepGoing = true;
        } else if (a == "--size") {
            int width = 0, height = 0;
            if (!value(v) || !parseSize(v, width, height)) return usage("--size needs WxH (1 to 16384 each)");
            host::view::setPortSize(width, height);
        } else if (a == "--then") {
            if (!value(thenScript)) return usage("--then needs a script");
        } else if (a == "--open") {
            if (!value(openPath)) return usage("--open needs a file");
        } else if (a == "--save") {
            if (!value(savePath)) return usage("--save needs a file");
        } else if (a == "--log") {
            if (!value(logPath)) return usage("--log needs a file");
        } else if (a == "--trace") {
            if (!value(tracePath)) return usage("--trace needs a file");
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option " + a);
        } else {
            steps.push_back(Step{false, a});
        }
    }
    // Scripts are found in the given directories, then next to hostrun, then here.
    rt.options.scriptPath = scriptPath;
    rt.options.scriptPath.push_back(executableDir());
    rt.options.scriptPath.push_back(".");

    int code = 0;
    for (const auto& p : plugins) {
        host::Result r;
        if (!rt.mel().call("loadPlugin", {host::mel::Arg{p, true}}, r)) code = 1;
        rt.idle.flush();
        if (code) break;
    }
    if (!code && !openPath.empty()) {
        bool replaced = false;
        if (const MStatus st = host::io::openScene(openPath, &replaced); !st) {
            logFileError(st, openPath);
            code = 1;
        }
        if (replaced) rt.sceneFile = openPath;
        rt.idle.flush();
    }
    // With --keep-going a failed script is remembered and the run goes on.
    bool scriptFailed = false;
    const auto scriptFails = [&] {
        if (keepGoing)
            scriptFailed = true;
        else
            code = 1;
    };
    for (const auto& s : steps) {
        if (code) break;
        std::string text = s.text;
        if (!s.inline_ && !readScript(s.text, text)) {
            code = 1;
            break;
        }
        if (!rt.mel().runScript(text, s.inline_ ? "-c" : s.text)) scriptFails();
    }
    if (!code && fit && !host::view::fitViewCamera())
        rt.log.add(host::LogKind::Warning, "--fit: nothing visible to fit.");
    if (!code && (frames.frames || frames.any())) code = runFrames(frames);
    if (!code && !thenScript.empty()) {
        std::string text;
        if (!readScript(thenScript, text)) code = 1;
        else if (!rt.mel().runScript(text, thenScript)) scriptFails();
    }
    if (!code && !savePath.empty()) {
        if (const MStatus st = host::io::saveScene(savePath); !st) {
            rt.log.add(host::LogKind::Error, st.errorString().str());
            code = 1;
        }
    }
    if (scriptFailed) code = 1;
    rt.shutdown();
    if (!logPath.empty()) {
        std::ofstream out(logPath);
        out << rt.log.text();
        if (!out) {
            std::fprintf(stderr, "hostrun: cannot write %s\n", logPath.c_str());
            if (!code) code = 1;
        }
    }
    if (!tracePath.empty() && !writeTrace(tracePath, rt.commandTrace) && !code) code = 1;
    return code;
}
