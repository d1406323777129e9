#include <gtest/gtest.h>

#include "host/mel/tokenizer.h"

namespace {

using host::mel::Token;
using host::mel::TokenKind;
using host::mel::tokenize;

std::vector<std::string> texts(const std::string& src) {
    std::vector<std::string> out;
    for (const Token& t : tokenize(src))
        if (t.kind != TokenKind::End) out.push_back(t.text);
    return out;
}

TEST(Tokenizer, WordsFlagsAndStrings) {
    // A flag right after a closing quote is a new word.
    EXPECT_EQ(texts("confirmDialog -defaultButton \"Yes\"-cancelButton \"No\";"),
              (std::vector<std::string>{"confirmDialog", "-defaultButton", "Yes", "-cancelButton", "No", ";"}));
    EXPECT_EQ(texts("move -0.5 1e-5 m.f[12] M.uvSet[3].uvSetName |a|b *"),
              (std::vector<std::string>{"move", "-0.5", "1e-5", "m.f[12]", "M.uvSet[3].uvSetName", "|a|b", "*"}));
    EXPECT_EQ(texts("sets -e  -fe set1 m.f[0]"), (std::vector<std::string>{"sets", "-e", "-fe", "set1", "m.f[0]"}));
    EXPECT_EQ(texts("getAttr s.animated(Mesh); print(s.x)"),
              (std::vector<std::string>{"getAttr", "s.animated(Mesh)", ";", "print", "(", "s.x", ")"}));
}

TEST(Tokenizer, EscapesAreDecodedOnce) {
    const auto t = tokenize("print \" \\n print \\\"q\\\" \\\\n\";");
    ASSERT_EQ(t[1].kind, TokenKind::String);
    EXPECT_EQ(t[1].text, " \n print \"q\" \\n");
    std::string error;
    EXPECT_TRUE(tokenize("print \"open", &error).empty());
    EXPECT_FALSE(error.empty());
}

TEST(Tokenizer, VariablesBackquotesAndComments) {
    const auto t = tokenize("string $a[] = `ls -type toyNode`; // gone\n$a[1] + \"x\" /* gone */");
    std::vector<TokenKind> kinds;
    for (const Token& k : t) kinds.push_back(k.kind);
    EXPECT_EQ(kinds, (std::vector<TokenKind>{TokenKind::Word, TokenKind::Variable, TokenKind::Equals,
                                             TokenKind::Backquote, TokenKind::Semicolon, TokenKind::Variable,
                                             TokenKind::Plus, TokenKind::String, TokenKind::End}));
    EXPECT_EQ(t[1].text, "$a[]");
    EXPECT_EQ(t[3].text, "ls -type toyNode");
    EXPECT_EQ(t[5].text, "$a[1]");
}

}  // namespace
