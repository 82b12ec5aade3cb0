// Tokenizer for Transact-SQL batches: turns the UTF-8 text of a batch into
// tokens with line, column and byte offset, dropping white space and
// comments. It knows nothing of keywords beyond case-insensitive matching;
// the parser decides what a word means.
#include "lexer.h"

#include "sqlerror.h"

#include <cctype>
#include <cstring>

namespace vqsql {

bool Token::isKeyword(const char* upperKeyword) const
{
    if (kind != TokenKind::Identifier)
        return false;
    // Keywords are ASCII: letters compare without the locale's help.
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (upperKeyword[i] != c)   // also stops at the keyword's end
            return false;
    }
    return upperKeyword[i] == '\0';
}

namespace {

// SQL Server reports errors found while reading a batch at level 15.
constexpr int kSyntaxSeverity = 15;

// Bytes of a multi-byte UTF-8 sequence count as letters, so identifiers
// may hold Chinese and other non-ASCII names.
bool isIdentStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c >= 0x80;
}

bool isIdentPart(unsigned char c)
{
    return isIdentStart(c) || (c >= '0' && c <= '9') || c == '@' || c == '$';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// SQL Server's longest name: identifiers, bracketed or quoted names and
// variables (the @ included) hold at most 128 characters.
constexpr std::size_t kMaxIdentifierLength = 128;

// Refuses a name longer than SQL Server allows with its error 103, quoting
// the first 128 characters.
void checkIdentifierLength(const std::string& name, int line)
{
    std::size_t chars = 0;
    std::size_t cut = name.size();
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80)
            continue;
        if (chars == kMaxIdentifierLength) {
            cut = i;
            break;
        }
        ++chars;
    }
    if (cut == name.size())
        return;
    throw SqlException(103,
                       "The identifier that starts with '" + name.substr(0, cut) +
                           "' is too long. Maximum length is 128.",
                       line, kSyntaxSeverity);
}

// Walks the text once, keeping line and column in step with the offset.
class Lexer {
public:
    explicit Lexer(const std::string& text) : s_(text) {}

    std::vector<Token> run()
    {
        std::vector<Token> out;
        // About one token in five bytes of SQL.
        out.reserve(s_.size() / 5 + 16);
        for (;;) {
            out.emplace_back();
            read(out.back());
            if (out.back().kind == TokenKind::End)
                return out;
        }
    }

    // The next token, End at the end of the text.
    void read(Token& t)
    {
        skipSpaceAndComments();
        t.pos = here();
        if (i_ >= s_.size()) {
            t.kind = TokenKind::End;
            t.text.clear();
            t.endOffset = i_;
            return;
        }
        lexToken(t);
        t.endOffset = i_;
    }

private:
    const std::string& s_;
    std::size_t i_ = 0;
    int line_ = 1;
    std::size_t lineStart_ = 0;

    ast::Pos here() const
    {
        return ast::Pos{line_, static_cast<int>(i_ - lineStart_) + 1, i_};
    }
    char peek(std::size_t ahead = 0) const
    {
        return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0';
    }
    // Moves one byte on, counting lines. "\r\n" and "\n" both end a line.
    void advance()
    {
        if (s_[i_] == '\n') {
            ++line_;
            lineStart_ = i_ + 1;
        }
        ++i_;
    }

    [[noreturn]] void syntaxError(const std::string& near, int line) const
    {
        throw SqlException(err::SyntaxError, "Incorrect syntax near '" + near + "'.", line, kSyntaxSeverity);
    }

    void skipSpaceAndComments()
    {
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                advance();
            } else if (c == '-' && peek(1) == '-') {
                while (i_ < s_.size() && s_[i_] != '\n')
                    advance();
            } else if (c == '/' && peek(1) == '*') {
                skipBlockComment();
            } else {
                return;
            }
        }
    }

    // /* ... */ comments nest, as in SQL Server: "/* a /* b */ c */" is one.
    void skipBlockComment()
    {
        const int startLine = line_;
        int depth = 0;
        while (i_ < s_.size()) {
            if (s_[i_] == '/' && peek(1) == '*') {
                ++depth;
                advance();
                advance();
            } else if (s_[i_] == '*' && peek(1) == '/') {
                --depth;
                advance();
                advance();
                if (depth == 0)
                    return;
            } else {
                advance();
            }
        }
        throw SqlException(113, "Missing end comment mark '*/'.", startLine, kSyntaxSeverity);
    }

    void lexToken(Token& t)
    {
        const char c = s_[i_];
        const unsigned char uc = static_cast<unsigned char>(c);
        if ((c == 'N' || c == 'n') && peek(1) == '\'') {
            advance();
            t.kind = TokenKind::NString;
            lexString(t);
        } else if (c == '\'') {
            t.kind = TokenKind::String;
            lexString(t);
        } else if (c == '[') {
            lexDelimitedIdentifier(t, ']');
        } else if (c == '"') {
            lexDelimitedIdentifier(t, '"');
        } else if (c == '@') {
            lexVariable(t);
        } else if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
            lexNumber(t);
        } else if (const std::size_t symbol = currencySymbolAt(i_); symbol > 0) {
            lexMoney(t, symbol);
        } else if (isIdentStart(uc)) {
            t.kind = TokenKind::Identifier;
            const std::size_t start = i_;
            while (i_ < s_.size() && isIdentPart(static_cast<unsigned char>(s_[i_])))
                advance();
            t.text.assign(s_, start, i_ - start);
            checkIdentifierLength(t.text, t.pos.line);
        } else {
            lexOperator(t);
        }
    }

    // '...' with '' standing for one quote; the string may span lines.
    void lexString(Token& t)
    {
        const int startLine = line_;
        advance();  // opening quote
        const std::size_t contentStart = i_;
        std::string& value = t.text;
        value.clear();
        while (i_ < s_.size()) {
            // The run of bytes up to the next quote in one piece.
            std::size_t quote = s_.find('\'', i_);
            if (quote == std::string::npos)
                quote = s_.size();
            value.append(s_, i_, quote - i_);
            while (i_ < quote)
                advance();
            if (i_ >= s_.size())
                break;
            if (peek(1) == '\'') {
                value += '\'';
                advance();
                advance();
                continue;
            }
            advance();
            return;
        }
        throw SqlException(105,
                           "Unclosed quotation mark after the character string '" +
                               s_.substr(contentStart) + "'.",
                           startLine, kSyntaxSeverity);
    }

    // [name] with ]] standing for one ], or "name" with "" standing for
    // one ". An unclosed [name] is a syntax error, an unclosed "name" an
    // unclosed quotation mark, as SQL Server reports them.
    void lexDelimitedIdentifier(Token& t, char close)
    {
        const int startLine = line_;
        advance();
        const std::size_t contentStart = i_;
        std::string value;
        while (i_ < s_.size()) {
            if (s_[i_] == close) {
                if (peek(1) == close) {
                    value += close;
                    advance();
                    advance();
                    continue;
                }
                advance();
                t.kind = TokenKind::QuotedIdentifier;
                checkIdentifierLength(value, startLine);
                if (value.find('\0') != std::string::npos)
                    throw SqlException(err::Unsupported,
                                       "The engine does not support a NUL character in a name (line " +
                                           std::to_string(t.pos.line) + ", column " +
                                           std::to_string(t.pos.column) + ").",
                                       t.pos.line);
                t.text = std::move(value);
                return;
            }
            value += s_[i_];
            advance();
        }
        if (close == ']')
            syntaxError(s_.substr(contentStart), startLine);
        throw SqlException(105,
                           "Unclosed quotation mark after the character string '" +
                               s_.substr(contentStart) + "'.",
                           startLine, kSyntaxSeverity);
    }

    // @name is a local variable, @@NAME a system variable (function).
    void lexVariable(Token& t)
    {
        const std::size_t start = i_;
        advance();
        t.kind = TokenKind::Variable;
        if (peek() == '@') {
            advance();
            t.kind = TokenKind::SysVariable;
        }
        const std::size_t nameStart = i_;
        while (i_ < s_.size() && isIdentPart(static_cast<unsigned char>(s_[i_])))
            advance();
        if (i_ == nameStart)
            syntaxError(s_.substr(start, i_ - start), t.pos.line);
        t.text.assign(s_, start, i_ - start);
        if (t.kind == TokenKind::Variable)
            checkIdentifierLength(t.text, t.pos.line);
    }

    // Bytes of a currency symbol that starts a money constant at `at`
    // ($, ￥ U+FFE5, ¥ U+00A5) followed by a digit, point or sign; 0 when none.
    std::size_t currencySymbolAt(std::size_t at) const
    {
        std::size_t n = 0;
        if (s_.compare(at, 1, "$") == 0)
            n = 1;
        else if (s_.compare(at, 3, "\xEF\xBF\xA5") == 0)
            n = 3;
        else if (s_.compare(at, 2, "\xC2\xA5") == 0)
            n = 2;
        if (n == 0 || at + n >= s_.size())
            return 0;
        char next = s_[at + n];
        if (next == '-' || next == '+')
            next = at + n + 1 < s_.size() ? s_[at + n + 1] : ' ';
        return isDigit(next) || next == '.' ? n : 0;
    }

    // $12.34, $-2, ￥3: a money constant; the text keeps sign, digits and point.
    void lexMoney(Token& t, std::size_t symbolBytes)
    {
        for (std::size_t k = 0; k < symbolBytes; ++k)
            advance();
        std::string text;
        if (peek() == '-' || peek() == '+') {
            if (peek() == '-')
                text += '-';
            advance();
        }
        while (isDigit(peek()) || peek() == '.') {
            text += peek();
            advance();
        }
        t.kind = TokenKind::Money;
        t.text = std::move(text);
    }

    // 123, 1.5, .5, 1., 1e5, 1.5E-3, 0x1F2E.
    void lexNumber(Token& t)
    {
        const std::size_t start = i_;
        if (s_[i_] == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            advance();
            advance();
            const std::size_t hexStart = i_;
            while (i_ < s_.size() && hexValue(s_[i_]) >= 0)
                advance();
            std::string digits = s_.substr(hexStart, i_ - hexStart);
            if (digits.size() % 2 != 0)
                digits.insert(digits.begin(), '0');  // 0x1 is the byte 0x01
            std::string bytes;
            for (std::size_t k = 0; k < digits.size(); k += 2)
                bytes += static_cast<char>(hexValue(digits[k]) * 16 + hexValue(digits[k + 1]));
            t.kind = TokenKind::Binary;
            t.text = std::move(bytes);
            return;
        }
        t.kind = TokenKind::Integer;
        while (isDigit(peek()))
            advance();
        if (peek() == '.') {
            t.kind = TokenKind::Decimal;
            advance();
            while (isDigit(peek()))
                advance();
        }
        const char e = peek();
        if ((e == 'e' || e == 'E') &&
            (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
            t.kind = TokenKind::Float;
            advance();
            if (peek() == '+' || peek() == '-')
                advance();
            while (isDigit(peek()))
                advance();
        }
        t.text.assign(s_, start, i_ - start);
    }

    void lexOperator(Token& t)
    {
        static const char* const twoChar[] = {"<>", "!=", "!<", "!>", "<=", ">=",
                                              "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
        t.kind = TokenKind::Operator;
        for (const char* op : twoChar) {
            if (s_[i_] == op[0] && peek(1) == op[1]) {
                t.text.assign(op, 2);
                advance();
                advance();
                return;
            }
        }
        static const char singles[] = "(),.;=<>+-*/%&|^~";
        if (std::strchr(singles, s_[i_]) != nullptr) {
            t.text.assign(1, s_[i_]);
            advance();
            return;
        }
        // Anything else starts no token; report the whole UTF-8 character.
        std::size_t len = 1;
        const unsigned char c = static_cast<unsigned char>(s_[i_]);
        if (c >= 0xC0)
            len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        syntaxError(s_.substr(i_, len), line_);
    }
};

}  // namespace

std::vector<Token> tokenize(const std::string& text)
{
    return Lexer(text).run();
}

struct TokenReader::Impl {
    Lexer lexer;
};

TokenReader::TokenReader(const std::string& text) : impl_(new Impl{Lexer(text)}) {}

TokenReader::~TokenReader() = default;

void TokenReader::read(Token& t)
{
    impl_->lexer.read(t);
}

}  // namespace vqsql
