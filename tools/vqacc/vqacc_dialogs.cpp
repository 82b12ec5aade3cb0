// vqacc's answers to the commands' dialogs (see vqacc_dialogs.h).
#include "vqacc_dialogs.h"

#include "accsetcommands.h"
#include "terminaloperatordialogs.h"

#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <unistd.h>

namespace vqacc {

bool IsOverwriteQuestion(const QString& text, QString* code)
{
    // The question around a code no real one looks like: what stands
    // before and after it is the question's fixed text.
    static const QString marker = QStringLiteral("\x01\x02");
    const QString pattern = AccSetText::overwriteQuestion(marker);
    const qsizetype at = pattern.indexOf(marker);
    if (at < 0)
        return false;
    const QString before = pattern.left(at);
    const QString after = pattern.mid(at + marker.size());
    if (text.size() <= before.size() + after.size() || !text.startsWith(before) || !text.endsWith(after))
        return false;
    if (code)
        *code = text.mid(before.size(), text.size() - before.size() - after.size());
    return true;
}

CommandLineOperator::CommandLineOperator(Answers answers) : answers_(std::move(answers)) {}

CommandLineOperator::~CommandLineOperator() = default;

// ---- output -------------------------------------------------------------------

void CommandLineOperator::write(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(STDERR_FILENO, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;   // nobody reads standard error: nothing to do about it
        written += n;
    }
}

void CommandLineOperator::endProgressLine()
{
    if (progressShown_)
        write(QStringLiteral("\n"));
    progressShown_ = false;
}

void CommandLineOperator::printBox(const QString& caption, const QString& text)
{
    endProgressLine();
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = plain.split(QLatin1Char('\n'));
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        out += (i == 0 ? QLatin1Char('[') + caption + QStringLiteral("] ") : QStringLiteral("    ")) + lines[i] +
               QLatin1Char('\n');
    write(out);
}

void CommandLineOperator::printNote(const QString& text)
{
    endProgressLine();
    write(QStringLiteral("    （") + text + QStringLiteral("）\n"));
}

void CommandLineOperator::showInfo(const QString& text, const QString& caption)
{
    printBox(caption, text);
}

void CommandLineOperator::showError(const QString& text, const QString& caption)
{
    printBox(caption, text);
}

void CommandLineOperator::showWaiting(const QString& action, const QString& tail)
{
    lastPercent_ = -1;
    if (!isatty(STDERR_FILENO))
        return;
    endProgressLine();
    write(action + tail + QLatin1Char('\n'));
}

void CommandLineOperator::showWaitingProgress(int percent)
{
    if (percent == lastPercent_ || !isatty(STDERR_FILENO))
        return;
    lastPercent_ = percent;
    write(QStringLiteral("\r    ") + QString::number(percent) + QLatin1Char('%'));
    progressShown_ = true;
}

void CommandLineOperator::closeWaiting()
{
    endProgressLine();
}

// ---- questions ------------------------------------------------------------------

DialogAnswer CommandLineOperator::askYesNo(const QString& text, const QString& caption)
{
    printBox(caption, text);
    printNote(QStringLiteral("vqacc不回答这个问题，按“否”处理"));
    return DialogAnswer::No;
}

DialogAnswer CommandLineOperator::askYesNoCancel(const QString& text, const QString& caption)
{
    printBox(caption, text);
    QString code;
    if (!IsOverwriteQuestion(text, &code)) {
        printNote(QStringLiteral("vqacc不回答这个问题，按“取消”处理"));
        return DialogAnswer::Cancel;
    }
    // The restore already runs under the --as code when one was given, so
    // the only choice left is whether to overwrite.
    if (answers_.replace) {
        printNote(QStringLiteral("--replace：覆盖账套%1").arg(code));
        return DialogAnswer::Yes;
    }
    printNote(QStringLiteral("账套%1已存在，没有--replace，不覆盖，恢复已取消；"
                             "要覆盖请加--replace，要恢复为新的账套请用--as 新代号")
                  .arg(code));
    return DialogAnswer::Cancel;
}

std::optional<QString> CommandLineOperator::inputText(const QString& caption, const QString& prompt,
                                                      const QString& /*initial*/, int /*maxBytes*/)
{
    printBox(caption, prompt);
    printNote(QStringLiteral("vqacc不回答这个问题，按“取消”处理"));
    return std::nullopt;
}

std::optional<QString> CommandLineOperator::askTerminalPassword(const QString& caption, const QString& prompt)
{
    if (!TerminalOperatorDialogs::isForegroundTerminal(STDIN_FILENO))
        return std::nullopt;
    endProgressLine();
    if (!terminal_)
        terminal_ = std::make_unique<TerminalOperatorDialogs>(STDIN_FILENO, STDERR_FILENO, true);
    return terminal_->inputPassword(caption, prompt);
}

std::optional<QString> CommandLineOperator::inputPassword(const QString& caption, const QString& prompt)
{
    if (answers_.password) {
        // The same request again means the answer was refused: giving it a
        // second time could only repeat the refusal.
        const QString request = caption + QLatin1Char('\n') + prompt;
        if (passwordGivenFor_ == request) {
            printBox(caption, prompt);
            printNote(QStringLiteral("--password给出的口令已被拒绝，按“取消”处理"));
            return std::nullopt;
        }
        passwordGivenFor_ = request;
        return answers_.password;
    }
    if (std::optional<QString> typed = askTerminalPassword(caption, prompt))
        return typed;
    if (!TerminalOperatorDialogs::isForegroundTerminal(STDIN_FILENO)) {
        printBox(caption, prompt);
        printNote(QStringLiteral("没有--password，也没有可以输入口令的终端，按“取消”处理"));
    }
    return std::nullopt;
}

// ---- files ----------------------------------------------------------------------

QString CommandLineOperator::openFileName(const FileDialogRequest& request)
{
    printBox(request.caption, QStringLiteral("请选择要打开的文件。"));
    printNote(QStringLiteral("vqacc不回答这个问题，按“取消”处理"));
    return {};
}

QString CommandLineOperator::saveFileName(const FileDialogRequest& request)
{
    savedFile_.clear();
    const QString extension = request.defaultExtension.isEmpty() ? QStringLiteral("cwz") : request.defaultExtension;
    const QString path = WithDefaultExtension(answers_.saveFile, extension);
    if (path.isEmpty()) {
        printBox(request.caption, QStringLiteral("请输入文件名。"));
        printNote(QStringLiteral("命令行没有给出文件名，按“取消”处理"));
        return {};
    }
    const QString refusal = SaveFileRefusal(path);
    if (!refusal.isEmpty()) {
        printBox(request.caption, refusal);
        return {};
    }
    if (QFileInfo(path).isDir()) {
        printBox(request.caption, QStringLiteral("“") + path + QStringLiteral("”\r\n是一个文件夹，不能作为备份文件。"));
        return {};
    }
    // An existing file is replaced without a question: the command line
    // named it, and the command replaces it only once the new one is whole.
    savedFile_ = path;
    return path;
}

}  // namespace vqacc
