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
// True once initialiseInstance has run on the folder.
bool isInstanceInitialised(const std::string& folder);
// Creates the folder, its data folder and the master database with the
// login `sa` and the given password. Throws SqlException when the folder
// already holds an instance or cannot be written.
void initialiseInstance(const std::string& folder, const std::string& saPassword);

}  // namespace vqsql
