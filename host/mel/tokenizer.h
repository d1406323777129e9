#pragma once

#include <string>
#include <vector>

namespace host::mel {

enum class TokenKind { Word, String, Variable, Backquote, Semicolon, LParen, RParen, LBrace, RBrace, Comma, Plus, Equals, End };

struct Token {
    TokenKind kind;
    std::string text;  // decoded for strings; name with '$' for variables
    int line = 1;
    bool spaceBefore = false;
};

// Splits MEL into tokens. Escapes in strings are decoded here, once. Words run
// to a blank, quote or separator, so "m.f[12]", "-0.5" and "|a|b" are one word
// each, and a flag right after a closing quote starts a new word. A leading
// byte-order mark is skipped. An unterminated comment, string or backquote
// gives no tokens and an error naming the line where it starts (`errorLine`).
std::vector<Token> tokenize(const std::string& source, std::string* error = nullptr, int* errorLine = nullptr);

}  // namespace host::mel
