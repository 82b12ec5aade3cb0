// INFORMATION_SCHEMA views as SELECTs over sysobjects, syscolumns, systypes
// and sysforeignkeys.
#include "information_schema.h"

#include "catalog.h"
#include "sqlite_util.h"

namespace vqsql {

namespace {

// The collation and code pages the engine's databases use.
constexpr const char* kCollation = "'Chinese_PRC_CI_AS'";
constexpr const char* kCharSet = "'cp936'";

const SqlType kName = makeType(BaseType::NVarChar, 128);
const SqlType kInt = makeType(BaseType::Int);
const SqlType kSmallInt = makeType(BaseType::SmallInt);
const SqlType kTinyInt = makeType(BaseType::TinyInt);
SqlType varchar(int n) { return makeType(BaseType::VarChar, n); }

using Columns = std::vector<std::pair<std::string, SqlType>>;

// The facets of a type given by its xtype and lengths, as the columns
// CHARACTER_MAXIMUM_LENGTH ... DATETIME_PRECISION share them (COLUMNS,
// DOMAINS). `chars`/`bytes` are SQL expressions of the declared length in
// characters and bytes (-1 for max).
std::string characterMaximumLength(const std::string& x, const std::string& chars)
{
    return "CASE WHEN " + x + " IN (167,175,165,173,231,239) THEN " + chars + " WHEN " + x +
           " IN (35,34) THEN 2147483647 WHEN " + x + " = 99 THEN 1073741823 END";
}

std::string characterOctetLength(const std::string& x, const std::string& bytes)
{
    return "CASE WHEN " + x + " IN (167,175,165,173,231,239) THEN " + bytes + " WHEN " + x +
           " IN (35,34) THEN 2147483647 WHEN " + x + " = 99 THEN 2147483646 END";
}

std::string numericPrecision(const std::string& x, const std::string& prec)
{
    return "CASE " + x + " WHEN 48 THEN 3 WHEN 52 THEN 5 WHEN 56 THEN 10 WHEN 127 THEN 19 WHEN 106 THEN " + prec +
           " WHEN 108 THEN " + prec + " WHEN 60 THEN 19 WHEN 122 THEN 10 WHEN 62 THEN 53 WHEN 59 THEN 24 END";
}

std::string numericRadix(const std::string& x)
{
    return "CASE WHEN " + x + " IN (48,52,56,127,106,108,60,122) THEN 10 WHEN " + x + " IN (62,59) THEN 2 END";
}

std::string numericScale(const std::string& x, const std::string& scale)
{
    return "CASE WHEN " + x + " IN (48,52,56,127) THEN 0 WHEN " + x + " IN (106,108) THEN " + scale + " WHEN " + x +
           " IN (60,122) THEN 4 END";
}

std::string datetimePrecision(const std::string& x)
{
    return "CASE " + x + " WHEN 61 THEN 3 WHEN 58 THEN 0 END";
}

std::string characterSetName(const std::string& x)
{
    return "CASE WHEN " + x + " IN (167,175,35) THEN " + kCharSet + " WHEN " + x +
           " IN (231,239,99) THEN 'UNICODE' END";
}

std::string collationName(const std::string& x)
{
    return "CASE WHEN " + x + " IN (167,175,35,231,239,99) THEN " + kCollation + " END";
}

// A stored default as SQL Server shows it: ((0)), ('text'), (getdate()).
// The engine keeps defaults converted to the column's type
// ("vq_to_int(0,'int')", "vq_chk_len('x',5)"); the value written is the
// conversion's first argument. Other forms are not shown.
std::string columnDefault(const std::string& d)
{
    const std::string inner = "substr(" + d + ", instr(" + d + ", '(') + 1, instr(" + d + ", ',') - instr(" + d +
                              ", '(') - 1)";
    const std::string literal = "substr(rtrim(rtrim(" + d + ", '-0123456789)'), ','), 12)";
    return "CASE WHEN " + d + " IS NULL OR " + d + " LIKE 'identity(%' THEN NULL WHEN " + d +
           " IN ('vq_getdate()', 'vq_to_datetime(vq_getdate())') THEN '(getdate())' WHEN " + d +
           " GLOB '-[0-9]*' OR " + d + " GLOB '[0-9]*' THEN '((' || " + d + " || '))' WHEN " + d +
           " GLOB '''*''' THEN '(' || " + d + " || ')' WHEN " + d + " GLOB 'vq_chk_len(''*' THEN '(' || " + literal +
           " || ')' WHEN " + d + " GLOB 'vq_to_money(''[0-9-]*'',*' THEN '((' || trim(" + inner + ", '''') || '))' WHEN " +
           d + " GLOB 'vq_to_*(*,*' THEN CASE WHEN " + inner + " GLOB '[0-9]*' OR " + inner +
           " GLOB '-[0-9]*' THEN '((' || " + inner + " || '))' WHEN " + inner + " GLOB '(*)' OR " + inner +
           " GLOB '''*''' THEN '(' || " + inner + " || ')' END END";
}

// The key columns of a PK, UQ or F row k (its keycols "a,b") joined with
// syscolumns c, and the column's place in the list.
std::string keyColumnJoin(const std::string& p)
{
    return " JOIN " + p + "syscolumns AS c ON c.id = k.parent_obj AND instr(lower(',' || k.keycols || ','), "
           "lower(',' || c.name || ',')) > 0";
}

const char* kKeyOrdinal =
    "(length(substr(k.keycols, 1, instr(lower(',' || k.keycols || ','), lower(',' || c.name || ',')) - 1)) - "
    "length(replace(substr(k.keycols, 1, instr(lower(',' || k.keycols || ','), lower(',' || c.name || ',')) - 1), "
    "',', '')) + 1)";

std::string referentialRule(const std::string& code)
{
    return "CASE " + code + " WHEN 1 THEN 'CASCADE' WHEN 2 THEN 'SET NULL' WHEN 3 THEN 'SET DEFAULT' ELSE "
           "'NO ACTION' END";
}

InformationSchemaView tables(const std::string& p, const std::string& d)
{
    return {"TABLES",
            {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}, {"TABLE_TYPE", varchar(10)}},
            "SELECT " + d + " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, o.name AS TABLE_NAME, "
            "CASE o.xtype WHEN 'V' THEN 'VIEW' ELSE 'BASE TABLE' END AS TABLE_TYPE FROM " + p +
                "sysobjects AS o WHERE o.xtype IN ('U','V')"};
}

InformationSchemaView views(const std::string& p, const std::string& d)
{
    return {"VIEWS",
            {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName},
             {"VIEW_DEFINITION", makeType(BaseType::NVarChar, 4000)}, {"CHECK_OPTION", varchar(7)},
             {"IS_UPDATABLE", varchar(2)}},
            "SELECT " + d + " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, o.name AS TABLE_NAME, "
            "substr(o.definition, 1, 4000) AS VIEW_DEFINITION, 'NONE' AS CHECK_OPTION, 'NO' AS IS_UPDATABLE FROM " +
                p + "sysobjects AS o WHERE o.xtype = 'V'"};
}

// The procedures of the database: their names and texts (the first 4000
// characters, as SQL Server gives them).
InformationSchemaView routines(const std::string& p, const std::string& d)
{
    return {"ROUTINES",
            {{"SPECIFIC_CATALOG", kName}, {"SPECIFIC_SCHEMA", kName}, {"SPECIFIC_NAME", kName},
             {"ROUTINE_CATALOG", kName}, {"ROUTINE_SCHEMA", kName}, {"ROUTINE_NAME", kName},
             {"ROUTINE_TYPE", makeType(BaseType::NVarChar, 20)}, {"ROUTINE_BODY", makeType(BaseType::NVarChar, 30)},
             {"ROUTINE_DEFINITION", makeType(BaseType::NVarChar, 4000)}, {"CREATED", makeType(BaseType::DateTime, 8)},
             {"LAST_ALTERED", makeType(BaseType::DateTime, 8)}},
            "SELECT " + d + " AS SPECIFIC_CATALOG, 'dbo' AS SPECIFIC_SCHEMA, o.name AS SPECIFIC_NAME, " + d +
                " AS ROUTINE_CATALOG, 'dbo' AS ROUTINE_SCHEMA, o.name AS ROUTINE_NAME, 'PROCEDURE' AS ROUTINE_TYPE, "
                "'SQL' AS ROUTINE_BODY, substr(o.definition, 1, 4000) AS ROUTINE_DEFINITION, o.crdate AS CREATED, "
                "o.crdate AS LAST_ALTERED FROM " +
                p + "sysobjects AS o WHERE o.xtype = 'P'"};
}

InformationSchemaView columns(const std::string& p, const std::string& d)
{
    const std::string x = "c.xtype";
    const std::string chars = "CASE WHEN c.length = -1 THEN -1 WHEN c.xtype IN (231,239) THEN c.length / 2 ELSE "
                              "c.length END";
    return {"COLUMNS",
            {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}, {"COLUMN_NAME", kName},
             {"ORDINAL_POSITION", kInt}, {"COLUMN_DEFAULT", makeType(BaseType::NVarChar, 4000)},
             {"IS_NULLABLE", varchar(3)}, {"DATA_TYPE", kName}, {"CHARACTER_MAXIMUM_LENGTH", kInt},
             {"CHARACTER_OCTET_LENGTH", kInt}, {"NUMERIC_PRECISION", kTinyInt},
             {"NUMERIC_PRECISION_RADIX", kSmallInt}, {"NUMERIC_SCALE", kInt}, {"DATETIME_PRECISION", kSmallInt},
             {"CHARACTER_SET_CATALOG", kName}, {"CHARACTER_SET_SCHEMA", kName}, {"CHARACTER_SET_NAME", kName},
             {"COLLATION_CATALOG", kName}, {"COLLATION_SCHEMA", kName}, {"COLLATION_NAME", kName},
             {"DOMAIN_CATALOG", kName}, {"DOMAIN_SCHEMA", kName}, {"DOMAIN_NAME", kName}},
            "SELECT " + d + " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, o.name AS TABLE_NAME, c.name AS COLUMN_NAME, "
            "c.colid AS ORDINAL_POSITION, " + columnDefault("c.defaulttext") + " AS COLUMN_DEFAULT, "
            "CASE WHEN c.isnullable THEN 'YES' ELSE 'NO' END AS IS_NULLABLE, "
            "(SELECT t.name FROM " + p + "systypes AS t WHERE t.xusertype = c.xtype) AS DATA_TYPE, " +
                characterMaximumLength(x, chars) + " AS CHARACTER_MAXIMUM_LENGTH, " +
                characterOctetLength(x, "c.length") + " AS CHARACTER_OCTET_LENGTH, " + numericPrecision(x, "c.prec") +
                " AS NUMERIC_PRECISION, " + numericRadix(x) + " AS NUMERIC_PRECISION_RADIX, " +
                numericScale(x, "c.scale") + " AS NUMERIC_SCALE, " + datetimePrecision(x) +
                " AS DATETIME_PRECISION, NULL AS CHARACTER_SET_CATALOG, NULL AS CHARACTER_SET_SCHEMA, " +
                characterSetName(x) + " AS CHARACTER_SET_NAME, NULL AS COLLATION_CATALOG, NULL AS COLLATION_SCHEMA, " +
                collationName(x) + " AS COLLATION_NAME, CASE WHEN c.xusertype > 256 THEN " + d +
                " END AS DOMAIN_CATALOG, CASE WHEN c.xusertype > 256 THEN 'dbo' END AS DOMAIN_SCHEMA, "
                "CASE WHEN c.xusertype > 256 THEN c.typename END AS DOMAIN_NAME FROM " + p + "syscolumns AS c JOIN " +
                p + "sysobjects AS o ON o.id = c.id WHERE o.xtype IN ('U','V')"};
}

InformationSchemaView schemata(const std::string& d)
{
    static const char* const kSchemas[] = {
        "dbo", "guest", "INFORMATION_SCHEMA", "sys", "db_owner", "db_accessadmin", "db_securityadmin",
        "db_ddladmin", "db_backupoperator", "db_datareader", "db_datawriter", "db_denydatareader",
        "db_denydatawriter",
    };
    std::string sql;
    for (const char* s : kSchemas)
        sql += std::string(sql.empty() ? "" : " UNION ALL ") + "SELECT " + d + " AS CATALOG_NAME, " + quoteString(s) +
               " AS SCHEMA_NAME, " + quoteString(s) + " AS SCHEMA_OWNER, NULL AS DEFAULT_CHARACTER_SET_CATALOG, "
               "NULL AS DEFAULT_CHARACTER_SET_SCHEMA, " + kCharSet + " AS DEFAULT_CHARACTER_SET_NAME";
    return {"SCHEMATA",
            {{"CATALOG_NAME", kName}, {"SCHEMA_NAME", kName}, {"SCHEMA_OWNER", kName},
             {"DEFAULT_CHARACTER_SET_CATALOG", kName}, {"DEFAULT_CHARACTER_SET_SCHEMA", kName},
             {"DEFAULT_CHARACTER_SET_NAME", kName}},
            sql};
}

InformationSchemaView tableConstraints(const std::string& p, const std::string& d)
{
    return {"TABLE_CONSTRAINTS",
            {{"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName},
             {"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName},
             {"CONSTRAINT_TYPE", varchar(11)}, {"IS_DEFERRABLE", varchar(2)}, {"INITIALLY_DEFERRED", varchar(2)}},
            "SELECT " + d + " AS CONSTRAINT_CATALOG, 'dbo' AS CONSTRAINT_SCHEMA, k.name AS CONSTRAINT_NAME, " + d +
                " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, t.name AS TABLE_NAME, CASE k.xtype WHEN 'PK' THEN "
                "'PRIMARY KEY' WHEN 'UQ' THEN 'UNIQUE' ELSE 'FOREIGN KEY' END AS CONSTRAINT_TYPE, "
                "'NO' AS IS_DEFERRABLE, 'NO' AS INITIALLY_DEFERRED FROM " + p + "sysobjects AS k JOIN " + p +
                "sysobjects AS t ON t.id = k.parent_obj WHERE k.xtype IN ('PK','UQ','F')"};
}

InformationSchemaView keyColumnUsage(const std::string& p, const std::string& d)
{
    return {"KEY_COLUMN_USAGE",
            {{"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName},
             {"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}, {"COLUMN_NAME", kName},
             {"ORDINAL_POSITION", kInt}},
            "SELECT " + d + " AS CONSTRAINT_CATALOG, 'dbo' AS CONSTRAINT_SCHEMA, k.name AS CONSTRAINT_NAME, " + d +
                " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, t.name AS TABLE_NAME, c.name AS COLUMN_NAME, " +
                kKeyOrdinal + " AS ORDINAL_POSITION FROM " + p + "sysobjects AS k JOIN " + p +
                "sysobjects AS t ON t.id = k.parent_obj" + keyColumnJoin(p) + " WHERE k.xtype IN ('PK','UQ','F')"};
}

InformationSchemaView constraintColumnUsage(const std::string& p, const std::string& d)
{
    return {"CONSTRAINT_COLUMN_USAGE",
            {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}, {"COLUMN_NAME", kName},
             {"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName}},
            "SELECT " + d + " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, t.name AS TABLE_NAME, c.name AS COLUMN_NAME, " +
                d + " AS CONSTRAINT_CATALOG, 'dbo' AS CONSTRAINT_SCHEMA, k.name AS CONSTRAINT_NAME FROM " + p +
                "sysobjects AS k JOIN " + p + "sysobjects AS t ON t.id = k.parent_obj" + keyColumnJoin(p) +
                " WHERE k.xtype IN ('PK','UQ','F')"};
}

InformationSchemaView referentialConstraints(const std::string& p, const std::string& d, bool hasForeignKeyTable)
{
    // The referenced key: the primary key or unique constraint of the
    // referenced table whose columns are the foreign key's referenced columns.
    const std::string fk = hasForeignKeyTable ? p + "sysforeignkeys"
                                              : "(SELECT 0 AS constid, 0 AS fkeyid, 0 AS rkeyid, 0 AS fkey, "
                                                "0 AS rkey, 0 AS keyno WHERE 0)";
    const std::string uniqueName =
        "(SELECT u.name FROM " + p + "sysobjects AS u WHERE u.xtype IN ('PK','UQ') AND u.parent_obj = "
        "(SELECT f.rkeyid FROM " + fk + " AS f WHERE f.constid = k.id LIMIT 1) AND "
        "length(u.keycols) - length(replace(u.keycols, ',', '')) + 1 = (SELECT count(*) FROM " + fk +
        " AS f WHERE f.constid = k.id) AND NOT EXISTS (SELECT 1 FROM " + fk + " AS f JOIN " + p +
        "syscolumns AS rc ON rc.id = f.rkeyid AND rc.colid = f.rkey WHERE f.constid = k.id AND "
        "instr(lower(',' || u.keycols || ','), lower(',' || rc.name || ',')) = 0) ORDER BY u.xtype LIMIT 1)";
    return {"REFERENTIAL_CONSTRAINTS",
            {{"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName},
             {"UNIQUE_CONSTRAINT_CATALOG", kName}, {"UNIQUE_CONSTRAINT_SCHEMA", kName},
             {"UNIQUE_CONSTRAINT_NAME", kName}, {"MATCH_OPTION", varchar(7)}, {"UPDATE_RULE", varchar(11)},
             {"DELETE_RULE", varchar(11)}},
            "SELECT " + d + " AS CONSTRAINT_CATALOG, 'dbo' AS CONSTRAINT_SCHEMA, k.name AS CONSTRAINT_NAME, " + d +
                " AS UNIQUE_CONSTRAINT_CATALOG, 'dbo' AS UNIQUE_CONSTRAINT_SCHEMA, " + uniqueName +
                " AS UNIQUE_CONSTRAINT_NAME, 'SIMPLE' AS MATCH_OPTION, " + referentialRule("(k.status / 4) % 4") +
                " AS UPDATE_RULE, " + referentialRule("k.status % 4") + " AS DELETE_RULE FROM " + p +
                "sysobjects AS k WHERE k.xtype = 'F'"};
}

InformationSchemaView viewTableUsage(const std::string& p, const std::string& d, bool hasDependsTable)
{
    const std::string depends =
        hasDependsTable ? p + "sysdepends" : "(SELECT 0 AS id, 0 AS depid WHERE 0)";
    return {"VIEW_TABLE_USAGE",
            {{"VIEW_CATALOG", kName}, {"VIEW_SCHEMA", kName}, {"VIEW_NAME", kName}, {"TABLE_CATALOG", kName},
             {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}},
            "SELECT DISTINCT " + d + " AS VIEW_CATALOG, 'dbo' AS VIEW_SCHEMA, v.name AS VIEW_NAME, " + d +
                " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, t.name AS TABLE_NAME FROM " + depends + " AS dep JOIN " +
                p + "sysobjects AS v ON v.id = dep.id AND v.xtype = 'V' JOIN " + p +
                "sysobjects AS t ON t.id = dep.depid AND t.xtype IN ('U','V')"};
}

InformationSchemaView routines()
{
    // The engine keeps no procedures or functions: the view is empty.
    Columns cols = {{"SPECIFIC_CATALOG", kName}, {"SPECIFIC_SCHEMA", kName}, {"SPECIFIC_NAME", kName},
                    {"ROUTINE_CATALOG", kName}, {"ROUTINE_SCHEMA", kName}, {"ROUTINE_NAME", kName},
                    {"ROUTINE_TYPE", makeType(BaseType::NVarChar, 20)}, {"DATA_TYPE", kName},
                    {"ROUTINE_BODY", varchar(30)}, {"ROUTINE_DEFINITION", makeType(BaseType::NVarChar, 4000)},
                    {"IS_DETERMINISTIC", varchar(10)}, {"SQL_DATA_ACCESS", makeType(BaseType::NVarChar, 30)},
                    {"CREATED", makeType(BaseType::DateTime)}, {"LAST_ALTERED", makeType(BaseType::DateTime)}};
    std::string sql;
    for (const auto& [name, t] : cols)
        sql += std::string(sql.empty() ? "SELECT " : ", ") + "NULL AS " + name;
    return {"ROUTINES", cols, sql + " WHERE 0"};
}

InformationSchemaView domains(const std::string& p, const std::string& d)
{
    // systypes keeps a user type's length in characters.
    const std::string x = "t.xtype";
    const std::string bytes = "CASE WHEN t.length = -1 THEN -1 WHEN t.xtype IN (231,239) THEN t.length * 2 ELSE "
                              "t.length END";
    return {"DOMAINS",
            {{"DOMAIN_CATALOG", kName}, {"DOMAIN_SCHEMA", kName}, {"DOMAIN_NAME", kName}, {"DATA_TYPE", kName},
             {"CHARACTER_MAXIMUM_LENGTH", kInt}, {"CHARACTER_OCTET_LENGTH", kInt}, {"COLLATION_CATALOG", kName},
             {"COLLATION_SCHEMA", kName}, {"COLLATION_NAME", kName}, {"CHARACTER_SET_CATALOG", kName},
             {"CHARACTER_SET_SCHEMA", kName}, {"CHARACTER_SET_NAME", kName}, {"NUMERIC_PRECISION", kTinyInt},
             {"NUMERIC_PRECISION_RADIX", kSmallInt}, {"NUMERIC_SCALE", kInt}, {"DATETIME_PRECISION", kSmallInt},
             {"DOMAIN_DEFAULT", makeType(BaseType::NVarChar, 4000)}},
            "SELECT " + d + " AS DOMAIN_CATALOG, 'dbo' AS DOMAIN_SCHEMA, t.name AS DOMAIN_NAME, "
            "(SELECT b.name FROM " + p + "systypes AS b WHERE b.xusertype = t.xtype) AS DATA_TYPE, " +
                characterMaximumLength(x, "t.length") + " AS CHARACTER_MAXIMUM_LENGTH, " +
                characterOctetLength(x, bytes) + " AS CHARACTER_OCTET_LENGTH, NULL AS COLLATION_CATALOG, "
                "NULL AS COLLATION_SCHEMA, " + collationName(x) + " AS COLLATION_NAME, NULL AS CHARACTER_SET_CATALOG, "
                "NULL AS CHARACTER_SET_SCHEMA, " + characterSetName(x) + " AS CHARACTER_SET_NAME, " +
                numericPrecision(x, "t.prec") + " AS NUMERIC_PRECISION, " + numericRadix(x) +
                " AS NUMERIC_PRECISION_RADIX, " + numericScale(x, "t.scale") + " AS NUMERIC_SCALE, " +
                datetimePrecision(x) + " AS DATETIME_PRECISION, NULL AS DOMAIN_DEFAULT FROM " + p +
                "systypes AS t WHERE t.xusertype > 256"};
}

}  // namespace

std::optional<InformationSchemaView> informationSchemaView(const std::string& name, const std::string& schemaPrefix,
                                                           const std::string& database,
                                                           const LaterSystemTables& present)
{
    const std::string n = lowerAscii(name);
    const std::string& p = schemaPrefix;
    const std::string d = quoteString(database);
    if (n == "tables") return tables(p, d);
    if (n == "views") return views(p, d);
    if (n == "routines") return routines(p, d);
    if (n == "columns") return columns(p, d);
    if (n == "schemata") return schemata(d);
    if (n == "table_constraints") return tableConstraints(p, d);
    if (n == "key_column_usage") return keyColumnUsage(p, d);
    if (n == "constraint_column_usage") return constraintColumnUsage(p, d);
    if (n == "referential_constraints") return referentialConstraints(p, d, present.foreignKeys);
    if (n == "view_table_usage") return viewTableUsage(p, d, present.depends);
    if (n == "routines") return routines();
    if (n == "domains") return domains(p, d);
    return std::nullopt;
}

namespace {

void collectExprTables(const ast::Expr& e, std::vector<std::string>& out);

void collectQueryTables(const ast::Query& q, std::vector<std::string>& out);

void collectRefTables(const ast::TableRef& r, std::vector<std::string>& out)
{
    switch (r.kind) {
    case ast::TableRef::Kind::Named: {
        bool seen = false;
        for (const std::string& n : out)
            seen = seen || equalsIgnoreCase(n, r.name.last());
        if (!seen)
            out.push_back(r.name.last());
        break;
    }
    case ast::TableRef::Kind::Derived: collectQueryTables(*r.query, out); break;
    case ast::TableRef::Kind::Join:
        collectRefTables(*r.left, out);
        collectRefTables(*r.right, out);
        if (r.on)
            collectExprTables(*r.on, out);
        break;
    }
}

void collectExprTables(const ast::Expr& e, std::vector<std::string>& out)
{
    for (const auto& a : e.args)
        if (a)
            collectExprTables(*a, out);
    for (const auto& [w, t] : e.whens) {
        if (w)
            collectExprTables(*w, out);
        if (t)
            collectExprTables(*t, out);
    }
    if (e.elseExpr)
        collectExprTables(*e.elseExpr, out);
    if (e.query)
        collectQueryTables(*e.query, out);
}

void collectQueryTables(const ast::Query& q, std::vector<std::string>& out)
{
    for (const auto& b : q.blocks) {
        for (const auto& f : b->from)
            collectRefTables(*f, out);
        for (const ast::SelectItem& item : b->items)
            if (item.expr)
                collectExprTables(*item.expr, out);
        if (b->where)
            collectExprTables(*b->where, out);
        if (b->having)
            collectExprTables(*b->having, out);
    }
}

}  // namespace

std::vector<std::string> tablesReadBy(const ast::Query& q)
{
    std::vector<std::string> out;
    collectQueryTables(q, out);
    return out;
}

void recordViewDependencies(sqlite3* db, const std::string& alias, int viewId, const std::vector<std::string>& names)
{
    ensureDependsTable(db, alias);
    const std::string s = quoteIdent(alias);
    Stmt insert(db, "INSERT INTO " + s + ".sysdepends(id, depid, number, depnumber, readobj) SELECT ?1, id, 0, 0, 1 "
                    "FROM " + s + ".sysobjects WHERE name = ?2 COLLATE vq_ci AND xtype IN ('U','V','S') LIMIT 1");
    for (const std::string& name : names) {
        insert.reset();
        insert.bind(1, static_cast<std::int64_t>(viewId)).bind(2, name);
        insert.step();
    }
}

void forgetDependencies(sqlite3* db, const std::string& alias, int objectId)
{
    const std::string s = quoteIdent(alias);
    Stmt q(db, "SELECT 1 FROM " + s + ".sqlite_master WHERE type = 'table' AND name = 'sysdepends'");
    if (!q.step())
        return;
    q.reset();
    execSql(db, "DELETE FROM " + s + ".sysdepends WHERE id = " + std::to_string(objectId) +
                    " OR depid = " + std::to_string(objectId));
}

}  // namespace vqsql
