#include "host/mel/tokenizer.h"

#include <array>
#include <cctype>
#include <memory>

namespace host::mel {

namespace {

// The blanks of the "C" locale, which the host runs in.
constexpr bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool separator(char c) {
    return blank(c) || c == '"' || c == ';' || c == '(' || c == ')' || c == '{' || c == '}' || c == ',' ||
           c == '`' || c == '=';
}

// What a character is to the word scanner: part of the word, its end, the dot that makes
// it an attribute path, or an opening parenthesis (which ends it, unless in such a path).
enum WordClass : unsigned char { kInWord, kEnd, kDot, kOpen };

constexpr std::array<WordClass, 256> wordClasses() {
    std::array<WordClass, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        classes[static_cast<std::size_t>(c)] = ch == '.' ? kDot : ch == '(' ? kOpen : separator(ch) ? kEnd : kInWord;
    }
    return classes;
}

}  // namespace

// The first position at or after `from` holding one of `set`. Positions asked
// for only grow while a source is split, so a remembered answer that lies
// ahead still holds: every character is scanned once per set, and a word like
// "a.(a.(a.(" costs linear time, not quadratic.
class Lookahead {
public:
    Lookahead(const std::string& src, const char* set) : src_(src), set_(set) {}
    std::size_t find(std::size_t from) {
        if (!valid_ || from < scanned_ || from > found_) {
            found_ = src_.find_first_of(set_, from);
            if (found_ == std::string::npos) found_ = src_.size();
            valid_ = true;
        }
        scanned_ = from;
        return found_;
    }

private:
    const std::string& src_;
    const char* set_;
    std::size_t scanned_ = 0, found_ = 0;
    bool valid_ = false;
};

Lexer::Lexer(const std::string& src)
    : src_(src),
      i_(src.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0),  // a byte-order mark is no part of the text
      closeOrBlank_(std::make_unique<Lookahead>(src, ") \t\n;\"")),  // the end of "node.attr(Name)" in a word
      closeBracket_(std::make_unique<Lookahead>(src, "]")) {}             // the end of "$a[2]"

Lexer::~Lexer() = default;

bool Lexer::next(Token& out, std::string* error, int* errorLine, bool wantText) {
    const std::string& src = src_;
    std::size_t& i = i_;
    int& line = line_;
    auto fail = [&](const std::string& text, int at) {
        if (error) *error = text + " starting on line " + std::to_string(at);
        if (errorLine) *errorLine = at;
        return false;
    };
    auto push = [&](TokenKind k, std::string text) {
        out = Token{k, std::move(text), line, space_};
        space_ = false;
        return true;
    };
    while (i < src.size()) {
        const char c = src[i];
        if (c == '\n') ++line;
        if (blank(c)) {
            space_ = true;
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
            while (i < src.size() && src[i] != '\n') ++i;
            space_ = true;
            continue;
        }
        if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
            const auto end = src.find("*/", i + 2);
            if (end == std::string::npos) return fail("Unterminated comment", line);
            for (std::size_t k = i; k < end; ++k) line += src[k] == '\n';
            i = end + 2;
            space_ = true;
            continue;
        }
        switch (c) {
            case ';': ++i; return push(TokenKind::Semicolon, ";");
            case '(': ++i; return push(TokenKind::LParen, "(");
            case ')': ++i; return push(TokenKind::RParen, ")");
            case '{': ++i; return push(TokenKind::LBrace, "{");
            case '}': ++i; return push(TokenKind::RBrace, "}");
            case ',': ++i; return push(TokenKind::Comma, ",");
            case '=': ++i; return push(TokenKind::Equals, "=");
            case '+': ++i; return push(TokenKind::Plus, "+");
            default: break;
        }
        if (c == '"') {
            const int start = line;
            std::string text;
            ++i;
            bool closed = false;
            while (i < src.size()) {
                const char d = src[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\n') ++line;
                if (!wantText) {
                    i += d == '\\' && i < src.size() ? 1 : 0;
                } else if (d == '\\' && i < src.size()) {
                    const char e = src[i++];
                    switch (e) {
                        case 'n': text += '\n'; break;
                        case 't': text += '\t'; break;
                        case 'r': text += '\r'; break;
                        default: text += e; break;  // \" \\ and anything else: the character itself
                    }
                } else {
                    text += d;
                }
            }
            if (!closed) return fail("Unterminated string", start);
            return push(TokenKind::String, std::move(text));
        }
        if (c == '`') {
            const auto end = src.find('`', i + 1);
            if (end == std::string::npos) return fail("Unterminated backquote", line);
            std::string text = src.substr(i + 1, end - i - 1);
            const bool pushed = push(TokenKind::Backquote, std::move(text));
            for (std::size_t k = i; k < end; ++k) line += src[k] == '\n';
            i = end + 1;
            return pushed;
        }
        if (c == '$') {
            std::size_t j = i + 1;
            while (j < src.size() && (std::isalnum(static_cast<unsigned char>(src[j])) || src[j] == '_')) ++j;
            // An element or array marker sticks to the name: $a[2], $a[].
            if (j < src.size() && src[j] == '[') {
                const auto close = closeBracket_->find(j);
                if (close < src.size()) j = close + 1;
            }
            std::string text = src.substr(i, j - i);
            i = j;
            return push(TokenKind::Variable, std::move(text));
        }
        std::size_t j = i;
        bool attributePath = false;
        static constexpr std::array<WordClass, 256> classes = wordClasses();
        while (j < src.size()) {
            const WordClass k = classes[static_cast<unsigned char>(src[j])];
            if (k == kInWord) {
                ++j;
                continue;
            }
            if (k == kDot) {
                attributePath = true;
                ++j;
                continue;
            }
            // "node.animated(Mesh)": parentheses inside an attribute name stay in the word.
            if (k == kOpen && attributePath) {
                const auto close = closeOrBlank_->find(j);
                if (close < src.size() && src[close] == ')') {
                    j = close + 1;
                    continue;
                }
            }
            break;
        }
        std::string text = wantText ? std::string(src, i, j - i) : std::string();
        i = j;
        return push(TokenKind::Word, std::move(text));
    }
    out = Token{TokenKind::End, {}, line, true};
    return true;
}

std::vector<Token> tokenize(const std::string& src, std::string* error, int* errorLine) {
    std::vector<Token> out;
    out.reserve(src.size() / 8 + 2);
    Lexer lexer(src);
    Token token{TokenKind::End, {}};
    while (lexer.next(token, error, errorLine)) {
        const bool end = token.kind == TokenKind::End;
        out.push_back(std::move(token));
        if (end) return out;
    }
    return {};
}

}  // namespace host::mel
