#include "sequenceCheck.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Far beyond any script's run: a run that takes this long is stuck.
constexpr unsigned kTimeoutSeconds = 600;
constexpr const char* kFinalSave = "file -rename \"final.scene\"; file -save;";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct RunResult {
    bool exited = false;
    int code = 0;  // exit code, or the signal
    std::string err;
};

// hostrun with the arguments in dir, its output streams into `name`.out and `name`.err.
RunResult runHostrun(const SequenceBuild& build, const std::vector<std::string>& args, const fs::path& dir,
                     const std::string& name) {
    std::vector<std::string> words{build.hostrun, "--batch", "--plugin", build.module};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string dirText = dir.string();
    const std::string out = (dir / (name + ".out")).string(), err = (dir / (name + ".err")).string();

    // Everything the child needs is made before the fork: it only redirects and execs.
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || chdir(dirText.c_str()) != 0) _exit(127);
        dup2(o, 1);
        dup2(e, 2);
        alarm(kTimeoutSeconds);
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        result.code = -1;
        return result;
    }
    result.exited = WIFEXITED(status);
    result.code = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    result.err = readFile(err);
    return result;
}

std::vector<std::string> scriptArgs(const SequenceScript& script) {
    std::vector<std::string> args{"--keep-going", "-c", script.setup};
    for (const std::string& step : script.steps) {
        args.push_back("-c");
        args.push_back(step);
    }
    return args;
}

// A run that died, or ended otherwise than done or with failed statements.
SequenceOutcome unfinished(const RunResult& r, const std::string& what) {
    if (!r.exited) return {"crash", what + " died of signal " + std::to_string(r.code) + "\n" + r.err};
    if (r.code > 1) return {"crash", what + " ended with code " + std::to_string(r.code) + "\n" + r.err};
    return {};
}

SequenceOutcome checkSanitized(const SequenceBuild& build, const SequenceScript& script, const fs::path& dir) {
    std::vector<std::string> args = scriptArgs(script);
    args.insert(args.end(), {"--frames", "1:5", "--save", "checked.scene"});
    const RunResult r = runHostrun(build, args, dir, "checked");
    for (const char* report : {"Sanitizer", "runtime error:"})
        if (r.err.find(report) != std::string::npos) return {"sanitizer", r.err};
    return unfinished(r, "the script, 5 frames and a save");
}

SequenceOutcome compareFrames(const fs::path& live, const fs::path& reopened, int count) {
    for (int f = 1; f <= count; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%04d.obj", f);
        const std::string a = readFile(live / name);
        if (a.empty()) return {"frames", std::string("the live run wrote no ") + name};
        if (a != readFile(reopened / name)) return {"frames", std::string("the reopened file steps otherwise from ") + name};
    }
    return {};
}

SequenceOutcome checkOptimised(const SequenceBuild& build, const SequenceScript& script, const fs::path& dir) {
    std::vector<std::string> args = scriptArgs(script);
    args.insert(args.end(), {"-c", kFinalSave, "--frames", "1:30", "--obj", "--out", "live"});
    const RunResult live = runHostrun(build, args, dir, "live");
    if (SequenceOutcome o = unfinished(live, "the script and 30 frames"); !o.passed()) return o;
    if (!fs::exists(dir / "final.scene")) return {"save", "the scene was not saved\n" + live.err};

    const RunResult again = runHostrun(build, {"--open", "final.scene", "--save", "again.scene"}, dir, "again");
    if (!again.exited || again.code != 0) return {"open", "the saved scene did not open and save\n" + again.err};
    if (readFile(dir / "final.scene") != readFile(dir / "again.scene"))
        return {"bytes", "save, open, save changed the file"};

    const RunResult reopened =
        runHostrun(build, {"--open", "final.scene", "--frames", "1:30", "--obj", "--out", "reopened"}, dir, "reopened");
    if (!reopened.exited || reopened.code != 0)
        return {"open", "the saved scene did not open and step\n" + reopened.err};
    return compareFrames(dir / "live", dir / "reopened", 30);
}

}  // namespace

SequenceOutcome checkSequence(const SequenceBuild& build, const SequenceScript& script, const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "script.txt") << script.text();
    return build.sanitized ? checkSanitized(build, script, dir) : checkOptimised(build, script, dir);
}

SequenceScript shrinkSequence(const SequenceBuild& build, const SequenceScript& script, const std::string& kind,
                              const fs::path& dir) {
    SequenceScript best = script;
    const auto fails = [&](const SequenceScript& s) { return checkSequence(build, s, dir).kind == kind; };
    // Runs of `chunk` steps are dropped while the failure stays; then smaller runs.
    for (std::size_t chunk = std::max<std::size_t>(best.steps.size() / 2, 1); chunk >= 1; chunk /= 2) {
        for (std::size_t at = 0; at < best.steps.size();) {
            SequenceScript trial = best;
            const auto first = trial.steps.begin() + static_cast<std::ptrdiff_t>(at);
            trial.steps.erase(first, first + static_cast<std::ptrdiff_t>(std::min(chunk, best.steps.size() - at)));
            if (fails(trial))
                best = std::move(trial);
            else
                at += chunk;
        }
    }
    return best;
}
