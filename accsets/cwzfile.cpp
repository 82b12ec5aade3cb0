// The .cwz backup file: header, packing and unpacking as streams.
#include "cwzfile.h"

#include "textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

// Bytes read from and handed to zlib at a time: the whole working memory
// of packing and unpacking is a few of these plus zlib's own state.
constexpr std::size_t kBuffer = std::size_t(1) << 20;
constexpr qint64 kChunk = qint64(kBuffer);
constexpr int kLengthSize = 4;
constexpr int kPayloadOffset = kFileStampSize + kLengthSize;

struct Field {
    int offset;
    int size;
};
constexpr Field kMakerField{0, 32};
constexpr Field kProductField{32, 32};
constexpr Field kFileTypeField{64, 16};
constexpr Field kReservedField{80, 16};
constexpr Field kCodeField{96, 32};
constexpr Field kNameField{128, 128};

void putField(QByteArray& header, Field field, const QString& text)
{
    const QByteArray bytes = toGbk(text).left(field.size);
    std::memcpy(header.data() + field.offset, bytes.constData(), size_t(bytes.size()));
}

QString getField(const QByteArray& header, Field field)
{
    const char* p = header.constData() + field.offset;
    const void* zero = std::memchr(p, 0, size_t(field.size));
    const int length = zero ? int(static_cast<const char*>(zero) - p) : field.size;
    return fromGbk(QByteArray(p, length));
}

QString incompleteBackupText()
{
    return QStringLiteral("数据库引擎生成的备份不完整或已损坏，没有保存备份文件。");
}

QString notProgramFileText()
{
    return QStringLiteral("您选择的文件不是本软件数据库的备份文件。");
}

[[noreturn]] void fileError(const QString& path, const QString& reason)
{
    throw CwzError(CwzError::Kind::FileError, QStringLiteral("不能读写文件“%1”：%2").arg(path, reason));
}

[[noreturn]] void damaged()
{
    throw CwzError(CwzError::Kind::Damaged, DamagedCwzText());
}

// Reads up to `size` bytes, fewer only at the end of the file.
qint64 readFully(QFile& file, char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(data + done, size - done);
        if (n < 0)
            fileError(file.fileName(), file.errorString());
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void writeFully(QSaveFile& file, const char* data, qint64 size)
{
    if (file.write(data, size) != size)
        fileError(file.fileName(), file.errorString());
}

std::uint32_t lengthField(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
           (std::uint32_t(b[3]) << 24);
}

// zlib fails on its own only for want of memory, or for a fault of ours.
[[noreturn]] void zlibFailure(const QString& path, int code)
{
    if (code == Z_MEM_ERROR)
        throw std::bad_alloc();
    fileError(path, QStringLiteral("zlib %1").arg(code));
}

struct Deflater {
    z_stream z{};
    Deflater(const QString& path)
    {
        const int rc = deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK)
            zlibFailure(path, rc);
    }
    ~Deflater() { deflateEnd(&z); }
};

struct Inflater {
    z_stream z{};
    Inflater(const QString& path)
    {
        const int rc = inflateInit(&z);
        if (rc != Z_OK)
            zlibFailure(path, rc);
    }
    ~Inflater() { inflateEnd(&z); }
};

// What unpacking found besides the bytes it handed on.
struct Unpacked {
    TMWFileStamp stamp;
    std::uint32_t statedLength = 0;
    std::uint64_t packedBytes = 0;
};

// Unpacks the payload of an open .cwz file, handing each inflated block to
// `sink` (which may throw to stop). Throws CwzError Damaged for a file
// shorter than header and length, a corrupt zlib stream, a stream that
// ends early or is followed by more bytes, and another length than the
// stated one (as soon as more bytes come than it states); SqlServerPayload
// when the first bytes are a SQL Server backup's. Memory stays at two
// chunks whatever the stated length says. `onHeader` sees the header and
// the length before any of the payload is read.
void unpack(QFile& in, Unpacked& result, const std::function<void(const Unpacked&)>& onHeader,
            const std::function<void(const char*, qint64)>& sink, const CwzProgress& progress)
{
    QByteArray front(kPayloadOffset, '\0');
    const qint64 frontRead = readFully(in, front.data(), kPayloadOffset);
    result.stamp = DecodeFileStamp(front.left(int(std::min<qint64>(frontRead, kFileStampSize))));
    if (frontRead < kPayloadOffset) {
        if (onHeader)
            onHeader(result);
        damaged();
    }
    result.statedLength = lengthField(front.constData() + kFileStampSize);
    if (onHeader)
        onHeader(result);

    Inflater inflater(in.fileName());
    z_stream& z = inflater.z;
    // Not zero-filled: only the pages the data reach are ever touched.
    const auto input = std::make_unique_for_overwrite<char[]>(kBuffer);
    const auto output = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::uint64_t produced = 0;
    // The first bytes, held until there are enough to tell a SQL Server backup.
    QByteArray firstBytes;
    constexpr int kFirstBytes = 4;
    bool atEnd = false;
    bool inputDone = false;
    while (!atEnd) {
        if (z.avail_in == 0 && !inputDone) {
            const qint64 n = readFully(in, input.get(), kChunk);
            result.packedBytes += std::uint64_t(n);
            inputDone = n < kChunk;
            z.next_in = reinterpret_cast<Bytef*>(input.get());
            z.avail_in = uInt(n);
        }
        z.next_out = reinterpret_cast<Bytef*>(output.get());
        z.avail_out = uInt(kBuffer);
        const int rc = inflate(&z, Z_NO_FLUSH);
        const qint64 n = qint64(kBuffer) - qint64(z.avail_out);
        // A SQL Server backup is told first: packed beside a SQL Server, it
        // is no damaged file but one this engine cannot restore.
        if (n > 0 && firstBytes.size() < kFirstBytes) {
            firstBytes.append(output.get(), int(std::min<qint64>(n, kFirstBytes - firstBytes.size())));
            if (IsSqlServerBackupBytes(firstBytes))
                throw CwzError(CwzError::Kind::SqlServerPayload, SqlServerPayloadText());
        }
        switch (rc) {
        case Z_OK:
            break;
        case Z_STREAM_END:
            atEnd = true;
            break;
        case Z_BUF_ERROR:
            // No progress possible: fine when more input is to come, else
            // the input has run out before the end of the stream.
            if (z.avail_in != 0 || inputDone)
                damaged();
            break;
        case Z_MEM_ERROR:
            zlibFailure(in.fileName(), rc);
        default:   // Z_DATA_ERROR (including a wrong Adler-32), Z_NEED_DICT, Z_STREAM_ERROR
            damaged();
        }
        if (n == 0)
            continue;
        produced += std::uint64_t(n);
        if (produced > result.statedLength)
            damaged();
        sink(output.get(), n);
        if (progress)
            progress(produced, result.statedLength);
    }
    if (produced != result.statedLength)
        damaged();
    // Nothing may follow the zlib stream: neither in the block read last
    // nor in the rest of the file.
    if (z.avail_in != 0)
        damaged();
    char probe;
    if (!inputDone && readFully(in, &probe, 1) != 0)
        damaged();
}

}  // namespace

QString StampMaker()
{
    return QStringLiteral("QX.VQTSoft.Ltd.");
}

QString StampProduct()
{
    return QStringLiteral("VQTCaiWu");
}

QString StampFileType()
{
    return QStringLiteral("VQTDBFile");
}

TMWFileStamp ProgramFileStamp(const QString& code, const QString& name)
{
    TMWFileStamp stamp;
    stamp.maker = StampMaker();
    stamp.product = StampProduct();
    stamp.fileType = StampFileType();
    stamp.code = code;
    stamp.name = name;
    return stamp;
}

bool IsProgramFileStamp(const TMWFileStamp& stamp)
{
    return stamp.maker == StampMaker() && stamp.product == StampProduct() && stamp.fileType == StampFileType();
}

QByteArray EncodeFileStamp(const TMWFileStamp& stamp)
{
    QByteArray header(kFileStampSize, '\0');
    putField(header, kMakerField, stamp.maker);
    putField(header, kProductField, stamp.product);
    putField(header, kFileTypeField, stamp.fileType);
    putField(header, kReservedField, stamp.reserved);
    putField(header, kCodeField, stamp.code);
    putField(header, kNameField, stamp.name);
    return header;
}

TMWFileStamp DecodeFileStamp(const QByteArray& header)
{
    QByteArray full(kFileStampSize, '\0');
    std::memcpy(full.data(), header.constData(), size_t(std::min<qsizetype>(header.size(), kFileStampSize)));
    TMWFileStamp stamp;
    stamp.maker = getField(full, kMakerField);
    stamp.product = getField(full, kProductField);
    stamp.fileType = getField(full, kFileTypeField);
    stamp.reserved = getField(full, kReservedField);
    stamp.code = getField(full, kCodeField);
    stamp.name = getField(full, kNameField);
    return stamp;
}

TMWFileStamp ReadFileStamp(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DecodeFileStamp(QByteArray());
    return DecodeFileStamp(file.read(kFileStampSize));
}

CwzError::CwzError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind), message_(message)
{
}

bool SaveStampedBackup(const QString& backupPath, const QString& cwzPath, const TMWFileStamp& stamp,
                       const CwzProgress& progress)
{
    if (!QFileInfo::exists(backupPath))
        return false;
    QFile in(backupPath);
    if (!in.open(QIODevice::ReadOnly))
        fileError(backupPath, in.errorString());
    const qint64 total = in.size();
    if (quint64(total) > std::numeric_limits<std::uint32_t>::max())
        throw CwzError(CwzError::Kind::TooLarge, QStringLiteral("账套数据库的备份超过4GB，不能保存为账套备份文件。"));

    // Written under a temporary name beside cwzPath; renamed over it only
    // by commit(), and removed when this function leaves without one.
    QSaveFile out(cwzPath);
    if (!out.open(QIODevice::WriteOnly))
        fileError(cwzPath, out.errorString());
    QByteArray front = EncodeFileStamp(stamp);
    const auto length = std::uint32_t(total);
    for (int i = 0; i < kLengthSize; ++i)
        front.append(char((length >> (8 * i)) & 0xFF));
    writeFully(out, front.constData(), front.size());

    Deflater deflater(cwzPath);
    z_stream& z = deflater.z;
    vqsql::BackupStreamCheck check;
    // Not zero-filled: only the pages the data reach are ever touched.
    const auto input = std::make_unique_for_overwrite<char[]>(kBuffer);
    const auto output = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::uint64_t done = 0;
    bool inputDone = false;
    for (;;) {
        if (z.avail_in == 0 && !inputDone) {
            const qint64 n = readFully(in, input.get(), kChunk);
            inputDone = n < kChunk;
            check.update(input.get(), size_t(n));
            // A backup that cannot become sound is not worth packing further.
            if (!check.plausible())
                throw CwzError(CwzError::Kind::IncompleteBackup, incompleteBackupText());
            done += std::uint64_t(n);
            z.next_in = reinterpret_cast<Bytef*>(input.get());
            z.avail_in = uInt(n);
            if (progress && n > 0)
                progress(done, std::uint64_t(total));
        }
        z.next_out = reinterpret_cast<Bytef*>(output.get());
        z.avail_out = uInt(kBuffer);
        // Finishing as soon as the last input is handed over, as PackStream
        // does, gives the same bytes as packing in memory.
        const int rc = deflate(&z, inputDone ? Z_FINISH : Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            zlibFailure(cwzPath, rc);
        writeFully(out, output.get(), qint64(kBuffer) - qint64(z.avail_out));
        if (rc == Z_STREAM_END)
            break;
    }
    // The length field says what the file held when packing began; a backup
    // that changed since, or that is no whole backup, is not kept.
    if (done != std::uint64_t(total) || !check.complete())
        throw CwzError(CwzError::Kind::IncompleteBackup, incompleteBackupText());
    if (!out.commit())
        fileError(cwzPath, out.errorString());
    return true;
}

bool ExtractStampedBackup(const QString& cwzPath, const QString& backupPath, const CwzProgress& progress)
{
    if (!QFileInfo::exists(cwzPath))
        return false;
    QFile in(cwzPath);
    if (!in.open(QIODevice::ReadOnly))
        fileError(cwzPath, in.errorString());
    // Written under a temporary name beside backupPath, renamed into place
    // by commit() only when everything checked out; a failure removes it.
    QSaveFile out(backupPath);
    if (!out.open(QIODevice::WriteOnly))
        fileError(backupPath, out.errorString());
    Unpacked result;
    unpack(in, result, {}, [&](const char* data, qint64 n) { writeFully(out, data, n); }, progress);
    if (!out.commit())
        fileError(backupPath, out.errorString());
    return true;
}

CwzVerification VerifyStampedBackup(const QString& cwzPath, const CwzProgress& progress)
{
    CwzVerification v;
    QFile in(cwzPath);
    if (!in.open(QIODevice::ReadOnly)) {
        v.problem = QStringLiteral("不能读写文件“%1”：%2").arg(cwzPath, in.errorString());
        return v;
    }
    vqsql::BackupStreamCheck check;
    Unpacked result;
    try {
        unpack(
            in, result,
            [&](const Unpacked& front) {
                if (!IsProgramFileStamp(front.stamp))
                    throw CwzError(CwzError::Kind::Damaged, notProgramFileText());
            },
            [&](const char* data, qint64 n) {
                check.update(data, size_t(n));
                if (!check.plausible())
                    throw CwzError(CwzError::Kind::Damaged, UnsoundBackupText());
            },
            progress);
        if (!check.complete())
            throw CwzError(CwzError::Kind::Damaged, UnsoundBackupText());
        v.ok = true;
        v.backup = check.header();
    } catch (const CwzError& e) {
        v.problem = e.message();
    }
    v.stamp = result.stamp;
    v.statedLength = result.statedLength;
    v.packedBytes = result.packedBytes;
    return v;
}

bool IsSqlServerBackupFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && IsSqlServerBackupBytes(file.read(4));
}

bool IsSqlServerBackupBytes(const QByteArray& firstBytes)
{
    return firstBytes.startsWith("TAPE");
}

QString DamagedCwzText()
{
    return QStringLiteral("您选择的备份文件已损坏或不完整，不能恢复。");
}

QString SqlServerPayloadText()
{
    return QStringLiteral("您选择的备份文件中是Microsoft SQL Server的数据库备份，本服务器的数据库引擎不能读取这种备份。"
                          "请在原来的SQL Server上恢复该账套，或使用本服务器备份的文件。");
}

QString UnsoundBackupText()
{
    return QStringLiteral("您选择的备份文件中的数据库备份不完整或已损坏，不能恢复。");
}
