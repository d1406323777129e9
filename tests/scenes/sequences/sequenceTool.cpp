// Runs random command scripts of the module through hostrun and checks them (see
// sequenceCheck.h), for scripts/sequences: any range of seeds on several workers, a
// script printed, a script file checked, and failing scripts shrunk to the steps that
// still fail.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sequenceCheck.h"
#include "sequenceScript.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: sequenceTool --hostrun PATH --module PATH [--sanitized] [--work DIR] [--jobs N] [--shrink]\n"
    "                    (--seeds A:B | --print SEED | --script FILE | --cases FILE)\n"
    "  --seeds A:B    check the scripts of seeds A to B; a failing seed keeps its folder in DIR\n"
    "  --print SEED   print the script of SEED\n"
    "  --script FILE  check the script in FILE (as --print writes it)\n"
    "  --cases FILE   check each hand-written case of FILE (see sequenceScript.h)\n"
    "  --shrink       shrink each failing script and write it to DIR/seed_N.shrunk.txt\n";

struct Options {
    SequenceBuild build;
    fs::path work = "sequences";
    unsigned jobs = 1;
    bool shrink = false;
    std::uint64_t first = 0, last = 0;
    bool seeds = false, print = false;
    std::string script;
    std::string cases;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string v = hasValue ? argv[i + 1] : "";
        if (a == "--sanitized") {
            o.build.sanitized = true;
            continue;
        }
        if (a == "--shrink") {
            o.shrink = true;
            continue;
        }
        if (!hasValue) return false;
        ++i;
        if (a == "--hostrun") {
            o.build.hostrun = v;
        } else if (a == "--module") {
            o.build.module = v;
        } else if (a == "--work") {
            o.work = v;
        } else if (a == "--jobs") {
            o.jobs = static_cast<unsigned>(std::max(1, std::atoi(v.c_str())));
        } else if (a == "--seeds") {
            unsigned long long first = 0, last = 0;
            if (std::sscanf(v.c_str(), "%llu:%llu", &first, &last) != 2 || last < first) return false;
            o.first = first;
            o.last = last;
            o.seeds = true;
        } else if (a == "--print") {
            o.first = std::strtoull(v.c_str(), nullptr, 10);
            o.print = true;
        } else if (a == "--script") {
            o.script = v;
        } else if (a == "--cases") {
            o.cases = v;
        } else {
            return false;
        }
    }
    return (o.seeds || o.print || !o.script.empty() || !o.cases.empty()) && (o.print || (!o.build.hostrun.empty() && !o.build.module.empty()));
}

// Checks one script; a failure is told, shrunk when asked, and its folder kept.
bool checkAndReport(const Options& o, const SequenceScript& script, const std::string& name, std::mutex& print) {
    const fs::path dir = o.work / name;
    const SequenceOutcome outcome = checkSequence(o.build, script, dir);
    if (outcome.passed()) {
        fs::remove_all(dir);
        return true;
    }
    std::string shrunk;
    if (o.shrink) {
        const SequenceScript small = shrinkSequence(o.build, script, outcome.kind, o.work / (name + ".shrinking"));
        fs::remove_all(o.work / (name + ".shrinking"));
        std::ofstream(o.work / (name + ".shrunk.txt")) << small.text();
        shrunk = "shrunk to " + std::to_string(small.steps.size()) + " steps:\n";
        for (const std::string& step : small.steps) shrunk += "  " + step + "\n";
    }
    const std::lock_guard lock(print);
    std::printf("FAIL %s (%s): %s\n%s", name.c_str(), outcome.kind.c_str(), outcome.detail.substr(0, 2000).c_str(),
                shrunk.c_str());
    std::fflush(stdout);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (o.print) {
        std::fputs(generateSequence(o.first).text().c_str(), stdout);
        return 0;
    }
    // A sanitizer run stops at its first report and checks for leaks, unless told otherwise.
    setenv("ASAN_OPTIONS", "detect_leaks=1:abort_on_error=1", 0);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 0);
    fs::create_directories(o.work);
    std::mutex print;
    if (!o.script.empty()) {
        std::ifstream in(o.script);
        std::stringstream text;
        text << in.rdbuf();
        SequenceScript script;
        if (!SequenceScript::parse(text.str(), script)) {
            std::fprintf(stderr, "%s is not a script\n", o.script.c_str());
            return 2;
        }
        return checkAndReport(o, script, fs::path(o.script).stem().string(), print) ? 0 : 1;
    }

    if (!o.cases.empty()) {
        std::ifstream in(o.cases);
        std::stringstream text;
        text << in.rdbuf();
        const std::vector<SequenceCase> cases = readSequenceCases(text.str());
        std::atomic<std::size_t> next = 0;
        std::atomic<unsigned> failed = 0;
        std::vector<std::thread> workers;
        for (unsigned j = 0; j < o.jobs; ++j)
            workers.emplace_back([&] {
                for (std::size_t i = next++; i < cases.size(); i = next++) {
                    std::string name = cases[i].name;
                    std::replace(name.begin(), name.end(), '/', '_');
                    if (!checkAndReport(o, cases[i].script, name, print)) ++failed;
                }
            });
        for (std::thread& w : workers) w.join();
        std::printf("%zu cases, %u failed\n", cases.size(), failed.load());
        return failed ? 1 : 0;
    }

    std::atomic<std::uint64_t> next = o.first;
    std::atomic<unsigned> failed = 0;
    std::vector<std::thread> workers;
    for (unsigned j = 0; j < o.jobs; ++j)
        workers.emplace_back([&] {
            for (std::uint64_t seed = next++; seed <= o.last; seed = next++)
                if (!checkAndReport(o, generateSequence(seed), "seed_" + std::to_string(seed), print)) ++failed;
        });
    for (std::thread& w : workers) w.join();
    std::printf("%llu scripts, %u failed\n", static_cast<unsigned long long>(o.last - o.first + 1), failed.load());
    return failed ? 1 : 0;
}
