#pragma once

#include <string>
#include <variant>
#include <vector>

namespace host {

// What a command or MEL expression answers.
using Result = std::variant<std::monostate, int, double, std::string, std::vector<int>, std::vector<double>,
                            std::vector<std::string>>;

// The result written as MEL prints it (arrays one item a line).
std::string resultText(const Result& r);
std::vector<std::string> resultWords(const Result& r);

}  // namespace host
