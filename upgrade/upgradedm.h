// The data module TUpgradeData and its single instance UpgradeData: the
// account-set upgrade. An account set is restored from a template backup
// that can be older than the program; UpgradeAccountSet brings it up to
// date by a fixed list of steps, each recorded in the account set's own
// options (T_Options) under the step's name with the step's version once
// it has been applied:
//
//   1  UpgradeDBTable     20180120.01  the report result tables RT_*      saved
//   2  UpgradeField_WY01  20200112.02  new columns, subject SubTag        not saved
//   3  UpgradeView_WY01   20200720.01  the view V_SubAllName              not saved
//   4  UpgradeInitData    20151003.04  the lines of cash-flow report 413  saved
//
// A step runs only while its recorded version is smaller than its own;
// every step also tests the database before changing it, so running the
// upgrade again is harmless. Options go through FundOptions; a version
// recorded without saving stays in the store's cache until the next save.
#pragma once

#include <QString>

// Version texts ("20180120.01", "PKV121224") compare as texts, character
// by character by character code; a text that is a prefix of another is
// the smaller, and a missing version (empty text) is smaller than all.
bool IsVersionSmaller(const QString& version, const QString& than);

class TUpgradeData {
public:
    TUpgradeData();
    TUpgradeData(const TUpgradeData&) = delete;
    TUpgradeData& operator=(const TUpgradeData&) = delete;

    // The step scripts, in named sections: the result tables and the 413
    // lines, and the view.
    QString qrySQL2015;
    QString qryView01;

    // Runs the four steps on the account set UserDB is open on. Expects
    // FundOptions to exist over UserDB. Shows nothing itself; only a
    // failing statement of the view step is shown (by the script runner).
    void UpgradeAccountSet();

    // Tests on UserDB; a failing test query counts as absence.
    bool ObjectExists(const QString& name, const QString& xtype);
    bool ColumnExists(const QString& table, const QString& column);
    // True without doing anything when the table is missing or already has
    // the column; otherwise the result of adding it (nullable).
    bool AddColumnIfMissing(const QString& table, const QString& column, const QString& type);
    // Re-creates a view from its section of `script` unless the view exists
    // and its option "SO_<name>" is at least `version`; records `version`
    // on success. False when a statement of the section failed.
    bool UpgradeObjectSection(const QString& script, const QString& name, const QString& version);

private:
    bool upgradeTables();
    bool upgradeFields();
    bool upgradeView();
    bool upgradeInitData();
    QString section(const QString& script, const QString& name) const;
};

// The single instance, created at start-up after LinkData (tests create
// their own).
extern TUpgradeData* UpgradeData;
