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

QString QtOperatorDialogs::openFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner(), caption, folder, filter);
}

QString QtOperatorDialogs::saveFileName(const QString& caption, const QString& folder, const QString& fileName,
                                        const QString& filter)
{
    return QFileDialog::getSaveFileName(owner(), caption, folder + QLatin1Char('/') + fileName, filter);
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
