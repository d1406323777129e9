// Command sequences through hostrun with the module, checked as sequenceCheck.h says (in
// a sanitizer build: no report; otherwise save, open, save keeps the bytes and 30 frames
// live and reopened are the same): a fixed range of random scripts, every seed that once
// failed, and the hand-written cases.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sequenceCheck.h"
#include "sequenceScript.h"

// A case shows as its name in test listings.
void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

namespace {

namespace fs = std::filesystem;

#ifdef ZYL_SEQUENCES_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Seeds 1 to kSeedRange run every time; scripts/sequences runs any other range.
constexpr std::uint64_t kSeedRange = SEQUENCE_SEED_RANGE;

std::string readText(const char* path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One seed per line; '#' starts a comment.
std::vector<std::uint64_t> failedSeeds() {
    std::vector<std::uint64_t> seeds;
    std::istringstream in(readText(SEQUENCE_FAILED_SEEDS));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') seeds.push_back(std::stoull(line));
    return seeds;
}

std::vector<SequenceCase> cases() { return readSequenceCases(readText(SEQUENCE_CASES)); }

void expectPasses(const SequenceScript& script, const std::string& name) {
    const SequenceBuild build{HOSTRUN_PATH, ZYL_MODULE_PATH, kSanitized};
    const fs::path dir = fs::path(::testing::TempDir()) / ("zylSequence_" + std::to_string(getpid()) + "_" + name);
    const SequenceOutcome outcome = checkSequence(build, script, dir);
    EXPECT_TRUE(outcome.passed()) << outcome.kind << ": " << outcome.detail << "\n" << script.text();
    if (outcome.passed()) fs::remove_all(dir);
}

class RandomSequence : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(RandomSequence, Holds) {
    expectPasses(generateSequence(GetParam()), "seed_" + std::to_string(GetParam()));
}

std::string seedName(const ::testing::TestParamInfo<std::uint64_t>& info) { return std::to_string(info.param); }

INSTANTIATE_TEST_SUITE_P(Range, RandomSequence, ::testing::Range<std::uint64_t>(1, kSeedRange + 1), seedName);
INSTANTIATE_TEST_SUITE_P(Failed, RandomSequence, ::testing::ValuesIn(failedSeeds()), seedName);

class WrittenSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(WrittenSequence, Holds) {
    std::string name = GetParam().name;
    std::replace(name.begin(), name.end(), '/', '_');
    expectPasses(GetParam().script, name);
}

INSTANTIATE_TEST_SUITE_P(Cases, WrittenSequence, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<SequenceCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

}  // namespace
