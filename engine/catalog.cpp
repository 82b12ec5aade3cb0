// The engine's system tables and reading them back.
#include "catalog.h"

#include "sqlite_util.h"

#include <atomic>

namespace vqsql {

int TableInfo::columnIndex(const std::string& name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalsIgnoreCase(columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

namespace {

std::atomic<unsigned long long> g_schemaGeneration{1};

struct SysColumn {
    const char* name;
    const char* type;      // SQL Server type
    int xtype;
    int length;
};

// The system tables' columns as they appear in syscolumns.
const SysColumn kSysObjects[] = {
    {"name", "sysname", 231, 128}, {"id", "int", 56, 4}, {"xtype", "char", 175, 2}, {"uid", "smallint", 52, 2},
    {"info", "smallint", 52, 2}, {"status", "int", 56, 4}, {"parent_obj", "int", 56, 4}, {"crdate", "datetime", 61, 8},
    {"type", "char", 175, 2}, {"keycols", "varchar", 167, 4000}, {"definition", "ntext", 99, 16},
};
const SysColumn kSysColumns[] = {
    {"name", "sysname", 231, 128}, {"id", "int", 56, 4}, {"xtype", "tinyint", 48, 1}, {"typestat", "tinyint", 48, 1},
    {"xusertype", "smallint", 52, 2}, {"length", "smallint", 52, 2}, {"colid", "smallint", 52, 2},
    {"prec", "smallint", 52, 2}, {"scale", "int", 56, 4}, {"isnullable", "int", 56, 4},
    {"typename", "sysname", 231, 128}, {"defaulttext", "nvarchar", 231, 4000}, {"isidentity", "int", 56, 4},
};
const SysColumn kSysTypes[] = {
    {"name", "sysname", 231, 128}, {"xtype", "tinyint", 48, 1}, {"xusertype", "smallint", 52, 2},
    {"length", "smallint", 52, 2}, {"prec", "smallint", 52, 2}, {"scale", "tinyint", 48, 1},
    {"allownulls", "bit", 104, 1}, {"basename", "sysname", 231, 128},
};
const SysColumn kSysDatabases[] = {
    {"name", "sysname", 231, 128}, {"dbid", "smallint", 52, 2}, {"sid", "varbinary", 165, 85},
    {"mode", "smallint", 52, 2}, {"status", "int", 56, 4}, {"crdate", "datetime", 61, 8},
    {"filename", "nvarchar", 231, 260}, {"logfilename", "nvarchar", 231, 260}, {"datalogical", "sysname", 231, 128},
    {"loglogical", "sysname", 231, 128}, {"cmptlevel", "tinyint", 48, 1},
};
const SysColumn kSysForeignKeys[] = {
    {"constid", "int", 56, 4}, {"fkeyid", "int", 56, 4}, {"rkeyid", "int", 56, 4},
    {"fkey", "smallint", 52, 2}, {"rkey", "smallint", 52, 2}, {"keyno", "smallint", 52, 2},
};
const SysColumn kSysDepends[] = {
    {"id", "int", 56, 4}, {"depid", "int", 56, 4}, {"number", "smallint", 52, 2},
    {"depnumber", "smallint", 52, 2}, {"readobj", "bit", 104, 1},
};
const SysColumn kSysLogins[] = {
    {"name", "sysname", 231, 128}, {"password", "nvarchar", 231, 128},
};

void registerSystemTable(sqlite3* db, const std::string& alias, int id, const char* table, const SysColumn* cols,
                         std::size_t count)
{
    const std::string schema = quoteIdent(alias);
    execSql(db, "INSERT INTO " + schema + ".sysobjects(id,name,xtype,type,uid,parent_obj,crdate,info,status) VALUES(" +
                    std::to_string(id) + "," + quoteString(table) + ",'S','S',1,0,'2000-01-01 00:00:00.000',0,0)");
    for (std::size_t i = 0; i < count; ++i) {
        SqlType t;
        t.base = baseTypeFromName(cols[i].type);
        execSql(db, "INSERT INTO " + schema +
                        ".syscolumns(id,colid,name,xtype,xusertype,typename,length,prec,scale,isnullable,isidentity) "
                        "VALUES(" + std::to_string(id) + "," + std::to_string(i + 1) + "," + quoteString(cols[i].name) +
                        "," + std::to_string(cols[i].xtype) + "," + std::to_string(cols[i].xtype) + "," +
                        quoteString(cols[i].type) + "," + std::to_string(cols[i].length) + ",0,0,1,0)");
    }
}

}  // namespace

unsigned long long schemaGeneration()
{
    return g_schemaGeneration.load();
}

void bumpSchemaGeneration()
{
    ++g_schemaGeneration;
}

BaseType baseTypeFromXtype(int xtype)
{
    static const std::pair<int, BaseType> kMap[] = {
        {104, BaseType::Bit},       {48, BaseType::TinyInt},        {52, BaseType::SmallInt},
        {56, BaseType::Int},        {127, BaseType::BigInt},        {108, BaseType::Numeric},
        {106, BaseType::Numeric},   {60, BaseType::Money},          {122, BaseType::SmallMoney},
        {62, BaseType::Float},      {59, BaseType::Real},           {175, BaseType::Char},
        {167, BaseType::VarChar},   {239, BaseType::NChar},         {231, BaseType::NVarChar},
        {35, BaseType::Text},       {99, BaseType::NText},          {61, BaseType::DateTime},
        {58, BaseType::SmallDateTime}, {173, BaseType::Binary},     {165, BaseType::VarBinary},
        {34, BaseType::Image},      {36, BaseType::UniqueIdentifier},
    };
    for (const auto& [x, b] : kMap)
        if (x == xtype)
            return b;
    return BaseType::Unknown;
}

std::string sqliteDeclaredType(const SqlType& type)
{
    // The declared type decides SQLite's column affinity: texts get TEXT,
    // integer types INTEGER, numeric/money/datetime NUMERIC, float REAL.
    switch (type.base) {
    case BaseType::Bit: return "bit";
    case BaseType::TinyInt: return "tinyint";
    case BaseType::SmallInt: return "smallint";
    case BaseType::Int: return "int";
    case BaseType::BigInt: return "bigint";
    case BaseType::Float: return "float";
    case BaseType::Real: return "real";
    case BaseType::Image: case BaseType::Binary: case BaseType::VarBinary: return "blob";
    default: return type.length < 0 ? type.baseName() : type.toString();   // varchar(max): no "(max)" for SQLite
    }
}

void createSystemTables(sqlite3* db, const std::string& alias, bool isMaster)
{
    const std::string s = quoteIdent(alias);
    execSql(db,
            "CREATE TABLE " + s + ".sysobjects(id INTEGER PRIMARY KEY, name TEXT COLLATE vq_ci NOT NULL, "
            "xtype TEXT COLLATE vq_ci NOT NULL, uid INTEGER NOT NULL DEFAULT 1, info INTEGER DEFAULT 0, "
            "status INTEGER DEFAULT 0, parent_obj INTEGER NOT NULL DEFAULT 0, crdate TEXT, "
            "type TEXT COLLATE vq_ci NOT NULL, keycols TEXT, definition TEXT);"
            "CREATE INDEX " + s + ".sysobjects_name ON sysobjects(name);"
            "CREATE TABLE " + s + ".syscolumns(name TEXT COLLATE vq_ci NOT NULL, id INTEGER NOT NULL, "
            "xtype INTEGER, typestat INTEGER DEFAULT 0, xusertype INTEGER, length INTEGER, colid INTEGER NOT NULL, "
            "prec INTEGER, scale INTEGER, isnullable INTEGER, typename TEXT COLLATE vq_ci, defaulttext TEXT, "
            "isidentity INTEGER DEFAULT 0, PRIMARY KEY(id, colid));"
            "CREATE TABLE " + s + ".systypes(name TEXT COLLATE vq_ci PRIMARY KEY, xtype INTEGER, "
            "xusertype INTEGER, length INTEGER, prec INTEGER, scale INTEGER, allownulls INTEGER, "
            "basename TEXT COLLATE vq_ci);");
    // The system types, as SQL Server lists them in systypes.
    static const struct {
        const char* name;
        int xtype, length, prec, scale;
    } kSystemTypes[] = {
        {"image", 34, 16, 0, 0},      {"text", 35, 16, 0, 0},        {"uniqueidentifier", 36, 16, 0, 0},
        {"tinyint", 48, 1, 3, 0},     {"smallint", 52, 2, 5, 0},     {"int", 56, 4, 10, 0},
        {"smalldatetime", 58, 4, 16, 0}, {"real", 59, 4, 24, 0},     {"money", 60, 8, 19, 4},
        {"datetime", 61, 8, 23, 3},   {"float", 62, 8, 53, 0},       {"ntext", 99, 16, 0, 0},
        {"bit", 104, 1, 1, 0},        {"decimal", 106, 17, 38, 38},  {"numeric", 108, 17, 38, 38},
        {"smallmoney", 122, 4, 10, 4}, {"bigint", 127, 8, 19, 0},    {"varbinary", 165, 8000, 8000, 0},
        {"varchar", 167, 8000, 8000, 0}, {"binary", 173, 8000, 8000, 0}, {"char", 175, 8000, 8000, 0},
        {"nvarchar", 231, 8000, 4000, 0}, {"nchar", 239, 8000, 4000, 0},
    };
    for (const auto& t : kSystemTypes)
        execSql(db, "INSERT INTO " + s + ".systypes(name, xtype, xusertype, length, prec, scale, allownulls, basename) "
                    "VALUES(" + quoteString(t.name) + "," + std::to_string(t.xtype) + "," + std::to_string(t.xtype) +
                    "," + std::to_string(t.length) + "," + std::to_string(t.prec) + "," + std::to_string(t.scale) +
                    ",1," + quoteString(t.name) + ")");
    registerSystemTable(db, alias, 1, "sysobjects", kSysObjects, std::size(kSysObjects));
    registerSystemTable(db, alias, 3, "syscolumns", kSysColumns, std::size(kSysColumns));
    registerSystemTable(db, alias, 4, "systypes", kSysTypes, std::size(kSysTypes));
    ensureForeignKeyTable(db, alias);
    ensureDependsTable(db, alias);
    if (isMaster) {
        execSql(db, "CREATE TABLE " + s + ".sysdatabases(name TEXT COLLATE vq_ci PRIMARY KEY, dbid INTEGER NOT NULL, "
                    "sid BLOB, mode INTEGER DEFAULT 0, status INTEGER DEFAULT 0, crdate TEXT, filename TEXT, "
                    "logfilename TEXT, datalogical TEXT COLLATE vq_ci, loglogical TEXT COLLATE vq_ci, "
                    "cmptlevel INTEGER DEFAULT 100);"
                    "CREATE TABLE " + s + ".syslogins(name TEXT COLLATE vq_ci PRIMARY KEY, password TEXT);");
        registerSystemTable(db, alias, 30, "sysdatabases", kSysDatabases, std::size(kSysDatabases));
        registerSystemTable(db, alias, 31, "syslogins", kSysLogins, std::size(kSysLogins));
    }
}

void ensureForeignKeyTable(sqlite3* db, const std::string& alias)
{
    const std::string s = quoteIdent(alias);
    Stmt q(db, "SELECT 1 FROM " + s + ".sqlite_master WHERE type = 'table' AND name = 'sysforeignkeys'");
    if (q.step())
        return;
    q.reset();
    execSql(db, "CREATE TABLE " + s + ".sysforeignkeys(constid INTEGER NOT NULL, fkeyid INTEGER NOT NULL, "
                "rkeyid INTEGER NOT NULL, fkey INTEGER, rkey INTEGER, keyno INTEGER NOT NULL, "
                "PRIMARY KEY(constid, keyno))");
    registerSystemTable(db, alias, 5, "sysforeignkeys", kSysForeignKeys, std::size(kSysForeignKeys));
}

void ensureDependsTable(sqlite3* db, const std::string& alias)
{
    const std::string s = quoteIdent(alias);
    Stmt q(db, "SELECT 1 FROM " + s + ".sqlite_master WHERE type = 'table' AND name = 'sysdepends'");
    if (q.step())
        return;
    q.reset();
    execSql(db, "CREATE TABLE " + s + ".sysdepends(id INTEGER NOT NULL, depid INTEGER NOT NULL, "
                "number INTEGER DEFAULT 0, depnumber INTEGER DEFAULT 0, readobj INTEGER DEFAULT 1)");
    registerSystemTable(db, alias, 6, "sysdepends", kSysDepends, std::size(kSysDepends));
}

std::optional<TableInfo> loadTableInfo(sqlite3* db, const std::string& alias, const std::string& name)
{
    const std::string s = quoteIdent(alias);
    Stmt obj(db, "SELECT id, name, xtype, definition FROM " + s +
                     ".sysobjects WHERE name = ?1 COLLATE vq_ci AND xtype IN ('U','V','S') LIMIT 1");
    obj.bind(1, name);
    if (!obj.step())
        return std::nullopt;
    TableInfo info;
    info.id = static_cast<int>(obj.columnInt(0));
    info.name = obj.columnText(1);
    info.xtype = obj.columnText(2);
    info.definition = obj.columnText(3);
    info.schemaAlias = alias;

    Stmt cols(db, "SELECT name, xtype, typename, length, prec, scale, isnullable, defaulttext, isidentity, colid FROM " +
                      s + ".syscolumns WHERE id = ?1 ORDER BY colid");
    cols.bind(1, static_cast<std::int64_t>(info.id));
    while (cols.step()) {
        ColumnInfo c;
        c.name = cols.columnText(0);
        c.type.base = baseTypeFromXtype(static_cast<int>(cols.columnInt(1)));
        std::string typeName = cols.columnText(2);
        if (baseTypeFromName(typeName) == BaseType::Unknown)
            c.type.userTypeName = typeName;
        // syscolumns.length counts bytes: two per character of nchar/nvarchar.
        int length = static_cast<int>(cols.columnInt(3));
        if (typeName == "sysname")
            c.type.length = 128;
        else if ((c.type.base == BaseType::NVarChar || c.type.base == BaseType::NChar) && length > 0)
            c.type.length = length / 2;
        else
            c.type.length = length;
        c.type.precision = static_cast<int>(cols.columnInt(4));
        c.type.scale = static_cast<int>(cols.columnInt(5));
        c.nullable = cols.columnInt(6) != 0;
        c.defaultText = cols.columnText(7);
        c.identity = cols.columnInt(8) != 0;
        c.colid = static_cast<int>(cols.columnInt(9));
        info.columns.push_back(std::move(c));
    }

    Stmt pk(db, "SELECT name, keycols FROM " + s + ".sysobjects WHERE parent_obj = ?1 AND xtype = 'PK' LIMIT 1");
    pk.bind(1, static_cast<std::int64_t>(info.id));
    if (pk.step()) {
        info.primaryKeyName = pk.columnText(0);
        std::string keys = pk.columnText(1);
        std::size_t start = 0;
        while (start <= keys.size() && !keys.empty()) {
            std::size_t comma = keys.find(',', start);
            info.primaryKey.push_back(keys.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return info;
}

std::optional<UserType> loadUserType(sqlite3* db, const std::string& alias, const std::string& name)
{
    Stmt q(db, "SELECT name, xtype, length, prec, scale, allownulls, xusertype FROM " + quoteIdent(alias) +
                   ".systypes WHERE name = ?1 COLLATE vq_ci AND xusertype > 256");
    q.bind(1, name);
    if (!q.step())
        return std::nullopt;
    UserType t;
    t.name = q.columnText(0);
    t.type.base = baseTypeFromXtype(static_cast<int>(q.columnInt(1)));
    t.type.length = static_cast<int>(q.columnInt(2));
    t.type.precision = static_cast<int>(q.columnInt(3));
    t.type.scale = static_cast<int>(q.columnInt(4));
    t.type.userTypeName = t.name;
    t.allowNulls = q.columnInt(5) != 0;
    t.xusertype = static_cast<int>(q.columnInt(6));
    return t;
}

int nextObjectId(sqlite3* db, const std::string& alias)
{
    Stmt q(db, "SELECT max(id) FROM " + quoteIdent(alias) + ".sysobjects");
    q.step();
    std::int64_t maxId = q.columnInt(0);
    return static_cast<int>(maxId < 100 ? 100 : maxId + 1);
}

}  // namespace vqsql
