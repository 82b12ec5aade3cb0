// The create sequence of a new account set and the wizard's checks (see
// newaccset.h).
#include "newaccset.h"

#include "linkdm.h"
#include "mwcwfun.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "options.h"
#include "upgradedm.h"

#include <utility>
#include <vector>

namespace {

const QString kWaitingTail = QStringLiteral("请稍候......");

// Fills every placeholder in one pass over the template, matching without
// regard to letter case, the first listed winning. Unlike a chain of
// ReplacePlaceholder calls, a value that itself holds "##..." (a code may)
// is never rewritten by a later placeholder.
QString fillPlaceholders(const QString& text, const std::vector<std::pair<QString, QString>>& values)
{
    QString out;
    out.reserve(text.size() + 64);
    qsizetype i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text.at(i) == QLatin1Char('#')) {
            for (const auto& [placeholder, value] : values) {
                if (QStringView(text).mid(i, placeholder.size()).compare(placeholder, Qt::CaseInsensitive) == 0) {
                    out += value;
                    i += placeholder.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text.at(i++);
    }
    return out;
}

// Points LinkData at the creator's module while the upgrade (which works
// through LinkData) runs.
class LinkDataScope {
public:
    explicit LinkDataScope(TLinkData& link) : saved_(LinkData) { LinkData = &link; }
    ~LinkDataScope() { LinkData = saved_; }
    LinkDataScope(const LinkDataScope&) = delete;
    LinkDataScope& operator=(const LinkDataScope&) = delete;

private:
    TLinkData* saved_;
};

// The upgrade's step records (upgradedm.h): after a successful upgrade each
// holds at least its step's version. A step whose action failed stays
// unrecorded, which is how a failed upgrade shows.
struct UpgradeStep {
    const char* option;
    const char* version;
};
constexpr UpgradeStep kUpgradeSteps[] = {
    {"UpgradeDBTable", "20180120.01"},
    {"UpgradeField_WY01", "20200112.02"},
    {"UpgradeView_WY01", "20200720.01"},
    {"UpgradeInitData", "20151003.04"},
};

}  // namespace

// ---- the wizard's checks ---------------------------------------------------

bool IsAccSetCodeSafe(const QString& code)
{
    for (const QChar c : code) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(']'))
            return false;
        if (c.unicode() == 0 || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

namespace {
QString refuse(QString* focusField, const char* field, const QString& message)
{
    if (focusField)
        *focusField = QString::fromLatin1(field);
    return message;
}
}  // namespace

QString CheckAccSetParams(TLinkData& link, const QString& code, const QString& name, const QString& password,
                          const QString& password2, QString* focusField)
{
    if (code.isEmpty())
        return refuse(focusField, "EditDBName", QStringLiteral("账套代号不可以为空。"));
    // The code becomes part of a file name and of a bracketed database
    // name; the note beside the field asks for letters and digits, and
    // these characters would break out of either.
    if (!IsAccSetCodeSafe(code))
        return refuse(focusField, "EditDBName", QStringLiteral("账套代号中不能含有“/”、“\\”、“]”或控制字符。"));
    if (link.QueryCount(link.AccListDB, QStringLiteral(" select count(*) from AccList where DBName=") + sqlQuoted(code)) > 0)
        return refuse(focusField, "EditDBName", QStringLiteral("该\"账套代号\"已被其他账套使用，请选用别的账套代号。"));
    if (link.QueryCount(link.AccListDB, QStringLiteral("select count(*) from master.dbo.sysdatabases where Name=") +
                                            sqlQuoted(QStringLiteral("VQTCW_") + code)) > 0)
        return refuse(focusField, "EditDBName",
                      QStringLiteral("用\"账套代号\"将要创建的数据库在数据库系统中已经存在，请选用别的账套代号。"));
    if (name.isEmpty())
        return refuse(focusField, "EditAccName", QStringLiteral("账套名称不可以为空。"));
    if (password != password2)
        return refuse(focusField, "EditPassword", QStringLiteral("\"管理员口令\"和\"确认口令\"不一致，请重新输入。"));
    return {};
}

QString CheckCorpInfo(const QString& corpName, QString* focusField)
{
    if (corpName.isEmpty())
        return refuse(focusField, "EditCorpName", QStringLiteral("单位名称不可以为空。"));
    return {};
}

QString CheckChartChoice(bool copyChart, const QString& copyFromCode, QString* focusField)
{
    if (copyChart && copyFromCode.isEmpty())
        return refuse(focusField, "DBLkupEmAccList",
                      QStringLiteral("当选中\"从选择的账套复制会计科目\"时，必须选择一已有的账套。"));
    return {};
}

// ---- code conversion -------------------------------------------------------

QString NewAccSetScript()
{
    return loadScript(QStringLiteral("qryNewAccSet.sql"));
}

QString SubjectCodeExpression(int L2, int L3)
{
    const QString expression = QStringLiteral(
        "substring(Code,1,4)+ (case when ##Lev2<=3 then substring(Code,5+3-##Lev2,##Lev2) else (case when "
        "len(Code)>4 then replicate('0',##Lev2-3) else '' end)+ substring(Code,5,3) end)+ (case when ##Lev3<=3 then "
        "substring(Code,8+3-##Lev3,##Lev3) else (case when len(Code)>7 then replicate('0',##Lev3-3) else '' end)+ "
        "substring(Code,8,3) end)");
    return ReplacePlaceholder(ReplacePlaceholder(expression, QStringLiteral("##Lev2"), QString::number(L2)),
                              QStringLiteral("##Lev3"), QString::number(L3));
}

QString ConvertPresetCode(const QString& code, int L2, int L3)
{
    // As the SQL expression: the last `length` characters of the 3-character
    // segment, or zeros in front of the whole segment when longer.
    auto part = [&code](int from, int length) {
        if (length <= 3)
            return code.mid(from + 3 - length, length);
        return (code.size() > from ? QString(length - 3, QLatin1Char('0')) : QString()) + code.mid(from, 3);
    };
    return code.left(4) + part(4, L2) + part(7, L3);
}

// ---- the creator -------------------------------------------------------------

TNewAccSetCreator::TNewAccSetCreator(TLinkData& link) : link_(link), script_(NewAccSetScript()) {}

TNewAccSetCreator::~TNewAccSetCreator()
{
    // A store made here lives as long as the creator; the next one that
    // needs it over UserDB makes its own.
    if (ownedOptions_ && FundOptions == ownedOptions_.get()) {
        ownedOptions_->CloseOptions();
        FundOptions = nullptr;
    }
}

QString TNewAccSetCreator::databaseName() const
{
    return QStringLiteral("VQTCW_") + choices_.code;
}

QString TNewAccSetCreator::TemplateBackupFile(const QString& programFolder)
{
    const bool separated = programFolder.endsWith(QLatin1Char('/')) || programFolder.endsWith(QLatin1Char('\\'));
    return programFolder + (separated ? QString() : QStringLiteral("/")) + QStringLiteral("VQTCWTemp.mdk");
}

QChar TNewAccSetCreator::ReportSection(int subjectsOfClass6, int subjectKind)
{
    if (subjectsOfClass6 > 0)
        return QLatin1Char('C');
    return subjectKind == 3 ? QLatin1Char('E') : QLatin1Char('A');
}

void TNewAccSetCreator::ensureOptions()
{
    if (FundOptions)
        return;
    ownedOptions_ = std::make_unique<TFundOptions>(link_.UserDB);
    FundOptions = ownedOptions_.get();
}

bool TNewAccSetCreator::CreateDatabase()
{
    ShowWaiting(QStringLiteral("正在创建账套数据库，"), kWaitingTail);
    bool ok = false;
    try {
        const QString database = databaseName();
        const QString folder = link_.GetDataPath();
        const QString dataFile = folder + QStringLiteral("/") + database + QStringLiteral(".mdf");
        const QString logFile = folder + QStringLiteral("/") + database + QStringLiteral("_log.ldf");
        // The section is stripped of its comments before the values go in
        // (ExecuteSqlAsIs), and each value is made safe for its place: the name
        // between brackets, the paths between quotes. "##DBName_log"
        // becomes the database name followed by "_log".
        const QString section = StripSqlComments(
            ExtractSection(script_, QStringLiteral("--CreateAccSetA"), QStringLiteral("--CreateAccSetB")));
        const QString sql = fillPlaceholders(
            section, {{QStringLiteral("##DBName"), sqlInsideBrackets(database)},
                      {QStringLiteral("##MDKFile"), sqlInsideQuotes(TemplateBackupFile(GetProgramFolder()))},
                      {QStringLiteral("##MDFFile"), sqlInsideQuotes(dataFile)},
                      {QStringLiteral("##LDFFile"), sqlInsideQuotes(logFile)}});
        TLinkData::ExecuteSqlAsIs(link_.AccListDB, sql, 0);   // judged by the connection below
        ok = link_.ConnectAccountSet(database, false);
        if (ok && FundOptions)
            FundOptions->CloseOptions();   // reads the new set's T_Options next
    } catch (const std::exception&) {
        ok = false;
    }
    CloseWaiting();
    return ok;
}

bool TNewAccSetCreator::WriteAdminPassword()
{
    if (choices_.password.isEmpty())
        return true;   // the template's administrator keeps its password
    return link_.AccountSetExec(QStringLiteral("update T_Operator set Password=") + sqlQuoted(choices_.password) +
                                QStringLiteral(" where KeyID=1"));
}

bool TNewAccSetCreator::WriteOptions()
{
    ensureOptions();
    TFundOptions& o = *FundOptions;
    const TNewAccSetChoices& c = choices_;
    o.SetOption(QStringLiteral("AccSetName"), c.name);
    o.SetIntOption(QStringLiteral("CWStartYear"), c.startYear);
    o.SetIntOption(QStringLiteral("CWStartMonth"), c.startMonth);
    o.SetIntOption(QStringLiteral("CWWorkYear"), c.startYear);
    o.SetIntOption(QStringLiteral("CWWorkMonth"), c.startMonth);
    o.SetIntOption(QStringLiteral("CWCalendarKind"), c.calendarKind);
    o.SetIntOption(QStringLiteral("CWClearPLKind"), c.clearPLKind);
    o.SetIntOption(QStringLiteral("CWSubjectKind"), c.subjectKind);
    o.SetIntOption(QStringLiteral("CWVouAudiKind"), c.vouAudiKind ? 1 : 0);
    for (int level = 1; level <= 6; ++level)
        o.SetIntOption(QStringLiteral("SubGrade") + QString::number(level), c.lengths[static_cast<std::size_t>(level - 1)]);
    o.SetOption(QStringLiteral("CorpName"), c.corpName);
    o.SetOption(QStringLiteral("CorpLegalRep"), c.legalRep);
    o.SetOption(QStringLiteral("CorpBankAccNo"), c.bankAccNo);
    o.SetOption(QStringLiteral("OrganizationNo"), c.organizationNo);
    o.SetOption(QStringLiteral("CorpTaxNo"), c.taxNo);
    o.SetOption(QStringLiteral("CorpLinkman"), c.linkman);
    o.SetOption(QStringLiteral("CorpTel"), c.tel);
    o.SetOption(QStringLiteral("CorpFax"), c.fax);
    o.SetOption(QStringLiteral("CorpZip"), c.zip);
    o.SetOption(QStringLiteral("CorpAddress"), c.address);
    o.SetOption(QStringLiteral("CorpEMail"), c.email);
    o.SetOption(QStringLiteral("CorpURL"), c.url);
    return o.SaveOptions();   // shows its own message when it fails
}

bool TNewAccSetCreator::CopyTemplates()
{
    return link_.AccountSetExec(QStringLiteral(
               " insert into T_TempFile(KeyID,TypeName,TempName,TempFile,Remark,Version,EditDate)  select "
               "KeyID,TypeName,TempName,TempFile,Remark,Version,EditDate  from VQTCWPack..T_TempFile ")) &&
           link_.AccountSetExec(QStringLiteral("delete from CW_Report")) &&
           link_.AccountSetExec(QStringLiteral(
               " insert into CW_Report(KeyID,ReportName,ReportKind,ReportTemp,MaxParamID,Closed,Version) select "
               "KeyID,ReportName,ReportKind,ReportTemp,MaxParamID,Closed,Version from VQTCWPack.dbo.CW_Report "));
}

bool TNewAccSetCreator::WriteSubjects()
{
    const TNewAccSetChoices& c = choices_;
    if (c.copyChart) {
        const QString source = QStringLiteral("VQTCW_") + c.copyFromCode;
        if (!runGroups(ExtractSection(script_, QStringLiteral("--SubjectC"), QStringLiteral("--SubjectD")), source))
            return false;
        // The lists are copied only after the chart copied whole: once a
        // group has failed the creation is abandoned anyway, and a second
        // error box would only repeat it.
        if (c.copyLists &&
            !runGroups(ExtractSection(script_, QStringLiteral("--CopyListA"), QStringLiteral("--CopyListB")), source))
            return false;
        return true;   // the source's CW_SubLen and SubGrade options came with it
    }
    QString section = ExtractSection(script_, QStringLiteral("--SubjectA"), QStringLiteral("--SubjectB"));
    section = ReplacePlaceholder(section, QStringLiteral("##Lev2"), QString::number(c.lengths[1]));
    section = ReplacePlaceholder(section, QStringLiteral("##Lev3"), QString::number(c.lengths[2]));
    section = ReplacePlaceholder(section, QStringLiteral("##SubKind"), QString::number(c.subjectKind));
    if (!link_.ExecuteSql(link_.UserDB, section))
        return false;
    const int s2 = 4 + c.lengths[1];
    const int s3 = s2 + c.lengths[2];
    const int s4 = s3 + c.lengths[3];
    const int s5 = s4 + c.lengths[4];
    const int s6 = s5 + c.lengths[5];
    return link_.ExecuteSql(link_.UserDB,
                            QStringLiteral(" insert into CW_SubLen(KeyID,SubLen1,SubLen2,SubLen3,SubLen4,SubLen5,SubLen6) "
                                           "values(1,4,%1,%2,%3,%4,%5)")
                                .arg(s2)
                                .arg(s3)
                                .arg(s4)
                                .arg(s5)
                                .arg(s6));
}

bool TNewAccSetCreator::runGroups(const QString& section, const QString& sourceDatabase)
{
    // As AccountSetExecScript runs a script: cut at each ";", each group
    // one batch, text after the last ";" not run, the first failing group
    // shown with its text. The cutting is done on the stripped template
    // before the source's name goes in, so a name holding ";" or "--"
    // cannot cut a group.
    QString remaining = StripSqlComments(section);
    while (true) {
        const qsizetype semicolon = remaining.indexOf(QLatin1Char(';'));
        if (semicolon < 0)
            return true;
        const QString group =
            fillPlaceholders(remaining.left(semicolon), {{QStringLiteral("##DBName"), sqlInsideBrackets(sourceDatabase)}});
        remaining = remaining.mid(semicolon + 1);
        if (!TLinkData::ExecuteSqlAsIs(link_.UserDB, group)) {
            ShowError(group, QStringLiteral("错误"));
            return false;
        }
    }
}

bool TNewAccSetCreator::WriteVouWords()
{
    static const QStringList groups[] = {
        {QStringLiteral("记")},
        {QStringLiteral("收"), QStringLiteral("付"), QStringLiteral("转")},
        {QStringLiteral("现"), QStringLiteral("银"), QStringLiteral("转")},
        {QStringLiteral("现收"), QStringLiteral("现付"), QStringLiteral("银收"), QStringLiteral("银付"), QStringLiteral("转")},
    };
    const int group = qBound(0, choices_.vouWordGroup, 3);
    const QStringList& words = groups[group];
    for (int i = 0; i < words.size(); ++i) {
        const int key = i + 1;
        if (!link_.AccountSetExec(QStringLiteral(" insert into CW_VouWord(KeyID,Code,Name,Closed)  values(%1,'%2',%3,0)")
                                      .arg(key)
                                      .arg(key, 4, 10, QLatin1Char('0'))
                                      .arg(sqlQuoted(words.at(i)))))
            return false;
    }
    return true;
}

bool TNewAccSetCreator::WriteCalendar()
{
    if (choices_.calendarKind != 1)
        return true;
    for (const TCalendarMonth& month : choices_.calendar) {
        // Dates as ISO text, which the engine and SQL Server read alike.
        if (!link_.AccountSetExec(
                QStringLiteral(" insert into CW_Calendar(CWYear,CWMonth,BeginDate,EndDate,ReadOnly) values(%1,%2,'%3','%4',0)")
                    .arg(choices_.startYear)
                    .arg(month.MonthID)
                    .arg(month.BeginDate.toString(Qt::ISODate), month.EndDate.toString(Qt::ISODate))))
            return false;
    }
    return true;
}

bool TNewAccSetCreator::WriteReports()
{
    const int class6 = link_.AccountSetCount(QStringLiteral("select count(*) from CW_Subject where Code like '6%'"));
    const QChar first = ReportSection(class6, choices_.subjectKind);
    const QChar last = QChar(first.unicode() + 1);
    return link_.AccountSetExec(
        ExtractSection(script_, QStringLiteral("--Report") + first, QStringLiteral("--Report") + last));
}

bool TNewAccSetCreator::WritePrivileges()
{
    return link_.AccountSetExec(ExtractSection(script_, QStringLiteral("--Priv_A"), QStringLiteral("--Priv_B")));
}

bool TNewAccSetCreator::AddToCatalogue()
{
    const int key = link_.QueryMaxID(link_.AccListDB, QStringLiteral("AccList"), QStringLiteral("KeyID")) + 1;
    return link_.ExecuteSql(link_.AccListDB,
                            QStringLiteral(" insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) "
                                           " values(%1,%2,%3,0,0,0)")
                                .arg(key)
                                .arg(sqlQuoted(choices_.code), sqlQuoted(choices_.name)));
}

bool TNewAccSetCreator::upgrade()
{
    LinkDataScope scope(link_);
    std::unique_ptr<TUpgradeData> own;
    TUpgradeData* upgrader = UpgradeData;
    if (!upgrader) {
        own = std::make_unique<TUpgradeData>();
        upgrader = own.get();
    }
    upgrader->UpgradeAccountSet();
    for (const UpgradeStep& step : kUpgradeSteps) {
        if (IsVersionSmaller(FundOptions->GetOption(QString::fromLatin1(step.option), QString()),
                             QString::fromLatin1(step.version)))
            return false;
    }
    return true;
}

bool TNewAccSetCreator::initialise(QString& step)
{
    step = QStringLiteral("升级账套数据库");
    if (!upgrade())
        return false;
    ShowWaiting(QStringLiteral("正在初始化账套数据库，"), kWaitingTail);
    const std::pair<const char*, bool (TNewAccSetCreator::*)()> steps[] = {
        {"写入管理员口令", &TNewAccSetCreator::WriteAdminPassword},
        {"写入账套选项", &TNewAccSetCreator::WriteOptions},
        {"复制打印模板和报表定义", &TNewAccSetCreator::CopyTemplates},
        {"写入会计科目", &TNewAccSetCreator::WriteSubjects},
        {"写入凭证字", &TNewAccSetCreator::WriteVouWords},
        {"写入会计月历", &TNewAccSetCreator::WriteCalendar},
        {"写入财务报表项目", &TNewAccSetCreator::WriteReports},
        {"写入权限", &TNewAccSetCreator::WritePrivileges},
        {"登记账套目录", &TNewAccSetCreator::AddToCatalogue},
    };
    for (const auto& [name, work] : steps) {
        step = QString::fromUtf8(name);
        if (!(this->*work)())
            return false;
    }
    return true;
}

void TNewAccSetCreator::abandon(const QString& step, const QString& detail)
{
    // Not one row of the half-built set may stay behind: the store's
    // unsaved edits are dropped, our own connection leaves the database
    // and the database goes, its files with it. The catalogue row is the
    // last step, so no failure leaves one.
    if (FundOptions)
        FundOptions->CloseOptions();
    link_.UserDB.close();
    TLinkData::ExecuteSqlAsIs(link_.AccListDB,
                              QStringLiteral("drop database [") + sqlInsideBrackets(databaseName()) + QStringLiteral("]"), 0);
    CloseWaiting();
    QString text = QStringLiteral("创建账套失败：") + step + QStringLiteral("时出错");
    if (!detail.isEmpty())
        text += QStringLiteral("（") + detail + QStringLiteral("）");
    ShowError(text + QStringLiteral("。新账套没有创建。"), QStringLiteral("错误"));
}

bool TNewAccSetCreator::Create(const TNewAccSetChoices& choices)
{
    choices_ = choices;
    if (!CreateDatabase()) {
        ShowInfo(QStringLiteral("数据库创建失败！"), QStringLiteral("提示"));
        return false;
    }
    ensureOptions();
    // Any failure abandons the creation: a set whose initial data are
    // incomplete is dropped again and never listed.
    QString step = QStringLiteral("升级账套数据库");
    QString detail;
    bool ok = false;
    try {
        ok = initialise(step);
    } catch (const vqsql::SqlException& e) {
        detail = QString::fromStdString(e.first().message);
    } catch (const std::exception& e) {
        detail = QString::fromUtf8(e.what());
    }
    if (!ok) {
        abandon(step, detail);
        return false;
    }
    CloseWaiting();
    ShowInfo(QStringLiteral("数据库创建成功！"), QStringLiteral("提示"));
    return true;
}
