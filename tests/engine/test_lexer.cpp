// Tests of the Transact-SQL tokenizer: token kinds and texts, positions,
// comments, and the errors for malformed input.
#include "lexer.h"
#include "sqlerror.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vqsql::SqlException;
using vqsql::Token;
using vqsql::TokenKind;
using vqsql::tokenize;

struct Expected {
    TokenKind kind;
    std::string text;
};

struct TokenCase {
    const char* name;
    std::string input;
    std::vector<Expected> tokens;   // without the final End
};

class LexerTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(LexerTokens, ProducesKindsAndTexts)
{
    const TokenCase& c = GetParam();
    const std::vector<Token> toks = tokenize(c.input);
    ASSERT_EQ(toks.size(), c.tokens.size() + 1) << c.input;
    for (std::size_t i = 0; i < c.tokens.size(); ++i) {
        EXPECT_EQ(toks[i].kind, c.tokens[i].kind) << "token " << i << " of " << c.input;
        EXPECT_EQ(toks[i].text, c.tokens[i].text) << "token " << i << " of " << c.input;
    }
    EXPECT_EQ(toks.back().kind, TokenKind::End);
}

using K = TokenKind;

INSTANTIATE_TEST_SUITE_P(
    Lexer, LexerTokens,
    ::testing::Values(
        TokenCase{"Words", "select KeyID from T_x", {{K::Identifier, "select"}, {K::Identifier, "KeyID"}, {K::Identifier, "from"}, {K::Identifier, "T_x"}}},
        TokenCase{"IdentifierChars", "#tmp a$b x@y _z", {{K::Identifier, "#tmp"}, {K::Identifier, "a$b"}, {K::Identifier, "x@y"}, {K::Identifier, "_z"}}},
        TokenCase{"ChineseIdentifier", "select 科目 from 表1", {{K::Identifier, "select"}, {K::Identifier, "科目"}, {K::Identifier, "from"}, {K::Identifier, "表1"}}},
        TokenCase{"Brackets", "[Pass word] [a]]b] [科目]", {{K::QuotedIdentifier, "Pass word"}, {K::QuotedIdentifier, "a]b"}, {K::QuotedIdentifier, "科目"}}},
        TokenCase{"DoubleQuoted", "\"x\"\"y\"", {{K::QuotedIdentifier, "x\"y"}}},
        TokenCase{"Strings", "'it''s' N'中文' n'x' ''", {{K::String, "it's"}, {K::NString, "中文"}, {K::NString, "x"}, {K::String, ""}}},
        TokenCase{"MultiLineString", "'a\r\nb'", {{K::String, "a\r\nb"}}},
        TokenCase{"NAloneIsWord", "N + Name", {{K::Identifier, "N"}, {K::Operator, "+"}, {K::Identifier, "Name"}}},
        TokenCase{"Variables", "@MaxID @@VERSION @@rowcount", {{K::Variable, "@MaxID"}, {K::SysVariable, "@@VERSION"}, {K::SysVariable, "@@rowcount"}}},
        TokenCase{"Numbers", "12 1.5 .5 1. 1e5 1.5E-3 2e+2", {{K::Integer, "12"}, {K::Decimal, "1.5"}, {K::Decimal, ".5"}, {K::Decimal, "1."}, {K::Float, "1e5"}, {K::Float, "1.5E-3"}, {K::Float, "2e+2"}}},
        TokenCase{"Binary", "0x4142 0x1 0x", {{K::Binary, "AB"}, {K::Binary, std::string("\x01", 1)}, {K::Binary, ""}}},
        TokenCase{"NumberThenWord", "1abc", {{K::Integer, "1"}, {K::Identifier, "abc"}}},
        TokenCase{"TwoCharOperators", "<> != !< !> <= >= += -= *= /=", {{K::Operator, "<>"}, {K::Operator, "!="}, {K::Operator, "!<"}, {K::Operator, "!>"}, {K::Operator, "<="}, {K::Operator, ">="}, {K::Operator, "+="}, {K::Operator, "-="}, {K::Operator, "*="}, {K::Operator, "/="}}},
        TokenCase{"OneCharOperators", "(),.;=<>+-*/%&|^~", {{K::Operator, "("}, {K::Operator, ")"}, {K::Operator, ","}, {K::Operator, "."}, {K::Operator, ";"}, {K::Operator, "="}, {K::Operator, "<>"}, {K::Operator, "+"}, {K::Operator, "-"}, {K::Operator, "*"}, {K::Operator, "/"}, {K::Operator, "%"}, {K::Operator, "&"}, {K::Operator, "|"}, {K::Operator, "^"}, {K::Operator, "~"}}},
        TokenCase{"NegativeAfterEquals", "x=-1", {{K::Identifier, "x"}, {K::Operator, "="}, {K::Operator, "-"}, {K::Integer, "1"}}},
        TokenCase{"DotsInNames", "db..t", {{K::Identifier, "db"}, {K::Operator, "."}, {K::Operator, "."}, {K::Identifier, "t"}}},
        TokenCase{"LineComment", "a -- b 'unclosed\r\nc", {{K::Identifier, "a"}, {K::Identifier, "c"}}},
        TokenCase{"BlockComment", "a /* x\n y */ b", {{K::Identifier, "a"}, {K::Identifier, "b"}}},
        TokenCase{"NestedBlockComment", "a /* 1 /* 2 */ 3 */ b", {{K::Identifier, "a"}, {K::Identifier, "b"}}},
        TokenCase{"CommentMarkersInString", "'--x' '/*'", {{K::String, "--x"}, {K::String, "/*"}}},
        TokenCase{"MinusMinusIsComment", "1--1", {{K::Integer, "1"}}},
        TokenCase{"OnlyComments", "-- x\n/* y */", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lexer, PositionsCountLinesColumnsAndBytes)
{
    const std::string text = "select\r\n  [科目], 'a\nb' x";
    const std::vector<Token> toks = tokenize(text);
    ASSERT_EQ(toks.size(), 6u);
    EXPECT_EQ(toks[0].pos.line, 1);
    EXPECT_EQ(toks[0].pos.column, 1);
    EXPECT_EQ(toks[0].endOffset, 6u);
    // [科目]: line 2, column 3 (bytes), 2 + 6 bytes of Chinese
    EXPECT_EQ(toks[1].pos.line, 2);
    EXPECT_EQ(toks[1].pos.column, 3);
    EXPECT_EQ(toks[1].pos.offset, 10u);
    EXPECT_EQ(toks[1].endOffset, 18u);
    EXPECT_EQ(text.substr(toks[1].pos.offset, toks[1].endOffset - toks[1].pos.offset), "[科目]");
    // the string spans a line; the token after it is on line 3
    EXPECT_EQ(toks[3].pos.line, 2);
    EXPECT_EQ(toks[4].pos.line, 3);
    EXPECT_EQ(toks[4].pos.column, 4);
    EXPECT_EQ(toks[5].kind, TokenKind::End);
    EXPECT_EQ(toks[5].pos.offset, text.size());
}

TEST(Lexer, KeywordMatchIgnoresCaseButNotQuoting)
{
    const std::vector<Token> toks = tokenize("SeLeCt [select] selects");
    EXPECT_TRUE(toks[0].isKeyword("SELECT"));
    EXPECT_FALSE(toks[1].isKeyword("SELECT"));
    EXPECT_FALSE(toks[2].isKeyword("SELECT"));
    EXPECT_TRUE(tokenize("<>")[0].isOperator("<>"));
}

struct ErrorCase {
    const char* name;
    std::string input;
    int number;
    std::string message;
    int line;
};

class LexerErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LexerErrors, ThrowsSqlServerError)
{
    const ErrorCase& c = GetParam();
    try {
        tokenize(c.input);
        FAIL() << "no error for " << c.input;
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.first().message, c.message);
        EXPECT_EQ(e.first().line, c.line);
        EXPECT_EQ(e.first().severity, 15);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lexer, LexerErrors,
    ::testing::Values(
        ErrorCase{"UnclosedString", "select 1\nselect 'abc\ndef", 105, "Unclosed quotation mark after the character string 'abc\ndef'.", 2},
        ErrorCase{"UnclosedNString", "N'x''", 105, "Unclosed quotation mark after the character string 'x'''.", 1},
        ErrorCase{"UnclosedBracket", "select [abc", 102, "Incorrect syntax near 'abc'.", 1},
        ErrorCase{"UnclosedComment", "a\n/* /* */", 113, "Missing end comment mark '*/'.", 2},
        ErrorCase{"StrayCharacter", "select 1 ! 2", 102, "Incorrect syntax near '!'.", 1},
        ErrorCase{"LoneAt", "select @", 102, "Incorrect syntax near '@'.", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
