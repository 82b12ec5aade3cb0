// The operator-dialog seam on a terminal (see terminaloperatordialogs.h).
#include "terminaloperatordialogs.h"

#include "textcodec.h"

#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Turns the terminal's echo off for as long as it lives (password input).
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd)
    {
        if (isatty(fd_) && tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            // TCSANOW, not TCSAFLUSH: what was typed ahead (the password,
            // typed as soon as the prompt showed) must not be thrown away.
            active_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
        }
    }
    ~EchoOff()
    {
        if (active_)
            tcsetattr(fd_, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// Box texts use CR LF between lines; a terminal wants LF.
QStringList boxLines(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return plain.split(QLatin1Char('\n'));
}

bool isAnswer(const QString& reply, std::initializer_list<const char*> words)
{
    const QString r = reply.trimmed().toLower();
    for (const char* w : words)
        if (r == QString::fromUtf8(w))
            return true;
    return false;
}

}  // namespace

TerminalOperatorDialogs::TerminalOperatorDialogs(int inputFd, int outputFd, bool interactive)
    : inputFd_(inputFd), outputFd_(outputFd), interactive_(interactive)
{
}

TerminalOperatorDialogs TerminalOperatorDialogs::onStandardStreams()
{
    return TerminalOperatorDialogs(STDIN_FILENO, STDERR_FILENO, isForegroundTerminal(STDIN_FILENO));
}

bool TerminalOperatorDialogs::isForegroundTerminal(int fd)
{
    return isatty(fd) && tcgetpgrp(fd) == getpgrp();
}

void TerminalOperatorDialogs::cancelPendingQuestions()
{
    cancelled_ = true;
    for (QEventLoop* loop : waitingLoops_)
        loop->quit();
}

// ---- output -------------------------------------------------------------------

void TerminalOperatorDialogs::print(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(outputFd_, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;   // nobody reads the terminal any more: nothing to do about it
        written += n;
    }
}

void TerminalOperatorDialogs::printBox(const QString& caption, const QString& text)
{
    const QString head = QLatin1Char('[') + caption + QStringLiteral("] ");
    const QStringList lines = boxLines(text);
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        out += (i == 0 ? head : QStringLiteral("    ")) + lines[i] + QLatin1Char('\n');
    print(out);
}

void TerminalOperatorDialogs::printUnanswered(const QString& answer)
{
    print(QStringLiteral("    （没有可以应答的终端，按“") + answer + QStringLiteral("”处理）\n"));
}

void TerminalOperatorDialogs::showInfo(const QString& text, const QString& caption)
{
    printBox(caption, text);
}

void TerminalOperatorDialogs::showError(const QString& text, const QString& caption)
{
    printBox(caption, text);
}

void TerminalOperatorDialogs::showWaiting(const QString& action, const QString& tail)
{
    progressShown_ = -1;
    print(action + tail + QLatin1Char('\n'));
}

void TerminalOperatorDialogs::showWaitingProgress(int percent)
{
    // One line per tenth, so that a log of the run stays short.
    const int tenth = percent / 10 * 10;
    if (tenth <= progressShown_)
        return;
    progressShown_ = tenth;
    print(QStringLiteral("    ") + QString::number(tenth) + QStringLiteral("%\n"));
}

void TerminalOperatorDialogs::closeWaiting() {}

// ---- input --------------------------------------------------------------------

std::optional<QString> TerminalOperatorDialogs::readLine(bool hideInput)
{
    if (cancelled_)
        return std::nullopt;
    std::optional<EchoOff> echoOff;
    if (hideInput)
        echoOff.emplace(inputFd_);

    // One read per wake-up, and only when the bytes are still there: the
    // descriptor may be blocking (it is shared with the shell, so its flags
    // stay as they are), and a question opened inside this one's wait may
    // have taken them already.
    bool ended = false;
    auto takeAvailable = [&] {
        pollfd ready{inputFd_, POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0)
            return;
        char buffer[4096];
        ssize_t n;
        do
            n = ::read(inputFd_, buffer, sizeof buffer);
        while (n < 0 && errno == EINTR);
        if (n > 0)
            pendingInput_.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            ended = true;
    };

    // Wait in an event loop of our own, as a modal box does, so that timers
    // and sockets go on being served meanwhile. A question opened during
    // the wait may take the line this one's wake-up read: then wait again.
    while (!cancelled_ && !ended && !pendingInput_.contains('\n')) {
        QEventLoop loop;
        QSocketNotifier notifier(inputFd_, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
            notifier.setEnabled(false);
            takeAvailable();
            if (ended || pendingInput_.contains('\n'))
                loop.quit();
            else
                notifier.setEnabled(true);
        });
        waitingLoops_.append(&loop);
        loop.exec();
        waitingLoops_.removeOne(&loop);
    }
    if (hideInput)
        print(QStringLiteral("\n"));   // the Enter the operator typed was not echoed

    const qsizetype end = pendingInput_.indexOf('\n');
    if (cancelled_ || end < 0) {
        pendingInput_.clear();
        return std::nullopt;
    }
    QByteArray line = pendingInput_.left(end);
    pendingInput_.remove(0, end + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

DialogAnswer TerminalOperatorDialogs::askChoice(const QString& text, const QString& caption, bool withCancel)
{
    const DialogAnswer safe = withCancel ? DialogAnswer::Cancel : DialogAnswer::No;
    const QString safeText = withCancel ? QStringLiteral("取消") : QStringLiteral("否");
    printBox(caption, text);
    if (!interactive_) {
        printUnanswered(safeText);
        return safe;
    }
    const QString choices = withCancel ? QStringLiteral("    是(y)/否(n)/取消(c)？") : QStringLiteral("    是(y)/否(n)？");
    for (;;) {
        print(choices);
        const std::optional<QString> reply = readLine(false);
        if (!reply) {
            print(QStringLiteral("\n    （输入已结束，按“") + safeText + QStringLiteral("”处理）\n"));
            return safe;
        }
        if (isAnswer(*reply, {"y", "yes", "是"}))
            return DialogAnswer::Yes;
        if (isAnswer(*reply, {"n", "no", "否"}))
            return DialogAnswer::No;
        if (withCancel && isAnswer(*reply, {"c", "cancel", "取消"}))
            return DialogAnswer::Cancel;
    }
}

DialogAnswer TerminalOperatorDialogs::askYesNo(const QString& text, const QString& caption)
{
    return askChoice(text, caption, false);
}

DialogAnswer TerminalOperatorDialogs::askYesNoCancel(const QString& text, const QString& caption)
{
    return askChoice(text, caption, true);
}

std::optional<QString> TerminalOperatorDialogs::inputText(const QString& caption, const QString& prompt,
                                                          const QString& initial, int maxBytes)
{
    printBox(caption, prompt);
    if (!interactive_) {
        printUnanswered(QStringLiteral("取消"));
        return std::nullopt;
    }
    for (;;) {
        print(initial.isEmpty() ? QStringLiteral("    > ")
                                : QStringLiteral("    （直接回车保留“") + initial + QStringLiteral("”）> "));
        std::optional<QString> reply = readLine(false);
        if (!reply) {
            print(QStringLiteral("\n    （输入已结束，按“取消”处理）\n"));
            return std::nullopt;
        }
        if (reply->isEmpty())
            reply = initial;
        if (maxBytes <= 0 || gbkLength(*reply) <= maxBytes)
            return reply;
        print(QStringLiteral("    输入的内容超过") + QString::number(maxBytes) + QStringLiteral("个字节，请重新输入。\n"));
    }
}

std::optional<QString> TerminalOperatorDialogs::inputPassword(const QString& caption, const QString& prompt)
{
    printBox(caption, prompt);
    if (!interactive_) {
        printUnanswered(QStringLiteral("取消"));
        return std::nullopt;
    }
    // Echo goes off before the prompt shows, so that a password typed the
    // moment the prompt appears is not echoed either.
    const EchoOff quiet(inputFd_);
    print(QStringLiteral("    口令（输入时不显示）> "));
    std::optional<QString> reply = readLine(true);
    if (!reply)
        print(QStringLiteral("    （输入已结束，按“取消”处理）\n"));
    return reply;
}

QString TerminalOperatorDialogs::askFileName(const FileDialogRequest& request, const QString& proposed)
{
    const QString filter = request.filter.section(QLatin1Char('|'), 0, 0);
    printBox(request.caption, filter.isEmpty() ? QStringLiteral("请输入文件名。")
                                               : QStringLiteral("请输入文件名（") + filter + QStringLiteral("）。"));
    if (!interactive_) {
        printUnanswered(QStringLiteral("取消"));
        return {};
    }
    print(proposed.isEmpty() ? QStringLiteral("    直接回车表示取消> ")
                             : QStringLiteral("    （直接回车选择“") + proposed + QStringLiteral("”）> "));
    const std::optional<QString> reply = readLine(false);
    if (!reply) {
        print(QStringLiteral("\n    （输入已结束，按“取消”处理）\n"));
        return {};
    }
    const QString name = reply->trimmed();
    if (name.isEmpty())
        return proposed;
    const QString path =
        request.folder.isEmpty() || QDir::isAbsolutePath(name) ? name : QDir(request.folder).filePath(name);
    return WithDefaultExtension(path, request.defaultExtension);
}

QString TerminalOperatorDialogs::openFileName(const FileDialogRequest& request)
{
    for (;;) {
        const QString path = askFileName(request, QString());
        if (path.isEmpty())
            return {};
        const QString refusal = OpenFileRefusal(path);
        if (refusal.isEmpty())
            return path;
        printBox(request.caption, refusal);
    }
}

QString TerminalOperatorDialogs::saveFileName(const FileDialogRequest& request)
{
    const QString proposed = request.fileName.isEmpty()
                                 ? QString()
                                 : WithDefaultExtension(request.folder + QLatin1Char('/') + request.fileName,
                                                        request.defaultExtension);
    for (;;) {
        const QString path = askFileName(request, proposed);
        if (path.isEmpty())
            return {};
        const QString refusal = SaveFileRefusal(path);
        if (!refusal.isEmpty()) {
            printBox(request.caption, refusal);
            continue;
        }
        if (!QFileInfo::exists(path) || askYesNo(ReplaceFileQuestion(path), request.caption) == DialogAnswer::Yes)
            return path;
    }
}
