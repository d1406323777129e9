#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/mel/interpreter.h"

namespace host::mel {

struct FlagSpec {
    const char* shortName;
    const char* longName;
    int args;
};

// The words of a command that are not flags: the command's own arguments, not copies,
// so the list lives no longer than they do.
class WordList {
public:
    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Arg;
        using difference_type = std::ptrdiff_t;
        using pointer = const Arg*;
        using reference = const Arg&;
        iterator() = default;
        explicit iterator(const Arg* const* at) : at_(at) {}
        const Arg& operator*() const { return **at_; }
        const Arg* operator->() const { return *at_; }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        iterator operator++(int) { return iterator(at_++); }
        difference_type operator-(const iterator& o) const { return at_ - o.at_; }
        bool operator==(const iterator& o) const { return at_ == o.at_; }

    private:
        const Arg* const* at_ = nullptr;
    };

    void reserve(std::size_t n) { words_.reserve(n); }
    void push_back(const Arg& word) { words_.push_back(&word); }
    const Arg& operator[](std::size_t i) const { return *words_[i]; }
    const Arg& front() const { return *words_.front(); }
    const Arg& back() const { return *words_.back(); }
    std::size_t size() const { return words_.size(); }
    bool empty() const { return words_.empty(); }
    iterator begin() const { return iterator(words_.data()); }
    iterator end() const { return iterator(words_.data() + words_.size()); }

private:
    std::vector<const Arg*> words_;
};

// A built-in's words split into flags (by short name) and the rest.
struct ParsedArgs {
    std::map<std::string, std::vector<std::string>, std::less<>> flags;  // found by any string type
    WordList words;
    bool has(const char* flag) const { return flags.count(flag) != 0; }
    std::string value(const char* flag, std::size_t i = 0) const;
};

MStatus parseArgs(const std::string& command, const std::vector<Arg>& args, std::initializer_list<FlagSpec> specs,
                  ParsedArgs& out);
// Logs the error (with the command) and returns a failure.
MStatus commandError(const std::string& command, const std::string& text);
// A number given to a command: the whole word, finite; else the error (logged)
// names `what`, the flag or plug it was for.
MStatus realArg(const std::string& command, const std::string& what, const std::string& text, double& out);
// Every value given to the flags (short names) checked by realArg.
MStatus realFlags(const std::string& command, const ParsedArgs& p, std::initializer_list<const char*> flags);
// A whole number from `min` to `max`; else the error (logged) names `what` and the range.
MStatus intArg(const std::string& command, const std::string& what, const std::string& text, int min, int max,
               int& out);
// on/off, true/false, yes/no, 1/0; anything else is false.
bool truthy(const std::string& text);

}  // namespace host::mel
