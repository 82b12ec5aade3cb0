// The data module TLinkData and its single instance LinkData: the two
// database connections of the program and the statement helpers through
// which every other part runs SQL.
//
//   AccListDB  the catalogue connection; opened at start-up and kept on
//              the catalogue database VQTCWAccList
//   UserDB     the account-set connection, pointed at whichever account
//              set an operation works on
//
// The module remembers the server and the sa password of the last
// successful catalogue connection; account-set connections reuse them.
// The helpers turn database errors into return values (false, 0) so that
// callers can chain them; QueryMaxID lets errors pass, and
// AccountSetExecScript is the only one that shows the failing statement.
#pragma once

#include "connection.h"

#include <QString>

#include <functional>

class TLinkData {
public:
    TLinkData();
    ~TLinkData();
    TLinkData(const TLinkData&) = delete;
    TLinkData& operator=(const TLinkData&) = delete;

    vqsql::Connection UserDB;
    vqsql::Connection AccListDB;
    QString qryRestore;   // the restore script
    QString qrySQL;       // the catalogue maintenance script

    // "Provider=SQLOLEDB.1;Password=...;...;Data Source=..." as the program
    // has always built it. A password holding ";" or quotes is written
    // between double quotes (doubled inside), so that it arrives whole.
    static QString BuildConnectionString(const QString& server, const QString& database, const QString& password);

    // Re-opens AccListDB; on success remembers server and password.
    bool ConnectCatalogue(const QString& server, const QString& database, const QString& password, bool showError);
    // The same as a trusted login (Integrated Security=SSPI): sa without a
    // password, granted by the engine only to the owner of the instance
    // folder. Account-set connections then log in the same way. Used by
    // the command-line tools.
    bool ConnectCatalogueTrusted(const QString& server, const QString& database, bool showError);
    // Re-opens UserDB on a database with the remembered server and password.
    bool ConnectAccountSet(const QString& database, bool showError);

    QString rememberedServer() const { return server_; }
    QString rememberedPassword() const { return password_; }

    // Statement helpers. ExecuteSql runs under the default time-out unless
    // given another (0: none, for backups and restores of any size).
    bool ExecuteSql(vqsql::Connection& connection, const QString& sql, int timeout = kDefaultTimeout);
    // The same without the "--" comment stripping, for a statement whose
    // spliced values may hold "--" (a bracketed name, a path between quotes
    // made with sqlInsideQuotes).
    static bool ExecuteSqlAsIs(vqsql::Connection& connection, const QString& sql, int timeout = kDefaultTimeout);
    int QueryCount(vqsql::Connection& connection, const QString& sql);
    int CountWithoutTimeout(const QString& sql);
    // " select isnull(max(<field>),0) as MaxID from <table>"; throws
    // vqsql::SqlException on a database error.
    int QueryMaxID(vqsql::Connection& connection, const QString& table, const QString& field);
    bool AccountSetExec(const QString& sql);
    int AccountSetCount(const QString& sql);
    bool AccountSetExecScript(const QString& script);

    // Restoring a backup file as a database (restore script qryRestore);
    // on success UserDB is open on the restored database. AccListDB is left
    // on master whenever the script ran.
    bool RestoreDatabase(const QString& file, const QString& database);
    // The folder of the master database's data file, without a trailing
    // "/", or empty; and the folder for new database files (never empty).
    QString GetMasterDataPath();
    QString GetDataPath();

    // The administrator password cache in the catalogue.
    QString GetAdminPassword(const QString& code);
    void ForgetAdminPassword(const QString& code);
    void SyncAdminPasswords();

    // The data-access layer's default command time-out, in seconds.
    static constexpr int kDefaultTimeout = 30;

private:
    int countRule(vqsql::Connection& connection, const QString& sql, int timeout);

    QString server_;
    QString password_;
    bool trusted_ = false;
};

// The single instance, created at start-up (tests create their own).
extern TLinkData* LinkData;

// The logical file names of a backup (RESTORE FILELISTONLY on the
// connection): false after the notice to the operator when the file is no
// backup or lacks a data or a log file.
bool ReadBackupFileList(vqsql::Connection& connection, const QString& file, QString& dataLogicalName,
                        QString& logLogicalName);

// Runs an event handler's work; a database error that reaches it is shown
// with ShowError (caption "错误") and the program goes on.
void runGuarded(const std::function<void()>& work);
