// The operator-dialog seam's implementation with Qt widgets: modal message
// boxes owned by the application's active window, and the input, password,
// waiting and file dialogs.
#pragma once

#include "operatordialogs.h"

class QCoreApplication;

// Loads Qt's own Chinese texts (file dialogs, standard buttons) where the
// system has them (Debian: qt6-translations-l10n); false when it has not.
bool LoadChineseQtTranslations(QCoreApplication& app);
// True when nothing the program shows can be seen: Qt's offscreen or
// minimal platform. The operator dialogs then go to the terminal.
bool IsHeadlessPlatform();

class QtOperatorDialogs : public OperatorDialogs {
public:
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
};
