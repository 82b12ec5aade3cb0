// TMWInputForm: the input dialog and its password form.
#include "mwinput.h"

#include "gbklimit.h"
#include "textcodec.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QValidator>

#include <algorithm>

TMWInputForm::TMWInputForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MWInputForm"));
    setFixedSize(392, 132);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);

    LabelTip = new QLabel(this);
    LabelTip->setObjectName(QStringLiteral("LabelTip"));
    LabelTip->move(52, 22);

    EditInput = new QLineEdit(this);
    EditInput->setObjectName(QStringLiteral("EditInput"));
    EditInput->setGeometry(52, 48, 296, 20);
    limit_ = new GbkLimitValidator(EditInput);
    EditInput->setValidator(limit_);

    btnOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(162, 93, 81, 24);
    btnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    btnOk->setDefault(true);

    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(258, 92, 81, 24);
    btnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    btnCancel->setAutoDefault(false);

    connect(EditInput, &QLineEdit::textChanged, this, [this](const QString& text) {
        limit_->accepted = text;
        EditInputChange();
    });
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Centred on the screen, not on the window that asks.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}

void TMWInputForm::prepare(const QString& caption, const QString& prompt, const QString& initialText, int maxBytes)
{
    setWindowTitle(caption);
    LabelTip->setText(prompt);
    LabelTip->adjustSize();
    EditInput->setEchoMode(QLineEdit::Normal);
    EditInput->setText(initialText);
    limit_->accepted = initialText;
    setMaxBytes(maxBytes);
    btnOk->setEnabled(!initialText.isEmpty());
    EditInput->setFocus();
}

void TMWInputForm::preparePassword(const QString& caption, const QString& prompt)
{
    prepare(caption, prompt, QString(), kPasswordLimit);
    EditInput->setEchoMode(QLineEdit::Password);
    EditInput->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    // An empty password may be confirmed straight away.
    btnOk->setEnabled(true);
}

void TMWInputForm::setMaxBytes(int maxBytes)
{
    limit_->maxBytes = std::max(maxBytes, 0);
}

int TMWInputForm::maxBytes() const
{
    return limit_->maxBytes;
}

QString TMWInputForm::text() const
{
    return EditInput->text();
}

void TMWInputForm::EditInputChange()
{
    btnOk->setEnabled(!EditInput->text().isEmpty());
}

namespace {

std::optional<QString> run(TMWInputForm* form)
{
    // The form may go with its owner while it runs (the program quitting).
    QPointer<TMWInputForm> guard(form);
    const int result = form->exec();
    if (!guard)
        return std::nullopt;
    std::optional<QString> answer;
    if (result == QDialog::Accepted)
        answer = form->text();
    delete form;
    return answer;
}

}  // namespace

std::optional<QString> TMWInputForm::ShowInputDialog(const QString& caption, const QString& prompt,
                                                     const QString& initialText, int maxBytes)
{
    auto* form = new TMWInputForm(QApplication::activeWindow());
    form->prepare(caption, prompt, initialText, maxBytes);
    return run(form);
}

std::optional<QString> TMWInputForm::ShowPasswordDialog(const QString& caption, const QString& prompt)
{
    auto* form = new TMWInputForm(QApplication::activeWindow());
    form->preparePassword(caption, prompt);
    return run(form);
}
