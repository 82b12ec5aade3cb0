// vqacc: the account-set commands on the command line, for a server nobody
// sits at (backups from cron).
//
//   vqacc list [--all]
//   vqacc backup CODE FILE.cwz [--password P]
//   vqacc restore FILE.cwz|FILE.mdk [--as CODE] [--replace] [--password P]
//   vqacc verify FILE.cwz
//   vqacc new CODE NAME --company TEXT [...]
//
// The commands are the manager window's own (accsetcommands.h); this tool
// logs in to the catalogue as the server does and installs its own
// answers to their dialogs (vqacc_dialogs.h). Results go to standard
// output (the list, the file written, the code restored into, the check's
// report); every box the commands show goes to standard error.
//
// Exit code: 0 when the command did what was asked, 1 when it did not, 2
// for a command line it cannot read.
#include "accsetcommands.h"
#include "backup_file.h"
#include "cwzfile.h"
#include "inifile.h"
#include "instance.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "newaccset.h"
#include "vqacc_dialogs.h"
#include "vqacc_options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

using namespace vqacc;

const QString kCatalogue = QStringLiteral("VQTCWAccList");

// Writes to a descriptor whole, in UTF-8.
void writeTo(int fd, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

void printOut(const QString& line)
{
    writeTo(STDOUT_FILENO, line + QLatin1Char('\n'));
}

void printUsageError(const QString& message)
{
    writeTo(STDERR_FILENO, QStringLiteral("vqacc: ") + message + QStringLiteral("\n请用 vqacc --help 查看用法。\n"));
}

// A path as the operator meant it: relative names from the current folder.
QString absolutePath(const QString& file)
{
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

// ---- the catalogue login ---------------------------------------------------------

// Why the catalogue of `server` cannot be opened, for the operator.
QString connectionFailure(const Options& options, const QString& password)
{
    const std::string folder = vqsql::instanceFolderFor(options.server.toStdString());
    if (!folder.empty() && !vqsql::isInstanceInitialised(folder))
        return QStringLiteral("数据源“%1”没有数据库实例（文件夹%2），请先用vqsql init建立。")
            .arg(options.server, QString::fromStdString(folder));
    if (!folder.empty() && !vqsql::isInstanceRunning(folder))
        return QStringLiteral("数据源“%1”的数据库服务已停止，请先用vqsql start启动。").arg(options.server);

    // The engine's own words say which: the login or the database.
    QString reason;
    try {
        vqsql::Connection probe;
        if (options.trusted) {
            vqsql::ConnectionParams params{options.server.toStdString(), kCatalogue.toStdString(), "sa", ""};
            params.trusted = true;
            probe.open(params);
        } else {
            probe.open(TLinkData::BuildConnectionString(options.server, kCatalogue, password).toStdString());
        }
    } catch (const vqsql::SqlException& e) {
        reason = QString::fromStdString(e.first().message);
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    QString text = QStringLiteral("不能联接数据源“%1”的账套目录数据库%2，请检查数据库服务是否已启动、%3。")
                       .arg(options.server, kCatalogue,
                            options.trusted ? QStringLiteral("当前用户是否是数据库实例文件夹的所有者（-E）")
                                            : QStringLiteral("sa口令是否正确"));
    if (!reason.isEmpty())
        text += QStringLiteral("\n") + reason;
    return text;
}

// Opens the catalogue: -E, -P (or SQLCMDPASSWORD), else the password the
// server stored in VQTCWC.ini, else asked on the terminal.
bool connectCatalogue(TLinkData& link, const Options& options, CommandLineOperator& dialogs)
{
    if (options.trusted) {
        if (link.ConnectCatalogueTrusted(options.server, kCatalogue, false))
            return true;
        dialogs.printBox(QStringLiteral("错误"), connectionFailure(options, QString()));
        return false;
    }
    if (options.saPassword) {
        if (link.ConnectCatalogue(options.server, kCatalogue, *options.saPassword, false))
            return true;
        dialogs.printBox(QStringLiteral("错误"), connectionFailure(options, *options.saPassword));
        return false;
    }
    const QString stored =
        readIniString(GetClientIniPath(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), QString());
    if (link.ConnectCatalogue(options.server, kCatalogue, stored, false))
        return true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<QString> typed = dialogs.askTerminalPassword(
            QStringLiteral("请输入SQL Server数据库的sa口令"), QStringLiteral("请输入SQL Server数据库的sa口令："));
        if (!typed)
            break;
        if (link.ConnectCatalogue(options.server, kCatalogue, *typed, false))
            return true;
        dialogs.printBox(QStringLiteral("提示"), QStringLiteral("联接到SQL Server数据库失败，请检查SQL Server数据库"
                                                              "是否启动，或者您输入的sa口令是否正确。"));
    }
    dialogs.printBox(QStringLiteral("错误"), connectionFailure(options, stored) +
                                                 QStringLiteral("\n（没有-P、-E和SQLCMDPASSWORD，%1中的sa口令也不能联接）")
                                                     .arg(GetClientIniPath()));
    return false;
}

// ---- the commands ----------------------------------------------------------------

int runList(TLinkData& link, const Options& options)
{
    for (const TAccListRow& row : LoadAccList(link, ActiveAccListSql()))
        printOut(row.DBName.trimmed() + QLatin1Char('\t') + row.AccName.trimmed());
    if (options.all)
        for (const TAccListRow& row : LoadAccList(link, RecycledAccListSql()))
            printOut(row.DBName.trimmed() + QLatin1Char('\t') + row.AccName.trimmed() +
                     QStringLiteral("\t(回收站)"));
    return 0;
}

// The catalogue row of `code` (letter case ignored) among `rows`.
const TAccListRow* findRow(const std::vector<TAccListRow>& rows, const QString& code)
{
    for (const TAccListRow& row : rows)
        if (row.DBName.trimmed().compare(code, Qt::CaseInsensitive) == 0)
            return &row;
    return nullptr;
}

int runBackup(TLinkData& link, const Options& options, CommandLineOperator& dialogs)
{
    const std::vector<TAccListRow> active = LoadAccList(link, ActiveAccListSql());
    const TAccListRow* row = findRow(active, options.code);
    if (!row) {
        const bool recycled = findRow(LoadAccList(link, RecycledAccListSql()), options.code) != nullptr;
        dialogs.printBox(QStringLiteral("错误"),
                         recycled ? QStringLiteral("账套“%1”在回收站中，不能备份。").arg(options.code)
                                  : QStringLiteral("没有代号为“%1”的账套（vqacc list列出所有账套）。").arg(options.code));
        return 1;
    }
    if (!BackupAccountSet(link, *row))
        return 1;
    printOut(dialogs.savedFile());
    return 0;
}

int runRestore(TLinkData& link, const Options& options, CommandLineOperator& dialogs)
{
    const QString file = absolutePath(options.file);
    // The open dialog would offer only a file that is there. (It also
    // refuses read-only files; the restore only reads the file, and a
    // backup kept read-only must stay restorable from here.)
    if (!QFileInfo(file).isFile()) {
        dialogs.printBox(QStringLiteral("错误"), OpenFileRefusal(file));
        return 1;
    }
    const QString code = RestoreFromFile(link, file, options.newCode.value_or(QString()));
    if (code.isEmpty())
        return 1;
    printOut(code);
    return 0;
}

// Creates an account set as the wizard does, with its checks and messages:
// natural months from the start period, the chart preset or copied.
int runNew(TLinkData& link, const Options& options, CommandLineOperator& dialogs)
{
    TNewAccSetChoices c;
    c.code = options.code;
    c.name = options.name;
    c.password = options.password.value_or(QString());
    c.corpName = options.company.value_or(QString());
    c.subjectKind = options.chart;
    for (int i = 0; i < 5; ++i)
        c.lengths[static_cast<std::size_t>(i + 1)] = options.lengths[i];
    const QDate today = Today();
    c.startYear = options.startYear > 0 ? options.startYear : today.year();
    c.startMonth = options.startMonth > 0 ? options.startMonth : today.month();
    c.calendarKind = 0;
    c.vouWordGroup = options.voucherWords;
    c.clearPLKind = options.closing;
    if (options.copyFrom) {
        c.copyChart = true;
        c.copyLists = options.copyLists;
        // The wizard offers only the active sets to copy from.
        const std::vector<TAccListRow> active = LoadAccList(link, ActiveAccListSql());
        if (const TAccListRow* row = findRow(active, *options.copyFrom))
            c.copyFromCode = row->DBName;
    }
    // The wizard's checks of steps 2, 3 and 4, in its order; the password
    // is given once, so its confirmation is the same text.
    QString message = CheckAccSetParams(link, c.code, c.name, c.password, c.password);
    if (message.isEmpty())
        message = CheckCorpInfo(c.corpName);
    if (message.isEmpty())
        message = CheckChartChoice(c.copyChart, c.copyFromCode);
    if (!message.isEmpty()) {
        dialogs.printBox(QStringLiteral("提示"), message);
        return 1;
    }
    TNewAccSetCreator creator(link);
    if (!creator.Create(c))
        return 1;
    printOut(c.code);
    return 0;
}

// The check reports on standard output what the header and the engine
// backup say, and on standard error what is wrong.
int runVerify(const Options& options, CommandLineOperator& dialogs)
{
    const QString file = absolutePath(options.file);
    if (!QFileInfo(file).isFile()) {
        dialogs.printBox(QStringLiteral("错误"), OpenFileRefusal(file));
        return 1;
    }
    dialogs.showWaiting(QStringLiteral("正在检查备份文件"), QStringLiteral("……"));
    const CwzVerification v = VerifyStampedBackup(file, [&dialogs](std::uint64_t done, std::uint64_t total) {
        if (total > 0)
            dialogs.showWaitingProgress(static_cast<int>(done * 100 / total));
    });
    dialogs.closeWaiting();

    printOut(QStringLiteral("文件：") + file);
    if (IsProgramFileStamp(v.stamp)) {
        printOut(QStringLiteral("账套代号：") + v.stamp.code);
        printOut(QStringLiteral("账套名称：") + v.stamp.name);
        printOut(QStringLiteral("数据长度：%1字节（压缩后%2字节）").arg(v.statedLength).arg(v.packedBytes));
    }
    if (v.ok) {
        printOut(QStringLiteral("数据库：") + QString::fromStdString(v.backup.database));
        printOut(QStringLiteral("逻辑文件：") + QString::fromStdString(v.backup.dataLogical) + QStringLiteral("，") +
                 QString::fromStdString(v.backup.logLogical));
        printOut(QStringLiteral("备份文件完好。"));
        return 0;
    }
    dialogs.printBox(QStringLiteral("错误"), v.problem.isEmpty() ? DamagedCwzText() : v.problem);
    return 1;
}

int run(const Options& options)
{
    Answers answers;
    if (options.command == Command::Backup)
        answers.saveFile = absolutePath(options.file);
    answers.password = options.password;
    answers.replace = options.replace;
    CommandLineOperator dialogs(answers);
    setOperatorDialogs(&dialogs);
    struct Uninstall {
        ~Uninstall() { setOperatorDialogs(nullptr); }
    } uninstall;

    try {
        if (options.command == Command::Verify)
            return runVerify(options, dialogs);

        TLinkData link;
        LinkData = &link;
        struct Forget {
            ~Forget() { LinkData = nullptr; }
        } forget;
        if (!connectCatalogue(link, options, dialogs))
            return 1;
        switch (options.command) {
        case Command::List: return runList(link, options);
        case Command::Backup: return runBackup(link, options, dialogs);
        case Command::Restore: return runRestore(link, options, dialogs);
        case Command::New: return runNew(link, options, dialogs);
        default: return 2;
        }
    } catch (const CwzError& e) {
        dialogs.printBox(QStringLiteral("错误"), e.message());
    } catch (const vqsql::SqlException& e) {
        dialogs.printBox(QStringLiteral("错误"), QString::fromStdString(e.first().message));
    } catch (const std::exception& e) {
        dialogs.printBox(QStringLiteral("错误"), QString::fromUtf8(e.what()));
    }
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vqacc"));

    Options options;
    try {
        options = parseArguments(QCoreApplication::arguments().mid(1));
    } catch (const UsageError& e) {
        printUsageError(e.message);
        return 2;
    }
    if (options.help) {
        writeTo(STDOUT_FILENO, usageText());
        return 0;
    }
    return run(options);
}
