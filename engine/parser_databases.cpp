// The parser's CREATE, ALTER and DROP DATABASE, BACKUP and RESTORE.
#include "parser_internal.h"

namespace vqsql::parsing {

// "(NAME = x, FILENAME = 'f', SIZE = 10MB, ...)"; sizes and growth are
// skipped.
DatabaseFileOptions Parser::fileOptions()
{
    DatabaseFileOptions file;
    expectOp("(");
    do {
        if (cur().kind != TokenKind::Identifier)
            fail();
        const std::string key = toUpper(next().text);
        expectOp("=");
        if (key == "NAME") {
            file.logicalName = nameOrString();
        } else if (key == "NEWNAME") {
            file.newName = nameOrString();
        } else if (key == "FILENAME") {
            file.fileName = primary();
        } else {
            if (atOp(",") || atOp(")"))
                fail();
            while (!atOp(",") && !atOp(")")) {
                if (cur().kind == TokenKind::End)
                    fail();
                next();
            }
        }
    } while (acceptOp(","));
    expectOp(")");
    return file;
}

// CREATE DATABASE name [ON [PRIMARY] (file), ...] [LOG ON (file), ...]
//     [COLLATE collation] [FOR ATTACH | FOR ATTACH_REBUILD_LOG]
StmtPtr Parser::createDatabase()
{
    auto s = std::make_unique<CreateDatabaseStmt>();
    s->database = name();
    if (acceptKw("ON")) {
        acceptKw("PRIMARY");
        do {
            s->dataFiles.push_back(fileOptions());
        } while (acceptOp(","));
    }
    if (atKw("LOG") && ahead(1).isKeyword("ON")) {
        next();
        next();
        do {
            s->logFiles.push_back(fileOptions());
        } while (acceptOp(","));
    }
    if (acceptKw("COLLATE"))
        name();
    if (atKw("FOR") && (ahead(1).isKeyword("ATTACH") || ahead(1).isKeyword("ATTACH_REBUILD_LOG"))) {
        next();
        next();
    }
    return s;
}

// ALTER DATABASE x MODIFY FILE (...) | MODIFY NAME = y | SET options.
StmtPtr Parser::alterDatabase()
{
    auto s = std::make_unique<AlterDatabaseStmt>();
    s->database = name();
    if (acceptKw("MODIFY")) {
        if (acceptKw("FILE")) {
            s->action = AlterDatabaseStmt::Action::ModifyFile;
            s->file = fileOptions();
        } else if (acceptKw("NAME")) {
            s->action = AlterDatabaseStmt::Action::ModifyName;
            expectOp("=");
            s->newName = name();
        } else {
            fail();
        }
    } else if (acceptKw("SET")) {
        s->action = AlterDatabaseStmt::Action::Set;
        s->options = optionWords();
    } else {
        fail();
    }
    return s;
}

// Comma-separated options kept as text ("RECOVERY SIMPLE", "SINGLE_USER
// WITH ROLLBACK IMMEDIATE"), up to the next statement.
std::vector<std::string> Parser::optionWords()
{
    std::vector<std::string> options;
    std::string curOption;
    for (;;) {
        const Token& t = cur();
        if (t.kind == TokenKind::End || t.isOperator(";"))
            break;
        if (t.isOperator(",")) {
            if (curOption.empty())
                fail();
            options.push_back(curOption);
            curOption.clear();
            next();
            continue;
        }
        if (t.isKeyword("WITH") && ahead(1).isKeyword("ROLLBACK")) {
            // termination clause: WITH ROLLBACK IMMEDIATE | AFTER n [SECONDS]
            curOption += curOption.empty() ? "" : " ";
            curOption += next().text;
            curOption += " " + next().text;
            continue;
        }
        if (startsStatementOrBlockEnd(t))
            break;
        if (!curOption.empty())
            curOption += ' ';
        curOption += src_.substr(t.pos.offset, t.endOffset - t.pos.offset);
        next();
    }
    if (curOption.empty())
        fail();
    options.push_back(curOption);
    return options;
}

// TO DISK = 'f' / FROM DISK = 'f' (the caller has taken TO or FROM).
ExprPtr Parser::diskClause()
{
    expectKw("DISK");
    expectOp("=");
    const Token& t = cur();
    if (t.kind == TokenKind::String || t.kind == TokenKind::NString ||
        t.kind == TokenKind::Variable)
        return primary();
    fail();
}

// One WITH option: "INIT", "STATS = 10", "NAME = 'x'" -> "INIT",
// "STATS=10", "NAME=x".
std::string Parser::withOption()
{
    if (cur().kind != TokenKind::Identifier)
        fail();
    std::string opt = toUpper(next().text);
    if (acceptOp("=")) {
        const Token& v = cur();
        if (isLiteralToken(v) || v.kind == TokenKind::Variable || isName(v))
            opt += "=" + next().text;
        else
            fail();
    }
    return opt;
}

// BACKUP DATABASE { name | @v } TO DISK = file [WITH option, ...]
StmtPtr Parser::backupStatement()
{
    next();
    expectKw("DATABASE");
    auto s = std::make_unique<BackupStmt>();
    if (cur().kind == TokenKind::Variable)
        s->database = next().text;
    else
        s->database = name();
    expectKw("TO");
    s->disk = diskClause();
    if (acceptKw("WITH")) {
        do {
            s->options.push_back(withOption());
        } while (acceptOp(","));
    }
    return s;
}

// RESTORE { DATABASE { name | @v } | FILELISTONLY | HEADERONLY | VERIFYONLY }
//     FROM DISK = file [WITH { MOVE logical TO physical | REPLACE | option }, ...]
StmtPtr Parser::restoreStatement()
{
    next();
    auto s = std::make_unique<RestoreStmt>();
    if (acceptKw("DATABASE")) {
        s->what = RestoreStmt::Kind::Database;
        if (cur().kind == TokenKind::Variable)
            s->database = next().text;
        else
            s->database = name();
    } else if (acceptKw("FILELISTONLY")) {
        s->what = RestoreStmt::Kind::FileListOnly;
    } else if (acceptKw("HEADERONLY")) {
        s->what = RestoreStmt::Kind::HeaderOnly;
    } else if (acceptKw("VERIFYONLY")) {
        s->what = RestoreStmt::Kind::VerifyOnly;
    } else {
        fail();
    }
    expectKw("FROM");
    s->disk = diskClause();
    if (acceptKw("WITH")) {
        do {
            if (acceptKw("MOVE")) {
                RestoreMove m;
                m.logicalName = moveOperand();
                expectKw("TO");
                m.physicalName = moveOperand();
                s->moves.push_back(std::move(m));
            } else if (acceptKw("REPLACE")) {
                s->replace = true;
            } else {
                s->options.push_back(withOption());
            }
        } while (acceptOp(","));
    }
    return s;
}

ExprPtr Parser::moveOperand()
{
    const Token& t = cur();
    if (t.kind == TokenKind::String || t.kind == TokenKind::NString ||
        t.kind == TokenKind::Variable)
        return primary();
    fail();
}

}  // namespace vqsql::parsing
