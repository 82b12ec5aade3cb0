// Script texts and the small helpers around them: cutting named sections,
// filling "##Name" placeholders, the restore and catalogue scripts built
// into the program, the initialisation files, the version question and the
// port test.
#include "inifile.h"
#include "instance.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwdbfun.h"
#include "textcodec.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

#include <string>

namespace {

std::string s(const QString& text)
{
    return text.toStdString();
}

// The lines, each followed by CR LF, as the operations see a script.
QString crlfLines(const QStringList& lines)
{
    QString out;
    for (const QString& line : lines)
        out += line + QStringLiteral("\r\n");
    return out;
}

using vqtest::fileBytes;
using vqtest::writeBytes;

}  // namespace

// ---------------------------------------------------------------------------
// ExtractSection

struct SectionCase {
    const char* name;
    const char* text;
    const char* start;
    const char* end;
    const char* expected;
};

class ScriptSection : public ::testing::TestWithParam<SectionCase> {};

TEST_P(ScriptSection, CutsExactlyThisText)
{
    const SectionCase& c = GetParam();
    EXPECT_EQ(s(ExtractSection(QString::fromUtf8(c.text), QString::fromUtf8(c.start), QString::fromUtf8(c.end))),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScriptSection,
    ::testing::Values(
        SectionCase{"MiddleSection", "--One_A\r\nselect 1\r\n--One_B\r\n\r\n--Two_A\r\nselect 2\r\n--Two_B\r\n",
                    "--Two_A", "--Two_B", "--Two_A\r\nselect 2\r\n"},
        SectionCase{"EmptyEndMarkerGivesTheWholeText", "--X_A\r\nselect 1\r\n--X_B\r\n", "--X_A", "",
                    "--X_A\r\nselect 1\r\n--X_B\r\n"},
        SectionCase{"EmptyStartMarkerGivesTheWholeText", "a\r\n--X_B\r\n", "", "--X_B", "a\r\n--X_B\r\n"},
        SectionCase{"EmptyTextStaysEmpty", "", "--X_A", "--X_B", ""},
        SectionCase{"EndBeforeStartGivesNothing", "--X_B\r\nselect 1\r\n--X_A\r\n", "--X_A", "--X_B", ""},
        SectionCase{"MissingStartGivesNothing", "select 1\r\n--X_B\r\n", "--X_A", "--X_B", ""},
        SectionCase{"MissingEndGivesNothing", "--X_A\r\nselect 1\r\n", "--X_A", "--X_B", ""},
        // The markers are searched case-sensitively.
        SectionCase{"MarkerCaseMatters", "--x_a\r\nselect 1\r\n--X_B\r\n", "--X_A", "--X_B", ""},
        // A marker is found anywhere in the text, not only at a line start.
        SectionCase{"MarkerInsideALine", "select 0 --X_A\r\nselect 1 --X_B\r\n", "--X_A", "--X_B",
                    "--X_A\r\nselect 1 "},
        // Markers without the underscore, as the wizard's script has them.
        SectionCase{"MarkersWithoutUnderscore", "--CreateAccSetA\r\ncreate table T(a int)\r\n--CreateAccSetB\r\n",
                    "--CreateAccSetA", "--CreateAccSetB", "--CreateAccSetA\r\ncreate table T(a int)\r\n"},
        // "--SubA" is the beginning of "--SubAllA": when SubAll stands first,
        // the shorter name's section starts at the longer marker.
        SectionCase{"PrefixMarkerFoundInTheLongerOne",
                    "--SubAllA\r\nselect 9\r\n--SubAllB\r\n--SubA\r\nselect 1\r\n--SubB\r\n", "--SubA", "--SubB",
                    "--SubAllA\r\nselect 9\r\n--SubAllB\r\n--SubA\r\nselect 1\r\n"},
        // The first occurrence of each marker counts.
        SectionCase{"FirstOccurrencesOnly", "--X_A\r\n1\r\n--X_B\r\n--X_A\r\n2\r\n--X_B\r\n", "--X_A", "--X_B",
                    "--X_A\r\n1\r\n"}),
    [](const ::testing::TestParamInfo<SectionCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// ReplacePlaceholder

struct PlaceholderCase {
    const char* name;
    const char* text;
    const char* placeholder;
    const char* value;
    const char* expected;
};

class ScriptPlaceholder : public ::testing::TestWithParam<PlaceholderCase> {};

TEST_P(ScriptPlaceholder, Replaces)
{
    const PlaceholderCase& c = GetParam();
    EXPECT_EQ(s(ReplacePlaceholder(QString::fromUtf8(c.text), QString::fromUtf8(c.placeholder),
                                   QString::fromUtf8(c.value))),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScriptPlaceholder,
    ::testing::Values(
        PlaceholderCase{"LogNameGrowsFromTheDatabaseName", "modify file (name=[L],NewName=[##DBName_log])", "##DBName",
                        "VQTCW_001", "modify file (name=[L],NewName=[VQTCW_001_log])"},
        PlaceholderCase{"LetterCaseIgnored", "[##dbname] [##DBNAME_LOG] [##DbName]", "##DBName", "X",
                        "[X] [X_LOG] [X]"},
        PlaceholderCase{"EveryOccurrence", "'##A','##A','##A'", "##A", "v", "'v','v','v'"},
        PlaceholderCase{"AbsentPlaceholderLeavesTheText", "select 1", "##DBName", "X", "select 1"},
        PlaceholderCase{"ValueWithSpacesAndChinese", "from disk = '##MDKFile'", "##MDKFile", "/tmp/账套 1.mdk",
                        "from disk = '/tmp/账套 1.mdk'"}),
    [](const ::testing::TestParamInfo<PlaceholderCase>& info) { return std::string(info.param.name); });

TEST(ScriptText, EveryLineEndsWithCrLf)
{
    EXPECT_EQ(s(scriptText("a\nb")), "a\r\nb\r\n");
    EXPECT_EQ(s(scriptText("a\r\nb\r\n")), "a\r\nb\r\n");
    EXPECT_EQ(s(scriptText("a\n\nb\n")), "a\r\n\r\nb\r\n");
    EXPECT_EQ(s(scriptText("")), "");
    EXPECT_TRUE(loadScript(QStringLiteral("no-such-script.sql")).isEmpty());
}

// ---------------------------------------------------------------------------
// The scripts built into the data module

TEST(BuiltInScripts, RestoreScriptIsTheFourteenLines)
{
    TLinkData link;
    EXPECT_EQ(s(link.qryRestore), s(crlfLines({
                                      "use master",
                                      "restore database [##DBName]",
                                      "from disk = '##MDKFile'",
                                      "with move '##MDFLogicName' to '##MDFFile',",
                                      "     move '##LDFLogicName' to '##LDFFile', Replace",
                                      "",
                                      "use master",
                                      "alter Database [##DBName]",
                                      "modify file (name=[##MDFLogicName],NewName=[##DBName])",
                                      "",
                                      "use master",
                                      "alter Database [##DBName]",
                                      "modify file (name=[##LDFLogicName],NewName=[##DBName_log])",
                                      "",
                                  })));
}

TEST(BuiltInScripts, RestoreScriptFilledInTheProgramsOrder)
{
    TLinkData link;
    QString text = link.qryRestore;
    text = ReplacePlaceholder(text, "##MDKFile", "/b/x.mdk");
    text = ReplacePlaceholder(text, "##DBName", "VQTCW_9");
    text = ReplacePlaceholder(text, "##MDFLogicName", "D");
    text = ReplacePlaceholder(text, "##LDFLogicName", "L");
    text = ReplacePlaceholder(text, "##MDFFile", "/d/VQTCW_9.mdf");
    text = ReplacePlaceholder(text, "##LDFFile", "/d/VQTCW_9_log.ldf");
    EXPECT_FALSE(text.contains("##"));
    EXPECT_TRUE(text.contains("with move 'D' to '/d/VQTCW_9.mdf',\r\n     move 'L' to '/d/VQTCW_9_log.ldf', Replace"));
    EXPECT_TRUE(text.contains("modify file (name=[L],NewName=[VQTCW_9_log])"));
    EXPECT_TRUE(text.contains("modify file (name=[D],NewName=[VQTCW_9])"));
}

struct CatalogueSectionCase {
    const char* section;
    QStringList lines;
};

class CatalogueScriptSection : public ::testing::TestWithParam<CatalogueSectionCase> {};

TEST_P(CatalogueScriptSection, HoldsTheStatementLines)
{
    TLinkData link;
    const QString name = QString::fromUtf8(GetParam().section);
    const QString section = ExtractSection(link.qrySQL, "--" + name + "_A", "--" + name + "_B");
    EXPECT_EQ(s(section), s("--" + name + "_A\r\n" + crlfLines(GetParam().lines)));
}

INSTANTIATE_TEST_SUITE_P(
    Sections, CatalogueScriptSection,
    ::testing::Values(
        CatalogueSectionCase{"SQLAL",
                             {"delete from T_Options", "where Name like 'VQTCW_%'",
                              "  and Name not in (select 'VQTCW_'+DBName from AccList)"}},
        CatalogueSectionCase{"AccList",
                             {"select * from AccList", "where 'VQTCW_'+DBName not in (select Name from T_Options)"}},
        CatalogueSectionCase{
            "UpdatePW",
            {"if exists (select 1 from master..sysdatabases where Name='##UserDBName')", "begin",
             "  if exists (select 1 from T_Options where Name='##UserDBName')", "  begin", "    update T_Options",
             "    set TxtValue=(select [Password] from [##UserDBName]..T_Operator where KeyID=1)",
             "    where Name='##UserDBName'", "  end", "  else", "  begin",
             "   insert into T_Options(KeyID, Name, TxtValue)",
             "   select (select isnull(max(KeyID),0)+1 from T_Options), '##UserDBName',",
             "          (select [Password] from [##UserDBName]..T_Operator where KeyID=1)", "  end", "end"}}),
    [](const ::testing::TestParamInfo<CatalogueSectionCase>& info) { return std::string(info.param.section); });

// ---------------------------------------------------------------------------
// Initialisation files

class IniFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const char* name = "test.ini") const { return dir_.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir_;
};

TEST_F(IniFile, MissingFileGivesTheDefaults)
{
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword")), "");
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword", "dflt")), "dflt");
    EXPECT_EQ(readIniInt(path(), "ServerInfo", "ServerPort", 5971), 5971);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(IniFile, WritingCreatesTheFileWithSectionAndKey)
{
    ASSERT_TRUE(writeIniString(path(), "LoginInfo", "SAPassword", "right"));
    EXPECT_EQ(fileBytes(path()).toStdString(), "[LoginInfo]\r\nSAPassword=right\r\n");
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword")), "right");
}

TEST_F(IniFile, WritingKeepsEveryOtherSectionAndKey)
{
    writeBytes(path(), "; a comment\r\n[First]\r\nA=1\r\n\r\n[LoginInfo]\r\nUser=sa\r\nSAPassword=old\r\n"
                       "Other=x\r\n\r\n[Last]\r\nB=2\r\n");
    ASSERT_TRUE(writeIniString(path(), "LoginInfo", "SAPassword", "new"));
    EXPECT_EQ(fileBytes(path()).toStdString(),
              "; a comment\r\n[First]\r\nA=1\r\n\r\n[LoginInfo]\r\nUser=sa\r\nSAPassword=new\r\nOther=x\r\n\r\n"
              "[Last]\r\nB=2\r\n");

    // A key new to an existing section joins that section.
    ASSERT_TRUE(writeIniString(path(), "First", "C", "3"));
    EXPECT_EQ(s(readIniString(path(), "First", "A")), "1");
    EXPECT_EQ(s(readIniString(path(), "First", "C")), "3");
    EXPECT_EQ(s(readIniString(path(), "Last", "C")), "");
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword")), "new");
    EXPECT_EQ(s(readIniString(path(), "Last", "B")), "2");

    // A new section is appended.
    ASSERT_TRUE(writeIniString(path(), "ServerInfo", "ServerPort", "6001"));
    EXPECT_EQ(readIniInt(path(), "ServerInfo", "ServerPort", 5971), 6001);
    EXPECT_EQ(s(readIniString(path(), "First", "A")), "1");
    EXPECT_EQ(s(readIniString(path(), "Last", "B")), "2");
}

TEST_F(IniFile, NamesMatchWithoutRegardToLetterCase)
{
    writeBytes(path(), "[LOGININFO]\r\nsapassword = spaced value \r\n");
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword")), "spaced value");
    ASSERT_TRUE(writeIniString(path(), "logininfo", "SAPASSWORD", "v2"));
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword")), "v2");
    // The existing entry was rewritten, not a second one added.
    EXPECT_EQ(fileBytes(path()).count("="), 1);
}

TEST_F(IniFile, KeyOfAnotherSectionIsNotRead)
{
    writeBytes(path(), "[ServerInfo]\r\nSAPassword=wrong place\r\n[LoginInfo]\r\nUser=sa\r\n");
    EXPECT_EQ(s(readIniString(path(), "LoginInfo", "SAPassword", "none")), "none");
}

TEST_F(IniFile, ChineseValuesAreStoredAsGbk)
{
    const QString value = QStringLiteral("口令甲乙");
    ASSERT_TRUE(writeIniString(path(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), value));
    EXPECT_EQ(fileBytes(path()), QByteArray("[LoginInfo]\r\nSAPassword=") + toGbk(value) + "\r\n");
    EXPECT_EQ(toGbk(value).size(), 8);
    EXPECT_EQ(s(readIniString(path(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"))), s(value));

    // A file written elsewhere in GBK reads back as Chinese too.
    writeBytes(path("other.ini"), "[LoginInfo]\r\nSAPassword=" + toGbk(QStringLiteral("服务器")) + "\r\n");
    EXPECT_EQ(s(readIniString(path("other.ini"), "LoginInfo", "SAPassword")), "服务器");
}

TEST_F(IniFile, IntegersOnlyWhenTheValueIsOne)
{
    const struct {
        const char* value;
        int expected;
    } cases[] = {{"6123", 6123}, {" 6124 ", 6124}, {"abc", 5971}, {"", 5971}, {"1.5", 5971}, {"0", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(writeIniString(path(), "ServerInfo", "ServerPort", QString::fromUtf8(c.value)));
        EXPECT_EQ(readIniInt(path(), "ServerInfo", "ServerPort", 5971), c.expected);
    }
}

// ---------------------------------------------------------------------------
// The database server's version and the port test

TEST(SqlServerQuestions, VersionOfTheEngineIsTen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.filePath("instance").toStdString();
    vqsql::initialiseInstance(folder, "pw");
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{folder, "master", "sa", "pw"});
    const SqlServerVersion v = GetSqlServerVersion(c);
    EXPECT_EQ(v.major, 10);
    EXPECT_TRUE(v.text.startsWith("10.")) << s(v.text);
    EXPECT_EQ(v.text.size(), 10) << s(v.text);
    // The engine's own text names that same version.
    const std::string whole = c.query("select @@Version").rows.at(0).at(0).toString();
    EXPECT_NE(whole.find(s(v.text)), std::string::npos) << whole;
}

TEST(SqlServerQuestions, PortHeldByAListenerIsInUse)
{
    for (const QHostAddress& address : {QHostAddress(QHostAddress::AnyIPv4), QHostAddress(QHostAddress::LocalHost)}) {
        SCOPED_TRACE(address.toString().toStdString());
        QTcpServer server;
        ASSERT_TRUE(server.listen(address, 0));
        const int port = server.serverPort();
        EXPECT_TRUE(IsPortInUse(port));
        server.close();
        EXPECT_FALSE(IsPortInUse(port));
    }
}
