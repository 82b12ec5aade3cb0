// vqacc's answers to the account-set commands' dialogs. Nobody sits at the
// server, so every answer comes from the command line:
//
//   save dialog           the FILE argument (made absolute, ".cwz" added)
//   password              --password, else asked on the terminal without
//                         echo; without either: cancelled
//   overwrite question    Yes with --replace; No when --as names another
//                         code (the new-code input then gets it, once);
//                         else Cancel
//   anything else         the safe answer (No, Cancel, nothing) and a line
//                         saying so
//
// Every notice, error and question, and the answer given to a question,
// is printed on standard error as "[caption] text", so a cron job's log
// tells what happened; the waiting window and its progress only when
// standard error is a terminal.
#pragma once

#include "operatordialogs.h"

#include <QString>

#include <memory>
#include <optional>

class TerminalOperatorDialogs;

namespace vqacc {

struct Answers {
    QString saveFile;                   // absolute, default extension added
    std::optional<QString> password;    // --password
    bool replace = false;               // --replace
};

class CommandLineOperator : public OperatorDialogs {
public:
    explicit CommandLineOperator(Answers answers);
    ~CommandLineOperator() override;

    // A password typed on the terminal, without echo, when standard input
    // is a terminal this process has the foreground of; nullopt without
    // one (nothing printed) or when the input ended.
    std::optional<QString> askTerminalPassword(const QString& caption, const QString& prompt);

    // The path the save dialog last answered, empty when it answered none.
    QString savedFile() const { return savedFile_; }

    // Prints "[caption] text" on standard error (further lines indented).
    void printBox(const QString& caption, const QString& text);
    // An indented note under the box just printed: what was answered.
    void printNote(const QString& text);

    void showInfo(const QString& text, const QString& caption) override;
    void showError(const QString& text, const QString& caption) override;
    DialogAnswer askYesNo(const QString& text, const QString& caption) override;
    DialogAnswer askYesNoCancel(const QString& text, const QString& caption) override;
    std::optional<QString> inputText(const QString& caption, const QString& prompt, const QString& initial,
                                     int maxBytes) override;
    std::optional<QString> inputPassword(const QString& caption, const QString& prompt) override;
    void showWaiting(const QString& action, const QString& tail) override;
    void closeWaiting() override;
    void showWaitingProgress(int percent) override;
    QString openFileName(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;

private:
    void write(const QString& text);
    // Ends a progress line still open on the terminal.
    void endProgressLine();

    Answers answers_;
    bool progressShown_ = false;   // a "\r  NN%" line is open
    int lastPercent_ = -1;
    QString passwordGivenFor_;     // the prompt --password last answered
    QString savedFile_;
    std::unique_ptr<TerminalOperatorDialogs> terminal_;   // made on first use
};

// True when `text` is the restore's overwrite question for some code
// (AccSetText::overwriteQuestion); `code` receives that code.
bool IsOverwriteQuestion(const QString& text, QString* code = nullptr);

}  // namespace vqacc
