// Qt widgets behind the operator-dialog seam.
#include "qtoperatordialogs.h"

#include "mwinput.h"
#include "syswaiting.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QWidget* owner()
{
    return QApplication::activeWindow();
}

}  // namespace

void QtOperatorDialogs::showInfo(const QString& text, const QString& caption)
{
    QMessageBox::information(owner(), caption, text);
}

void QtOperatorDialogs::showError(const QString& text, const QString& caption)
{
    QMessageBox::critical(owner(), caption, text);
}

DialogAnswer QtOperatorDialogs::askYesNo(const QString& text, const QString& caption)
{
    return QMessageBox::question(owner(), caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? DialogAnswer::Yes
               : DialogAnswer::No;
}

DialogAnswer QtOperatorDialogs::askYesNoCancel(const QString& text, const QString& caption)
{
    switch (QMessageBox::question(owner(), caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
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

QString QtOperatorDialogs::openFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner(), caption, folder, filter);
}

QString QtOperatorDialogs::saveFileName(const QString& caption, const QString& folder, const QString& fileName,
                                        const QString& filter)
{
    return QFileDialog::getSaveFileName(owner(), caption, folder + QLatin1Char('/') + fileName, filter);
}
