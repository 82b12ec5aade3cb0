// vqacc's command line: the command, its operands and the options.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vqacc {

enum class Command { None, List, Backup, Restore, Verify };

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
