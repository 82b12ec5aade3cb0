// Parser: a Transact-SQL batch into the syntax tree of ast.h.
#pragma once

#include "ast.h"

#include <memory>
#include <string>
#include <vector>

namespace vqsql {

// Parses a whole batch. Statements may be separated by semicolons or by
// nothing at all, as SQL Server splits them. A procedure call standing
// first in the batch needs no EXEC. Throws SqlException on the first
// syntax error: 102 "Incorrect syntax near 'X'." or 156 "Incorrect syntax
// near the keyword 'X'." (X as written), with the line of the offending
// token; nothing of the batch runs then.
std::unique_ptr<ast::Batch> parseBatch(const std::string& text);
// The same with the session's QUOTED_IDENTIFIER setting: false reads
// text in double quotes as string literals.
std::unique_ptr<ast::Batch> parseBatch(const std::string& text, bool quotedIdentifiers);

// Reads a batch statement by statement, with parseBatch's errors, so that
// a long script need not be held whole. `tokensChecked`: the text was
// read once before (by another StatementReader), so the tokenizer's
// errors need no first pass of their own. `quotedIdentifiers` as for
// parseBatch.
class StatementReader {
public:
    explicit StatementReader(const std::string& text, bool tokensChecked = false, bool quotedIdentifiers = true);
    ~StatementReader();
    StatementReader(const StatementReader&) = delete;
    StatementReader& operator=(const StatementReader&) = delete;

    // The next statement; nullptr at the end of the batch.
    ast::StmtPtr next();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Parses a single expression (used for column defaults read back from the
// catalogue). Throws as parseBatch does.
ast::ExprPtr parseExpression(const std::string& text);

// Parses a parameter declaration list ("@a int, @b nvarchar(10) = N'x'
// OUTPUT"), as sp_executesql takes it; throws as parseBatch does.
std::vector<ast::ProcedureParameter> parseParameterList(const std::string& text);

}  // namespace vqsql
