// The create sequence of a new account set, run on a throwaway instance
// with the installed catalogue, template pack and template backup: what a
// created set holds, the copy path, a creation that fails half-way and
// leaves nothing behind, and the wizard's checks.
#include "accset_fixture.h"

#include "newaccset.h"
#include "options.h"
#include "upgradedm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string str(const QString& text)
{
    return text.toStdString();
}

class NewAccSet : public AccSetFixture {
protected:
    void SetUp() override
    {
        AccSetFixture::SetUp();
        if (HasFatalFailure())
            return;
        restore("VQTCWPack");
        std::filesystem::copy_file(std::string(VQ_PROGRAM_DIR) + "/VQTCWTemp.mdk", programFolder_ + "VQTCWTemp.mdk");
    }

    static TNewAccSetChoices choicesFor(const QString& code)
    {
        TNewAccSetChoices c;
        c.code = code;
        c.name = QStringLiteral("测试账套") + code;
        c.corpName = QStringLiteral("测试商贸有限公司");
        c.startYear = 2024;
        c.startMonth = 3;
        return c;
    }

    // Runs the whole sequence, expecting it to succeed.
    bool create(const TNewAccSetChoices& c)
    {
        dialogs_.expect(DialogKind::Info, QStringLiteral("提示"), QStringLiteral("数据库创建成功！"));
        TNewAccSetCreator creator(*link_);
        return creator.Create(c);
    }

    Rows rows(const QString& code, const std::string& sql) { return accountSetRows(str(code), sql); }
    int count(const QString& code, const std::string& sql) { return std::stoi(rows(code, sql).at(0).at(0)); }
    int packCount(const std::string& sql) { return std::stoi(catalogueRows(sql).at(0).at(0)); }

    std::map<std::string, std::string> options(const QString& code)
    {
        std::map<std::string, std::string> out;
        for (const auto& r : rows(code, "select Name, TxtValue from T_Options"))
            out[r[0]] = r[1];
        return out;
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// What a created set holds

TEST_F(NewAccSet, OptionsHoldEveryChoiceAsTyped)
{
    TNewAccSetChoices c = choicesFor(QStringLiteral("OPT"));
    c.name = QStringLiteral("O'Neil--账套");
    c.corpName = QStringLiteral("单位'名称");
    c.legalRep = QStringLiteral("张三");
    c.organizationNo = QStringLiteral("ORG-1");
    c.taxNo = QStringLiteral("TAX-2");
    c.bankAccNo = QStringLiteral("BANK 3");
    c.linkman = QStringLiteral("李四");
    c.tel = QStringLiteral("010-1");
    c.fax = QStringLiteral("010-2");
    c.zip = QStringLiteral("100000");
    c.address = QStringLiteral("某路1号");
    c.email = QStringLiteral("a@b.c");
    c.url = QString();   // empty texts are written as empty text
    c.subjectKind = 1;
    c.lengths = {4, 2, 4, 5, 3, 2};
    c.calendarKind = 0;
    c.vouAudiKind = true;
    c.clearPLKind = 1;
    ASSERT_TRUE(create(c));

    const std::map<std::string, std::string> expected = {
        {"AccSetName", "O'Neil--账套"}, {"CWStartYear", "2024"}, {"CWStartMonth", "3"}, {"CWWorkYear", "2024"},
        {"CWWorkMonth", "3"}, {"CWCalendarKind", "0"}, {"CWClearPLKind", "1"}, {"CWSubjectKind", "1"},
        {"CWVouAudiKind", "1"}, {"SubGrade1", "4"}, {"SubGrade2", "2"}, {"SubGrade3", "4"}, {"SubGrade4", "5"},
        {"SubGrade5", "3"}, {"SubGrade6", "2"}, {"CorpName", "单位'名称"}, {"CorpLegalRep", "张三"},
        {"CorpBankAccNo", "BANK 3"}, {"OrganizationNo", "ORG-1"}, {"CorpTaxNo", "TAX-2"}, {"CorpLinkman", "李四"},
        {"CorpTel", "010-1"}, {"CorpFax", "010-2"}, {"CorpZip", "100000"}, {"CorpAddress", "某路1号"},
        {"CorpEMail", "a@b.c"}, {"CorpURL", ""},
    };
    const auto written = options(c.code);
    for (const auto& [name, value] : expected) {
        ASSERT_TRUE(written.count(name)) << name;
        EXPECT_EQ(written.at(name), value) << name;
    }
    EXPECT_EQ(catalogue().back(), "1|OPT|O'Neil--账套|0");
    EXPECT_EQ(dialogs_.waitingTexts(),
              QStringList({QStringLiteral("正在创建账套数据库，请稍候......"), QStringLiteral("正在初始化账套数据库，请稍候......")}));
    EXPECT_FALSE(dialogs_.waitingShown());
    EXPECT_EQ(count(c.code, "select count(*) from CW_SubLen where SubLen2=6 and SubLen3=10 and SubLen4=15 and "
                            "SubLen5=18 and SubLen6=20"),
              1);
}

TEST_F(NewAccSet, VoucherWordsOfEachGroup)
{
    const std::vector<std::vector<std::string>> groups = {
        {"记"}, {"收", "付", "转"}, {"现", "银", "转"}, {"现收", "现付", "银收", "银付", "转"}};
    for (int g = 0; g < 4; ++g) {
        TNewAccSetChoices c = choicesFor(QStringLiteral("VW%1").arg(g));
        c.vouWordGroup = g;
        ASSERT_TRUE(create(c));
        const Rows words = rows(c.code, "select KeyID, Code, Name, Closed from CW_VouWord order by KeyID");
        ASSERT_EQ(words.size(), groups[static_cast<std::size_t>(g)].size()) << g;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string key = std::to_string(i + 1);
            EXPECT_EQ(words[i], (std::vector<std::string>{key, "000" + key, groups[static_cast<std::size_t>(g)][i], "0"}));
        }
    }
}

TEST_F(NewAccSet, CalendarRowsOnlyForUserDefinedMonths)
{
    TNewAccSetChoices natural = choicesFor(QStringLiteral("NAT"));
    ASSERT_TRUE(create(natural));
    EXPECT_EQ(count(natural.code, "select count(*) from CW_Calendar"), 0);

    TNewAccSetChoices own = choicesFor(QStringLiteral("OWN"));
    own.calendarKind = 1;
    QDate begin(2024, 1, 1);
    for (int m = 1; m <= 12; ++m) {
        const QDate end = m == 12 ? QDate(2024, 12, 31) : QDate(2024, m, qMin(25, QDate(2024, m, 1).daysInMonth()));
        own.calendar.append(TCalendarMonth{m, begin, end});
        begin = end.addDays(1);
    }
    ASSERT_TRUE(create(own));
    const Rows cal = rows(own.code, "select CWYear, CWMonth, convert(varchar(10), BeginDate, 120), "
                                    "convert(varchar(10), EndDate, 120), ReadOnly from CW_Calendar order by CWMonth");
    ASSERT_EQ(cal.size(), 12u);
    EXPECT_EQ(cal[0], (std::vector<std::string>{"2024", "1", "2024-01-01", "2024-01-25", "0"}));
    EXPECT_EQ(cal[1], (std::vector<std::string>{"2024", "2", "2024-01-26", "2024-02-25", "0"}));
    EXPECT_EQ(cal[11], (std::vector<std::string>{"2024", "12", "2024-11-26", "2024-12-31", "0"}));
    EXPECT_EQ(options(own.code).at("CWCalendarKind"), "1");
}

// The conversion expression, evaluated by the engine, against the C++ form.
TEST_F(NewAccSet, PresetCodeConversion)
{
    struct Case {
        const char* preset;
        int L2, L3;
        const char* converted;
    };
    const Case cases[] = {
        {"1002001", 2, 3, "100201"},       {"1002001", 4, 3, "10020001"},   {"1002001", 5, 3, "100200001"},
        {"1122001003", 3, 2, "112200103"}, {"1001", 2, 2, "1001"},          {"1001", 5, 5, "1001"},
        {"1122001003", 5, 5, "11220000100003"}, {"1122001003", 3, 3, "1122001003"}, {"1002001", 3, 5, "1002001"},
    };
    for (const Case& k : cases) {
        const QString preset = QString::fromLatin1(k.preset);
        EXPECT_EQ(str(ConvertPresetCode(preset, k.L2, k.L3)), k.converted) << k.preset << " " << k.L2 << "/" << k.L3;
        const std::string sql = "select " + str(SubjectCodeExpression(k.L2, k.L3)) + " from (select '" + k.preset +
                                "' as Code) T";
        EXPECT_EQ(catalogueRows(sql).at(0).at(0), k.converted) << k.preset << " " << k.L2 << "/" << k.L3;
    }
}

class NewAccSetChart : public NewAccSet, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(NewAccSetChart, PresetChartConvertedToTheLengths)
{
    const auto [kind, length] = GetParam();
    TNewAccSetChoices c = choicesFor(QStringLiteral("K%1L%2").arg(kind).arg(length));
    c.subjectKind = kind;
    c.lengths = {4, length, length, 3, 3, 3};
    ASSERT_TRUE(create(c));

    const Rows presets = catalogueRows("select KeyID, Code, Name, BoDebit, BoEnd, Property, HoldSub, BoPLSub from "
                                       "VQTCWPack..CW_SubTemp where SubKind=" + std::to_string(kind) + " order by KeyID");
    const Rows made = rows(c.code, "select KeyID, Code, Name, BoDebit, BoEnd, Property, HoldSub, BoPLSub, Grade, "
                                   "MoneyID, BoWaibi+BoSign+BoFlow+BoDept+BoEmp+BoObject+BoTrader+BoGoods+BoQty+Closed+"
                                   "BoOften, SubTag from CW_Subject order by KeyID");
    ASSERT_EQ(made.size(), presets.size());
    ASSERT_FALSE(made.empty());
    for (std::size_t i = 0; i < made.size(); ++i) {
        const auto& p = presets[i];
        const auto& m = made[i];
        const std::string code = str(ConvertPresetCode(QString::fromStdString(p[1]), length, length));
        EXPECT_EQ(m[0], p[0]);
        EXPECT_EQ(m[1], code) << p[1];
        for (std::size_t col : {2u, 3u, 4u, 5u, 6u, 7u})
            EXPECT_EQ(m[col], p[col]) << p[1];
        EXPECT_EQ(m[8], p[1].size() == 4 ? "1" : p[1].size() == 7 ? "2" : "3") << p[1];
        EXPECT_EQ(m[9], "1");
        EXPECT_EQ(m[10], "0");
        EXPECT_EQ(m[11], "<NULL>");
    }
    const std::string s2 = std::to_string(4 + length), s3 = std::to_string(4 + 2 * length);
    EXPECT_EQ(rows(c.code, "select KeyID, SubLen1, SubLen2, SubLen3, SubLen4, SubLen5, SubLen6 from CW_SubLen"),
              (Rows{{"1", "4", s2, s3, std::to_string(4 + 2 * length + 3), std::to_string(4 + 2 * length + 6),
                     std::to_string(4 + 2 * length + 9)}}));
}

INSTANTIATE_TEST_SUITE_P(KindsAndLengths, NewAccSetChart,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4), ::testing::Values(3, 2, 5)));

// Statement lines come from the section the new chart calls for, and the
// items point at the new chart's subjects.
TEST_F(NewAccSet, StatementLinesFollowTheChart)
{
    struct Case {
        int kind;
        int lengths;
        int bsKind, plKind, cfKind;
        bool byCode;
    };
    const Case cases[] = {
        {2, 3, 2, 2, 0, true},    // class 6 subjects: balance sheet and income of kind 2, cash flow of kind 0
        {3, 3, 3, 3, 3, false},   // the 2013 small-enterprise chart: keys as stored
        {0, 3, 0, 0, 0, true},
        {4, 2, 0, 0, 0, true},    // by code: level-2 and level-3 items find nothing
    };
    int n = 0;
    for (const Case& k : cases) {
        TNewAccSetChoices c = choicesFor(QStringLiteral("RPT%1").arg(n++));
        c.subjectKind = k.kind;
        c.lengths = {4, k.lengths, k.lengths, 3, 3, 3};
        ASSERT_TRUE(create(c));
        const std::string bs = std::to_string(k.bsKind), pl = std::to_string(k.plKind), cf = std::to_string(k.cfKind);
        EXPECT_EQ(count(c.code, "select count(*) from CW_BSheet"),
                  packCount("select count(*) from VQTCWPack..CW_BSheet where RptTypeID=1 and SubKind=" + bs))
            << k.kind;
        EXPECT_EQ(count(c.code, "select count(*) from CW_Sheet where RptTypeID=101"),
                  packCount("select count(*) from VQTCWPack..CW_Sheet where RptTypeID=101 and SubKind=" + pl));
        EXPECT_EQ(count(c.code, "select count(*) from CW_Sheet where RptTypeID=401"),
                  packCount("select count(*) from VQTCWPack..CW_Sheet where RptTypeID=401 and SubKind=" + cf));
        // (the upgrade adds the cash-flow items of report 413 beside them)
        EXPECT_EQ(count(c.code, "select count(*) from CW_SheetC where KeyID in (select KeyID from CW_Sheet where "
                                "RptTypeID=401)"),
                  packCount("select count(*) from VQTCWPack..CW_SheetC where SubKind=" + cf +
                            " and KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=" + cf +
                            " and RptTypeID=401)"));
        EXPECT_GT(count(c.code, "select count(*) from CW_BSheet"), 0);
        // Every item that names a subject names one of the new chart.
        EXPECT_EQ(count(c.code, "select count(*) from CW_BSheetS where SubID is not null and SubID not in "
                                "(select KeyID from CW_Subject)"),
                  0);
        EXPECT_EQ(count(c.code, "select count(*) from CW_SheetS where SubID is not null and SubID not in "
                                "(select KeyID from CW_Subject)"),
                  0);
        if (k.byCode) {
            // The items found by code are exactly those whose preset code
            // is also a code of the new chart.
            const int matching = count(c.code, "select count(*) from VQTCWPack..CW_BSheetS A join CW_Subject S on "
                                               "S.Code=A.SubCode where A.SubKind=" + bs);
            EXPECT_EQ(count(c.code, "select count(*) from CW_BSheetS where SubID is not null"), matching) << k.kind;
            EXPECT_GT(matching, 0);
            EXPECT_EQ(count(c.code, "select count(*) from CW_BSheetS B join CW_Subject S on S.KeyID=B.SubID join "
                                    "VQTCWPack..CW_BSheetS A on A.KeyID=B.KeyID and A.SecID=B.SecID and A.SubKind=" +
                                        bs + " where A.SubCode<>S.Code"),
                      0);
        }
    }
}

TEST_F(NewAccSet, PrintTemplatesReportsAndPrivilegesOfThePack)
{
    TNewAccSetChoices c = choicesFor(QStringLiteral("PACK"));
    ASSERT_TRUE(create(c));
    for (const char* table : {"T_TempFile", "T_PrivGrp", "T_Priv"}) {
        const std::string t = table;
        EXPECT_EQ(count(c.code, "select count(*) from " + t + " where KeyID in (select KeyID from VQTCWPack.." + t + ")"),
                  packCount("select count(*) from VQTCWPack.." + t))
            << table;
        EXPECT_GT(packCount("select count(*) from VQTCWPack.." + t), 0) << table;
    }
    EXPECT_EQ(rows(c.code, "select KeyID, ReportName from CW_Report order by KeyID"),
              catalogueRows("select KeyID, ReportName from VQTCWPack..CW_Report order by KeyID"));
}

TEST_F(NewAccSet, AdministratorPasswordOnlyWhenGiven)
{
    TNewAccSetChoices plain = choicesFor(QStringLiteral("PW0"));
    ASSERT_TRUE(create(plain));
    EXPECT_EQ(rows(plain.code, "select Password from T_Operator where KeyID=1"), (Rows{{""}}));

    TNewAccSetChoices typed = choicesFor(QStringLiteral("PW1"));
    typed.password = QStringLiteral("Ab'c--d 密");
    ASSERT_TRUE(create(typed));
    EXPECT_EQ(rows(typed.code, "select Password from T_Operator where KeyID=1"), (Rows{{"Ab'c--d 密"}}));
}

TEST_F(NewAccSet, CatalogueKeyFollowsTheLargestIncludingDeletedRows)
{
    addAccountSet("OLD1", "旧账套", "", 0);
    addAccountSet("OLD2", "回收站里的", "", 1);
    link_->ExecuteSql(link_->AccListDB, "update AccList set KeyID=7 where DBName='OLD2'");
    TNewAccSetChoices c = choicesFor(QStringLiteral("New 新"));   // spaces and Chinese are fine
    ASSERT_TRUE(create(c));
    EXPECT_EQ(catalogue().back(), "8|New 新|测试账套New 新|0");
    EXPECT_TRUE(databaseExists("VQTCW_New 新"));
}

// ---------------------------------------------------------------------------
// The copy path

TEST_F(NewAccSet, CopiedChartWithAndWithoutTheLists)
{
    addAccountSet("SRC", "来源", "");
    const Rows sourceChart = accountSetRows("SRC", "select * from CW_Subject order by KeyID");
    ASSERT_FALSE(sourceChart.empty());
    for (bool lists : {false, true}) {
        TNewAccSetChoices c = choicesFor(lists ? QStringLiteral("CPL") : QStringLiteral("CP"));
        c.copyChart = true;
        c.copyFromCode = QStringLiteral("SRC");
        c.copyLists = lists;
        c.lengths = {4, 5, 5, 5, 5, 5};   // replaced by the source's
        ASSERT_TRUE(create(c));
        EXPECT_EQ(rows(c.code, "select * from CW_Subject order by KeyID"), sourceChart);
        EXPECT_EQ(rows(c.code, "select * from CW_SubLen"), accountSetRows("SRC", "select * from CW_SubLen"));
        const auto opts = options(c.code);
        EXPECT_EQ(opts.at("SubGrade2"), "3");
        EXPECT_EQ(opts.at("SubGrade6"), "3");
        for (const char* table : {"T_Area", "T_TraderTp", "T_Trader", "T_Dept", "T_EmpTp", "T_Emp", "T_Object"}) {
            const std::string sql = std::string("select count(*) from ") + table;
            const int expected = lists ? std::stoi(accountSetRows("SRC", sql).at(0).at(0)) : 0;
            EXPECT_EQ(count(c.code, sql), expected) << table << (lists ? " with lists" : " without");
        }
        // The source's chart (kind 3, no class 6) with kind 3 chosen.
        EXPECT_GT(count(c.code, "select count(*) from CW_BSheet"), 0);
    }
    EXPECT_GT(count(QStringLiteral("CPL"), "select count(*) from T_Dept"), 0);
}

TEST_F(NewAccSet, SourceWithoutSubGradeGivesNull)
{
    addAccountSet("NOSG", "来源", "");
    vqsql::Connection src;
    src.open(vqsql::ConnectionParams{instance_, "VQTCW_NOSG", "sa", kSaPassword});
    src.execute("delete from T_Options where Name='SubGrade4'");
    TNewAccSetChoices c = choicesFor(QStringLiteral("SG"));
    c.copyChart = true;
    c.copyFromCode = QStringLiteral("NOSG");
    ASSERT_TRUE(create(c));
    EXPECT_EQ(rows(c.code, "select TxtValue from T_Options where Name='SubGrade4'"), (Rows{{"<NULL>"}}));
    EXPECT_EQ(rows(c.code, "select TxtValue from T_Options where Name='SubGrade3'"), (Rows{{"3"}}));
}

// ---------------------------------------------------------------------------
// All or nothing

TEST_F(NewAccSet, FailureHalfWayLeavesNothingAndASecondPressSucceeds)
{
    addAccountSet("KEEP", "已有", "");
    const auto before = catalogue();
    {
        vqsql::Connection pack;
        pack.open(vqsql::ConnectionParams{instance_, "VQTCWPack", "sa", kSaPassword});
        pack.execute("drop table T_Priv");
    }
    TNewAccSetChoices c = choicesFor(QStringLiteral("HALF"));
    TNewAccSetCreator creator(*link_);
    dialogs_.expect(DialogKind::Error, QStringLiteral("错误"),
                    QStringLiteral("创建账套失败：写入权限时出错。新账套没有创建。"));
    EXPECT_FALSE(creator.Create(c));
    EXPECT_EQ(catalogue(), before);
    EXPECT_FALSE(databaseExists("VQTCW_HALF"));
    EXPECT_FALSE(dialogs_.waitingShown());
    EXPECT_FALSE(std::filesystem::exists(instance_ + "/Data/VQTCW_HALF.mdf"));

    // The cause gone, the same button again.
    link_->ExecuteSql(link_->AccListDB, "drop database VQTCWPack");
    restore("VQTCWPack");
    dialogs_.expect(DialogKind::Info, QStringLiteral("提示"), QStringLiteral("数据库创建成功！"));
    EXPECT_TRUE(creator.Create(c));
    EXPECT_TRUE(databaseExists("VQTCW_HALF"));
    EXPECT_EQ(catalogue().size(), before.size() + 1);
    EXPECT_GT(count(c.code, "select count(*) from T_Priv"), 0);
}

TEST_F(NewAccSet, CopyFromASetLackingATableShowsTheStatementThenFails)
{
    addAccountSet("BAD", "来源", "");
    {
        vqsql::Connection src;
        src.open(vqsql::ConnectionParams{instance_, "VQTCW_BAD", "sa", kSaPassword});
        src.execute("drop table CW_SubLen");
    }
    TNewAccSetChoices c = choicesFor(QStringLiteral("FROMBAD"));
    c.copyChart = true;
    c.copyFromCode = QStringLiteral("BAD");
    c.copyLists = true;
    dialogs_.expect(DialogKind::Error, QStringLiteral("错误"));   // the failing group's text
    dialogs_.expect(DialogKind::Error, QStringLiteral("错误"),
                    QStringLiteral("创建账套失败：写入会计科目时出错。新账套没有创建。"));
    TNewAccSetCreator creator(*link_);
    EXPECT_FALSE(creator.Create(c));
    ASSERT_GE(dialogs_.shown().size(), 1u);
    EXPECT_TRUE(dialogs_.shown().front().text.contains(QStringLiteral("[VQTCW_BAD]..CW_SubLen")));
    EXPECT_FALSE(databaseExists("VQTCW_FROMBAD"));
    EXPECT_EQ(catalogue().size(), 1u);
}

TEST_F(NewAccSet, MissingTemplateBackupFailsTheDatabase)
{
    std::filesystem::remove(programFolder_ + "VQTCWTemp.mdk");
    dialogs_.expect(DialogKind::Info, QStringLiteral("提示"), QStringLiteral("数据库创建失败！"));
    TNewAccSetCreator creator(*link_);
    EXPECT_FALSE(creator.Create(choicesFor(QStringLiteral("NOTEMP"))));
    EXPECT_TRUE(catalogue().empty());
    EXPECT_FALSE(dialogs_.waitingShown());
}

TEST_F(NewAccSet, TemplateBackupFileHasOneSeparator)
{
    EXPECT_EQ(TNewAccSetCreator::TemplateBackupFile(QStringLiteral("/opt/vq/")), QStringLiteral("/opt/vq/VQTCWTemp.mdk"));
    EXPECT_EQ(TNewAccSetCreator::TemplateBackupFile(QStringLiteral("/opt/vq")), QStringLiteral("/opt/vq/VQTCWTemp.mdk"));
}

// A created set backs up, restores under another name and finds nothing
// left for the upgrade to do.
TEST_F(NewAccSet, CreatedSetBacksUpRestoresAndNeedsNoUpgrade)
{
    TNewAccSetChoices c = choicesFor(QStringLiteral("BK"));
    ASSERT_TRUE(create(c));
    const std::string file = root_ + "/bk.bak";
    link_->UserDB.close();
    vqsql::Connection m;
    m.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
    m.execute("backup database [VQTCW_BK] to disk = '" + file + "'");
    vqtest::restoreBackupAs(m, file, "VQTCW_BK2", instance_ + "/Data/VQTCW_BK2.mdf", instance_ + "/Data/VQTCW_BK2_log.ldf");
    const Rows optionsBefore = rows(QStringLiteral("BK2"), "select KeyID, Name, TxtValue from T_Options order by KeyID");
    EXPECT_EQ(optionsBefore, rows(QStringLiteral("BK"), "select KeyID, Name, TxtValue from T_Options order by KeyID"));

    ASSERT_TRUE(link_->ConnectAccountSet(QStringLiteral("VQTCW_BK2"), false));
    TFundOptions store(link_->UserDB);
    FundOptions = &store;
    TUpgradeData upgrade;
    upgrade.UpgradeAccountSet();
    EXPECT_FALSE(store.modified());
    FundOptions = nullptr;
    EXPECT_EQ(rows(QStringLiteral("BK2"), "select KeyID, Name, TxtValue from T_Options order by KeyID"), optionsBefore);
}

// ---------------------------------------------------------------------------
// The wizard's checks

TEST_F(NewAccSet, AccSetParamChecksInOrder)
{
    addAccountSet("USED", "在用", "", 0);
    addAccountSet("BIN", "回收站", "", 1);
    addAccountSet("ORPHAN", "无目录行", "", 0, false);
    const QString taken = QStringLiteral("该\"账套代号\"已被其他账套使用，请选用别的账套代号。");
    const QString exists = QStringLiteral("用\"账套代号\"将要创建的数据库在数据库系统中已经存在，请选用别的账套代号。");
    const QString refused = QStringLiteral("账套代号中不能含有“/”、“\\”、“]”或控制字符。");
    struct Case {
        QString code, name, pw, pw2;
        QString message, focus;
    };
    const Case cases[] = {
        {"", "n", "", "", QStringLiteral("账套代号不可以为空。"), "EditDBName"},
        {"a/b", "n", "", "", refused, "EditDBName"},
        {"a\\b", "n", "", "", refused, "EditDBName"},
        {"a]b", "n", "", "", refused, "EditDBName"},
        {"a\tb", "n", "", "", refused, "EditDBName"},
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), "n", "", "", refused, "EditDBName"},
        {"USED", "n", "", "", taken, "EditDBName"},
        {"BIN", "n", "", "", taken, "EditDBName"},
        {"ORPHAN", "n", "", "", exists, "EditDBName"},
        {"   ", "", "", "", QStringLiteral("账套名称不可以为空。"), "EditAccName"},
        {"X", "n", "abc", "ABC", QStringLiteral("\"管理员口令\"和\"确认口令\"不一致，请重新输入。"), "EditPassword"},
        {"X", "n", "", "", "", ""},
        {"O'Brien--1 账套", "n", "p", "p", "", ""},
        {"USED'", "n", "", "", "", ""},
    };
    for (const Case& k : cases) {
        QString focus;
        EXPECT_EQ(CheckAccSetParams(*link_, k.code, k.name, k.pw, k.pw2, &focus), k.message) << str(k.code);
        EXPECT_EQ(focus, k.focus) << str(k.code);
    }
    QString focus;
    EXPECT_EQ(CheckCorpInfo(QString(), &focus), QStringLiteral("单位名称不可以为空。"));
    EXPECT_EQ(focus, QStringLiteral("EditCorpName"));
    EXPECT_EQ(CheckCorpInfo(QStringLiteral(" ")), QString());
    EXPECT_EQ(CheckChartChoice(true, QString(), &focus),
              QStringLiteral("当选中\"从选择的账套复制会计科目\"时，必须选择一已有的账套。"));
    EXPECT_EQ(focus, QStringLiteral("DBLkupEmAccList"));
    EXPECT_EQ(CheckChartChoice(false, QString()), QString());
    EXPECT_EQ(CheckChartChoice(true, QStringLiteral("USED")), QString());
}

TEST_F(NewAccSet, CodeWithQuotesAndDashesCreatesItsSet)
{
    TNewAccSetChoices c = choicesFor(QStringLiteral("O'B--1"));
    ASSERT_TRUE(create(c));
    EXPECT_TRUE(databaseExists("VQTCW_O'B--1"));
    EXPECT_EQ(catalogue().back(), "1|O'B--1|测试账套O'B--1|0");
    EXPECT_GT(count(c.code, "select count(*) from CW_Subject"), 0);
}
