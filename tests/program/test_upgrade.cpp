// The account-set upgrade (UpgradeAccountSet and its helpers) on a real
// account set restored from the installed empty template, and the
// template pack upgrade against the installed catalogue and pack backup.
#include "program_fixture.h"

#include "mwcwfun.h"
#include "mwupgrade.h"
#include "options.h"
#include "upgradedm.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::vector<std::pair<std::string, std::string>> kStepVersions = {
    {"UpgradeDBTable", "20180120.01"},
    {"UpgradeField_WY01", "20200112.02"},
    {"UpgradeView_WY01", "20200720.01"},
    {"UpgradeInitData", "20151003.04"},
};

}  // namespace

// ---------------------------------------------------------------------------
// Version texts

TEST(UpgradeVersionText, ComparesByCharacterCodeWithThePrefixSmaller)
{
    EXPECT_TRUE(IsVersionSmaller("", "20180120.01"));
    EXPECT_FALSE(IsVersionSmaller("", ""));
    EXPECT_TRUE(IsVersionSmaller("20180120.00", "20180120.01"));
    EXPECT_FALSE(IsVersionSmaller("20180120.01", "20180120.01"));
    EXPECT_FALSE(IsVersionSmaller("20180120.02", "20180120.01"));
    EXPECT_TRUE(IsVersionSmaller("2018012", "20180120.01"));   // a prefix
    EXPECT_FALSE(IsVersionSmaller("3", "20200720.01"));        // first digit decides
    EXPECT_FALSE(IsVersionSmaller("9", "20200720.01"));
    EXPECT_TRUE(IsVersionSmaller("1999", "20151003.04"));
    EXPECT_TRUE(IsVersionSmaller("PKV090101", "PKV121224"));
    EXPECT_FALSE(IsVersionSmaller("PKV130101", "PKV121224"));
    EXPECT_FALSE(IsVersionSmaller("pkv000000", "PKV121224"));  // no case folding: 'p' > 'P'
}

// ---------------------------------------------------------------------------
// The account-set upgrade on the empty template

class AccountSetUpgrade : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        restore("VQTCWTemp");
        ASSERT_TRUE(link_->ConnectAccountSet("VQTCWTemp", false));
        upgrade_ = std::make_unique<TUpgradeData>();
        UpgradeData = upgrade_.get();
        openStore();
    }

    void TearDown() override
    {
        closeStore();
        UpgradeData = nullptr;
        upgrade_.reset();
        ProgramFixture::TearDown();
    }

    void openStore()
    {
        options_ = std::make_unique<TFundOptions>(link_->UserDB);
        FundOptions = options_.get();
    }
    // Destroying the store saves what it still holds.
    void closeStore()
    {
        FundOptions = nullptr;
        options_.reset();
    }

    void run() { upgrade_->UpgradeAccountSet(); }

    Rows rows(const std::string& sql) { return vqtest::textRows(link_->UserDB.query(sql)); }
    void exec(const std::string& sql) { link_->UserDB.execute(sql); }
    long long count(const std::string& sql) { return link_->UserDB.query(sql).rows.at(0).at(0).toInt64(); }
    bool tableExists(const std::string& name)
    {
        return count("select count(*) from sysobjects where name='" + name + "' and xtype='U'") != 0;
    }
    bool viewExists() { return count("select count(*) from sysobjects where name='V_SubAllName' and xtype='V'") != 0; }
    bool hasColumn(const std::string& table, const std::string& column)
    {
        return count("select count(*) from syscolumns where name='" + column + "' and id=object_id('" + table + "')") != 0;
    }
    // The option as the database holds it ("<none>" without a row).
    std::string storedOption(const std::string& name)
    {
        const Rows r = rows("select TxtValue from T_Options where Name='" + name + "'");
        return r.empty() ? "<none>" : r[0][0];
    }
    void putOption(const std::string& name, const std::string& value)
    {
        exec("insert into T_Options(KeyID, Name, TxtValue) select isnull(max(KeyID),0)+1, '" + name + "', '" + value +
             "' from T_Options");
    }

    // A small chart of 4-3-2 code lengths, two of its names beginning with
    // the words the classification looks for.
    void writeChart()
    {
        exec("insert into CW_SubLen(KeyID, SubLen1, SubLen2, SubLen3, SubLen4, SubLen5, SubLen6) "
             "values (1, 4, 7, 9, 11, 13, 15)");
        const char* chart[][3] = {
            {"1", "1001", "1"},          {"2", "1002", "1"},           {"3", "1002001", "2"},
            {"4", "100200101", "3"},     {"5", "3101", "1"},           {"6", "3101001", "2"},
            {"7", "3101002", "2"},       {"8", "4101002", "2"},         // level 1 of 4101 missing
            {"9", "100200101010101", "7"},
        };
        const char* names[] = {"库存现金", "银行存款", "工商银行", "基本户", "净资产",
                               "非限定性净资产", "限定性净资产", "孤立明细", "深层明细"};
        for (std::size_t i = 0; i < std::size(chart); ++i)
            exec(std::string("insert into CW_Subject(KeyID, Code, Name, Grade) values (") + chart[i][0] + ", '" +
                 chart[i][1] + "', '" + names[i] + "', " + chart[i][2] + ")");
    }

    std::unique_ptr<TUpgradeData> upgrade_;
    std::unique_ptr<TFundOptions> options_;
};

TEST_F(AccountSetUpgrade, TemplateLacksWhatTheUpgradeAdds)
{
    // The premise of every test below.
    EXPECT_FALSE(tableExists("RT_BalaSheetS"));
    EXPECT_FALSE(tableExists("RT_ProfitLossD"));
    EXPECT_FALSE(tableExists("RT_CashFlowS"));
    EXPECT_FALSE(hasColumn("CW_Subject", "SubTag"));
    EXPECT_FALSE(hasColumn("CW_FAInitBala", "MBDeprMon"));
    EXPECT_FALSE(viewExists());
    EXPECT_EQ(count("select count(*) from CW_Sheet where RptTypeID=413"), 0);
}

TEST_F(AccountSetUpgrade, TestHelpersSeeTablesViewsAndColumns)
{
    EXPECT_TRUE(upgrade_->ObjectExists("CW_Subject", "U"));
    EXPECT_FALSE(upgrade_->ObjectExists("CW_Subject", "V"));
    EXPECT_FALSE(upgrade_->ObjectExists("NoSuchTable", "U"));
    EXPECT_TRUE(upgrade_->ColumnExists("CW_Subject", "Grade"));
    EXPECT_FALSE(upgrade_->ColumnExists("CW_Subject", "SubTag"));
    EXPECT_FALSE(upgrade_->ColumnExists("NoSuchTable", "Grade"));
    exec("create view V_Probe as select KeyID, Grade from CW_Subject");
    EXPECT_TRUE(upgrade_->ObjectExists("V_Probe", "V"));
    EXPECT_FALSE(upgrade_->ObjectExists("V_Probe", "U"));
    // A view's columns are not a table's.
    EXPECT_FALSE(upgrade_->ColumnExists("V_Probe", "Grade"));

    EXPECT_TRUE(upgrade_->AddColumnIfMissing("NoSuchTable", "X", "T_INTEGER"));
    EXPECT_TRUE(upgrade_->AddColumnIfMissing("CW_Subject", "Grade", "T_INTEGER"));
    EXPECT_TRUE(upgrade_->AddColumnIfMissing("CW_Subject", "Extra", "T_INTEGER"));
    EXPECT_TRUE(hasColumn("CW_Subject", "Extra"));
    EXPECT_FALSE(upgrade_->AddColumnIfMissing("CW_Subject", "Broken", "T_NO_SUCH_TYPE"));
    EXPECT_FALSE(hasColumn("CW_Subject", "Broken"));
}

TEST_F(AccountSetUpgrade, CreatesTheResultTablesWithTheirColumnsAndKeys)
{
    run();
    struct Expected {
        const char* table;
        const char* key;
        std::vector<std::pair<std::string, std::string>> columns;   // name, type
    };
    const Expected tables[] = {
        {"RT_BalaSheetS", "PK_RT_BALASHEETS",
         {{"YearMon", "T_INTEGER"}, {"SecID", "T_INTEGER"}, {"AstName", "T_VA128"}, {"AstRowNo", "T_INTEGER"},
          {"AstSequNo", "T_INTEGER"}, {"AstYB", "T_NUMBER"}, {"AstMB", "T_NUMBER"}, {"AstME", "T_NUMBER"},
          {"LiOwName", "T_VA128"}, {"LiOwRowNo", "T_INTEGER"}, {"LiOwSequNo", "T_INTEGER"}, {"LiOwYB", "T_NUMBER"},
          {"LiOwMB", "T_NUMBER"}, {"LiOwME", "T_NUMBER"}}},
        {"RT_ProfitLossD", "PK_RT_PROFITLOSSD",
         {{"YearMon", "T_INTEGER"}, {"SecID", "T_INTEGER"}, {"PLName", "T_VA128"}, {"RowNo", "T_INTEGER"},
          {"SequNo", "T_INTEGER"}, {"MAmt", "T_NUMBER"}, {"YAmt", "T_NUMBER"}}},
        {"RT_CashFlowS", "PK_RT_CASHFLOWS",
         {{"YearMon", "T_INTEGER"}, {"SecID", "T_INTEGER"}, {"CFName", "T_VA128"}, {"RowNo", "T_INTEGER"},
          {"SequNo", "T_INTEGER"}, {"Amount", "T_MONEY"}}},
    };
    for (const Expected& t : tables) {
        SCOPED_TRACE(t.table);
        const std::string table = t.table;
        ASSERT_TRUE(tableExists(table));
        const Rows cols = rows("select name, typename, isnullable from syscolumns where id=object_id('" + table +
                               "') order by colid");
        ASSERT_EQ(cols.size(), t.columns.size());
        for (std::size_t i = 0; i < cols.size(); ++i) {
            EXPECT_EQ(cols[i][0], t.columns[i].first);
            EXPECT_EQ(cols[i][1], t.columns[i].second);
            EXPECT_EQ(cols[i][2], i < 2 ? "0" : "1") << cols[i][0];
        }
        EXPECT_EQ(rows("select name from sysobjects where xtype='PK' and parent_obj=object_id('" + table + "')"),
                  (Rows{{t.key}}));
        // The key is (YearMon, SecID): the same pair twice is refused, another SecID is not.
        exec("insert into " + table + "(YearMon, SecID) values (202401, 1)");
        exec("insert into " + table + "(YearMon, SecID) values (202401, 2)");
        EXPECT_THROW(exec("insert into " + table + "(YearMon, SecID) values (202401, 1)"), vqsql::SqlException);
        EXPECT_THROW(exec("insert into " + table + "(YearMon, SecID) values (null, 3)"), vqsql::SqlException);
    }
    EXPECT_EQ(storedOption("UpgradeDBTable"), "20180120.01");
}

TEST_F(AccountSetUpgrade, AddsTheColumnsAndClassifiesTheSubjectsOnce)
{
    writeChart();
    run();
    EXPECT_TRUE(hasColumn("CW_FAInitBala", "MBDeprMon"));
    EXPECT_TRUE(hasColumn("CW_FAInitBala", "MBDeprWL"));
    EXPECT_EQ(rows("select typename, isnullable from syscolumns where id=object_id('CW_FAInitBala') and name in "
                   "('MBDeprMon','MBDeprWL') order by colid"),
              (Rows{{"T_INTEGER", "1"}, {"T_NUMBER", "1"}}));
    EXPECT_EQ(rows("select typename, isnullable from syscolumns where id=object_id('CW_Subject') and name='SubTag'"),
              (Rows{{"T_INTEGER", "1"}}));
    EXPECT_EQ(rows("select Code, SubTag from CW_Subject where SubTag is not null order by Code"),
              (Rows{{"3101001", "1"}, {"3101002", "2"}}));
    EXPECT_EQ(count("select count(*) from CW_Subject where SubTag is null"), 7);
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
}

TEST_F(AccountSetUpgrade, ViewJoinsTheNamesOfTheLevels)
{
    writeChart();
    run();
    ASSERT_TRUE(viewExists());
    const Rows view = rows("select Code, Grade, Code1, Code2, Code3, AllName from V_SubAllName order by Code");
    const Rows expected = {
        {"1001", "1", "1001", "1001", "1001", "库存现金"},
        {"1002", "1", "1002", "1002", "1002", "银行存款"},
        {"1002001", "2", "1002", "1002001", "1002001", "银行存款→工商银行"},
        {"100200101", "3", "1002", "1002001", "100200101", "银行存款→工商银行→基本户"},
        {"100200101010101", "7", "1002", "1002001", "100200101", "...深层明细"},
        {"3101", "1", "3101", "3101", "3101", "净资产"},
        {"3101001", "2", "3101", "3101001", "3101001", "净资产→非限定性净资产"},
        {"3101002", "2", "3101", "3101002", "3101002", "净资产→限定性净资产"},
        {"4101002", "2", "4101", "4101002", "4101002", "<NULL>"},
    };
    EXPECT_EQ(view, expected);
    // Every column of the subject table is there too, the new one included.
    EXPECT_EQ(rows("select KeyID, Name, SubTag, Code6 from V_SubAllName where Code='3101002'"),
              (Rows{{"7", "限定性净资产", "2", "3101002"}}));
    EXPECT_EQ(storedOption("UpgradeView_WY01"), "20200720.01");
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "20200720.01");
}

TEST_F(AccountSetUpgrade, InsertsTheCashFlowStatementLines)
{
    run();
    const char* names[] = {
        "一、经营活动产生的现金流量：",
        "    销售产成品、商品、提供劳务收到的现金",
        "    收到的其他与经营活动有关的现金",
        "    购买原材料、商品、接受劳务支付的现金",
        "    支付的职工薪酬",
        "    支付的税费",
        "    支付其他与经营活动有关的现金",
        "    经营活动产生的现金流量净额",
        "二、投资活动产生的现金流量：",
        "    收回短期投资、长期债券投资和长期股权投资收到的现金",
        "    取得投资收益收到的现金",
        "    处置固定资产、无形资产和其他非流动资产收回的现金净额",
        "    短期投资、长期债券投资和长期股权投资支付的现金",
        "    购建固定资产、无形资产和其他非流动资产支付的现金",
        "    投资活动产生的现金流量净额",
        "三、筹资活动产生的现金流量：",
        "    取得借款收到的现金",
        "    吸收投资者投资收到的现金",
        "    偿还借款本金支付的现金",
        "    偿还借款利息支付的现金",
        "    分配利润支付的现金",
        "    筹资活动产生的现金流量净额",
        "四、现金净增加额",
        "加：期初现金余额",
        "五、期末现金余额",
    };
    const int calcKind[] = {0, 1, 1, 1, 1, 1, 1, 2, 0, 1, 1, 1, 1, 1, 2, 0, 1, 1, 1, 1, 1, 2, 2, 3, 2};
    Rows sheet;
    int rowNo = 0;
    for (int i = 0; i < 25; ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string row = calcKind[i] == 0 ? "<NULL>" : std::to_string(++rowNo);
        sheet.push_back({std::to_string(501 + i), "413", n, n, "0", std::to_string(calcKind[i]), row, names[i]});
    }
    EXPECT_EQ(rows("select KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name from CW_Sheet "
                   "order by KeyID"),
              sheet);

    const std::vector<std::pair<int, std::vector<int>>> sources = {
        {502, {3}},        {503, {4, 5, 6, 7}}, {504, {9}},   {505, {11}},     {506, {12, 13, 14}}, {507, {15}},
        {510, {18}},       {511, {19, 23, 24}}, {512, {20}},  {513, {27, 28, 29}}, {514, {26}},      {517, {34}},
        {518, {32, 33, 35}}, {519, {37}},       {520, {38, 40}}, {521, {39}},
    };
    const std::vector<int> paid = {504, 505, 506, 507, 513, 514, 519, 520, 521};
    Rows sheetC;
    for (const auto& [key, flows] : sources) {
        const bool isPaid = std::find(paid.begin(), paid.end(), key) != paid.end();
        for (std::size_t s = 0; s < flows.size(); ++s)
            sheetC.push_back({std::to_string(key), std::to_string(s + 1), "1", std::to_string(flows[s]),
                              isPaid ? "-1" : "1"});
    }
    ASSERT_EQ(sheetC.size(), 28u);
    EXPECT_EQ(rows("select KeyID, SecID, ZJTag, CashFlowID, IOTag from CW_SheetC order by KeyID, SecID"), sheetC);

    const std::vector<std::pair<int, std::vector<int>>> sums = {
        {508, {2, 3, -4, -5, -6, -7}}, {515, {10, 11, 12, -13, -14}}, {522, {17, 18, -19, -20, -21}},
        {523, {8, 15, 22}},            {525, {23, 24}},
    };
    Rows sheetS;
    for (const auto& [key, lines] : sums)
        for (std::size_t s = 0; s < lines.size(); ++s)
            sheetS.push_back({std::to_string(key), std::to_string(s + 1), "0", lines[s] < 0 ? "-1" : "1",
                              std::to_string(std::abs(lines[s]))});
    ASSERT_EQ(sheetS.size(), 21u);
    EXPECT_EQ(rows("select KeyID, SecID, YMTag, ZJTag, SequNo from CW_SheetS order by KeyID, SecID"), sheetS);
    EXPECT_EQ(storedOption("UpgradeInitData"), "20151003.04");
}

TEST_F(AccountSetUpgrade, RecordsEveryVersionInTheDatabase)
{
    run();
    // No store save in between: new option rows go in at once.
    for (const auto& [name, version] : kStepVersions)
        EXPECT_EQ(storedOption(name), version) << name;
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "20200720.01");
    EXPECT_EQ(count("select count(*) from T_Options"), 5);
}

TEST_F(AccountSetUpgrade, SecondRunChangesNothing)
{
    writeChart();
    run();
    closeStore();
    // Take away parts of every step's work: a second run must not notice.
    exec("drop table RT_ProfitLossD");
    exec("update CW_Subject set SubTag=null");
    exec("drop view V_SubAllName");
    exec("delete from CW_Sheet where KeyID=501");
    exec("delete from CW_SheetS");
    const Rows options = rows("select KeyID, Name, TxtValue from T_Options order by KeyID");
    openStore();
    run();
    closeStore();
    EXPECT_FALSE(tableExists("RT_ProfitLossD"));
    EXPECT_EQ(count("select count(*) from CW_Subject where SubTag is not null"), 0);
    EXPECT_FALSE(viewExists());
    EXPECT_EQ(count("select count(*) from CW_Sheet where RptTypeID=413"), 24);
    EXPECT_EQ(count("select count(*) from CW_SheetS"), 0);
    EXPECT_EQ(rows("select KeyID, Name, TxtValue from T_Options order by KeyID"), options);
}

TEST_F(AccountSetUpgrade, HigherOrEqualVersionsSuppressEveryStep)
{
    putOption("UpgradeDBTable", "3");                   // a digit above 2
    putOption("UpgradeField_WY01", "20200112.03");
    putOption("UpgradeView_WY01", "20200720.01");       // equal
    putOption("UpgradeInitData", "9");
    openStore();   // a fresh cache over the rows just written
    run();
    EXPECT_FALSE(tableExists("RT_BalaSheetS"));
    EXPECT_FALSE(hasColumn("CW_Subject", "SubTag"));
    EXPECT_FALSE(hasColumn("CW_FAInitBala", "MBDeprMon"));
    EXPECT_FALSE(viewExists());
    EXPECT_EQ(count("select count(*) from CW_Sheet"), 0);
    closeStore();
    EXPECT_EQ(rows("select Name, TxtValue from T_Options order by KeyID"),
              (Rows{{"UpgradeDBTable", "3"},
                    {"UpgradeField_WY01", "20200112.03"},
                    {"UpgradeView_WY01", "20200720.01"},
                    {"UpgradeInitData", "9"}}));
}

TEST_F(AccountSetUpgrade, OlderVersionsRunTheStepsAndSaveOnlyWhereTheStepSaves)
{
    putOption("UpgradeDBTable", "2018012");             // a prefix: smaller
    putOption("UpgradeField_WY01", "20200112.01");
    putOption("UpgradeView_WY01", "20200720.00");
    putOption("UpgradeInitData", "20151003.04");        // current: step 4 does not run and does not save
    // An existing row, so that the view's record does not insert (which
    // would send the pending edits first).
    putOption("SO_V_SubAllName", "20200720.00");
    openStore();
    run();
    EXPECT_TRUE(tableExists("RT_BalaSheetS"));
    EXPECT_TRUE(hasColumn("CW_Subject", "SubTag"));
    EXPECT_TRUE(viewExists());
    EXPECT_EQ(count("select count(*) from CW_Sheet"), 0);
    // Step 1 saved; steps 2 and 3 changed existing rows in the cache only.
    EXPECT_EQ(storedOption("UpgradeDBTable"), "20180120.01");
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.01");
    EXPECT_EQ(storedOption("UpgradeView_WY01"), "20200720.00");
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "20200720.00");
    EXPECT_EQ(FundOptions->GetOption("UpgradeField_WY01", ""), "20200112.02");
    EXPECT_EQ(FundOptions->GetOption("UpgradeView_WY01", ""), "20200720.01");
    closeStore();   // the store saves on its way out
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
    EXPECT_EQ(storedOption("UpgradeView_WY01"), "20200720.01");
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "20200720.01");
}

TEST_F(AccountSetUpgrade, NewViewRecordSendsTheEarlierUnsavedStepRecord)
{
    // Step 2 changes an existing row in the cache; step 3 then records a
    // name without a row, which is inserted at once after the pending
    // edits have been saved.
    putOption("UpgradeField_WY01", "20200112.01");
    openStore();
    run();
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "20200720.01");
}

TEST_F(AccountSetUpgrade, ExistingCashFlowResultTableIsKeptAndTheOthersCreated)
{
    exec("create table RT_CashFlowS (Other int null)");
    run();
    EXPECT_TRUE(tableExists("RT_BalaSheetS"));
    EXPECT_TRUE(tableExists("RT_ProfitLossD"));
    EXPECT_EQ(rows("select name from syscolumns where id=object_id('RT_CashFlowS')"), (Rows{{"Other"}}));
    EXPECT_EQ(storedOption("UpgradeDBTable"), "20180120.01");
}

TEST_F(AccountSetUpgrade, FailedCreationSkipsTheLaterTablesAndRecordsNothing)
{
    // A view of the first table's name: not a table, yet the name is taken.
    exec("create view RT_BalaSheetS as select 1 as X");
    run();
    EXPECT_FALSE(tableExists("RT_ProfitLossD"));
    EXPECT_FALSE(tableExists("RT_CashFlowS"));
    EXPECT_EQ(storedOption("UpgradeDBTable"), "<none>");
    // The other steps went on.
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
    EXPECT_EQ(storedOption("UpgradeInitData"), "20151003.04");
}

TEST_F(AccountSetUpgrade, Sheet413AlreadyPresentGetsOnlyTheSourcesAndSums)
{
    exec("insert into CW_Sheet(KeyID, RptTypeID, Name) values (900, 413, 'own line')");
    run();
    EXPECT_EQ(rows("select KeyID from CW_Sheet"), (Rows{{"900"}}));
    EXPECT_EQ(count("select count(*) from CW_SheetC"), 28);
    EXPECT_EQ(count("select count(*) from CW_SheetS"), 21);
    EXPECT_EQ(storedOption("UpgradeInitData"), "20151003.04");
}

TEST_F(AccountSetUpgrade, SourcesAndSumsAreTestedOnlyBetween501And529)
{
    exec("insert into CW_SheetC(KeyID, SecID, ZJTag) values (529, 1, 1)");
    exec("insert into CW_SheetS(KeyID, SecID, YMTag) values (530, 1, 0)");   // outside the range
    run();
    EXPECT_EQ(count("select count(*) from CW_Sheet where RptTypeID=413"), 25);
    EXPECT_EQ(rows("select KeyID, SecID from CW_SheetC"), (Rows{{"529", "1"}}));
    EXPECT_EQ(count("select count(*) from CW_SheetS where KeyID<530"), 21);
    EXPECT_EQ(storedOption("UpgradeInitData"), "20151003.04");
}

TEST_F(AccountSetUpgrade, FailedLineInsertSkipsTheLaterSectionsAndRecordsNothing)
{
    // Line 525 is taken by another report: the batch goes on past it but fails.
    exec("insert into CW_Sheet(KeyID, RptTypeID, Name) values (525, 999, 'taken')");
    run();
    EXPECT_EQ(count("select count(*) from CW_Sheet where RptTypeID=413"), 24);
    EXPECT_EQ(count("select count(*) from CW_SheetC"), 0);
    EXPECT_EQ(count("select count(*) from CW_SheetS"), 0);
    EXPECT_EQ(storedOption("UpgradeInitData"), "<none>");
}

TEST_F(AccountSetUpgrade, MissingFixedAssetTableStillGetsSubTag)
{
    writeChart();
    exec("drop table CW_FAInitBala");
    run();
    EXPECT_TRUE(hasColumn("CW_Subject", "SubTag"));
    EXPECT_EQ(count("select count(*) from CW_Subject where SubTag is not null"), 2);
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
}

TEST_F(AccountSetUpgrade, ExistingSubTagIsNotReclassified)
{
    writeChart();
    exec("alter table CW_Subject add SubTag T_INTEGER null");
    run();
    EXPECT_EQ(count("select count(*) from CW_Subject where SubTag is not null"), 0);
    EXPECT_TRUE(hasColumn("CW_FAInitBala", "MBDeprWL"));
    EXPECT_EQ(storedOption("UpgradeField_WY01"), "20200112.02");
}

TEST_F(AccountSetUpgrade, MissingViewIsCreatedAgainThoughItsVersionIsRecorded)
{
    exec("insert into CW_SubLen(KeyID, SubLen1, SubLen2, SubLen3, SubLen4, SubLen5, SubLen6) values (1,4,7,9,11,13,15)");
    putOption("SO_V_SubAllName", "20200720.01");
    openStore();
    run();
    ASSERT_TRUE(viewExists());
    EXPECT_EQ(count("select count(*) from V_SubAllName"), 0);
    EXPECT_EQ(storedOption("UpgradeView_WY01"), "20200720.01");
}

TEST_F(AccountSetUpgrade, ObjectSectionKeepsACurrentViewAndReplacesAnOlderOne)
{
    exec("create view V_SubAllName as select 1 as Marker");
    putOption("SO_V_SubAllName", "20200720.01");
    openStore();
    EXPECT_TRUE(upgrade_->UpgradeObjectSection(upgrade_->qryView01, "V_SubAllName", "20200720.01"));
    EXPECT_TRUE(hasColumn("V_SubAllName", "Marker"));

    // A newer version asked for: the view is re-created and the version kept in the cache.
    EXPECT_TRUE(upgrade_->UpgradeObjectSection(upgrade_->qryView01, "V_SubAllName", "20200720.02"));
    EXPECT_FALSE(hasColumn("V_SubAllName", "Marker"));
    EXPECT_TRUE(hasColumn("V_SubAllName", "AllName"));
    EXPECT_EQ(FundOptions->GetOption("SO_V_SubAllName", ""), "20200720.02");
}

TEST_F(AccountSetUpgrade, FailedViewStatementIsShownAndNothingRecorded)
{
    // A table holding the view's name: the drop leaves it, the create fails.
    exec("create table V_SubAllName (X int null)");
    dialogs_.expect(DialogKind::Error, QStringLiteral("错误"));
    run();
    ASSERT_EQ(dialogs_.shown().size(), 1u);
    EXPECT_TRUE(dialogs_.shown()[0].text.contains(QStringLiteral("create view V_SubAllName")));
    EXPECT_EQ(storedOption("SO_V_SubAllName"), "<none>");
    EXPECT_EQ(storedOption("UpgradeView_WY01"), "<none>");
    // Step 4 still ran.
    EXPECT_EQ(storedOption("UpgradeInitData"), "20151003.04");
}

TEST_F(AccountSetUpgrade, UpgradedSampleIsLeftAsItIs)
{
    restore("VQTCW_Sample");
    ASSERT_TRUE(link_->ConnectAccountSet("VQTCW_Sample", false));
    openStore();
    const Rows options = rows("select KeyID, Name, TxtValue from T_Options order by KeyID");
    const long long lines = count("select count(*) from CW_Sheet");
    run();
    closeStore();
    EXPECT_EQ(rows("select KeyID, Name, TxtValue from T_Options order by KeyID"), options);
    EXPECT_EQ(count("select count(*) from CW_Sheet"), lines);
}

// ---------------------------------------------------------------------------
// The template pack upgrade

class PackUpgrade : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        savedFolder_ = GetProgramFolder();
        emptyFolder_ = QString::fromStdString(root_) + QStringLiteral("/program/");
        QDir().mkpath(emptyFolder_);
        restore("VQTCWPack");
        markPack();
    }

    void TearDown() override
    {
        setProgramFolder(savedFolder_);
        ProgramFixture::TearDown();
    }

    // A table the installed pack does not have: gone after a replacement.
    void markPack() { link_->AccListDB.execute("create table VQTCWPack..T_Marker (X int null)"); }
    bool packMarked()
    {
        return link_->AccListDB.query("select count(*) from VQTCWPack..sysobjects where name='T_Marker'")
                   .rows.at(0).at(0).toInt64() != 0;
    }
    void useInstalledBackups() { setProgramFolder(QStringLiteral(VQ_PROGRAM_DIR "/")); }
    void catalogue(const std::string& sql) { link_->AccListDB.execute(sql); }

    QString savedFolder_;
    QString emptyFolder_;
};

TEST_F(PackUpgrade, InstalledCatalogueRecordsTheShippedVersion)
{
    EXPECT_EQ(GetPackVersion(), QStringLiteral("PKV121224"));
    EXPECT_EQ(QString::fromLatin1(kPackVersion), QStringLiteral("PKV121224"));
}

TEST_F(PackUpgrade, PackVersionIsTheHighestPkvRow)
{
    catalogue("delete from DBVersion");
    EXPECT_EQ(GetPackVersion(), QStringLiteral("PKV090101"));
    catalogue("insert into DBVersion(KeyID, Version) values (1, null)");
    EXPECT_EQ(GetPackVersion(), QStringLiteral("PKV090101"));
    catalogue("insert into DBVersion(KeyID, Version) values (2, 'ZZ999999')");
    catalogue("insert into DBVersion(KeyID, Version) values (3, 'PKV100101')");
    catalogue("insert into DBVersion(KeyID, Version) values (4, 'PKV091231')");
    catalogue("insert into DBVersion(KeyID, Version) values (5, 'V20991231')");
    EXPECT_EQ(GetPackVersion(), QStringLiteral("PKV100101"));
}

TEST_F(PackUpgrade, FailingVersionQueryRaises)
{
    catalogue("drop table DBVersion");
    EXPECT_THROW(GetPackVersion(), vqsql::SqlException);
    EXPECT_THROW(UpgradePackDatabase(), vqsql::SqlException);
}

TEST_F(PackUpgrade, CurrentOrLaterVersionLeavesThePackAlone)
{
    setProgramFolder(emptyFolder_);   // a replacement attempt would complain of the missing file
    UpgradePackDatabase();
    EXPECT_TRUE(packMarked());
    catalogue("update DBVersion set Version='PKV130101'");
    UpgradePackDatabase();
    EXPECT_TRUE(packMarked());
    EXPECT_EQ(catalogueRows("select count(*) from DBVersion"), (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST_F(PackUpgrade, NoPackRowReplacesThePackAndRecordsTheVersion)
{
    catalogue("delete from DBVersion");
    useInstalledBackups();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-60);
    UpgradePackDatabase();
    const QDateTime after = QDateTime::currentDateTime().addSecs(60);
    EXPECT_FALSE(packMarked());
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    EXPECT_EQ(link_->UserDB.currentDatabase(), "VQTCWPack");
    const auto rows = catalogueRows("select KeyID, Version, ReleaseDate from DBVersion");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_EQ(rows[0][1], "PKV121224");
    const QDateTime stamp = QDateTime::fromString(QString::fromStdString(rows[0][2]).left(19), Qt::ISODate);
    ASSERT_TRUE(stamp.isValid()) << rows[0][2];
    EXPECT_EQ(stamp.time().second(), 0);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    // Once recorded, the next start stops at the version.
    markPack();
    UpgradePackDatabase();
    EXPECT_TRUE(packMarked());
}

TEST_F(PackUpgrade, OlderAndForeignVersionsAreReplacedAndANewRowAdded)
{
    catalogue("update DBVersion set Version='PKV100101' where KeyID=1");
    catalogue("insert into DBVersion(KeyID, Version) values (7, 'V20991231')");   // not a pack version
    useInstalledBackups();
    UpgradePackDatabase();
    EXPECT_FALSE(packMarked());
    EXPECT_EQ(catalogueRows("select KeyID, Version from DBVersion order by KeyID"),
              (std::vector<std::vector<std::string>>{{"1", "PKV100101"}, {"7", "V20991231"}, {"8", "PKV121224"}}));
    EXPECT_EQ(GetPackVersion(), QStringLiteral("PKV121224"));
}

TEST_F(PackUpgrade, MissingBackupFileIsReportedAndNothingRecorded)
{
    catalogue("delete from DBVersion");
    setProgramFolder(emptyFolder_);
    dialogs_.expect(DialogKind::Info, QStringLiteral("提示"),
                    QStringLiteral("您的安装目录下缺少文件：\"VQTCWPack.mdk\"，请重新安装后再运行本软件。"));
    UpgradePackDatabase();
    EXPECT_TRUE(packMarked());
    EXPECT_EQ(catalogueRows("select count(*) from DBVersion"), (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

TEST_F(PackUpgrade, FailedRestoreIsReportedAndNothingRecorded)
{
    catalogue("delete from DBVersion");
    setProgramFolder(emptyFolder_);
    {
        std::ofstream junk((emptyFolder_ + QStringLiteral("VQTCWPack.mdk")).toStdString(), std::ios::binary);
        junk << "not a backup";
    }
    dialogs_.expect(DialogKind::Info, QStringLiteral("提示"),
                    QStringLiteral("您选择的备份文件不是有效的SQL Server数据库的备份文件。"));
    dialogs_.expect(DialogKind::Info, QStringLiteral("提示"), QStringLiteral("升级模板数据库失败，请重新启动机器后再试一次。"));
    UpgradePackDatabase();
    EXPECT_TRUE(packMarked());
    EXPECT_EQ(catalogueRows("select count(*) from DBVersion"), (std::vector<std::vector<std::string>>{{"0"}}));
}

TEST_F(PackUpgrade, AddCatalogueVersionNumbersAfterTheHighestKey)
{
    catalogue("insert into DBVersion(KeyID, Version) values (41, 'X')");
    AddCatalogueVersion(QStringLiteral("PKV200101"));
    EXPECT_EQ(catalogueRows("select Version from DBVersion where KeyID=42"),
              (std::vector<std::vector<std::string>>{{"PKV200101"}}));
}
