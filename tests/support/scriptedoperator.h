// A scripted operator for tests: answers the program's dialogs from a
// queue of expected dialogs and records every text and caption shown. A
// dialog nobody expected fails the test.
//
//   ScriptedOperator op;                      // installs itself
//   op.expect(DialogKind::YesNo, "询问", "是否确认断开与所有客户端的联接？", DialogAnswer::Yes);
//   ... run the code ...
//   op.verifyDone();                          // every expected dialog was shown
#pragma once

#include "operatordialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

enum class DialogKind { Info, Error, YesNo, YesNoCancel, Input, Password, Open, Save };

struct ShownDialog {
    DialogKind kind;
    QString caption;
    QString text;
};

class ScriptedOperator : public OperatorDialogs {
public:
    ScriptedOperator();
    ~ScriptedOperator() override;

    // The next dialog must be of this kind with this caption (and text,
    // unless it is empty); it is answered with `answer` (for input dialogs
    // `reply`, nullopt for Cancel).
    void expect(DialogKind kind, const QString& caption, const QString& text = {},
                DialogAnswer answer = DialogAnswer::Ok, std::optional<QString> reply = std::nullopt);
    // Fails the test when expected dialogs were not shown.
    void verifyDone();
    // Each box then runs the event loop for this long before it answers,
    // as a real modal box does while it waits for the operator.
    void setModalDelay(int milliseconds) { modalDelay_ = milliseconds; }

    const std::vector<ShownDialog>& shown() const { return shown_; }
    QStringList waitingTexts() const { return waiting_; }
    bool waitingShown() const { return waitingOpen_; }

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
    // Open and Save dialogs are matched on their caption and folder (the
    // expected text); the whole request is kept for the test to check.
    QString openFileName(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;

    const std::vector<FileDialogRequest>& fileRequests() const { return fileRequests_; }
    // Every percentage reported to the waiting window, in order.
    const std::vector<int>& progress() const { return progress_; }

private:
    struct Expected {
        DialogKind kind;
        QString caption;
        QString text;
        DialogAnswer answer;
        std::optional<QString> reply;
    };
    // Records the dialog, checks it against the queue and returns its entry.
    Expected take(DialogKind kind, const QString& caption, const QString& text);

    std::deque<Expected> expected_;
    std::vector<ShownDialog> shown_;
    QStringList waiting_;
    bool waitingOpen_ = false;
    int modalDelay_ = 0;
    std::vector<FileDialogRequest> fileRequests_;
    std::vector<int> progress_;
};
