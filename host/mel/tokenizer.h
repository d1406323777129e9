#pragma once

#include <cstddef>
#include <memory>
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

class Lookahead;

// The same splitting, one token at a time, for a long text whose tokens need not all be
// held at once. The source must outlive the lexer.
class Lexer {
public:
    explicit Lexer(const std::string& source);
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;
    ~Lexer();

    // The next token, End once the text is used up; false, with the error, where
    // tokenize gives none. Without `wantText` a word or string comes without its text.
    bool next(Token& out, std::string* error = nullptr, int* errorLine = nullptr, bool wantText = true);

private:
    const std::string& src_;
    std::size_t i_;
    int line_ = 1;
    bool space_ = true;
    std::unique_ptr<Lookahead> closeOrBlank_;
    std::unique_ptr<Lookahead> closeBracket_;
};

}  // namespace host::mel
