// The data module TLinkData (see linkdm.h).
#include "linkdm.h"

#include "mwdbfun.h"
#include "mwstdfun.h"

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

}  // namespace

TLinkData::TLinkData() = default;
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
    AccListDB.close();
    try {
        AccListDB.open(utf8(BuildConnectionString(server, database, password)));
    } catch (const vqsql::SqlException&) {
        AccListDB.close();
        if (showError)
            ShowError(QStringLiteral("联接指定机器的数据库错误，请检查机器名或sa口令是否正确。"), QStringLiteral("错误"));
        return false;
    }
    server_ = server;
    password_ = password;
    return true;
}

bool TLinkData::ConnectAccountSet(const QString& database, bool showError)
{
    UserDB.close();
    try {
        UserDB.open(utf8(BuildConnectionString(server_, database, password_)));
    } catch (const vqsql::SqlException&) {
        UserDB.close();
        if (showError)
            ShowError(QStringLiteral("联接数据库错误。"), QStringLiteral("错误"));
        return false;
    }
    return true;
}

bool TLinkData::ExecuteSql(vqsql::Connection& connection, const QString& sql)
{
    try {
        connection.setCommandTimeout(kDefaultTimeout);
        return connection.run(utf8(StripSqlComments(sql))).ok();
    } catch (const std::exception&) {
        return false;   // a closed connection, for one
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
