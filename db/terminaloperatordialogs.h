// The operator-dialog seam on a terminal, for the server running without a
// display. Every box reaches the terminal instead of an invisible window:
// notices and errors are printed with their caption; questions, inputs,
// the password and file names are asked on the terminal when one is
// attached (the password without echo). Without one, each is answered with
// the safe choice (No, Cancel, nothing chosen) and that answer is printed
// too, so the program never waits for ever on a box nobody can see.
//
// While a question waits for its answer, the event loop keeps running (as
// under a modal message box), so clients go on being served.
#pragma once

#include "operatordialogs.h"

#include <QList>

class QEventLoop;

class TerminalOperatorDialogs : public OperatorDialogs {
public:
    // Reads answers from `inputFd` and writes to `outputFd`. `interactive`
    // says whether anyone can answer there; see onStandardStreams().
    TerminalOperatorDialogs(int inputFd, int outputFd, bool interactive);

    // Standard input and standard error. Interactive when standard input is
    // a terminal and this process is in its foreground (a background job
    // reading it would be stopped, waiting for ever).
    static TerminalOperatorDialogs onStandardStreams();
    static bool isForegroundTerminal(int fd);

    bool interactive() const { return interactive_; }
    // Gives every question still waiting its safe answer (used when the
    // program is asked to end while a question is open).
    void cancelPendingQuestions();

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
    void print(const QString& text);
    // A box's text with its caption: "[caption] text", further lines indented.
    void printBox(const QString& caption, const QString& text);
    void printUnanswered(const QString& answer);
    // One line from the terminal, without its line end; nullopt at the end
    // of input, on an error, or when the questions were cancelled.
    std::optional<QString> readLine(bool hideInput);
    DialogAnswer askChoice(const QString& text, const QString& caption, bool withCancel);
    // A path typed on the terminal; relative names are taken in the
    // request's folder, the default extension is added.
    QString askFileName(const FileDialogRequest& request, const QString& proposed);

    int inputFd_;
    int outputFd_;
    bool interactive_;
    QByteArray pendingInput_;            // bytes read after the last line end
    QList<QEventLoop*> waitingLoops_;    // questions waiting, innermost last
    bool cancelled_ = false;
    int progressShown_ = -1;             // the last percentage printed
};
