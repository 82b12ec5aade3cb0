// The operator-dialog seam: every message box, input, password, waiting
// and file dialog of the program goes through one interface. The program
// installs the Qt implementation; tests install a scripted one that
// answers from a queue and records every text and caption shown.
// The message boxes the rest of the program calls are in mwstdfun.h.
#pragma once

#include <QString>

#include <optional>

enum class DialogAnswer { Ok, Yes, No, Cancel };

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;

    virtual void showInfo(const QString& text, const QString& caption) = 0;
    virtual void showError(const QString& text, const QString& caption) = 0;
    // Yes or No.
    virtual DialogAnswer askYesNo(const QString& text, const QString& caption) = 0;
    // Yes, No or Cancel.
    virtual DialogAnswer askYesNoCancel(const QString& text, const QString& caption) = 0;
    // A line of text (nullopt when cancelled); maxBytes counts GBK bytes.
    virtual std::optional<QString> inputText(const QString& caption, const QString& prompt, const QString& initial,
                                             int maxBytes) = 0;
    // A password (nullopt when cancelled).
    virtual std::optional<QString> inputPassword(const QString& caption, const QString& prompt) = 0;
    // The waiting window: the action followed by the tail.
    virtual void showWaiting(const QString& action, const QString& tail) = 0;
    virtual void closeWaiting() = 0;
    // File dialogs: the chosen path, or empty text when cancelled.
    virtual QString openFileName(const QString& caption, const QString& folder, const QString& filter) = 0;
    virtual QString saveFileName(const QString& caption, const QString& folder, const QString& fileName,
                                 const QString& filter) = 0;
};

// Answers as an operator who is not there: every box closes at once
// (OK, No, Cancel, nothing chosen). The default until another is installed.
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

// The implementation in use; the program and the tests install theirs.
// Until one is installed the dialogs answer as a silent operator would
// (OK, No, Cancel, nothing chosen).
void setOperatorDialogs(OperatorDialogs* dialogs);
OperatorDialogs& operatorDialogs();

