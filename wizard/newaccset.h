// Creating a new account set: the wizard's choices as plain values, the
// create sequence that turns them into the database VQTCW_<code> with its
// initial data and its catalogue row, and the checks the wizard runs when
// the operator leaves a step. Used by the wizard window and by the vqacc
// tool; no widgets here, only the connections of TLinkData and the
// operator-dialog seam.
//
// The create sequence (TNewAccSetCreator::Create):
//
//    1  CreateDatabase     restore VQTCWTemp.mdk as VQTCW_<code>, UserDB on it
//    2  FundOptions        created over UserDB when missing
//    3  upgrade            UpgradeAccountSet on the new database
//    4  waiting window     "正在初始化账套数据库，请稍候......"
//    5  WriteAdminPassword T_Operator KeyID 1, only for a non-empty password
//    6  WriteOptions       T_Options through FundOptions
//    7  CopyTemplates      print templates and report definitions of the pack
//    8  WriteSubjects      preset chart re-coded, or another set's chart
//    9  WriteVouWords      CW_VouWord
//   10  WriteCalendar      CW_Calendar (user-defined months only)
//   11  WriteReports       statement lines and items
//   12  WritePrivileges    T_PrivGrp, T_Priv
//   13  AddToCatalogue     the row in VQTCWAccList..AccList
//
// Creation is all or nothing: once the database exists, any step that
// fails (a statement, the upgrade, saving the options, an exception) ends
// the sequence with an error naming the step; the catalogue row is not
// written and the half-built database is dropped, so no client can ever
// open a set whose initial data are incomplete. The operator may press
// the create button again, which repeats the whole sequence.
#pragma once

#include "accsetcalendar.h"

#include <QList>
#include <QString>

#include <array>
#include <memory>

class TLinkData;
class TFundOptions;

// What the operator chose in the wizard, as typed (nothing trimmed).
struct TNewAccSetChoices {
    // Step 2: the code (part of the database and file names), the name and
    // the administrator's password.
    QString code;
    QString name;
    QString password;

    // Step 3: the company's particulars.
    QString corpName;
    QString legalRep;
    QString organizationNo;
    QString taxNo;
    QString bankAccNo;
    QString linkman;
    QString tel;
    QString fax;
    QString zip;
    QString address;
    QString email;
    QString url;

    // Step 4: the chart of accounts. subjectKind 0..4 picks the preset
    // chart; lengths[0..5] are the code lengths L1..L6 of the six levels
    // (L1 always 4). With copyChart the chart is copied from the account
    // set whose catalogue DBName is copyFromCode, and copyLists copies its
    // departments, projects, employees and trading partners as well.
    int subjectKind = 3;
    std::array<int, 6> lengths{4, 3, 3, 3, 3, 3};
    bool copyChart = false;
    QString copyFromCode;
    bool copyLists = false;

    // Step 5: the start period and the calendar; calendarKind 0 natural
    // months, 1 user-defined months (then `calendar` holds the twelve
    // periods, written as they stand).
    int startYear = 2000;
    int startMonth = 1;
    int calendarKind = 0;
    QList<TCalendarMonth> calendar;

    // Step 6: voucher entry and review by different operators; the voucher
    // word group 0 "记", 1 "收、付、转", 2 "现、银、转", 3 "现收、现付、银收、银付、转".
    bool vouAudiKind = false;
    int vouWordGroup = 0;

    // Step 7: period-end closing, 0 "账结法", 1 "表结法".
    int clearPLKind = 0;
};

// ---- the wizard's checks ---------------------------------------------------
// Each returns the message to show (ShowInfo, caption "提示") or empty text
// when the step may be left; `focusField`, when given, receives the object
// name of the field to focus ("EditDBName", "EditAccName", "EditPassword",
// "EditCorpName", "DBLkupEmAccList").

// True when the code holds nothing that could leave its place in a file
// or database name: no "/", "\", "]", NUL or other control character.
// Everything else (spaces, Chinese, punctuation) is accepted.
bool IsAccSetCodeSafe(const QString& code);

// Step 2, in this order: the code is empty; the code holds a refused
// character; the catalogue has a row with the code (deleted ones too); the
// database VQTCW_<code> exists; the name is empty; the passwords differ.
// The two counts run on the catalogue connection, the code between quotes
// with apostrophes doubled; a failing count gives 0.
QString CheckAccSetParams(TLinkData& link, const QString& code, const QString& name, const QString& password,
                          const QString& password2, QString* focusField = nullptr);
// Step 3: the company name is required.
QString CheckCorpInfo(const QString& corpName, QString* focusField = nullptr);
// Step 4: copying a chart needs a chosen source set (its code not empty).
QString CheckChartChoice(bool copyChart, const QString& copyFromCode, QString* focusField = nullptr);

// ---- the create sequence ---------------------------------------------------

// The wizard's script text (":/scripts/qryNewAccSet.sql").
QString NewAccSetScript();

// The code conversion of a preset subject code (segments 4/3/3) to the
// level lengths L2 and L3, as SQL over the column Code; the preview window
// uses it as the creation does. "##Lev2"/"##Lev3" are already replaced.
QString SubjectCodeExpression(int L2, int L3);
// The same conversion in C++: 1002001 -> 100201 with L2 = 2.
QString ConvertPresetCode(const QString& code, int L2, int L3);

class TNewAccSetCreator {
public:
    explicit TNewAccSetCreator(TLinkData& link);
    ~TNewAccSetCreator();
    TNewAccSetCreator(const TNewAccSetCreator&) = delete;
    TNewAccSetCreator& operator=(const TNewAccSetCreator&) = delete;

    // The whole create sequence for the choices (the wizard's checks are
    // expected to hold). True when the set exists and is listed; the
    // operator has then seen "数据库创建成功！". False after
    // "数据库创建失败！" or after the error that names the failing step, with
    // nothing left behind.
    bool Create(const TNewAccSetChoices& choices);

    // The steps, on the choices of the last Create or setChoices. Each
    // returns true when every statement it ran succeeded.
    void setChoices(const TNewAccSetChoices& choices) { choices_ = choices; }
    const TNewAccSetChoices& choices() const { return choices_; }

    // Restores the template as VQTCW_<code> (catalogue connection) and
    // points UserDB at it; judged by that connection alone.
    bool CreateDatabase();
    bool WriteAdminPassword();
    bool WriteOptions();
    // The pack's print templates are added; its report definitions replace
    // the template's.
    bool CopyTemplates();
    bool WriteSubjects();
    bool WriteVouWords();
    bool WriteCalendar();
    bool WriteReports();
    bool WritePrivileges();
    bool AddToCatalogue();

    // "VQTCW_" + code.
    QString databaseName() const;
    // The template backup in the program folder, with exactly one "/"
    // before "VQTCWTemp.mdk".
    static QString TemplateBackupFile(const QString& programFolder);
    // The section of the statement lines WriteReports runs for a chart
    // with `subjectsOfClass6` codes beginning with 6 and the kind: "C"
    // (class 6 present), "E" (kind 3) or "A".
    static QChar ReportSection(int subjectsOfClass6, int subjectKind);

private:
    // Steps 3 to 13 of the sequence; `step` names the step being run.
    bool initialise(QString& step);
    bool upgrade();
    // Runs a section of groups ended by ";" in the new set, "##DBName"
    // filled in each group; the first failing group is shown (caption
    // "错误") and ends the run.
    bool runGroups(const QString& section, const QString& sourceDatabase);
    // Drops the half-built database after a failure and tells the operator.
    void abandon(const QString& step, const QString& detail);
    void ensureOptions();

    TLinkData& link_;
    TNewAccSetChoices choices_;
    QString script_;
    std::unique_ptr<TFundOptions> ownedOptions_;
};
