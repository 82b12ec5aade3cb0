// Qt widgets behind the operator-dialog seam.
#include "qtoperatordialogs.h"

#include "textcodec.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

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
    bool ok = false;
    QString text = QInputDialog::getText(owner(), caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    while (maxBytes > 0 && gbkLength(text) > maxBytes)
        text.chop(1);
    return text;
}

std::optional<QString> QtOperatorDialogs::inputPassword(const QString& caption, const QString& prompt)
{
    bool ok = false;
    QString text = QInputDialog::getText(owner(), caption, prompt, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void QtOperatorDialogs::showWaiting(const QString& action, const QString& tail)
{
    closeWaiting();
    auto* window = new QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLabel(action + tail, window));
    window->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QApplication::processEvents();
    waiting_ = window;
}

void QtOperatorDialogs::closeWaiting()
{
    if (!waiting_)
        return;
    waiting_->close();
    waiting_ = nullptr;
    QApplication::restoreOverrideCursor();
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
