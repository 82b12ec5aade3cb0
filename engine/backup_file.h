// The engine's backup file format (what BACKUP DATABASE writes and RESTORE
// reads; the installed .mdk files and the payload of .cwz files are such
// files).
//
// Layout, little-endian:
//   "VQSQLBAK"                 8 bytes magic
//   u32 format version         1
//   u32 header length          bytes of the header text that follows
//   header text                UTF-8 lines "key=value\n": database,
//                              datalogical, loglogical, dataphysical,
//                              logphysical, created, engine
//   u64 data length
//   data                       the database's SQLite file
//   u32 CRC-32                 over every byte before it
//   "VQSQLEND"                 8 bytes
#pragma once

#include <cstdint>
#include <string>

namespace vqsql {

struct BackupHeader {
    std::string database;
    std::string dataLogical;
    std::string logLogical;
    std::string dataPhysical;
    std::string logPhysical;
    std::string created;        // "YYYY-MM-DD HH:MM:SS.mmm"
    std::string engine;         // version text of the engine that wrote it
    std::uint64_t dataSize = 0;
};

// Writes `dataFile` (a consistent SQLite file) as a backup to `backupFile`,
// replacing it only once the new file is complete. Throws SqlException
// (3201 for a file that cannot be written).
void writeBackupFile(const std::string& backupFile, const BackupHeader& header, const std::string& dataFile);

// Reads and checks a whole backup file (magic, version, lengths and the
// checksum) and returns its header. Throws SqlException 3201 when the file
// cannot be opened and 3241 when it is no backup or is damaged; `operation`
// names the statement in the closing 3013 message ("RESTORE DATABASE").
BackupHeader readBackupFile(const std::string& backupFile, const std::string& operation);

// Reads only the header, checking the file's structure and length but not
// its checksum (extractBackupData checks that while it copies).
BackupHeader readBackupHeader(const std::string& backupFile, const std::string& operation);

// Checks the backup as readBackupFile does and writes its data to
// `dataFile`. Throws as readBackupFile does; a partly written `dataFile`
// is removed.
BackupHeader extractBackupData(const std::string& backupFile, const std::string& dataFile,
                               const std::string& operation);

}  // namespace vqsql
