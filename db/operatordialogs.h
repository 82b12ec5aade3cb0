// The operator-dialog seam: every message box, input, password, waiting
// and file dialog of the program goes through one interface. The program
// installs the Qt implementation; tests install a scripted one that
// answers from a queue and records every text and caption shown.
// The message boxes the rest of the program calls are in mwstdfun.h.
#pragma once

#include <QString>

#include <optional>

enum class DialogAnswer { Ok, Yes, No, Cancel };

// What a file dialog is asked to show. The filter is written as pairs of
// description and pattern joined by "|" ("账套数据库备份文件(*.cwz)|*.cwz");
// the first pair is the one selected. The default extension (without the
// dot) is appended to a chosen name that has none.
struct FileDialogRequest {
    QString caption;
    QString folder;             // the folder shown first
    QString fileName;           // the name proposed (save dialogs)
    QString filter;
    QString defaultExtension;
};

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
    // How far the operation behind the waiting window has got, 0 to 100.
    // Called often during a long backup or restore, from inside the
    // database call: an implementation repaints what it shows and must not
    // run the event loop (a timer could then reach the busy connection).
    virtual void showWaitingProgress(int /*percent*/) {}
    // File dialogs: the chosen path, or empty text when cancelled. The open
    // dialog returns only a file that exists, is writable and lies in a
    // writable folder (OpenFileRefusal); the save dialog only a name in an
    // existing folder, and asks before an existing file is replaced.
    virtual QString openFileName(const FileDialogRequest& request) = 0;
    virtual QString saveFileName(const FileDialogRequest& request) = 0;
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
    QString openFileName(const FileDialogRequest&) override { return {}; }
    QString saveFileName(const FileDialogRequest&) override { return {}; }
};

// The rules the file dialogs keep, shared by every implementation.
// The Qt form of a filter: "a(*.cwz)|*.cwz|b(*.mdk)|*.mdk" gives
// "a(*.cwz);;b(*.mdk)" (a description without its pattern in parentheses
// gets it appended).
QString QtNameFilters(const QString& filter);
// The path with ".<extension>" appended when its file name has no
// extension of its own; unchanged when the extension is empty.
QString WithDefaultExtension(const QString& path, const QString& extension);
// True when the file or folder is protected against writing: none of its
// write permission bits is set (the read-only attribute of the files the
// operator protects), or this process may not write it. Permission bits
// are looked at first because the super-user may write anything.
bool IsWriteProtected(const QString& path);
// Why a file may not be chosen in an open dialog, or empty text: it must
// exist, be writable, and lie in a writable folder.
QString OpenFileRefusal(const QString& path);
// Why a name may not be chosen in a save dialog, or empty text: its folder
// must exist.
QString SaveFileRefusal(const QString& path);
// The question a save dialog asks before an existing file is replaced.
QString ReplaceFileQuestion(const QString& path);

// The implementation in use; the program and the tests install theirs.
// Until one is installed the dialogs answer as a silent operator would
// (OK, No, Cancel, nothing chosen).
void setOperatorDialogs(OperatorDialogs* dialogs);
OperatorDialogs& operatorDialogs();

