// The parser's CREATE, ALTER and DROP of tables, views, indexes and types,
// with their column definitions and constraints.
#include "parser_internal.h"

namespace vqsql::parsing {

// CREATE { TABLE | VIEW | [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX | TYPE | DATABASE } ...
StmtPtr Parser::createStatement()
{
    next();
    if (acceptKw("TABLE")) return createTable();
    if (acceptKw("VIEW")) return createView();
    if (atKw("UNIQUE") || atKw("CLUSTERED") || atKw("NONCLUSTERED") || atKw("INDEX"))
        return createIndex();
    if (acceptKw("TYPE")) return createType();
    if (acceptKw("DATABASE")) return createDatabase();
    if (atKw("PROC") || atKw("PROCEDURE")) return createProcedure(false);
    refuseUnsupportedModule("CREATE");
    fail();
}

// CREATE / ALTER of procedures, functions and triggers; the caller has
// seen CREATE or ALTER.
void Parser::refuseUnsupportedModule(const char* verb)
{
    const Token& t = at(p_ - 1);
    if (atKw("PROC") || atKw("PROCEDURE"))
        unsupportedAt(t, std::string(verb) + " PROCEDURE");
    if (atKw("FUNCTION"))
        unsupportedAt(t, std::string(verb) + " FUNCTION");
    if (atKw("TRIGGER"))
        unsupportedAt(t, std::string(verb) + " TRIGGER");
}

// Parses a type: "int", "varchar(32)", "varchar(max)", "numeric(19,4)",
// "[T_VA32]", "dbo.T_X" (the last part is kept), "double precision".
TypeName Parser::typeName()
{
    TypeName ty;
    ty.pos = cur().pos;
    if (atKw("DOUBLE") && ahead(1).isKeyword("PRECISION")) {
        next();
        next();
        ty.name = "float";
        return ty;
    }
    ty.name = objectName().last();
    if (!acceptOp("("))
        return ty;
    auto intArg = [this]() -> int {
        if (atKw("MAX")) {
            next();
            return -1;
        }
        if (cur().kind != TokenKind::Integer)
            fail();
        return std::atoi(next().text.c_str());
    };
    const int a = intArg();
    int b = -2;
    if (acceptOp(","))
        b = intArg();
    expectOp(")");
    const std::string lower = toLower(ty.name);
    if (lower == "decimal" || lower == "numeric" || lower == "dec") {
        ty.precision = a;
        if (b != -2)
            ty.scale = b;
    } else if (lower == "float" || lower == "real") {
        ty.precision = a;
    } else if (lower == "datetime2" || lower == "time" || lower == "datetimeoffset") {
        ty.scale = a;
    } else {
        ty.length = a;
        if (b != -2)
            ty.scale = b;
    }
    return ty;
}

// An optionally signed integer (identity seed and increment).
std::int64_t Parser::signedInteger()
{
    bool negative = false;
    if (atOp("-") || atOp("+")) {
        negative = next().text == "-";
    }
    if (cur().kind != TokenKind::Integer && cur().kind != TokenKind::Decimal)
        fail();
    const std::int64_t v = std::strtoll(next().text.c_str(), nullptr, 10);
    return negative ? -v : v;
}

// Skips a balanced "( ... )" starting at the current token.
void Parser::skipParenthesised()
{
    expectOp("(");
    int depth = 1;
    while (depth > 0) {
        if (cur().kind == TokenKind::End)
            fail();
        if (atOp("("))
            ++depth;
        else if (atOp(")"))
            --depth;
        next();
    }
}

// Storage clauses that have no meaning here: ON [PRIMARY], ON "default",
// TEXTIMAGE_ON [PRIMARY], WITH (index options), WITH FILLFACTOR = n.
void Parser::skipStorageClauses()
{
    for (;;) {
        if (atKw("ON") && (isName(ahead(1)) || ahead(1).isKeyword("PRIMARY"))) {
            next();
            next();
        } else if (atKw("TEXTIMAGE_ON")) {
            next();
            if (!atKw("PRIMARY"))
                name();
            else
                next();
        } else if (atKw("WITH") && ahead(1).isOperator("(")) {
            next();
            skipParenthesised();
        } else if (atKw("WITH") && ahead(1).isKeyword("FILLFACTOR")) {
            next();
            next();
            expectOp("=");
            signedInteger();
        } else {
            return;
        }
    }
}

// "(a [ASC|DESC], b ...)" of keys and indexes.
std::vector<OrderItem> Parser::keyColumnList()
{
    std::vector<OrderItem> cols;
    expectOp("(");
    do {
        OrderItem item;
        item.expr = makeExpr(ExprKind::Column, cur().pos);
        item.expr->name.pos = cur().pos;
        item.expr->name.parts.push_back(name());
        if (acceptKw("DESC"))
            item.descending = true;
        else
            acceptKw("ASC");
        cols.push_back(std::move(item));
    } while (acceptOp(","));
    expectOp(")");
    return cols;
}

std::vector<std::string> Parser::nameList()
{
    std::vector<std::string> names;
    expectOp("(");
    do {
        names.push_back(name());
    } while (acceptOp(","));
    expectOp(")");
    return names;
}

// CLUSTERED / NONCLUSTERED after PRIMARY KEY or UNIQUE.
void Parser::clusteredOption(bool* clustered)
{
    if (acceptKw("CLUSTERED"))
        *clustered = true;
    else if (acceptKw("NONCLUSTERED"))
        *clustered = false;
}

// Actions after REFERENCES t (c): ON DELETE/UPDATE CASCADE | NO ACTION |
// SET NULL | SET DEFAULT, NOT FOR REPLICATION (ignored).
void Parser::referenceActions(TableConstraint& c)
{
    for (;;) {
        if (atKw("ON") && (ahead(1).isKeyword("DELETE") || ahead(1).isKeyword("UPDATE"))) {
            next();
            std::string& action = cur().isKeyword("DELETE") ? c.onDelete : c.onUpdate;
            next();
            if (acceptKw("CASCADE")) {
                action = "CASCADE";
            } else if (acceptKw("NO")) {
                expectKw("ACTION");
                action = "NO ACTION";
            } else if (acceptKw("SET")) {
                if (acceptKw("NULL")) {
                    action = "SET NULL";
                } else {
                    expectKw("DEFAULT");
                    action = "SET DEFAULT";
                }
            } else {
                fail();
            }
        } else if (atKw("NOT") && ahead(1).isKeyword("FOR")) {
            next();
            next();
            expectKw("REPLICATION");
        } else {
            return;
        }
    }
}

// The inline REFERENCES t (c) of column `column`, as a table constraint.
TableConstraint Parser::columnReference(const std::string& column, const std::string& constraintName, const Pos& pos)
{
    TableConstraint c;
    c.kind = TableConstraint::Kind::ForeignKey;
    c.name = constraintName;
    c.pos = pos;
    OrderItem key;
    key.expr = std::make_unique<Expr>();
    key.expr->kind = ExprKind::Column;
    key.expr->pos = pos;
    key.expr->name.parts.push_back(column);
    key.expr->name.pos = pos;
    c.keyColumns.push_back(std::move(key));
    c.refTable = objectName();
    if (atOp("("))
        c.refColumns = nameList();
    referenceActions(c);
    return c;
}

// Whether the current token starts a table constraint (after an
// optional CONSTRAINT name).
bool Parser::atTableConstraint() const
{
    return atKw("CONSTRAINT") || atKw("PRIMARY") || atKw("UNIQUE") || atKw("CHECK") ||
           atKw("FOREIGN") || atKw("DEFAULT");
}

// [CONSTRAINT x] PRIMARY KEY | UNIQUE | CHECK | FOREIGN KEY | DEFAULT v FOR c.
TableConstraint Parser::tableConstraint()
{
    TableConstraint c;
    c.pos = cur().pos;
    if (acceptKw("CONSTRAINT"))
        c.name = name();
    if (atKw("PRIMARY") || atKw("UNIQUE")) {
        const bool primary = atKw("PRIMARY");
        next();
        if (primary)
            expectKw("KEY");
        c.kind = primary ? TableConstraint::Kind::PrimaryKey : TableConstraint::Kind::Unique;
        c.clustered = primary;
        clusteredOption(&c.clustered);
        c.keyColumns = keyColumnList();
        skipStorageClauses();
    } else if (acceptKw("CHECK")) {
        c.kind = TableConstraint::Kind::Check;
        if (atKw("NOT")) {
            next();
            expectKw("FOR");
            expectKw("REPLICATION");
        }
        expectOp("(");
        c.expr = expr();
        expectOp(")");
    } else if (acceptKw("FOREIGN")) {
        expectKw("KEY");
        c.kind = TableConstraint::Kind::ForeignKey;
        c.keyColumns = keyColumnList();
        expectKw("REFERENCES");
        c.refTable = objectName();
        if (atOp("("))
            c.refColumns = nameList();
        referenceActions(c);
    } else if (acceptKw("DEFAULT")) {
        c.kind = TableConstraint::Kind::Default;
        c.expr = expr();
        expectKw("FOR");
        c.defaultColumn = name();
    } else {
        fail();
    }
    return c;
}

// name type [NULL | NOT NULL | [CONSTRAINT x] DEFAULT v | IDENTITY[(s,i)]
// | [CONSTRAINT x] PRIMARY KEY / UNIQUE [CLUSTERED|NONCLUSTERED] | CHECK (e)
// | REFERENCES t(c) | COLLATE x | ROWGUIDCOL] ...
ColumnDef Parser::columnDef()
{
    ColumnDef col;
    col.pos = cur().pos;
    col.name = name();
    col.type = typeName();
    for (;;) {
        std::string constraintName;
        if (acceptKw("CONSTRAINT"))
            constraintName = name();
        if (atKw("NULL")) {
            next();
            col.nullable = true;
        } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
            next();
            next();
            col.nullable = false;
        } else if (acceptKw("DEFAULT")) {
            col.defaultValue = expr();
            col.defaultName = constraintName;
        } else if (acceptKw("IDENTITY")) {
            col.identity = true;
            if (acceptOp("(")) {
                col.identitySeed = signedInteger();
                expectOp(",");
                col.identityIncrement = signedInteger();
                expectOp(")");
            }
            if (atKw("NOT") && ahead(1).isKeyword("FOR")) {
                next();
                next();
                expectKw("REPLICATION");
            }
        } else if (atKw("PRIMARY") || atKw("UNIQUE")) {
            const bool primary = atKw("PRIMARY");
            next();
            if (primary) {
                expectKw("KEY");
                col.primaryKey = true;
            } else {
                col.unique = true;
            }
            col.clustered = primary;
            clusteredOption(&col.clustered);
            col.keyName = constraintName;
            skipStorageClauses();
        } else if (acceptKw("CHECK")) {
            expectOp("(");
            col.check = expr();
            expectOp(")");
        } else if (atKw("FOREIGN") || atKw("REFERENCES")) {
            const Pos at = cur().pos;
            if (acceptKw("FOREIGN"))
                expectKw("KEY");
            expectKw("REFERENCES");
            col.foreignKeys.push_back(columnReference(col.name, constraintName, at));
        } else if (acceptKw("COLLATE")) {
            col.collation = name();
        } else if (acceptKw("ROWGUIDCOL")) {
        } else {
            if (!constraintName.empty())
                fail();
            return col;
        }
    }
}

// CREATE TABLE table ( { column definition | table constraint }, ... )
//     [ON filegroup] [TEXTIMAGE_ON filegroup]
StmtPtr Parser::createTable()
{
    auto s = std::make_unique<CreateTableStmt>();
    s->table = objectName();
    expectOp("(");
    do {
        if (atOp(")") && !(s->columns.empty() && s->constraints.empty()))
            break;  // a trailing comma before ")" is accepted
        if (atTableConstraint())
            s->constraints.push_back(tableConstraint());
        else
            s->columns.push_back(columnDef());
    } while (acceptOp(","));
    expectOp(")");
    skipStorageClauses();
    return s;
}

// CREATE VIEW view [(column, ...)] [WITH attribute, ...] AS query
//     [WITH CHECK OPTION]
StmtPtr Parser::createView()
{
    auto s = std::make_unique<CreateViewStmt>();
    s->view = objectName();
    if (atOp("("))
        s->columns = nameList();
    if (atKw("WITH")) {
        next();
        do {
            name();  // SCHEMABINDING, ENCRYPTION, VIEW_METADATA
        } while (acceptOp(","));
    }
    expectKw("AS");
    if (atKw("WITH") && isName(ahead(1)))
        unsupportedAt(cur(), "common table expressions in a view");
    s->queryOffset = cur().pos.offset;
    s->query = query();
    if (atKw("WITH") && ahead(1).isKeyword("CHECK")) {
        next();
        next();
        expectKw("OPTION");
    }
    return s;
}

// CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON table (key, ...)
//     [INCLUDE (column, ...)] [WITH options] [ON filegroup]
StmtPtr Parser::createIndex()
{
    auto s = std::make_unique<CreateIndexStmt>();
    if (acceptKw("UNIQUE"))
        s->unique = true;
    clusteredOption(&s->clustered);
    expectKw("INDEX");
    s->name = name();
    expectKw("ON");
    s->table = objectName();
    s->columns = keyColumnList();
    if (atKw("INCLUDE")) {
        next();
        nameList();
    }
    if (atKw("WITH") && !ahead(1).isOperator("(")) {
        // Old form: WITH PAD_INDEX, FILLFACTOR = n, IGNORE_DUP_KEY
        next();
        do {
            if (!acceptKw("FILLFACTOR") && !acceptKw("DROP_EXISTING") && !acceptKw("STATISTICS_NORECOMPUTE"))
                name();
            if (acceptOp("="))
                primary();
        } while (acceptOp(","));
    }
    skipStorageClauses();
    return s;
}

// CREATE TYPE name FROM base type [NULL | NOT NULL]
StmtPtr Parser::createType()
{
    auto s = std::make_unique<CreateTypeStmt>();
    s->name = objectName();
    expectKw("FROM");
    s->base = typeName();
    if (acceptKw("NULL")) {
        s->nullable = true;
    } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
        next();
        next();
        s->nullable = false;
    }
    return s;
}

// ALTER { TABLE | DATABASE } ...
StmtPtr Parser::alterStatement()
{
    next();
    if (acceptKw("TABLE")) return alterTable();
    if (acceptKw("DATABASE")) return alterDatabase();
    if (atKw("PROC") || atKw("PROCEDURE")) return createProcedure(true);
    refuseUnsupportedModule("ALTER");
    fail();
}

// ALTER TABLE table [WITH CHECK | NOCHECK]
//     { ADD { column definition | table constraint }, ...
//     | DROP { COLUMN name, ... | [CONSTRAINT] name, ... }
//     | ALTER COLUMN name type [COLLATE c] [NULL | NOT NULL] }
StmtPtr Parser::alterTable()
{
    auto s = std::make_unique<AlterTableStmt>();
    s->table = objectName();
    if (atKw("WITH") && (ahead(1).isKeyword("CHECK") || ahead(1).isKeyword("NOCHECK"))) {
        next();
        s->withCheck = next().isKeyword("CHECK");
    }
    if ((atKw("CHECK") || atKw("NOCHECK")) && ahead(1).isKeyword("CONSTRAINT")) {
        s->action = next().isKeyword("CHECK") ? AlterTableStmt::Action::CheckConstraint
                                              : AlterTableStmt::Action::NoCheckConstraint;
        next();
        if (!acceptKw("ALL")) {
            do {
                s->names.push_back(name());
            } while (acceptOp(","));
        }
    } else if (acceptKw("ADD")) {
        s->action = AlterTableStmt::Action::Add;
        do {
            if (atTableConstraint())
                s->constraints.push_back(tableConstraint());
            else
                s->columns.push_back(columnDef());
        } while (acceptOp(","));
    } else if (acceptKw("DROP")) {
        if (acceptKw("COLUMN")) {
            s->action = AlterTableStmt::Action::DropColumn;
        } else {
            acceptKw("CONSTRAINT");
            s->action = AlterTableStmt::Action::DropConstraint;
        }
        do {
            s->names.push_back(name());
        } while (acceptOp(","));
    } else if (acceptKw("ALTER")) {
        expectKw("COLUMN");
        s->action = AlterTableStmt::Action::AlterColumn;
        ColumnDef col;
        col.pos = cur().pos;
        col.name = name();
        col.type = typeName();
        if (acceptKw("COLLATE"))
            col.collation = name();
        if (acceptKw("NULL")) {
            col.nullable = true;
        } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
            next();
            next();
            col.nullable = false;
        }
        s->columns.push_back(std::move(col));
    } else {
        fail();
    }
    return s;
}

// DROP DATABASE [IF EXISTS] name, ...
// DROP { TABLE | VIEW | INDEX | TYPE | PROC[EDURE] } [IF EXISTS] name, ...
//     (an index as table.index or index ON table)
StmtPtr Parser::dropStatement()
{
    next();
    if (acceptKw("DATABASE")) {
        auto s = std::make_unique<DropDatabaseStmt>();
        s->ifExists = ifExistsClause();
        do {
            s->databases.push_back(name());
        } while (acceptOp(","));
        return s;
    }
    auto s = std::make_unique<DropStmt>();
    if (acceptKw("TABLE")) s->object = DropStmt::Object::Table;
    else if (acceptKw("VIEW")) s->object = DropStmt::Object::View;
    else if (acceptKw("INDEX")) s->object = DropStmt::Object::Index;
    else if (acceptKw("TYPE")) s->object = DropStmt::Object::Type;
    else if (acceptKw("PROC") || acceptKw("PROCEDURE")) s->object = DropStmt::Object::Procedure;
    else fail();
    s->ifExists = ifExistsClause();
    do {
        ObjectName n = objectName();
        if (s->object == DropStmt::Object::Index && acceptKw("ON")) {
            // DROP INDEX i ON t: stored as {t..., i}
            ObjectName table = objectName();
            table.parts.push_back(n.last());
            table.pos = n.pos;
            n = std::move(table);
        }
        s->names.push_back(std::move(n));
    } while (acceptOp(","));
    return s;
}

bool Parser::ifExistsClause()
{
    if (atKw("IF") && ahead(1).isKeyword("EXISTS")) {
        next();
        next();
        return true;
    }
    return false;
}

}  // namespace vqsql::parsing
