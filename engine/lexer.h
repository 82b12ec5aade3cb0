// Tokenizer for Transact-SQL batches.
#pragma once

#include "ast.h"

#include <memory>
#include <string>
#include <vector>

namespace vqsql {

enum class TokenKind {
    End,
    Identifier,        // plain word (keywords included); text as written
    QuotedIdentifier,  // [x] or "x": text without the quotes, ]] and "" undone
    String,            // '...': text = value
    NString,           // N'...'
    Integer,           // 123
    Decimal,           // 1.5, .5, 1.
    Float,             // 1e5, 1.5E-3
    Binary,            // 0x1F: text = raw bytes
    Money,             // $1.5, ￥-2: text = "1.5", "-2" (currency symbol removed)
    Variable,          // @x: text = "@x"
    SysVariable,       // @@ROWCOUNT: text = "@@ROWCOUNT" as written
    Operator,          // punctuation and operators: ( ) , . ; = <> != < > <= >= !< !> + - * / % & | ^ ~ +=, -=, *=, /=
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    ast::Pos pos;
    std::size_t endOffset = 0;   // byte offset just past the token

    // True for an Identifier (not a quoted one) equal to the keyword,
    // letter case ignored.
    bool isKeyword(const char* upperKeyword) const;
    // True for an Operator token spelled `op` (one or two characters).
    bool isOperator(const char* op) const
    {
        if (kind != TokenKind::Operator)
            return false;
        const std::size_t n = std::char_traits<char>::length(op);
        return n == text.size() && std::char_traits<char>::compare(text.data(), op, n) == 0;
    }
};

// Splits a batch into tokens, skipping white space and comments; the last
// token is End. Throws SqlException 105 ("Unclosed quotation mark after the
// character string '...'.") for an unterminated string, and 102 for an
// unterminated bracket identifier or a character that starts no token.
std::vector<Token> tokenize(const std::string& text);

// Reads the tokens of a batch one at a time, as tokenize finds them, so
// that a long script never holds all of its tokens at once.
class TokenReader {
public:
    explicit TokenReader(const std::string& text);
    ~TokenReader();
    TokenReader(const TokenReader&) = delete;
    TokenReader& operator=(const TokenReader&) = delete;

    // The next token into `t`, reusing its text's buffer; End at the end
    // of the text and again after it. Throws as tokenize does.
    void read(Token& t);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vqsql
