// The .cwz backup file of an account set: a 512-byte header that names
// the maker and describes the account set, then the engine's backup of the
// account-set database packed as PackStream packs a stream (its length as
// four bytes little-endian, then one zlib stream at level 9).
//
//   offset  size  field
//        0    32  maker      "QX.VQTSoft.Ltd."
//       32    32  product    "VQTCaiWu"
//       64    16  file type  "VQTDBFile"
//       80    16  reserved   empty
//       96    32  code       the catalogue's DBName
//      128   128  name       the catalogue's AccName
//      256   256  padding    zero bytes
//      512     4  unpacked length, unsigned 32-bit little-endian
//      516     -  zlib stream (RFC 1950) of the backup's bytes
//
// Texts are GBK bytes, cut at the field's width (a double-byte character
// may be split) and zero-filled; reading a field stops at its first zero.
//
// Backup files are packed and unpacked as streams, in bounded memory: the
// length is known once the engine has written its backup, and zlib's
// streaming deflate at level 9 gives the same bytes as packing in memory.
// Unpacking never trusts the stated length for an allocation: the zlib
// stream's own check decides, and the stated length must match exactly.
#pragma once

#include "backup_file.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

struct TMWFileStamp {
    QString maker;
    QString product;
    QString fileType;
    QString reserved;
    QString code;
    QString name;
};

constexpr int kFileStampSize = 512;

// The three fields that identify a file of this program.
QString StampMaker();      // "QX.VQTSoft.Ltd."
QString StampProduct();    // "VQTCaiWu"
QString StampFileType();   // "VQTDBFile"

// The stamp the Backup command writes for an account set.
TMWFileStamp ProgramFileStamp(const QString& code, const QString& name);
// True when maker, product and file type are this program's (exactly,
// letter case counts); nothing else in the header is looked at.
bool IsProgramFileStamp(const TMWFileStamp& stamp);

// The 512 header bytes of a stamp, and the stamp read from header bytes
// (fewer than 512 bytes read as if zero-filled).
QByteArray EncodeFileStamp(const TMWFileStamp& stamp);
TMWFileStamp DecodeFileStamp(const QByteArray& header);

// The header of a file: up to its first 512 bytes over 512 zero bytes; a
// missing or unreadable file gives six empty texts.
TMWFileStamp ReadFileStamp(const QString& path);

// A .cwz file that cannot be written or read as asked. message() is the
// text for the operator (in Chinese), complete in itself.
class CwzError : public std::runtime_error {
public:
    enum class Kind {
        Damaged,            // short, corrupt, wrong length, bytes after the end
        SqlServerPayload,   // a SQL Server backup, made beside a real SQL Server
        IncompleteBackup,   // the engine's backup to be packed is not whole and sound
        TooLarge,           // a backup of 4 GiB or more does not fit the length field
        FileError,          // a file could not be read or written
    };
    CwzError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }
    QString message() const { return message_; }

private:
    Kind kind_;
    QString message_;
};

// How far packing or unpacking has got, in bytes of the engine's backup.
using CwzProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Writes `cwzPath` from the engine backup at `backupPath`: the stamp's
// header, the length and the zlib stream. The backup is checked as it
// streams past (structure, lengths, checksum: vqsql::BackupStreamCheck);
// the .cwz is written under a temporary name in the target folder, synced,
// and renamed into place only when everything is complete, so a failure
// never leaves a partial file under `cwzPath` (an existing file there
// stays as it was). Returns false, doing nothing, when `backupPath` does
// not exist; throws CwzError otherwise on failure.
bool SaveStampedBackup(const QString& backupPath, const QString& cwzPath, const TMWFileStamp& stamp,
                       const CwzProgress& progress = {});

// Writes the engine backup packed in `cwzPath` to `backupPath`. Returns
// false, doing nothing, when `cwzPath` does not exist. Throws CwzError
// (writing nothing at `backupPath`: the bytes go to a temporary file beside
// it, renamed into place only when all is sound) when the payload is short
// or corrupt, inflates to another length than the stated one, has bytes
// after the zlib stream, or is a SQL Server backup (Kind::SqlServerPayload).
bool ExtractStampedBackup(const QString& cwzPath, const QString& backupPath, const CwzProgress& progress = {});

// Everything ExtractStampedBackup and the restore would find wrong with a
// .cwz file, without writing anything: the header, the length, the zlib
// stream and the engine backup's structure and checksum.
struct CwzVerification {
    bool ok = false;
    QString problem;              // the operator's text when not ok
    TMWFileStamp stamp;
    std::uint32_t statedLength = 0;
    std::uint64_t packedBytes = 0;
    vqsql::BackupHeader backup;   // valid when ok
};
CwzVerification VerifyStampedBackup(const QString& cwzPath, const CwzProgress& progress = {});

// True when the file starts as a SQL Server backup does (Microsoft Tape
// Format: a "TAPE" descriptor block), which the engine cannot read.
bool IsSqlServerBackupFile(const QString& path);
bool IsSqlServerBackupBytes(const QByteArray& firstBytes);

// The operator's texts of the failures above.
QString DamagedCwzText();
QString SqlServerPayloadText();
// The payload unpacks as the file states but is no whole, sound backup of
// the engine (VerifyStampedBackup's problem).
QString UnsoundBackupText();
