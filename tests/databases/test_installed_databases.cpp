// The four database backups installed beside the program: each restores
// under its own name with the logical file names the program expects, and
// their content holds together (charts of accounts, statement items, the
// template before the upgrade and the sample after it, balanced books).
#include "../support/installedbackups.h"
#include "connection.h"
#include "instance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One instance for the whole suite, with the four backups restored.
class InstalledDatabases : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string pattern = (fs::temp_directory_path() / "vqinstalled-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        const std::string instance = root_ + "/instance";
        vqsql::initialiseInstance(instance, "");
        db_ = std::make_unique<vqsql::Connection>();
        db_->open(vqsql::ConnectionParams{instance, "master", "sa", ""});
        db_->setCommandTimeout(0);
        for (const char* name : {"VQTCWAccList", "VQTCWTemp", "VQTCWPack", "VQTCW_Sample"})
            logicalNames_[name] = vqtest::restoreInstalledBackup(*db_, instance, name);
    }

    static void TearDownTestSuite()
    {
        db_.reset();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    static std::vector<std::vector<std::string>> rows(const std::string& sql)
    {
        return vqtest::textRows(db_->query(sql));
    }

    static long long count(const std::string& sql)
    {
        vqsql::ResultSet rs = db_->query(sql);
        return rs.rows.empty() ? -1 : rs.rows[0][0].toInt64();
    }

    static bool objectExists(const std::string& database, const std::string& name, const std::string& xtype)
    {
        return count("select count(*) from [" + database + "]..sysobjects where name = '" + name + "' and xtype = '" +
                     xtype + "'") > 0;
    }

    static bool columnExists(const std::string& database, const std::string& table, const std::string& column)
    {
        return count("select count(*) from [" + database + "]..syscolumns c join [" + database +
                     "]..sysobjects o on o.id = c.id where o.name = '" + table + "' and c.name = '" + column + "'") > 0;
    }

    static inline std::string root_;
    static inline std::unique_ptr<vqsql::Connection> db_;
    static inline std::map<std::string, std::pair<std::string, std::string>> logicalNames_;
};

TEST_F(InstalledDatabases, EachBackupCarriesTheLogicalNamesTheProgramExpects)
{
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"VQTCWAccList", {"VQTCWAccList", "VQTCWAccList_log"}},
        {"VQTCWTemp", {"VQTCWTemp", "VQTCWTemp_Log"}},
        {"VQTCWPack", {"VQTCWPack", "VQTCWPack_log"}},
        {"VQTCW_Sample", {"VQTCW_Sample", "VQTCW_Sample_log"}},
    };
    EXPECT_EQ(logicalNames_, expected);
}

TEST_F(InstalledDatabases, EveryDatabaseHasTheUserDefinedTypes)
{
    for (const char* db : {"VQTCWAccList", "VQTCWTemp", "VQTCWPack", "VQTCW_Sample"})
        EXPECT_EQ(count(std::string("select count(*) from [") + db + "]..systypes where name in ('T_KEYID','T_KEY',"
                        "'T_VA16','T_VA32','T_VA64','T_VA128','T_VA255','T_VA4096','T_INTEGER','T_SHORT','T_BYTE',"
                        "'T_NUMBER','T_MONEY','T_DATETIME','T_IMAGE')"),
                  15)
            << db;
}

TEST_F(InstalledDatabases, CatalogueHasItsTablesAndTheShippedPackVersion)
{
    for (const char* table : {"AccList", "T_Options", "DBVersion", "T_ClientLog"})
        EXPECT_TRUE(objectExists("VQTCWAccList", table, "U")) << table;
    EXPECT_TRUE(objectExists("VQTCWAccList", "PK_T_CLIENTLOG", "PK"));
    EXPECT_EQ(count("select count(*) from VQTCWAccList..AccList"), 0);
    EXPECT_EQ(rows("select max(Version) from VQTCWAccList.dbo.DBVersion where Version like 'PKV%'"),
              (std::vector<std::vector<std::string>>{{"PKV121224"}}));
    // The login log's columns, in the order the connection service writes them.
    EXPECT_EQ(rows("select c.name from VQTCWAccList..syscolumns c where c.id = object_id('VQTCWAccList..T_ClientLog') "
                   "order by c.colid"),
              (std::vector<std::vector<std::string>>{{"KeyID"}, {"MashineIP"}, {"MashineName"}, {"ConnectPort"},
                                                      {"DBName"}, {"AccName"}, {"LoginUser"}, {"LoginTime"},
                                                      {"LogoutTime"}, {"Closed"}}));
}

// The level-1 accounts each regulation lists.
TEST_F(InstalledDatabases, EveryChartListsTheRegulationsLevelOneAccounts)
{
    const std::map<int, long long> levelOne = {{0, 85}, {1, 61}, {2, 156}, {3, 66}, {4, 48}};
    for (const auto& [kind, expected] : levelOne)
        EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where SubKind = " + std::to_string(kind) +
                        " and len(Code) = 4"),
                  expected)
            << "kind " << kind;
}

TEST_F(InstalledDatabases, ChartCodesFollowTheFourThreeThreeLayout)
{
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where len(Code) not in (4, 7, 10)"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where Code like '%[^0-9]%'"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where SubKind not in (0,1,2,3,4)"), 0);
    // Every level-2 and level-3 code has its parent in the same kind.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp c where len(Code) > 4 and not exists (select 1 from "
                    "VQTCWPack..CW_SubTemp p where p.SubKind = c.SubKind and p.Code = substring(c.Code, 1, "
                    "len(c.Code) - 3))"),
              0);
    // No code twice in a kind.
    EXPECT_EQ(count("select count(*) from (select SubKind, Code from VQTCWPack..CW_SubTemp group by SubKind, Code "
                    "having count(*) > 1) d"),
              0);
}

TEST_F(InstalledDatabases, ChartFlagsAreConsistent)
{
    // HoldSub marks subjects with lower subjects, BoEnd the others.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp c where c.HoldSub <> (case when exists (select 1 from "
                    "VQTCWPack..CW_SubTemp k where k.SubKind = c.SubKind and len(k.Code) = len(c.Code) + 3 and "
                    "substring(k.Code, 1, len(c.Code)) = c.Code) then 1 else 0 end)"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where BoEnd + HoldSub <> 1"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where BoPLSub <> (case when Property = 6 then 1 else "
                    "0 end)"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SubTemp where BoDebit not in (0, 1) or Property not in "
                    "(1,2,3,4,5,6)"),
              0);
    // The non-profit chart holds the net-asset accounts the upgrade classifies.
    EXPECT_GT(count("select count(*) from VQTCWPack..CW_SubTemp where SubKind = 4 and Name like '非限定性%'"), 0);
    EXPECT_GT(count("select count(*) from VQTCWPack..CW_SubTemp where SubKind = 4 and Name like '限定性%'"), 0);
}

TEST_F(InstalledDatabases, StatementItemsNameSubjectsOfTheirChart)
{
    for (const char* table : {"CW_BSheetS", "CW_SheetS"})
        EXPECT_EQ(count(std::string("select count(*) from VQTCWPack..") + table + " i where i.SubCode is not null "
                        "and not exists (select 1 from VQTCWPack..CW_SubTemp s where s.SubKind = i.SubKind and "
                        "s.Code = i.SubCode)"),
                  0)
            << table;
    // Kind 3 items are copied with their SubID as stored: the subject's preset KeyID.
    for (const char* table : {"CW_BSheetS", "CW_SheetS"})
        EXPECT_EQ(count(std::string("select count(*) from VQTCWPack..") + table + " i where i.SubKind = 3 and "
                        "i.SubCode is not null and isnull(i.SubID, -1) <> (select s.KeyID from VQTCWPack..CW_SubTemp s "
                        "where s.SubKind = 3 and s.Code = i.SubCode)"),
                  0)
            << table;
    // Items belong to lines, and every kind the wizard reads has its statements.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_BSheetS i where not exists (select 1 from VQTCWPack..CW_BSheet "
                    "l where l.SubKind = i.SubKind and l.KeyID = i.KeyID)"),
              0);
    for (int kind : {0, 2, 3}) {
        EXPECT_GT(count("select count(*) from VQTCWPack..CW_BSheet where RptTypeID = 1 and SubKind = " +
                        std::to_string(kind)),
                  0);
        EXPECT_GT(count("select count(*) from VQTCWPack..CW_Sheet where RptTypeID = 101 and SubKind = " +
                        std::to_string(kind)),
                  0);
    }
    for (int kind : {0, 2, 3})
        EXPECT_GT(count("select count(*) from VQTCWPack..CW_Sheet where RptTypeID = 401 and SubKind = " +
                        std::to_string(kind)),
                  0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_Sheet where KeyID >= 500"), 0);
}

// The 2006 chart (kind 2) has the cash-flow statement of its own standards
// (会企03表): the lines in the format's order, their totals summing lines of
// the same statement, their item lines summing cash-flow items of the
// template.
TEST_F(InstalledDatabases, Kind2HasTheCashFlowStatementOfThe2006Standards)
{
    const std::string lines = "select KeyID from VQTCWPack..CW_Sheet where SubKind = 2 and RptTypeID = 401";
    const std::vector<std::string> expected = {
        "一、经营活动产生的现金流量：",
        "销售商品、提供劳务收到的现金",
        "收到的税费返还",
        "收到其他与经营活动有关的现金",
        "经营活动现金流入小计",
        "购买商品、接受劳务支付的现金",
        "支付给职工以及为职工支付的现金",
        "支付的各项税费",
        "支付其他与经营活动有关的现金",
        "经营活动现金流出小计",
        "经营活动产生的现金流量净额",
        "二、投资活动产生的现金流量：",
        "收回投资收到的现金",
        "取得投资收益收到的现金",
        "处置固定资产、无形资产和其他长期资产收回的现金净额",
        "处置子公司及其他营业单位收到的现金净额",
        "收到其他与投资活动有关的现金",
        "投资活动现金流入小计",
        "购建固定资产、无形资产和其他长期资产支付的现金",
        "投资支付的现金",
        "取得子公司及其他营业单位支付的现金净额",
        "支付其他与投资活动有关的现金",
        "投资活动现金流出小计",
        "投资活动产生的现金流量净额",
        "三、筹资活动产生的现金流量：",
        "吸收投资收到的现金",
        "取得借款收到的现金",
        "收到其他与筹资活动有关的现金",
        "筹资活动现金流入小计",
        "偿还债务支付的现金",
        "分配股利、利润或偿付利息支付的现金",
        "支付其他与筹资活动有关的现金",
        "筹资活动现金流出小计",
        "筹资活动产生的现金流量净额",
        "四、汇率变动对现金及现金等价物的影响",
        "五、现金及现金等价物净增加额",
        "加：期初现金及现金等价物余额",
        "六、期末现金及现金等价物余额",
    };
    std::vector<std::vector<std::string>> names;
    for (const std::string& name : expected)
        names.push_back({name});
    EXPECT_EQ(rows("select ltrim(Name) from VQTCWPack..CW_Sheet where SubKind = 2 and RptTypeID = 401 order by "
                   "OrderNo"),
              names);
    // SequNo = OrderNo = KeyID, and no SequNo the income statement's lines have (totals name lines by it).
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_Sheet where SubKind = 2 and RptTypeID = 401 and (SequNo <> "
                    "KeyID or OrderNo <> KeyID)"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_Sheet a join VQTCWPack..CW_Sheet b on b.SubKind = a.SubKind "
                    "and b.SequNo = a.SequNo and b.KeyID <> a.KeyID where a.SubKind = 2"),
              0);
    // Headings carry no row number, every other line one, 1.. in order.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_Sheet where SubKind = 2 and RptTypeID = 401 and ((CalcKind = "
                    "0 and RowNo is not null) or (CalcKind <> 0 and RowNo is null))"),
              0);
    EXPECT_EQ(rows("select min(RowNo), max(RowNo), count(distinct RowNo) from VQTCWPack..CW_Sheet where SubKind = 2 "
                   "and RptTypeID = 401"),
              (std::vector<std::vector<std::string>>{{"1", "35", "35"}}));

    // The statement has items and cash-flow items, and every one belongs to one of its lines.
    EXPECT_GT(count("select count(*) from VQTCWPack..CW_SheetS where SubKind = 2 and KeyID in (" + lines + ")"), 0);
    EXPECT_GT(count("select count(*) from VQTCWPack..CW_SheetC where SubKind = 2 and KeyID in (" + lines + ")"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetS i where SubKind = 2 and not exists (select 1 from "
                    "VQTCWPack..CW_Sheet l where l.SubKind = 2 and l.KeyID = i.KeyID)"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetC where SubKind = 2 and KeyID not in (" + lines + ")"), 0);
    // Totals sum lines of this statement that carry an amount, by SequNo, and only totals name lines.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetS i join VQTCWPack..CW_Sheet l on l.SubKind = 2 and "
                    "l.KeyID = i.KeyID where i.SubKind = 2 and l.RptTypeID = 401 and ((l.CalcKind = 2 and i.SequNo "
                    "is null) or (i.SequNo is not null and (l.CalcKind <> 2 or i.SequNo not in (select SequNo from "
                    "VQTCWPack..CW_Sheet where SubKind = 2 and RptTypeID = 401 and CalcKind <> 0))))"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_Sheet l where SubKind = 2 and RptTypeID = 401 and CalcKind = "
                    "2 and not exists (select 1 from VQTCWPack..CW_SheetS i where i.SubKind = 2 and i.KeyID = "
                    "l.KeyID)"),
              0);
    // Every subject an item names is a subject of the kind-2 chart.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetS i where i.SubKind = 2 and i.KeyID in (" + lines +
                    ") and i.SubCode is not null and not exists (select 1 from VQTCWPack..CW_SubTemp s where "
                    "s.SubKind = 2 and s.Code = i.SubCode)"),
              0);
    // Cash-flow items stand on item lines, name receipt or payment items of the template with the
    // item's own IOTag, and none is summed twice.
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetC i join VQTCWPack..CW_Sheet l on l.SubKind = 2 and "
                    "l.KeyID = i.KeyID where i.SubKind = 2 and l.CalcKind <> 1"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..CW_SheetC i where i.SubKind = 2 and not exists (select 1 from "
                    "VQTCWTemp..CW_CashFlow f where f.KeyID = i.CashFlowID and f.IOTag = i.IOTag and f.IOTag <> 0)"),
              0);
    EXPECT_EQ(count("select count(*) from (select CashFlowID from VQTCWPack..CW_SheetC where SubKind = 2 group by "
                    "CashFlowID having count(*) > 1) d"),
              0);
    EXPECT_EQ(rows("select l.KeyID, i.CashFlowID from VQTCWPack..CW_SheetC i join VQTCWPack..CW_Sheet l on "
                   "l.SubKind = 2 and l.KeyID = i.KeyID where i.SubKind = 2 and ltrim(l.Name) in "
                   "('处置子公司及其他营业单位收到的现金净额', '取得子公司及其他营业单位支付的现金净额') order by l.KeyID"),
              (std::vector<std::vector<std::string>>{{"116", "21"}, {"121", "30"}}));
    // The closing balance is the net increase and the opening balance.
    EXPECT_EQ(rows("select i.ZJTag, ltrim(s.Name) from VQTCWPack..CW_SheetS i join VQTCWPack..CW_Sheet l on "
                   "l.SubKind = 2 and l.KeyID = i.KeyID join VQTCWPack..CW_Sheet s on s.SubKind = 2 and s.SequNo = "
                   "i.SequNo where i.SubKind = 2 and l.Name = '六、期末现金及现金等价物余额' order by i.SecID"),
              (std::vector<std::vector<std::string>>{{"1", "五、现金及现金等价物净增加额"},
                                                      {"1", "加：期初现金及现金等价物余额"}}));
}

TEST_F(InstalledDatabases, PackHasReportsPrintTemplatesAndPrivileges)
{
    EXPECT_GT(count("select count(*) from VQTCWPack..CW_Report"), 0);
    EXPECT_GE(count("select count(*) from VQTCWPack..T_TempFile"), 5);
    EXPECT_GT(count("select count(*) from VQTCWPack..T_PrivGrp"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWPack..T_Priv p where not exists (select 1 from VQTCWPack..T_PrivGrp g "
                    "where g.KeyID = p.PrivGrpID)"),
              0);
}

TEST_F(InstalledDatabases, TemplateLacksWhatTheUpgradeAddsAndTheSampleHasIt)
{
    for (const char* table : {"RT_BalaSheetS", "RT_ProfitLossD", "RT_CashFlowS"}) {
        EXPECT_FALSE(objectExists("VQTCWTemp", table, "U")) << table;
        EXPECT_TRUE(objectExists("VQTCW_Sample", table, "U")) << table;
    }
    EXPECT_FALSE(objectExists("VQTCWTemp", "V_SubAllName", "V"));
    EXPECT_TRUE(objectExists("VQTCW_Sample", "V_SubAllName", "V"));
    EXPECT_FALSE(columnExists("VQTCWTemp", "CW_Subject", "SubTag"));
    EXPECT_TRUE(columnExists("VQTCW_Sample", "CW_Subject", "SubTag"));
    EXPECT_FALSE(columnExists("VQTCWTemp", "CW_FAInitBala", "MBDeprMon"));
    EXPECT_TRUE(columnExists("VQTCW_Sample", "CW_FAInitBala", "MBDeprWL"));
    EXPECT_EQ(count("select count(*) from VQTCWTemp..CW_Sheet where RptTypeID = 413"), 0);
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_Sheet where RptTypeID = 413"), 25);
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_SheetC where KeyID > 500 and KeyID < 530"), 28);
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_SheetS where KeyID > 500 and KeyID < 530"), 21);
    // The sample records the upgrade's versions, so it is never upgraded again.
    EXPECT_EQ(rows("select Name, TxtValue from VQTCW_Sample..T_Options where Name in ('UpgradeDBTable', "
                   "'UpgradeField_WY01', 'UpgradeView_WY01', 'UpgradeInitData', 'SO_V_SubAllName') order by Name"),
              (std::vector<std::vector<std::string>>{{"SO_V_SubAllName", "20200720.01"},
                                                      {"UpgradeDBTable", "20180120.01"},
                                                      {"UpgradeField_WY01", "20200112.02"},
                                                      {"UpgradeInitData", "20151003.04"},
                                                      {"UpgradeView_WY01", "20200720.01"}}));
}

TEST_F(InstalledDatabases, TemplateStartsWithTheAdministratorAndTheBookCurrency)
{
    EXPECT_EQ(count("select count(*) from VQTCWTemp..T_Operator where KeyID = 1"), 1);
    EXPECT_EQ(rows("select Code, Name from VQTCWTemp..CW_Money where MoneyID = 1"),
              (std::vector<std::vector<std::string>>{{"RMB", "人民币"}}));
    EXPECT_EQ(count("select count(*) from VQTCWTemp..CW_SubType"), 0);
    EXPECT_EQ(count("select count(*) from VQTCWTemp..CW_Subject"), 0);
    // The cash-flow items the small-enterprise statement lines of the upgrade sum.
    EXPECT_EQ(count("select count(*) from VQTCWTemp..CW_CashFlow where KeyID in (3,4,5,6,7,9,11,12,13,14,15,18,19,20,"
                    "23,24,26,27,28,29,32,33,34,35,37,38,39,40)"),
              28);
}

TEST_F(InstalledDatabases, SampleBooksBalance)
{
    // Entry by entry: every voucher's debits equal its credits.
    EXPECT_EQ(count("select count(*) from (select VouID from VQTCW_Sample..CW_VouDetail group by VouID having "
                    "sum(DebitAmt) <> sum(CreditAmt)) d"),
              0);
    EXPECT_GT(count("select count(*) from VQTCW_Sample..CW_Voucher"), 0);
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_VouDetail where DebitAmt <> 0 and CreditAmt <> 0"), 0);
    // Entries stand on last-level subjects only.
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_VouDetail d join VQTCW_Sample..CW_Subject s on s.KeyID = "
                    "d.SubID where s.BoEnd <> 1"),
              0);
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_VouDetail d where not exists (select 1 from "
                    "VQTCW_Sample..CW_Subject s where s.KeyID = d.SubID)"),
              0);
    // In total, and in the opening balances.
    EXPECT_EQ(rows("select sum(DebitAmt) - sum(CreditAmt) from VQTCW_Sample..CW_VouDetail"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    // Over the last-level subjects (upper levels hold the sums of theirs).
    for (const char* column : {"BeginBala", "EndBala"})
        EXPECT_EQ(rows(std::string("select sum(case when s.BoDebit = 1 then b.") + column + " else -b." + column +
                       " end) from VQTCW_Sample..CW_SubBala b join VQTCW_Sample..CW_Subject s on s.KeyID = b.SubID "
                       "where s.BoEnd = 1 and b.CWMonth = " + (std::string(column) == "BeginBala" ? "0" : "1")),
                  (std::vector<std::vector<std::string>>{{"0"}}))
            << column;
}

TEST_F(InstalledDatabases, SampleHasTheWizardsSetUp)
{
    EXPECT_EQ(rows("select TxtValue from VQTCW_Sample..T_Options where Name = 'AccSetName'"),
              (std::vector<std::vector<std::string>>{{"财务例子账"}}));
    EXPECT_EQ(rows("select KeyID, SubLen1, SubLen2, SubLen3, SubLen4, SubLen5, SubLen6 from VQTCW_Sample..CW_SubLen"),
              (std::vector<std::vector<std::string>>{{"1", "4", "7", "10", "13", "16", "19"}}));
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..CW_Subject"),
              count("select count(*) from VQTCWPack..CW_SubTemp where SubKind = 3"));
    EXPECT_GT(count("select count(*) from VQTCW_Sample..CW_VouWord"), 0);
    EXPECT_GT(count("select count(*) from VQTCW_Sample..CW_BSheet"), 0);
    // The view gives every subject its full name.
    EXPECT_EQ(count("select count(*) from VQTCW_Sample..V_SubAllName where AllName is null"), 0);
    EXPECT_EQ(rows("select AllName from VQTCW_Sample..V_SubAllName where Code = '1001'"),
              (std::vector<std::vector<std::string>>{{"库存现金"}}));
}

}  // namespace
