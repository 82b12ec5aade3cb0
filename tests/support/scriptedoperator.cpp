// The scripted operator (see scriptedoperator.h).
#include "scriptedoperator.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

namespace {

const char* kindName(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Info: return "information box";
    case DialogKind::Error: return "error box";
    case DialogKind::YesNo: return "Yes/No question";
    case DialogKind::YesNoCancel: return "Yes/No/Cancel question";
    case DialogKind::Input: return "input dialog";
    case DialogKind::Password: return "password dialog";
    case DialogKind::Open: return "open dialog";
    case DialogKind::Save: return "save dialog";
    }
    return "dialog";
}

}  // namespace

ScriptedOperator::ScriptedOperator()
{
    setOperatorDialogs(this);
}

ScriptedOperator::~ScriptedOperator()
{
    setOperatorDialogs(nullptr);
}

void ScriptedOperator::expect(DialogKind kind, const QString& caption, const QString& text, DialogAnswer answer,
                              std::optional<QString> reply)
{
    expected_.push_back(Expected{kind, caption, text, answer, std::move(reply)});
}

void ScriptedOperator::verifyDone()
{
    for (const Expected& e : expected_)
        ADD_FAILURE() << "expected " << kindName(e.kind) << " \"" << e.caption.toStdString() << "\": \""
                      << e.text.toStdString() << "\" was not shown";
    expected_.clear();
}

ScriptedOperator::Expected ScriptedOperator::take(DialogKind kind, const QString& caption, const QString& text)
{
    shown_.push_back(ShownDialog{kind, caption, text});
    if (modalDelay_ > 0) {
        QEventLoop loop;
        QTimer::singleShot(modalDelay_, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (expected_.empty()) {
        ADD_FAILURE() << "unexpected " << kindName(kind) << " \"" << caption.toStdString() << "\": \""
                      << text.toStdString() << "\"";
        return Expected{kind, caption, text, DialogAnswer::Cancel, std::nullopt};
    }
    Expected e = expected_.front();
    expected_.pop_front();
    EXPECT_EQ(kindName(e.kind), std::string(kindName(kind)));
    EXPECT_EQ(e.caption.toStdString(), caption.toStdString());
    if (!e.text.isEmpty())
        EXPECT_EQ(e.text.toStdString(), text.toStdString());
    return e;
}

void ScriptedOperator::showInfo(const QString& text, const QString& caption)
{
    take(DialogKind::Info, caption, text);
}

void ScriptedOperator::showError(const QString& text, const QString& caption)
{
    take(DialogKind::Error, caption, text);
}

DialogAnswer ScriptedOperator::askYesNo(const QString& text, const QString& caption)
{
    return take(DialogKind::YesNo, caption, text).answer;
}

DialogAnswer ScriptedOperator::askYesNoCancel(const QString& text, const QString& caption)
{
    return take(DialogKind::YesNoCancel, caption, text).answer;
}

std::optional<QString> ScriptedOperator::inputText(const QString& caption, const QString& prompt, const QString&,
                                                   int)
{
    return take(DialogKind::Input, caption, prompt).reply;
}

std::optional<QString> ScriptedOperator::inputPassword(const QString& caption, const QString& prompt)
{
    return take(DialogKind::Password, caption, prompt).reply;
}

void ScriptedOperator::showWaiting(const QString& action, const QString& tail)
{
    waiting_ << action + tail;
    waitingOpen_ = true;
}

void ScriptedOperator::closeWaiting()
{
    waitingOpen_ = false;
}

void ScriptedOperator::showWaitingProgress(int percent)
{
    progress_.push_back(percent);
}

QString ScriptedOperator::openFileName(const FileDialogRequest& request)
{
    fileRequests_.push_back(request);
    return take(DialogKind::Open, request.caption, request.folder).reply.value_or(QString());
}

QString ScriptedOperator::saveFileName(const FileDialogRequest& request)
{
    fileRequests_.push_back(request);
    return take(DialogKind::Save, request.caption, request.folder).reply.value_or(QString());
}
