// The texts of a login-log row: ClientLogText on its own (decoding, stand-ins,
// cutting to a column's width), the column widths against the installed
// catalogue, and each text stored through the login report's statement:
// exactly one new row, holding exactly the text ClientLogText made.
#include "clientlogtext.h"
#include "mwdbfun.h"
#include "program_fixture.h"
#include "textcodec.h"

#include <QString>

#include <string>
#include <vector>

namespace {

QByteArray bytes(const char* text, qsizetype size = -1)
{
    return size < 0 ? QByteArray(text) : QByteArray(text, size);
}

// GBK bytes of a few characters (code page 936).
const QByteArray kZhong("\xD6\xD0");   // 中
const QByteArray kWen("\xCE\xC4");     // 文

struct Case {
    const char* name;
    QByteArray field;
    int width;
    QString expected;
};

std::vector<Case> cases()
{
    const QString zhong = QStringLiteral("中");
    return {
        {"empty", QByteArray(), 64, QString()},
        {"the word null is a text like any other", "null", 64, QStringLiteral("null")},
        {"plain ASCII", "192.168.1.20", 64, QStringLiteral("192.168.1.20")},
        {"Chinese", kZhong + kWen + "\xD5\xCB", 32, QStringLiteral("中文账")},
        {"NUL inside", bytes("a\0b", 3), 64, QStringLiteral("a?b")},
        {"NUL only", bytes("\0", 1), 64, QStringLiteral("?")},
        {"control bytes", bytes("\t\r\n\x1b\x1f\x7f", 6), 64, QStringLiteral("??????")},
        {"space and tilde stay", " ~ ", 64, QStringLiteral(" ~ ")},
        {"apostrophe", "O'Brien's", 64, QStringLiteral("O'Brien's")},
        {"comment start", "a--b -- c", 64, QStringLiteral("a--b -- c")},
        {"block comment", "x/* y */z", 64, QStringLiteral("x/* y */z")},
        {"bracket", "[a]]b]", 64, QStringLiteral("[a]]b]")},
        {"statement-like", "'); delete from T_ClientLog --", 64, QStringLiteral("'); delete from T_ClientLog --")},
        {"0x80 is no GBK character", "a\x80" "b", 64, QStringLiteral("a?b")},
        {"0xFF is no GBK character", "\xFF", 64, QStringLiteral("?")},
        {"lead byte at the end", "ab\xD6", 64, QStringLiteral("ab?")},
        {"lead byte before a non-trail byte", "\xD6" "0" + kWen, 64, QStringLiteral("?0文")},
        {"lead byte before a control byte", bytes("\xD6\x7f", 2), 64, QStringLiteral("??")},
        {"ASCII over the width", QByteArray(70, 'x'), 64, QString(64, QLatin1Char('x'))},
        {"ASCII at the width", QByteArray(32, 'y'), 32, QString(32, QLatin1Char('y'))},
        {"Chinese over the width", kZhong.repeated(40), 32, zhong.repeated(16)},
        {"two-byte character across the width", "a" + kZhong.repeated(40), 32,
         QLatin1Char('a') + zhong.repeated(15)},
        {"two-byte character across a small width", kZhong + kWen, 3, zhong},
        {"stand-in before a character that no longer fits", "\x80" + kZhong, 2, QStringLiteral("?")},
        {"NUL bytes over the width", QByteArray(300, '\0'), 255, QString(255, QLatin1Char('?'))},
        {"a large field", QByteArray(64 * 1024, 'z'), 255, QString(255, QLatin1Char('z'))},
        {"width 0", "abc", 0, QString()},
        {"negative width", "abc", -1, QString()},
    };
}

TEST(ClientLogText, MakesStorableTexts)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const QString got = ClientLogText(c.field, c.width);
        EXPECT_EQ(got, c.expected);
        // Whatever came in: within the width, no control character, and
        // unchanged by a round trip through GBK.
        EXPECT_LE(gbkLength(got), std::max(c.width, 0));
        for (const QChar ch : got)
            EXPECT_FALSE(ch.unicode() < 0x20 || ch.unicode() == 0x7F) << int(ch.unicode());
        EXPECT_EQ(fromGbk(toGbk(got)), got);
    }
}

TEST(ClientLogText, UnicodeTextsOfTheServer)
{
    struct UnicodeCase {
        const char* name;
        QString text;
        int width;
        QString expected;
    } unicodeCases[] = {
        {"host name", QStringLiteral("pc-07.example"), 255, QStringLiteral("pc-07.example")},
        {"Chinese host name", QStringLiteral("财务室电脑"), 255, QStringLiteral("财务室电脑")},
        {"NUL and line break", QStringLiteral("a") + QChar(0) + QStringLiteral("b\nc"), 255,
         QStringLiteral("a?b?c")},
        {"character GBK lacks", QStringLiteral("x\u0E01y"), 255, QStringLiteral("x?y")},
        {"over the width", QStringLiteral("财务室电脑"), 5, QStringLiteral("财务")},
        {"IPv6 address", QStringLiteral("::ffff:10.0.0.1"), 64, QStringLiteral("::ffff:10.0.0.1")},
    };
    for (const UnicodeCase& c : unicodeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClientLogText(c.text, c.width), c.expected);
    }
}

// The login report's insert, as TConnectionService::recordLogin builds it.
QString loginInsert(const QString& address, const QString& hostName, quint16 port, const QString& dbName,
                    const QString& accName, const QString& loginUser)
{
    return QStringLiteral(" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
                          "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, "
                          "Closed) values( @MaxID,") +
           sqlQuoted(address) + QLatin1Char(',') + sqlQuoted(hostName) + QLatin1Char(',') + QString::number(port) +
           QLatin1Char(',') + sqlQuoted(dbName) + QLatin1Char(',') + sqlQuoted(accName) + QLatin1Char(',') +
           sqlQuoted(loginUser) + QStringLiteral(", GetDate(), 0) ");
}

using ClientLogTextCatalogue = ProgramFixture;

// The widths are those of the installed catalogue's columns, all varchar.
TEST_F(ClientLogTextCatalogue, WidthsAreTheColumnsWidths)
{
    const auto rows = catalogueRows(
        "select c.name, c.xtype, c.length from syscolumns c join sysobjects o on o.id = c.id "
        "where o.name = 'T_ClientLog' and c.name in ('MashineIP', 'MashineName', 'DBName', 'AccName', 'LoginUser') "
        "order by c.colid");
    const std::vector<std::vector<std::string>> expected = {
        {"MashineIP", "167", std::to_string(ClientLogWidth::MashineIP)},
        {"MashineName", "167", std::to_string(ClientLogWidth::MashineName)},
        {"DBName", "167", std::to_string(ClientLogWidth::DBName)},
        {"AccName", "167", std::to_string(ClientLogWidth::AccName)},
        {"LoginUser", "167", std::to_string(ClientLogWidth::LoginUser)},
    };
    EXPECT_EQ(rows, expected);
}

// Every case's field in each of the five text columns, cut to that
// column's width, stored by the login report's statement: one row more,
// and the row holds exactly the texts.
TEST_F(ClientLogTextCatalogue, EachTextIsStoredAsMade)
{
    int expectedRows = 0;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const QString ip = ClientLogText(c.field, ClientLogWidth::MashineIP);
        const QString host = ClientLogText(c.field, ClientLogWidth::MashineName);
        const QString db = ClientLogText(c.field, ClientLogWidth::DBName);
        const QString acc = ClientLogText(c.field, ClientLogWidth::AccName);
        const QString user = ClientLogText(c.field, ClientLogWidth::LoginUser);
        ASSERT_TRUE(LinkData->ExecuteSql(link_->AccListDB, loginInsert(ip, host, 4000, db, acc, user)));
        ++expectedRows;
        EXPECT_EQ(catalogueRows("select count(*), max(KeyID) from T_ClientLog"),
                  (std::vector<std::vector<std::string>>{{std::to_string(expectedRows), std::to_string(expectedRows)}}));
        const auto stored = catalogueRows(
            "select MashineIP, MashineName, DBName, AccName, LoginUser, ConnectPort, Closed from T_ClientLog "
            "where KeyID = " + std::to_string(expectedRows));
        const std::vector<std::vector<std::string>> expected = {{ip.toStdString(), host.toStdString(),
                                                                 db.toStdString(), acc.toStdString(),
                                                                 user.toStdString(), "4000", "0"}};
        EXPECT_EQ(stored, expected);
    }
}

// The next KeyID after the largest int: the statement fails (8115, then
// 515 for the NULL key), ExecuteSql says so, and no row is stored.
TEST_F(ClientLogTextCatalogue, NoRowPastTheLargestKeyID)
{
    ASSERT_TRUE(LinkData->ExecuteSql(link_->AccListDB,
                                     QStringLiteral("insert into T_ClientLog(KeyID, MashineIP, Closed) "
                                                    "values(2147483647, '10.0.0.1', 1)")));
    const vqsql::BatchResult r = link_->AccListDB.run(
        loginInsert(QStringLiteral("10.0.0.2"), QStringLiteral("pc"), 4001, QStringLiteral("db"),
                    QStringLiteral("acc"), QStringLiteral("user"))
            .toStdString());
    ASSERT_FALSE(r.ok());
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0].number, 8115);
    EXPECT_EQ(r.errors[1].number, 515);
    EXPECT_FALSE(LinkData->ExecuteSql(
        link_->AccListDB, loginInsert(QStringLiteral("10.0.0.2"), QStringLiteral("pc"), 4001, QStringLiteral("db"),
                                      QStringLiteral("acc"), QStringLiteral("user"))));
    EXPECT_EQ(catalogueRows("select count(*), max(KeyID) from T_ClientLog"),
              (std::vector<std::vector<std::string>>{{"1", "2147483647"}}));
}

}  // namespace
