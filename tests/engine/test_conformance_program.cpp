// Conformance with the statements the server itself runs, exactly as it
// runs them, against catalogue and account-set tables declared with the
// installed databases' user-defined types: the login-log insert, the
// version insert, the admin-password cache maintenance sections, the
// subject-code conversion and QueryMaxID.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

const char* kTypesAndTables =
    "sp_addtype T_KEYID, 'int', 'NOT NULL'\n"
    "exec sp_addtype T_KEY, 'int', 'NULL'\n"
    "exec sp_addtype T_VA16, 'varchar(16)', 'NULL'\n"
    "exec sp_addtype T_VA32, 'varchar(32)', 'NULL'\n"
    "exec sp_addtype T_VA64, 'varchar(64)', 'NULL'\n"
    "exec sp_addtype T_VA128, 'varchar(128)', 'NULL'\n"
    "exec sp_addtype T_VA255, 'varchar(255)', 'NULL'\n"
    "exec sp_addtype T_INTEGER, 'int', 'NULL'\n"
    "exec sp_addtype T_SHORT, 'smallint', 'NULL'\n"
    "exec sp_addtype T_BYTE, 'tinyint', 'NULL'\n"
    "exec sp_addtype T_NUMBER, 'numeric(19,4)', 'NULL'\n"
    "exec sp_addtype T_MONEY, 'numeric(19,4)', 'NULL'\n"
    "exec sp_addtype T_DATETIME, 'datetime', 'NULL'\n"
    "exec sp_addtype T_IMAGE, 'image', 'NULL'\n"
    "create table T_ClientLog (KeyID T_KEYID, MashineIP T_VA32, MashineName T_VA64, ConnectPort T_INTEGER,\n"
    "  DBName T_VA32, AccName T_VA128, LoginUser T_VA32, LoginTime T_DATETIME, LogoutTime T_DATETIME,\n"
    "  Closed T_BYTE, constraint PK_T_ClientLog primary key (KeyID))\n"
    "create table DBVersion (KeyID T_KEYID, Version T_VA32, ReleaseDate T_DATETIME,\n"
    "  constraint PK_DBVersion primary key (KeyID))\n"
    "create table AccList (KeyID T_KEYID, DBName T_VA32, AccName T_VA64, DelFlag T_BYTE, ShareCount T_INTEGER,\n"
    "  LockFlag T_BYTE, constraint PK_AccList primary key (KeyID))\n"
    "create table T_Options (KeyID T_KEYID, Name T_VA64, TxtValue T_VA255,\n"
    "  constraint PK_T_Options primary key (KeyID))\n"
    "create table CW_SubTemp (KeyID T_KEYID, Code T_VA32, Name T_VA64, SubKind T_BYTE,\n"
    "  constraint PK_CW_SubTemp primary key (KeyID))\n";

class ConformanceProgramStatements : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec(kTypesAndTables);
    }
};

const char* kLoginLogInsert =
    " declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
    "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, Closed) "
    "values( @MaxID,'127.0.0.1','host',5000,'001','O''Brien','op', GetDate(), 0) ";

TEST_F(ConformanceProgramStatements, LoginLogInsertTakesTheNextKey)
{
    BatchResult r = run(kLoginLogInsert);
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 1);
    r = run(kLoginLogInsert);
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ResultSet rs = rows("select KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
                        "LoginTime, LogoutTime, Closed from T_ClientLog order by KeyID");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 1);
    EXPECT_EQ(rs.rows[1][0].toInt64(), 2);
    EXPECT_EQ(rs.at(0, "MashineIP").toString(), "127.0.0.1");
    EXPECT_EQ(rs.at(0, "MashineName").toString(), "host");
    EXPECT_EQ(rs.at(0, "ConnectPort").toInt64(), 5000);
    EXPECT_EQ(rs.at(0, "DBName").toString(), "001");
    EXPECT_EQ(rs.at(0, "AccName").toString(), "O'Brien");
    EXPECT_EQ(rs.at(0, "LoginUser").toString(), "op");
    EXPECT_EQ(rs.at(0, "LoginTime").kind, ValueKind::DateTime);
    EXPECT_TRUE(rs.at(0, "LogoutTime").isNull());
    EXPECT_EQ(rs.at(0, "Closed").toInt64(), 0);
    EXPECT_EQ(text("select count(*) from T_ClientLog where datediff(second, LoginTime, getdate()) between 0 and 60"),
              "2");

    // The disconnect closes every open row of that address and port.
    r = run(" update T_ClientLog set LogoutTime=GetDate(), Closed=1  where MashineIP='127.0.0.1' and "
            "ConnectPort=5000 and Closed=0");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    EXPECT_EQ(text("select count(*) from T_ClientLog where Closed=1 and LogoutTime is not null"), "2");
    // The viewer counts open machines by distinct address.
    EXPECT_EQ(text("select count(distinct MashineIP) from T_ClientLog where Closed=0"), "0");
}

TEST_F(ConformanceProgramStatements, VersionInsertKeepsWholeMinutes)
{
    const char* insert =
        " declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from DBVersion  insert into "
        "DBVersion(KeyID,Version,ReleaseDate)  values( @MaxID,'PKV121224',cast(GetDate() as smalldatetime)) ";
    exec(insert);
    exec(insert);
    ResultSet rs = rows("select KeyID, Version, ReleaseDate, datepart(second, ReleaseDate), "
                        "datepart(millisecond, ReleaseDate) from DBVersion order by KeyID");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 1);
    EXPECT_EQ(rs.rows[1][0].toInt64(), 2);
    EXPECT_EQ(rs.rows[0][1].toString(), "PKV121224");
    EXPECT_EQ(rs.rows[0][3].toInt64(), 0);
    EXPECT_EQ(rs.rows[0][4].toInt64(), 0);
    std::string at = rs.rows[0][2].toString();
    ASSERT_GE(at.size(), 19u) << at;
    EXPECT_EQ(at.substr(17, 2), "00") << at;
    // The newest pack version, as the upgrade reads it.
    EXPECT_EQ(text("select max(Version) from DBVersion"), "PKV121224");
    EXPECT_EQ(text("select top 1 Version from DBVersion order by KeyID desc"), "PKV121224");
}

TEST_F(ConformanceProgramStatements, CacheMaintenanceSectionsMatchNamesIgnoringCase)
{
    exec("insert into AccList values (1, 'Sample', N'财务例子账', 0, 0, 0)\n"
         "insert into AccList values (2, 'A001', 'first', 0, 0, 0)\n"
         "insert into AccList values (3, 'B002', 'second', 1, 0, 0)\n"
         "insert into T_Options values (1, 'vqtcw_SAMPLE', 'pw1')\n"
         "insert into T_Options values (2, 'VQTCW_gone', 'pw2')\n"
         "insert into T_Options values (3, 'VQTCW_a001', 'pw3')\n"
         "insert into T_Options values (4, 'OtherOption', 'x')\n"
         "insert into T_Options values (5, 'VQTCWXabc', 'pw5')\n"
         "insert into T_Options values (6, 'vqtcw_', 'pw6')");
    BatchResult r = run("delete from T_Options\r\nwhere Name like 'VQTCW_%'\r\n"
                        "  and Name not in (select 'VQTCW_'+DBName from AccList)");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 3);
    // Unbracketed '_' in the pattern matches any character, so 'VQTCWXabc' goes too.
    EXPECT_EQ(column("select Name from T_Options order by KeyID"),
              (Strings{"vqtcw_SAMPLE", "VQTCW_a001", "OtherOption"}));

    ResultSet rs = rows("select * from AccList\r\nwhere 'VQTCW_'+DBName not in (select Name from T_Options)");
    ASSERT_EQ(rs.rows.size(), 1u);
    ASSERT_EQ(rs.columns.size(), 6u);
    EXPECT_EQ(rs.columns[0].name, "KeyID");
    EXPECT_EQ(rs.columns[1].name, "DBName");
    EXPECT_EQ(rs.at(0, "DBName").toString(), "B002");
    EXPECT_EQ(rs.at(0, "KeyID").toInt64(), 3);

    // The cache look-up by name.
    EXPECT_EQ(text("select TxtValue from T_Options where Name='VQTCW_Sample'"), "pw1");
    exec("delete from T_Options where Name='VQTCW_" + std::string("A001") + "'");
    EXPECT_EQ(rows("select TxtValue from T_Options where Name='VQTCW_A001'").rows.size(), 0u);
}

std::string codeExpression(int lev2, int lev3)
{
    std::string e =
        "substring(Code,1,4)+ (case when ##Lev2<=3 then substring(Code,5+3-##Lev2,##Lev2) else (case when "
        "len(Code)>4 then replicate('0',##Lev2-3) else '' end)+ substring(Code,5,3) end)+ (case when ##Lev3<=3 "
        "then substring(Code,8+3-##Lev3,##Lev3) else (case when len(Code)>7 then replicate('0',##Lev3-3) else '' "
        "end)+ substring(Code,8,3) end)";
    auto replaceAll = [&e](const std::string& from, const std::string& to) {
        for (std::size_t p = e.find(from); p != std::string::npos; p = e.find(from, p + to.size()))
            e.replace(p, from.size(), to);
    };
    replaceAll("##Lev2", std::to_string(lev2));
    replaceAll("##Lev3", std::to_string(lev3));
    return e;
}

struct CodeCase {
    int lev2;
    int lev3;
    const char* code;
    const char* converted;
};

std::ostream& operator<<(std::ostream& os, const CodeCase& c)
{
    return os << c.code << " with " << c.lev2 << "," << c.lev3;
}

class ConformanceCodeConversion : public EngineFixture, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ConformanceCodeConversion, ConvertsPresetCodes)
{
    const CodeCase& c = GetParam();
    exec("create table CW_SubTemp (KeyID int, Code varchar(32))\n"
         "insert into CW_SubTemp values (1, '" + std::string(c.code) + "')");
    EXPECT_EQ(text("select " + codeExpression(c.lev2, c.lev3) + " from CW_SubTemp"), c.converted);
}

INSTANTIATE_TEST_SUITE_P(
    ConformanceProgram, ConformanceCodeConversion,
    ::testing::Values(
        CodeCase{3, 3, "1002001001", "1002001001"},
        CodeCase{3, 3, "1002001", "1002001"},
        CodeCase{3, 3, "1002", "1002"},
        CodeCase{2, 2, "1002001001", "10020101"},
        CodeCase{2, 2, "1002001", "100201"},
        CodeCase{2, 2, "1002", "1002"},
        CodeCase{4, 4, "1002001001", "100200010001"},
        CodeCase{4, 4, "1002001", "10020001"},
        CodeCase{4, 4, "1002", "1002"},
        CodeCase{1, 5, "5101002003", "5101200003"},
        CodeCase{6, 2, "5101002003", "510100000203"},
        CodeCase{5, 6, "1002", "1002"},
        CodeCase{1, 1, "1002", "1002"}));

TEST_F(ConformanceProgramStatements, SubjectPreviewOrdersByTheConvertedCode)
{
    exec("insert into CW_SubTemp values (1, '1001', N'库存现金', 1)\n"
         "insert into CW_SubTemp values (2, '1002', N'银行存款', 1)\n"
         "insert into CW_SubTemp values (3, '1002001', N'工商银行', 1)\n"
         "insert into CW_SubTemp values (4, '1002001001', N'基本户', 1)\n"
         "insert into CW_SubTemp values (5, '2001', N'短期借款', 2)");
    std::string sql = "select KeyID, " + codeExpression(2, 4) +
                      " as Code, (case when len(Code)=4 then Name when len(Code)=7 then '  '+Name when "
                      "len(Code)>7 then '    '+Name end) as Name from CW_SubTemp where SubKind=1 order by Code";
    ResultSet rs = rows(sql);
    ASSERT_EQ(rs.rows.size(), 4u);
    EXPECT_EQ(rs.columns.at(1).name, "Code");
    EXPECT_EQ(rs.rows[0][1].toString(), "1001");
    EXPECT_EQ(rs.rows[1][1].toString(), "1002");
    EXPECT_EQ(rs.rows[2][1].toString(), "100201");
    EXPECT_EQ(rs.rows[3][1].toString(), "1002010001");
    EXPECT_EQ(rs.rows[0][2].toString(), "库存现金");
    EXPECT_EQ(rs.rows[2][2].toString(), "  工商银行");
    EXPECT_EQ(rs.rows[3][2].toString(), "    基本户");
}

TEST_F(ConformanceProgramStatements, QueryMaxIdNamesItsColumnAndStartsAtZero)
{
    const char* sql = " select isnull(max(KeyID),0) as MaxID from AccList";
    ResultSet rs = rows(sql);
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].name, "MaxID");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 0);
    EXPECT_FALSE(rs.rows[0][0].isNull());
    exec("insert into AccList (KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values (7, 'S', 'n', 0, 0, 0)\n"
         "insert into AccList (KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values (3, 'T', 'n', 0, 0, 0)");
    EXPECT_EQ(rows(sql).at(0, "MaxID").toInt64(), 7);
}

}  // namespace
