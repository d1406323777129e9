#include "host/core/nameIndex.h"

#include <cctype>
#include <charconv>
#include <iterator>

#include "host/core/node.h"

namespace host {

namespace {

// Names whose trailing number has more digits are found by name alone.
constexpr std::size_t kIndexedDigits = 18;
constexpr std::uint64_t kIndexedLimit = 1'000'000'000'000'000'000ULL;  // 10^18

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// A name split into its stem and trailing number, when the number is written as a
// decimal would print it (no leading zero) and has few enough digits to index.
struct Split {
    std::string_view stem;
    std::uint64_t number = 0;
    bool numbered = false;
};

Split split(std::string_view name) {
    std::size_t digits = name.size();
    while (digits > 0 && isDigit(name[digits - 1])) --digits;
    Split s{name.substr(0, digits)};
    const std::string_view number = name.substr(digits);
    if (number.empty() || number.size() > kIndexedDigits || (number.size() > 1 && number[0] == '0')) return s;
    std::from_chars(number.data(), number.data() + number.size(), s.number);
    s.numbered = true;
    return s;
}

}  // namespace

Node* NameIndex::find(std::string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void NameIndex::add(Node& node) {
    if (!byName_.try_emplace(node.name, &node).second) return;
    if (const Split s = split(node.name); s.numbered) take(s.stem, s.number);
}

void NameIndex::remove(const Node& node) {
    const auto it = byName_.find(node.name);
    if (it == byName_.end() || it->second != &node) return;
    byName_.erase(it);
    if (const Split s = split(node.name); s.numbered) release(s.stem, s.number);
}

void NameIndex::clear() {
    byName_.clear();
    runs_.clear();
}

std::uint64_t NameIndex::firstFree(std::string_view stem, std::uint64_t from) const {
    std::uint64_t n = from;
    // A stem ending in a digit is not where its names are indexed: ask name by name.
    bool byName = !stem.empty() && isDigit(stem.back());
    if (!byName) {
        if (const auto it = runs_.find(stem); it != runs_.end()) {
            const Runs& runs = it->second;
            if (auto next = runs.upper_bound(n); next != runs.begin() && std::prev(next)->second >= n)
                n = std::prev(next)->second + 1;
        }
        byName = n >= kIndexedLimit;
    }
    if (byName) {
        std::string name(stem);
        while (true) {
            name.resize(stem.size());
            name += std::to_string(n);
            if (!find(name)) break;
            ++n;
        }
    }
    return n;
}

void NameIndex::take(std::string_view stem, std::uint64_t n) {
    auto it = runs_.find(stem);
    if (it == runs_.end()) it = runs_.emplace(std::string(stem), Runs{}).first;
    Runs& runs = it->second;
    const auto next = runs.upper_bound(n);
    const bool joinsNext = next != runs.end() && next->first == n + 1;
    if (next != runs.begin()) {
        const auto before = std::prev(next);
        if (before->second >= n) return;
        if (before->second + 1 == n) {
            before->second = joinsNext ? next->second : n;
            if (joinsNext) runs.erase(next);
            return;
        }
    }
    if (joinsNext) {
        const std::uint64_t last = next->second;
        runs.erase(next);
        runs.emplace(n, last);
    } else {
        runs.emplace(n, n);
    }
}

void NameIndex::release(std::string_view stem, std::uint64_t n) {
    const auto it = runs_.find(stem);
    if (it == runs_.end()) return;
    Runs& runs = it->second;
    auto next = runs.upper_bound(n);
    if (next == runs.begin()) return;
    const auto run = std::prev(next);
    const std::uint64_t first = run->first;
    const std::uint64_t last = run->second;
    if (last < n) return;
    if (first == n) {
        runs.erase(run);
    } else {
        run->second = n - 1;
    }
    if (last > n) runs.emplace(n + 1, last);
    if (runs.empty()) runs_.erase(it);
}

}  // namespace host
