// The data module TLinkData (see linkdm.h).
#include "linkdm.h"

#include "mwdbfun.h"
#include "mwcwfun.h"
#include "mwstdfun.h"

#include <QDir>

TLinkData* LinkData = nullptr;

namespace {

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// A connection-string value: plain, or between double quotes when it
// holds something that would end or confuse it.
QString connectionValue(const QString& value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"')) &&
                       !value.contains(QLatin1Char('\'')) && value.trimmed() == value;
    if (plain)
        return value;
    QString doubled = value;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

// An integer as a field reads it: 0 when it is none.
int asInteger(const vqsql::Value& v)
{
    switch (v.kind) {
    case vqsql::ValueKind::Integer: return static_cast<int>(v.integer);
    case vqsql::ValueKind::Number: return static_cast<int>(v.number);
    case vqsql::ValueKind::Text: {
        bool ok = false;
        const int n = QString::fromStdString(v.text).trimmed().toInt(&ok);
        return ok ? n : 0;
    }
    default: return 0;
    }
}

// Closes the connection and opens it again on the connection string; on
// failure it stays closed and, when asked, the operator sees `failure`.
bool reopen(vqsql::Connection& connection, const QString& connectionString, bool showError, const QString& failure)
{
    connection.close();
    try {
        connection.open(utf8(connectionString));
    } catch (const std::exception&) {
        connection.close();
        if (showError)
            ShowError(failure, QStringLiteral("错误"));
        return false;
    }
    return true;
}

// A connection string for a trusted login as sa.
QString trustedConnectionString(const QString& server, const QString& database)
{
    return QLatin1String("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=sa;"
                         "Initial Catalog=") +
           connectionValue(database) + QLatin1String(";Data Source=") + connectionValue(server);
}

}  // namespace

TLinkData::TLinkData() : qryRestore(loadScript(QStringLiteral("qryRestore.sql"))), qrySQL(loadScript(QStringLiteral("qrySQL.sql")))
{
}
TLinkData::~TLinkData() = default;

QString TLinkData::BuildConnectionString(const QString& server, const QString& database, const QString& password)
{
    return QLatin1String("Provider=SQLOLEDB.1;Password=") + connectionValue(password) +
           QLatin1String(";Persist Security Info=True;User ID=sa;Initial Catalog=") + connectionValue(database) +
           QLatin1String(";Data Source=") + connectionValue(server) +
           QLatin1String(";Use Procedure for Prepare=1;Auto Translate=True;") +
           QLatin1String("Packet Size=4096;Use Encryption for Data=False;") +
           QLatin1String("Tag with column collation when possible=False");
}

bool TLinkData::ConnectCatalogue(const QString& server, const QString& database, const QString& password,
                                 bool showError)
{
    if (!reopen(AccListDB, BuildConnectionString(server, database, password), showError,
                QStringLiteral("联接指定机器的数据库错误，请检查机器名或sa口令是否正确。")))
        return false;
    server_ = server;
    password_ = password;
    trusted_ = false;
    return true;
}

bool TLinkData::ConnectCatalogueTrusted(const QString& server, const QString& database, bool showError)
{
    if (!reopen(AccListDB, trustedConnectionString(server, database), showError,
                QStringLiteral("联接指定机器的数据库错误，请检查机器名或sa口令是否正确。")))
        return false;
    server_ = server;
    password_.clear();
    trusted_ = true;
    return true;
}

bool TLinkData::ConnectAccountSet(const QString& database, bool showError)
{
    const QString connectionString =
        trusted_ ? trustedConnectionString(server_, database) : BuildConnectionString(server_, database, password_);
    return reopen(UserDB, connectionString, showError, QStringLiteral("联接数据库错误。"));
}

bool TLinkData::ExecuteSql(vqsql::Connection& connection, const QString& sql, int timeout)
{
    try {
        connection.setCommandTimeout(timeout);
        return connection.run(utf8(StripSqlComments(sql))).ok();
    } catch (const std::exception&) {
        return false;   // a closed connection, for one
    }
}

bool TLinkData::ExecuteSqlAsIs(vqsql::Connection& connection, const QString& sql, int timeout)
{
    try {
        connection.setCommandTimeout(timeout);
        return connection.run(utf8(sql)).ok();
    } catch (const std::exception&) {
        return false;
    }
}

// The count rule: with "COUNT" anywhere in the upper-cased text, the first
// column of the first row read as an integer; otherwise the number of
// rows. A failing statement, or one without a result set, gives 0.
int TLinkData::countRule(vqsql::Connection& connection, const QString& sql, int timeout)
{
    try {
        connection.setCommandTimeout(timeout);
        vqsql::BatchResult r = connection.run(utf8(sql));
        if (!r.ok() || r.resultSets.empty())
            return 0;
        const vqsql::ResultSet& rs = r.resultSets.front();
        if (sql.toUpper().contains(QLatin1String("COUNT")))
            return rs.rows.empty() || rs.rows.front().empty() ? 0 : asInteger(rs.rows.front().front());
        return static_cast<int>(rs.rows.size());
    } catch (const std::exception&) {
        return 0;
    }
}

int TLinkData::QueryCount(vqsql::Connection& connection, const QString& sql)
{
    return countRule(connection, sql, kDefaultTimeout);
}

int TLinkData::CountWithoutTimeout(const QString& sql)
{
    return countRule(UserDB, sql, 0);
}

int TLinkData::QueryMaxID(vqsql::Connection& connection, const QString& table, const QString& field)
{
    connection.setCommandTimeout(kDefaultTimeout);
    vqsql::ResultSet rs = connection.query(utf8(QLatin1String(" select isnull(max(") + field +
                                                QLatin1String("),0) as MaxID from ") + table));
    if (rs.rows.empty())
        return 0;
    const int column = rs.columnIndex("MaxID");
    return column < 0 ? 0 : asInteger(rs.rows.front()[static_cast<std::size_t>(column)]);
}

bool TLinkData::AccountSetExec(const QString& sql)
{
    return ExecuteSql(UserDB, sql);
}

int TLinkData::AccountSetCount(const QString& sql)
{
    return QueryCount(UserDB, sql);
}

bool TLinkData::AccountSetExecScript(const QString& script)
{
    QString remaining = StripSqlComments(script);
    while (!remaining.isEmpty()) {
        const qsizetype semicolon = remaining.indexOf(QLatin1Char(';'));
        if (semicolon < 0)
            break;   // text after the last ";" is never executed
        const QString statement = remaining.left(semicolon);
        remaining = remaining.mid(semicolon + 1);
        bool ok = false;
        try {
            UserDB.setCommandTimeout(kDefaultTimeout);
            ok = UserDB.run(utf8(statement)).ok();
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok) {
            ShowError(statement, QStringLiteral("错误"));
            return false;
        }
    }
    return true;
}

void runGuarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const vqsql::SqlException& e) {
        ShowError(QString::fromStdString(e.first().message), QStringLiteral("错误"));
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()), QStringLiteral("错误"));
    }
}

// ---- restoring backups and data paths -----------------------------------

bool ReadBackupFileList(vqsql::Connection& connection, const QString& file, QString& dataLogicalName,
                        QString& logLogicalName)
{
    vqsql::ResultSet rs;
    try {
        QString path = file;
        path.replace(QLatin1Char('\''), QLatin1String("''"));   // a plain literal: RESTORE takes no expression
        rs = connection.query(utf8(QStringLiteral(" restore FileListOnly from disk = '") + path + QLatin1Char('\'')));
    } catch (const std::exception&) {
        ShowInfo(QStringLiteral("您选择的备份文件不是有效的SQL Server数据库的备份文件。"), QStringLiteral("提示"));
        return false;
    }
    const QString missing = QStringLiteral("您选择的备份文件中没有要恢复的数据库！");
    auto firstOfType = [&rs](const char* type, QString& name) {
        const int typeColumn = rs.columnIndex("Type");
        const int nameColumn = rs.columnIndex("LogicalName");
        if (typeColumn < 0 || nameColumn < 0)
            return false;
        for (const auto& row : rs.rows) {
            if (QString::fromStdString(row[static_cast<std::size_t>(typeColumn)].toString())
                    .compare(QLatin1String(type), Qt::CaseInsensitive) == 0) {
                name = QString::fromStdString(row[static_cast<std::size_t>(nameColumn)].toString());
                return true;
            }
        }
        return false;
    };
    if (!firstOfType("D", dataLogicalName) || !firstOfType("L", logLogicalName)) {
        ShowInfo(missing, QStringLiteral("提示"));
        return false;
    }
    return true;
}

QString TLinkData::GetMasterDataPath()
{
    if (!AccListDB.isOpen())
        return {};
    QString fileName;
    try {
        AccListDB.setCommandTimeout(0);
        vqsql::ResultSet rs = AccListDB.query(std::string(" select [FileName] from master..sysdatabases  where Name='master'"));
        if (!rs.rows.empty())
            fileName = QString::fromStdString(rs.rows.front().front().toString());
    } catch (const std::exception&) {
        return {};
    }
    // The folder is what stands before the first "/master" (case-sensitive),
    // provided it does not start before the fourth character.
    const qsizetype at = fileName.indexOf(QLatin1String("/master"));
    if (at < 3)
        return {};
    return fileName.left(at);
}

QString TLinkData::GetDataPath()
{
    const QString master = GetMasterDataPath();
    if (!master.isEmpty())
        return master;
    QString base = GetSqlServerInstallPath();
    if (base.isEmpty())
        base = GetProgramFolder();
    const QString path = base.endsWith(QLatin1Char('/')) ? base + QStringLiteral("Data") : base + QStringLiteral("/Data");
    QDir().mkpath(path);
    return path;
}

bool TLinkData::RestoreDatabase(const QString& file, const QString& database)
{
    QString dataLogical, logLogical;
    if (!ReadBackupFileList(AccListDB, file, dataLogical, logLogical))
        return false;
    const QString folder = GetDataPath();
    const QString dataFile = folder + QLatin1Char('/') + database + QStringLiteral(".mdf");
    const QString logFile = folder + QLatin1Char('/') + database + QStringLiteral("_log.ldf");
    // The values go between quotes or brackets in the script: apostrophes
    // and closing brackets are doubled so that a path or name stays whole.
    const auto quotedValue = sqlInsideQuotes;
    const auto bracketValue = sqlInsideBrackets;
    QString script = qryRestore;
    script = ReplacePlaceholder(script, QStringLiteral("##MDKFile"), quotedValue(file));
    script = ReplacePlaceholder(script, QStringLiteral("##DBName"), bracketValue(database));
    script = ReplacePlaceholder(script, QStringLiteral("##MDFLogicName"), quotedValue(dataLogical));
    script = ReplacePlaceholder(script, QStringLiteral("##LDFLogicName"), quotedValue(logLogical));
    script = ReplacePlaceholder(script, QStringLiteral("##MDFFile"), quotedValue(dataFile));
    script = ReplacePlaceholder(script, QStringLiteral("##LDFFile"), quotedValue(logFile));
    ExecuteSql(AccListDB, script);   // judged by the connection below
    return ConnectAccountSet(database, false);
}

// ---- the administrator password cache -------------------------------------

QString TLinkData::GetAdminPassword(const QString& code)
{
    AccListDB.setCommandTimeout(kDefaultTimeout);
    vqsql::ResultSet cached =
        AccListDB.query(utf8(QStringLiteral("select TxtValue from T_Options where Name=") +
                             sqlQuoted(QStringLiteral("VQTCW_") + code)));
    if (!cached.rows.empty())
        return QString::fromStdString(cached.rows.front().front().toString());
    QString database = QStringLiteral("VQTCW_") + code;
    database.replace(QLatin1Char(']'), QLatin1String("]]"));
    vqsql::ResultSet own = AccListDB.query(
        utf8(QStringLiteral("select [Password] from [") + database + QStringLiteral("]..T_Operator where KeyID=1")));
    return own.rows.empty() ? QString() : QString::fromStdString(own.rows.front().front().toString());
}

void TLinkData::ForgetAdminPassword(const QString& code)
{
    ExecuteSql(AccListDB, QStringLiteral("delete from VQTCWAccList..T_Options where Name=") +
                              sqlQuoted(QStringLiteral("VQTCW_") + code));
}

void TLinkData::SyncAdminPasswords()
{
    ExecuteSql(AccListDB, ExtractSection(qrySQL, QStringLiteral("--SQLAL_A"), QStringLiteral("--SQLAL_B")));
    const QString listQuery = ExtractSection(qrySQL, QStringLiteral("--AccList_A"), QStringLiteral("--AccList_B"));
    AccListDB.setCommandTimeout(kDefaultTimeout);
    vqsql::ResultSet rows = AccListDB.query(utf8(StripSqlComments(listQuery)));   // errors pass
    const int codeColumn = rows.columnIndex("DBName");
    for (const auto& row : rows.rows) {
        if (codeColumn < 0)
            break;
        const QString code = QString::fromStdString(row[static_cast<std::size_t>(codeColumn)].toString());
        QString name = QStringLiteral("VQTCW_") + code;
        // Inside the section the name stands between quotes and brackets.
        name.replace(QLatin1Char('\''), QLatin1String("''"));
        const QString section = ExtractSection(qrySQL, QStringLiteral("--UpdatePW_A"), QStringLiteral("--UpdatePW_B"));
        ExecuteSql(AccListDB, ReplacePlaceholder(section, QStringLiteral("##UserDBName"), name));
    }
}
