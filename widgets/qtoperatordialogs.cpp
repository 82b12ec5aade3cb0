// Qt widgets behind the operator-dialog seam.
#include "qtoperatordialogs.h"

#include "mwinput.h"
#include "syswaiting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <utility>

namespace {

QWidget* owner()
{
    return QApplication::activeWindow();
}

// A modal box with the buttons in Chinese whatever Qt's translations say
// (确定, 是, 否, 取消), as the rest of the program speaks.
QMessageBox::StandardButton runBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                   QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, owner());
    const std::pair<QMessageBox::StandardButton, const char*> names[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}, {QMessageBox::Cancel, "取消"}};
    for (const auto& [which, name] : names)
        if (QAbstractButton* button = box.button(which))
            button->setText(QString::fromUtf8(name));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void QtOperatorDialogs::showInfo(const QString& text, const QString& caption)
{
    runBox(QMessageBox::Information, caption, text, QMessageBox::Ok);
}

void QtOperatorDialogs::showError(const QString& text, const QString& caption)
{
    runBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

DialogAnswer QtOperatorDialogs::askYesNo(const QString& text, const QString& caption)
{
    return runBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? DialogAnswer::Yes
               : DialogAnswer::No;
}

DialogAnswer QtOperatorDialogs::askYesNoCancel(const QString& text, const QString& caption)
{
    switch (runBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes: return DialogAnswer::Yes;
    case QMessageBox::No: return DialogAnswer::No;
    default: return DialogAnswer::Cancel;
    }
}


std::optional<QString> QtOperatorDialogs::inputText(const QString& caption, const QString& prompt,
                                                    const QString& initial, int maxBytes)
{
    return TMWInputForm::ShowInputDialog(caption, prompt, initial, maxBytes);
}

std::optional<QString> QtOperatorDialogs::inputPassword(const QString& caption, const QString& prompt)
{
    return TMWInputForm::ShowPasswordDialog(caption, prompt);
}

void QtOperatorDialogs::showWaiting(const QString& action, const QString& tail)
{
    TSysWaitingForm::ShowWaiting(action, tail);
}

void QtOperatorDialogs::closeWaiting()
{
    TSysWaitingForm::CloseWaiting();
}

void QtOperatorDialogs::showWaitingProgress(int percent)
{
    TSysWaitingForm::ShowProgress(percent);
}

namespace {

// A file dialog set up from the request; the rules of the seam are kept
// by asking again after a notice (open) or by the dialog itself (save).
QString runFileDialog(const FileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(owner(), request.caption, request.folder);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QtNameFilters(request.filter).split(QLatin1String(";;"), Qt::SkipEmptyParts));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.fileName.isEmpty())
        dialog.selectFile(WithDefaultExtension(request.fileName, request.defaultExtension));
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QString path = WithDefaultExtension(dialog.selectedFiles().front(), request.defaultExtension);
        const QString refusal = mode == QFileDialog::AcceptOpen ? OpenFileRefusal(path) : SaveFileRefusal(path);
        if (refusal.isEmpty())
            return path;   // the save dialog has asked about replacing
        runBox(QMessageBox::Warning, request.caption, refusal, QMessageBox::Ok);
    }
}

}  // namespace

QString QtOperatorDialogs::openFileName(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

QString QtOperatorDialogs::saveFileName(const FileDialogRequest& request)
{
    return runFileDialog(request, QFileDialog::AcceptSave);
}

bool LoadChineseQtTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

bool IsHeadlessPlatform()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}
