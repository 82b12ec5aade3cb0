// Helpers for tests and benches that start from the database backups the
// build installs into the program folder, and that compare query results
// as text.
#pragma once

#include "connection.h"

#include <string>
#include <utility>
#include <vector>

namespace vqtest {

// A value as a quoted SQL literal, apostrophes doubled.
inline std::string sqlLiteral(const std::string& value)
{
    std::string out = "'";
    for (char ch : value) {
        out += ch;
        if (ch == '\'')
            out += '\'';
    }
    return out + "'";
}

// The logical names (data file, log file) a backup holds.
inline std::pair<std::string, std::string> backupLogicalNames(vqsql::Connection& c, const std::string& file)
{
    vqsql::ResultSet files = c.query("restore filelistonly from disk = " + sqlLiteral(file));
    std::pair<std::string, std::string> names;
    for (std::size_t i = 0; i < files.rows.size(); ++i)
        (files.at(i, "Type").toString() == "D" ? names.first : names.second) = files.at(i, "LogicalName").toString();
    return names;
}

// Restores a backup as `database` with its data and log files moved to the
// given paths; returns the backup's logical names.
inline std::pair<std::string, std::string> restoreBackupAs(vqsql::Connection& c, const std::string& file,
                                                           const std::string& database, const std::string& dataPath,
                                                           const std::string& logPath)
{
    auto names = backupLogicalNames(c, file);
    c.execute("restore database [" + database + "] from disk = " + sqlLiteral(file) + " with move " +
              sqlLiteral(names.first) + " to " + sqlLiteral(dataPath) + ", move " + sqlLiteral(names.second) +
              " to " + sqlLiteral(logPath));
    return names;
}

#ifdef VQ_PROGRAM_DIR
// The backup of the program folder that holds database `name`.
inline std::string installedBackupFile(const std::string& name)
{
    return std::string(VQ_PROGRAM_DIR) + "/" + name + ".mdk";
}

// Restores an installed backup under its own name into the instance's Data
// folder; returns the backup's logical names.
inline std::pair<std::string, std::string> restoreInstalledBackup(vqsql::Connection& c, const std::string& instance,
                                                                  const std::string& name)
{
    const std::string folder = instance + "/Data/";
    return restoreBackupAs(c, installedBackupFile(name), name, folder + name + ".mdf", folder + name + "_log.ldf");
}
#endif

// A result set as text rows, NULL shown as "<NULL>".
inline std::vector<std::vector<std::string>> textRows(const vqsql::ResultSet& rs)
{
    std::vector<std::vector<std::string>> out;
    for (const auto& r : rs.rows) {
        std::vector<std::string> line;
        for (const auto& v : r)
            line.push_back(v.isNull() ? "<NULL>" : v.toString());
        out.push_back(line);
    }
    return out;
}

}  // namespace vqtest
