#include "host/mel/tokenizer.h"

#include <cctype>

namespace host::mel {

namespace {

bool separator(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == ';' || c == '(' || c == ')' ||
           c == '{' || c == '}' || c == ',' || c == '`' || c == '=';
}

}  // namespace

std::vector<Token> tokenize(const std::string& src, std::string* error) {
    std::vector<Token> out;
    int line = 1;
    bool space = true;
    std::size_t i = 0;
    auto push = [&](TokenKind k, std::string text) {
        out.push_back(Token{k, std::move(text), line, space});
        space = false;
    };
    while (i < src.size()) {
        const char c = src[i];
        if (c == '\n') ++line;
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = true;
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
            while (i < src.size() && src[i] != '\n') ++i;
            space = true;
            continue;
        }
        if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
            const auto end = src.find("*/", i + 2);
            for (std::size_t k = i; k < std::min(end, src.size()); ++k) line += src[k] == '\n';
            i = end == std::string::npos ? src.size() : end + 2;
            space = true;
            continue;
        }
        switch (c) {
            case ';': push(TokenKind::Semicolon, ";"); ++i; continue;
            case '(': push(TokenKind::LParen, "("); ++i; continue;
            case ')': push(TokenKind::RParen, ")"); ++i; continue;
            case '{': push(TokenKind::LBrace, "{"); ++i; continue;
            case '}': push(TokenKind::RBrace, "}"); ++i; continue;
            case ',': push(TokenKind::Comma, ","); ++i; continue;
            case '=': push(TokenKind::Equals, "="); ++i; continue;
            case '+': push(TokenKind::Plus, "+"); ++i; continue;
            default: break;
        }
        if (c == '"') {
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
                if (d == '\\' && i < src.size()) {
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
            if (!closed) {
                if (error) *error = "Unterminated string on line " + std::to_string(line);
                return {};
            }
            push(TokenKind::String, std::move(text));
            continue;
        }
        if (c == '`') {
            const auto end = src.find('`', i + 1);
            if (end == std::string::npos) {
                if (error) *error = "Unterminated backquote on line " + std::to_string(line);
                return {};
            }
            push(TokenKind::Backquote, src.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == '$') {
            std::size_t j = i + 1;
            while (j < src.size() && (std::isalnum(static_cast<unsigned char>(src[j])) || src[j] == '_')) ++j;
            // An element or array marker sticks to the name: $a[2], $a[].
            if (j < src.size() && src[j] == '[') {
                const auto close = src.find(']', j);
                if (close != std::string::npos) j = close + 1;
            }
            push(TokenKind::Variable, src.substr(i, j - i));
            i = j;
            continue;
        }
        std::size_t j = i;
        bool attributePath = false;
        while (j < src.size()) {
            if (src[j] == '.') attributePath = true;
            // "node.animated(Mesh)": parentheses inside an attribute name stay in the word.
            if (src[j] == '(' && attributePath) {
                const auto close = src.find(')', j);
                if (close != std::string::npos && src.find_first_of(" \t\n;\"", j) > close) {
                    j = close + 1;
                    continue;
                }
            }
            if (separator(src[j])) break;
            ++j;
        }
        push(TokenKind::Word, src.substr(i, j - i));
        i = j;
    }
    out.push_back(Token{TokenKind::End, {}, line, true});
    return out;
}

}  // namespace host::mel
