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

#include <cstddef>
#include <cstdint>
#include <functional>
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

// How far a copy has got: bytes done of the total.
using ByteProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Writes `dataFile` (a consistent SQLite file) as a backup to `backupFile`,
// replacing it only once the new file is complete. Throws SqlException
// (3201 for a file that cannot be written).
void writeBackupFile(const std::string& backupFile, const BackupHeader& header, const std::string& dataFile,
                     const ByteProgress& progress = {});

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
                               const std::string& operation, const ByteProgress& progress = {});

// Checks the bytes of a backup file as they stream past, for a reader that
// copies them elsewhere (the .cwz packer and unpacker): magic, version,
// lengths, the trailer and the checksum, in the same pass as the copy.
//
//   BackupStreamCheck check;
//   while (read a chunk) check.update(chunk, n);
//   if (!check.complete()) ... the bytes are no whole, sound backup
class BackupStreamCheck {
public:
    void update(const void* data, std::size_t size);
    // True when the bytes seen make exactly one whole backup whose checksum
    // matches, and nothing follows it.
    bool complete() const { return stage_ == Stage::Done && !failed_; }
    // False once the bytes seen cannot begin a sound backup (wrong magic or
    // version, an absurd header length, bytes after the end, a checksum
    // that does not match).
    bool plausible() const { return !failed_; }
    // The header, once its bytes have passed.
    bool headerSeen() const { return headerSeen_; }
    const BackupHeader& header() const { return header_; }
    // The whole file's length, known once the header has passed.
    std::uint64_t expectedSize() const { return expected_; }
    std::uint64_t seen() const { return seen_; }

private:
    enum class Stage { Fixed, HeaderText, DataSize, Data, Trailer, Done };
    void take(const unsigned char* p, std::size_t n);
    void fail() { failed_ = true; }

    Stage stage_ = Stage::Fixed;
    bool failed_ = false;
    bool headerSeen_ = false;
    std::string pending_;          // the bytes of the current fixed-size part
    std::size_t want_ = 16;        // how many it needs
    std::uint64_t dataLeft_ = 0;
    std::uint64_t expected_ = 0;
    std::uint64_t seen_ = 0;
    unsigned long crc_ = 0;
    bool crcStarted_ = false;
    BackupHeader header_;
};

}  // namespace vqsql
