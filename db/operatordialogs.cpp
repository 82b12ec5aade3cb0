// The operator-dialog seam: the installed implementation.
#include "operatordialogs.h"

namespace {

// Answers as an operator who is not there: every box closes at once.
class SilentOperator : public OperatorDialogs {
public:
    void showInfo(const QString&, const QString&) override {}
    void showError(const QString&, const QString&) override {}
    DialogAnswer askYesNo(const QString&, const QString&) override { return DialogAnswer::No; }
    DialogAnswer askYesNoCancel(const QString&, const QString&) override { return DialogAnswer::Cancel; }
    std::optional<QString> inputText(const QString&, const QString&, const QString&, int) override
    {
        return std::nullopt;
    }
    std::optional<QString> inputPassword(const QString&, const QString&) override { return std::nullopt; }
    void showWaiting(const QString&, const QString&) override {}
    void closeWaiting() override {}
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
};

SilentOperator silentOperator;
OperatorDialogs* current = &silentOperator;

}  // namespace

void setOperatorDialogs(OperatorDialogs* dialogs)
{
    current = dialogs ? dialogs : &silentOperator;
}

OperatorDialogs& operatorDialogs()
{
    return *current;
}
