// The account-set upgrade (see upgradedm.h).
#include "upgradedm.h"

#include "linkdm.h"
#include "mwdbfun.h"
#include "options.h"

TUpgradeData* UpgradeData = nullptr;

bool IsVersionSmaller(const QString& version, const QString& than)
{
    // QString::compare orders by UTF-16 code unit, a prefix first.
    return version.compare(than, Qt::CaseSensitive) < 0;
}

TUpgradeData::TUpgradeData()
    : qrySQL2015(loadScript(QStringLiteral("qrySQL2015.sql"))), qryView01(loadScript(QStringLiteral("qryView01.sql")))
{
}

bool TUpgradeData::ObjectExists(const QString& name, const QString& xtype)
{
    return LinkData->CountWithoutTimeout(QStringLiteral(" select count(*) from sysobjects  where id=object_id('") + name +
                                         QStringLiteral("') and xtype='") + xtype + QStringLiteral("'")) != 0;
}

bool TUpgradeData::ColumnExists(const QString& table, const QString& column)
{
    return LinkData->CountWithoutTimeout(QStringLiteral(" select count(*) from syscolumns where Name='") + column +
                                         QStringLiteral("'") +
                                         QStringLiteral(" and id=(select id from sysobjects where id=object_id('") +
                                         table + QStringLiteral("')") + QStringLiteral(" and type='U')")) != 0;
}

bool TUpgradeData::AddColumnIfMissing(const QString& table, const QString& column, const QString& type)
{
    if (!ObjectExists(table, QStringLiteral("U")) || ColumnExists(table, column))
        return true;
    return LinkData->AccountSetExec(QStringLiteral("alter table ") + table + QStringLiteral(" add ") + column +
                                    QStringLiteral(" ") + type + QStringLiteral(" null"));
}

QString TUpgradeData::section(const QString& script, const QString& name) const
{
    return ExtractSection(script, QStringLiteral("--") + name + QStringLiteral("_A"),
                          QStringLiteral("--") + name + QStringLiteral("_B"));
}

bool TUpgradeData::UpgradeObjectSection(const QString& script, const QString& name, const QString& version)
{
    const QString option = QStringLiteral("SO_") + name;
    if (ObjectExists(name, QStringLiteral("V")) && !IsVersionSmaller(FundOptions->GetOption(option, QString()), version))
        return true;
    if (!LinkData->AccountSetExecScript(section(script, name)))
        return false;
    FundOptions->SetOption(option, version);
    return true;
}

// ---- the steps ---------------------------------------------------------
// Each step keeps one success flag: once an action has failed, the later
// changing actions are skipped (the tests before them still run).

bool TUpgradeData::upgradeTables()
{
    bool ok = true;
    for (const char* table : {"RT_BalaSheetS", "RT_ProfitLossD", "RT_CashFlowS"}) {
        const QString name = QString::fromLatin1(table);
        if (!ObjectExists(name, QStringLiteral("U")))
            ok = ok && LinkData->AccountSetExec(section(qrySQL2015, name));
    }
    return ok;
}

bool TUpgradeData::upgradeFields()
{
    bool ok = AddColumnIfMissing(QStringLiteral("CW_FAInitBala"), QStringLiteral("MBDeprMon"), QStringLiteral("T_INTEGER"));
    ok = ok && AddColumnIfMissing(QStringLiteral("CW_FAInitBala"), QStringLiteral("MBDeprWL"), QStringLiteral("T_NUMBER"));
    const bool hadSubTag = ColumnExists(QStringLiteral("CW_Subject"), QStringLiteral("SubTag"));
    ok = ok && AddColumnIfMissing(QStringLiteral("CW_Subject"), QStringLiteral("SubTag"), QStringLiteral("T_INTEGER"));
    // The subjects are classified once, when the column arrives.
    if (!hadSubTag && ColumnExists(QStringLiteral("CW_Subject"), QStringLiteral("SubTag"))) {
        ok = ok && LinkData->AccountSetExec(QStringLiteral("update CW_Subject set SubTag=1 where Name like '非限定性%'"));
        ok = ok && LinkData->AccountSetExec(QStringLiteral("update CW_Subject set SubTag=2 where Name like '限定性%'"));
    }
    return ok;
}

bool TUpgradeData::upgradeView()
{
    return UpgradeObjectSection(qryView01, QStringLiteral("V_SubAllName"), QStringLiteral("20200720.01"));
}

bool TUpgradeData::upgradeInitData()
{
    bool ok = true;
    if (LinkData->CountWithoutTimeout(QStringLiteral("select count(*) from CW_Sheet where RptTypeID=413")) == 0)
        ok = LinkData->AccountSetExec(section(qrySQL2015, QStringLiteral("CW_Sheet_413")));
    if (LinkData->CountWithoutTimeout(QStringLiteral("select count(*) from CW_SheetC where KeyID>500 and KeyID<530")) == 0)
        ok = ok && LinkData->AccountSetExec(section(qrySQL2015, QStringLiteral("CW_SheetC_413")));
    if (LinkData->CountWithoutTimeout(QStringLiteral("select count(*) from CW_SheetS where KeyID>500 and KeyID<530")) == 0)
        ok = ok && LinkData->AccountSetExec(section(qrySQL2015, QStringLiteral("CW_SheetS_413")));
    return ok;
}

void TUpgradeData::UpgradeAccountSet()
{
    struct Step {
        const char* option;
        const char* version;
        bool save;
        bool (TUpgradeData::*work)();
    };
    // The order of execution; the versions need not rise along it, each
    // step has its own record.
    static constexpr Step steps[] = {
        {"UpgradeDBTable", "20180120.01", true, &TUpgradeData::upgradeTables},
        {"UpgradeField_WY01", "20200112.02", false, &TUpgradeData::upgradeFields},
        {"UpgradeView_WY01", "20200720.01", false, &TUpgradeData::upgradeView},
        {"UpgradeInitData", "20151003.04", true, &TUpgradeData::upgradeInitData},
    };
    for (const Step& step : steps) {
        const QString option = QString::fromLatin1(step.option);
        const QString version = QString::fromLatin1(step.version);
        if (!IsVersionSmaller(FundOptions->GetOption(option, QString()), version))
            continue;
        if (!(this->*step.work)())
            continue;   // unrecorded: the step runs again next time
        FundOptions->SetOption(option, version);
        if (step.save)
            FundOptions->SaveOptions();
    }
}
