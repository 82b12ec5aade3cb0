#include "vqacc_options.h"

#include <cstdlib>

namespace vqacc {

QString usageText()
{
    return QStringLiteral(
        "用法 usage:\n"
        "  vqacc list [--all]                                   列出账套 / list the account sets\n"
        "  vqacc backup CODE FILE[.cwz] [--password P]          备份账套 / back up an account set\n"
        "  vqacc restore FILE.cwz|FILE.mdk [--as CODE] [--replace] [--password P]\n"
        "                                                       恢复账套 / restore an account set\n"
        "  vqacc verify FILE.cwz                                检查备份文件 / check a backup file\n"
        "  vqacc new CODE NAME --company TEXT [--password P] [--chart 0..4]\n"
        "            [--lengths L2,L3,L4,L5,L6] [--start YYYY-MM] [--voucher-words 0..3]\n"
        "            [--closing 0|1] [--copy-from CODE [--copy-lists]]\n"
        "                                                       新建账套 / create an account set\n"
        "\n"
        "  -S server       数据源 data source: \".\" (default), \"(local)\" or an instance folder\n"
        "  -U sa           登录名 login (only sa exists)\n"
        "  -P password     sa的口令 the sa password\n"
        "  -E              信任联接 trusted login: sa without a password, for the owner of\n"
        "                  the instance folder\n"
        "  --password P    账套系统管理员的口令 the account set's administrator password;\n"
        "                  without it the password is asked on the terminal (no echo)\n"
        "  --all           list: 也列出回收站中的账套 also the account sets in the recycle bin\n"
        "  --as CODE       restore: 恢复为指定的账套代号 restore under CODE instead of\n"
        "                  the backup's own code\n"
        "  --replace       restore: 覆盖已存在的账套 replace the account set of that code\n"
        "  new: --company 单位名称 the company's name (required); --password the new set's\n"
        "       administrator password (default empty); --chart the preset chart: 0 企业会计制度,\n"
        "       1 小企业会计制度, 2 新企业会计准则, 3 小企业会计准则[2013] (default), 4 民间非营利会计准则;\n"
        "       --lengths the code lengths of levels 2 to 6 (2..5 each, default 3,3,3,3,3);\n"
        "       --start the first period (default this month); --voucher-words 0 记 (default),\n"
        "       1 收、付、转, 2 现、银、转, 3 现收、现付、银收、银付、转; --closing 0 账结法 (default),\n"
        "       1 表结法; --copy-from the chart of another active set instead of a preset,\n"
        "       --copy-lists with its departments, projects, employees and trading partners\n"
        "  -h, --help      显示本说明 show this text\n"
        "\n"
        "Without -P and -E the sa password is SQLCMDPASSWORD, else the one VQTCWC.ini\n"
        "beside the program holds (LoginInfo/SAPassword), else it is asked on the\n"
        "terminal. SQLCMDSERVER gives the default for -S. The default instance (\".\")\n"
        "lives in the folder VQSQL_HOME names, else in ~/.local/share/vqsql.\n"
        "A relative FILE is taken from the current folder; backup adds \".cwz\" to a\n"
        "FILE without an extension and replaces an existing FILE.\n"
        "\n"
        "退出码 exit code: 0 成功 success, 1 失败 failure, 2 用法错误 usage error.\n");
}

namespace {

// The long options that take a value: "--name value" or "--name=value".
bool takesValue(const QString& name)
{
    static const QStringList names = {QStringLiteral("--password"), QStringLiteral("--as"),
                                      QStringLiteral("--company"),  QStringLiteral("--chart"),
                                      QStringLiteral("--lengths"),  QStringLiteral("--start"),
                                      QStringLiteral("--voucher-words"), QStringLiteral("--closing"),
                                      QStringLiteral("--copy-from")};
    return names.contains(name);
}

// A whole number in [low, high] for an option, or a usage error.
int numberIn(const QString& name, const QString& value, int low, int high)
{
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    if (!ok || n < low || n > high)
        throw UsageError{QStringLiteral("%1 needs a whole number from %2 to %3").arg(name).arg(low).arg(high)};
    return n;
}

// The options of new that take a value.
void takeNewOption(Options& o, const QString& name, const QString& value)
{
    if (name == QLatin1String("--company")) {
        o.company = value;
    } else if (name == QLatin1String("--chart")) {
        o.chart = numberIn(name, value, 0, 4);
    } else if (name == QLatin1String("--lengths")) {
        const QStringList parts = value.split(QLatin1Char(','));
        if (parts.size() != 5)
            throw UsageError{QStringLiteral("--lengths needs five lengths L2,L3,L4,L5,L6")};
        for (int i = 0; i < 5; ++i)
            o.lengths[i] = numberIn(name, parts[i], 2, 5);
    } else if (name == QLatin1String("--start")) {
        const QStringList parts = value.split(QLatin1Char('-'));
        if (parts.size() != 2)
            throw UsageError{QStringLiteral("--start needs YYYY-MM")};
        o.startYear = numberIn(name, parts[0], 2000, 2200);
        o.startMonth = numberIn(name, parts[1], 1, 12);
    } else if (name == QLatin1String("--voucher-words")) {
        o.voucherWords = numberIn(name, value, 0, 3);
    } else if (name == QLatin1String("--closing")) {
        o.closing = numberIn(name, value, 0, 1);
    } else if (name == QLatin1String("--copy-from")) {
        if (value.isEmpty())
            throw UsageError{QStringLiteral("--copy-from needs an account-set code")};
        o.copyFrom = value;
    }
}

bool isNewOption(const QString& name)
{
    return name != QLatin1String("--password") && name != QLatin1String("--as") && takesValue(name);
}

}  // namespace

Options parseArguments(const QStringList& arguments)
{
    Options o;
    if (const char* v = std::getenv("SQLCMDSERVER"); v && *v)
        o.server = QString::fromLocal8Bit(v);
    std::optional<QString> environmentPassword;
    if (const char* v = std::getenv("SQLCMDPASSWORD"))
        environmentPassword = QString::fromLocal8Bit(v);

    QStringList words;          // the command and its operands
    bool optionsEnded = false;  // after "--"
    bool newOptionGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        auto nextValue = [&](const QString& name) -> QString {
            if (i + 1 >= arguments.size())
                throw UsageError{QStringLiteral("option %1 needs a value").arg(name)};
            return arguments[++i];
        };

        if (optionsEnded || arg.size() < 2 || !arg.startsWith(QLatin1Char('-'))) {
            words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("-h") || arg == QLatin1String("-?") || arg == QLatin1String("--help")) {
            o.help = true;
            continue;
        }
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = eq < 0 ? arg : arg.left(eq);
            if (takesValue(name)) {
                const QString value = eq < 0 ? nextValue(name) : arg.mid(eq + 1);
                if (name == QLatin1String("--password")) {
                    o.password = value;
                } else if (isNewOption(name)) {
                    takeNewOption(o, name, value);
                    newOptionGiven = true;
                } else {
                    if (value.trimmed().isEmpty())
                        throw UsageError{QStringLiteral("--as needs an account-set code")};
                    o.newCode = value.trimmed();
                }
                continue;
            }
            if (eq >= 0 && (name == QLatin1String("--all") || name == QLatin1String("--replace") ||
                            name == QLatin1String("--copy-lists")))
                throw UsageError{QStringLiteral("option %1 takes no value").arg(name)};
            if (name == QLatin1String("--copy-lists")) {
                o.copyLists = true;
                newOptionGiven = true;
                continue;
            }
            if (name == QLatin1String("--all")) {
                o.all = true;
                continue;
            }
            if (name == QLatin1String("--replace")) {
                o.replace = true;
                continue;
            }
            throw UsageError{QStringLiteral("unknown option '%1'").arg(name)};
        }
        if (arg == QLatin1String("-E")) {
            o.trusted = true;
            continue;
        }
        const QChar letter = arg[1];
        const QString name = arg.left(2);
        if (letter != QLatin1Char('S') && letter != QLatin1Char('U') && letter != QLatin1Char('P'))
            throw UsageError{QStringLiteral("unknown option '%1'").arg(name)};
        const QString value = arg.size() > 2 ? arg.mid(2) : nextValue(name);
        if (letter == QLatin1Char('S')) {
            if (value.isEmpty())
                throw UsageError{QStringLiteral("-S needs a data source")};
            o.server = value;
        } else if (letter == QLatin1Char('U')) {
            if (value.compare(QLatin1String("sa"), Qt::CaseInsensitive) != 0)
                throw UsageError{QStringLiteral("-U: the only login is sa")};
        } else {
            o.saPassword = value;
        }
    }
    if (o.help)
        return o;

    if (o.trusted && o.saPassword)
        throw UsageError{QStringLiteral("-E cannot be combined with -P")};
    if (!o.trusted && !o.saPassword)
        o.saPassword = environmentPassword;

    if (words.isEmpty())
        throw UsageError{QStringLiteral("no command given (list, backup, restore, verify or new)")};
    const QString command = words.takeFirst();
    auto operands = [&](qsizetype count, const char* form) {
        if (words.size() != count)
            throw UsageError{QStringLiteral("usage: vqacc %1").arg(QLatin1String(form))};
    };
    if (command == QLatin1String("list")) {
        operands(0, "list [--all]");
        o.command = Command::List;
    } else if (command == QLatin1String("backup")) {
        operands(2, "backup CODE FILE.cwz [--password P]");
        o.command = Command::Backup;
        o.code = words[0].trimmed();
        o.file = words[1];
        if (o.code.isEmpty())
            throw UsageError{QStringLiteral("backup: the account-set code is empty")};
    } else if (command == QLatin1String("restore")) {
        operands(1, "restore FILE.cwz|FILE.mdk [--as CODE] [--replace] [--password P]");
        o.command = Command::Restore;
        o.file = words[0];
    } else if (command == QLatin1String("verify")) {
        operands(1, "verify FILE.cwz");
        o.command = Command::Verify;
        o.file = words[0];
    } else if (command == QLatin1String("new")) {
        operands(2, "new CODE NAME --company TEXT [options]");
        o.command = Command::New;
        o.code = words[0];
        o.name = words[1];
        if (!o.company)
            throw UsageError{QStringLiteral("new: --company is required")};
        if (o.copyLists && !o.copyFrom)
            throw UsageError{QStringLiteral("--copy-lists belongs to --copy-from")};
    } else {
        throw UsageError{QStringLiteral("unknown command '%1'").arg(command)};
    }
    if (o.file.isEmpty() && o.command != Command::List && o.command != Command::New)
        throw UsageError{QStringLiteral("the file name is empty")};

    // Options that mean nothing to the command are refused rather than
    // ignored: a cron line that says more than it does is a mistake.
    if (o.all && o.command != Command::List)
        throw UsageError{QStringLiteral("--all belongs to list")};
    if ((o.newCode || o.replace) && o.command != Command::Restore)
        throw UsageError{QStringLiteral("--as and --replace belong to restore")};
    if (o.password && o.command != Command::Backup && o.command != Command::Restore && o.command != Command::New)
        throw UsageError{QStringLiteral("--password belongs to backup, restore and new")};
    if (newOptionGiven && o.command != Command::New)
        throw UsageError{QStringLiteral("--company, --chart, --lengths, --start, --voucher-words, --closing, "
                                        "--copy-from and --copy-lists belong to new")};
    return o;
}

}  // namespace vqacc
