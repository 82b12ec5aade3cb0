// Engine instances: a folder holding the master database and the data
// folder. Data source "." (and "(local)", "localhost", this machine's name)
// means the default instance, whose folder is $VQSQL_HOME, or
// ~/.local/share/vqsql when that is not set; a data source that is a
// folder path names the instance in that folder.
#pragma once

#include <string>

namespace vqsql {

// The default instance's folder.
std::string defaultInstanceFolder();
// The folder a data source names, or "" when it names no local instance.
std::string instanceFolderFor(const std::string& dataSource);
// <folder>/Data, where the database files live.
std::string instanceDataFolder(const std::string& folder);
// <folder>/Data/master.mdf
std::string instanceMasterFile(const std::string& folder);
// True once initialiseInstance has run on the folder ("installed").
bool isInstanceInitialised(const std::string& folder);
// Creates the folder, its data folder and the master database with the
// login `sa` and the given password, and starts the instance. Throws
// SqlException when the folder already holds an instance or cannot be
// written.
void initialiseInstance(const std::string& folder, const std::string& saPassword);

// An installed instance is running once started and until stopped; the
// state is the file <folder>/running, so every process sees it. While it
// is stopped new connections fail as against a stopped SQL Server; open
// connections go on.
bool isInstanceRunning(const std::string& folder);
// Start and stop; both throw SqlException for a folder that holds no instance.
void startInstance(const std::string& folder);
void stopInstance(const std::string& folder);

// Makes a file that holds secrets (the master database, its log)
// readable and writable by its owner only; nothing when it is missing.
void restrictToOwner(const std::string& path);

// A restore writes the new data file as "<data file>.restoring" and holds
// an exclusive file lock on it meanwhile; a restore that was killed leaves
// the file behind. This removes such a file when no restore holds it.
// The suffix of those files:
inline constexpr const char* kRestoringSuffix = ".restoring";
void removeAbandonedRestore(const std::string& dataFile);
// Every abandoned "*.restoring" file of the instance's data folder.
void removeAbandonedRestores(const std::string& folder);

// Changes the sa password; throws 18456 when `oldPassword` is wrong.
void changeSaPassword(const std::string& folder, const std::string& oldPassword, const std::string& newPassword);

// The two answers the program's start-up reads about its database server,
// for the default instance.
bool isDefaultInstanceInstalled();
bool isDefaultInstanceRunning();

}  // namespace vqsql
