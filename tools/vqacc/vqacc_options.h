// vqacc's command line: the command, its operands and the options.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vqacc {

enum class Command { None, List, Backup, Restore, Verify, New };

struct Options {
    Command command = Command::None;
    bool help = false;                   // -h, -?, --help

    // The catalogue login.
    QString server = QStringLiteral(".");   // -S, else SQLCMDSERVER
    std::optional<QString> saPassword;      // -P, else SQLCMDPASSWORD
    bool trusted = false;                   // -E

    // The command's own.
    bool all = false;                       // list --all
    QString code;                           // backup CODE
    QString file;                           // backup, restore, verify: as given
    std::optional<QString> password;        // --password: the account set's administrator
    std::optional<QString> newCode;         // restore --as
    bool replace = false;                   // restore --replace

    // new CODE NAME: the wizard's choices (code in `code`).
    QString name;
    std::optional<QString> company;         // --company
    int chart = 3;                          // --chart 0..4
    int lengths[5] = {3, 3, 3, 3, 3};       // --lengths L2,L3,L4,L5,L6 (2..5)
    int startYear = 0;                      // --start YYYY-MM (0: this month)
    int startMonth = 0;
    int voucherWords = 0;                   // --voucher-words 0..3
    int closing = 0;                        // --closing 0|1
    std::optional<QString> copyFrom;        // --copy-from CODE
    bool copyLists = false;                 // --copy-lists
};

struct UsageError {
    QString message;
};

// Parses the arguments after the program's name. Options may stand before
// or after the command and its operands; "-S name" and "-Sname" are both
// accepted, "--password P" and "--password=P" too; "--" ends the options.
// SQLCMDSERVER and SQLCMDPASSWORD give defaults for -S and -P, as in vqsql.
// Throws UsageError.
Options parseArguments(const QStringList& arguments);

// The text --help prints.
QString usageText();

}  // namespace vqacc
