// hostrun: the headless host. Loads modules, runs MEL scripts and commands in
// order, then runs the exit sequence.

#include <unistd.h>

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

int usage(const char* message) {
    std::fprintf(stderr,
                 "hostrun: %s\n"
                 "usage: hostrun [--batch] [--plugin PATH]... [--script-path DIR]... [--confirm ANSWER]\n"
                 "               [--log FILE] [--frames A:B] [--out DIR] [--obj] [--csv] [--png] [--size WxH]\n"
                 "               [--fit] [--then FILE] [--trace FILE]\n"
                 "               [--open FILE] [--save FILE] [-c MEL]... [script.mel]...\n",
                 message);
    return 2;
}

std::string executableDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path);
    if (!in) return false;
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

struct FrameOptions {
    bool frames = false;
    int first = 1, last = 1;
    std::string out = ".";
    bool obj = false, csv = false, png = false;
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

bool parseFrames(const std::string& text, FrameOptions& f) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const MString a(text.substr(0, colon)), b(text.substr(colon + 1));
    if (!a.isInt() || !b.isInt() || b.asInt() < a.asInt()) return false;
    f.frames = true;
    f.first = a.asInt();
    f.last = b.asInt();
    return true;
}

// Each frame as a plain time change (locators do not draw while playing back),
// then the idle queue, a refresh of the view, then the outputs of that frame.
int runFrames(const FrameOptions& f) {
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
    for (int frame = f.first; frame <= f.last; ++frame) {
        if (!MAnimControl::setCurrentTime(MTime(frame, MTime::uiUnit()))) return 1;
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

}  // namespace

int main(int argc, char** argv) {
    host::Runtime& rt = host::runtime();
    std::vector<std::string> plugins;
    std::vector<Step> steps;
    std::string logPath, tracePath;
    std::vector<std::string> scriptPath;
    FrameOptions frames;
    std::string thenScript;
    std::string openPath, savePath;
    bool fit = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--batch") {
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
            if (!value(v) || !parseFrames(v, frames)) return usage("--frames needs A:B");
        } else if (a == "--out") {
            if (!value(frames.out)) return usage("--out needs a directory");
        } else if (a == "--obj") {
            frames.obj = true;
        } else if (a == "--csv") {
            frames.csv = true;
        } else if (a == "--png") {
            frames.png = true;
        } else if (a == "--fit") {
            fit = true;
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
            return usage(("unknown option " + a).c_str());
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
        if (const MStatus st = host::io::openScene(openPath); !st) {
            rt.log.add(host::LogKind::Error, st.errorString().str());
            code = 1;
        }
        rt.sceneFile = openPath;
        rt.idle.flush();
    }
    for (const auto& s : steps) {
        if (code) break;
        std::string text = s.text;
        if (!s.inline_ && !readFile(s.text, text)) {
            rt.log.add(host::LogKind::Error, "Cannot read script '" + s.text + "'.");
            code = 1;
            break;
        }
        if (!rt.mel().runScript(text)) code = 1;
    }
    if (!code && fit && !host::view::fitViewCamera())
        rt.log.add(host::LogKind::Warning, "--fit: nothing visible to fit.");
    if (!code && frames.frames) code = runFrames(frames);
    if (!code && !thenScript.empty()) {
        std::string text;
        if (!readFile(thenScript, text)) {
            rt.log.add(host::LogKind::Error, "Cannot read script '" + thenScript + "'.");
            code = 1;
        } else if (!rt.mel().runScript(text)) {
            code = 1;
        }
    }
    if (!code && !savePath.empty()) {
        if (const MStatus st = host::io::saveScene(savePath); !st) {
            rt.log.add(host::LogKind::Error, st.errorString().str());
            code = 1;
        }
    }
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
