// The engine's backup file format: writing, checking, extracting.
#include "backup_file.h"

#include "sqlerror.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace vqsql {

namespace {

constexpr char kMagic[8] = {'V', 'Q', 'S', 'Q', 'L', 'B', 'A', 'K'};
constexpr char kEndMagic[8] = {'V', 'Q', 'S', 'Q', 'L', 'E', 'N', 'D'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kChunk = 1 << 20;
constexpr std::uint32_t kMaxHeader = 1 << 20;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

[[noreturn]] void cannotOpen(const std::string& file, int error, const std::string& operation)
{
    std::string reason = error == ENOENT ? "2(The system cannot find the file specified.)"
                                         : std::to_string(error) + "(" + std::strerror(error) + ")";
    throw SqlException(std::vector<SqlError>{
        {3201, 16, 2, 1, "Cannot open backup device '" + file + "'. Operating system error " + reason + "."},
        {3013, 16, 1, 1, operation + " is terminating abnormally."}});
}

[[noreturn]] void malformed(const std::string& file, const std::string& operation)
{
    throw SqlException(std::vector<SqlError>{
        {3241, 16, 0, 1,
         "The media family on device '" + file + "' is incorrectly formed. SQL Server cannot process this media family."},
        {3013, 16, 1, 1, operation + " is terminating abnormally."}});
}

void putU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putU64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t getLE(const unsigned char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Header values never hold line breaks or backslashes unescaped.
std::string escape(const std::string& v)
{
    std::string out;
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out.push_back(c);
    }
    return out;
}

std::string unescape(const std::string& v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            out.push_back(v[i + 1] == 'n' ? '\n' : v[i + 1]);
            ++i;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

std::string headerText(const BackupHeader& h)
{
    return "database=" + escape(h.database) + "\ndatalogical=" + escape(h.dataLogical) +
           "\nloglogical=" + escape(h.logLogical) + "\ndataphysical=" + escape(h.dataPhysical) +
           "\nlogphysical=" + escape(h.logPhysical) + "\ncreated=" + escape(h.created) +
           "\nengine=" + escape(h.engine) + "\n";
}

void parseHeaderText(const std::string& text, BackupHeader& h)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = unescape(line.substr(eq + 1));
        if (key == "database") h.database = value;
        else if (key == "datalogical") h.dataLogical = value;
        else if (key == "loglogical") h.logLogical = value;
        else if (key == "dataphysical") h.dataPhysical = value;
        else if (key == "logphysical") h.logPhysical = value;
        else if (key == "created") h.created = value;
        else if (key == "engine") h.engine = value;
    }
}

// Reads the file front to back, checking its structure and checksum; the
// data part goes to `sink` when given. With `headerOnly` it stops after
// the header and the length check.
BackupHeader scan(const std::string& file, const std::string& operation, FILE* sink, const std::string& sinkName,
                  bool headerOnly = false, const ByteProgress& progress = {})
{
    File in(std::fopen(file.c_str(), "rb"));
    if (!in)
        cannotOpen(file, errno, operation);
    uLong crc = crc32(0L, Z_NULL, 0);
    auto readExact = [&](void* buf, std::size_t n) {
        if (std::fread(buf, 1, n, in.get()) != n)
            malformed(file, operation);
        crc = crc32(crc, static_cast<const Bytef*>(buf), static_cast<uInt>(n));
    };

    unsigned char fixed[16];
    readExact(fixed, sizeof fixed);
    if (std::memcmp(fixed, kMagic, sizeof kMagic) != 0 || getLE(fixed + 8, 4) != kFormatVersion)
        malformed(file, operation);
    const std::uint32_t headerLength = static_cast<std::uint32_t>(getLE(fixed + 12, 4));
    if (headerLength > kMaxHeader)
        malformed(file, operation);
    std::string text(headerLength, '\0');
    readExact(text.data(), headerLength);
    unsigned char sizeBytes[8];
    readExact(sizeBytes, sizeof sizeBytes);
    BackupHeader h;
    parseHeaderText(text, h);
    h.dataSize = getLE(sizeBytes, 8);

    // The data must be followed by exactly the trailer.
    std::error_code ec;
    const auto total = std::filesystem::file_size(file, ec);
    if (ec || total != 16 + headerLength + 8 + h.dataSize + 4 + sizeof kEndMagic)
        malformed(file, operation);
    if (headerOnly) {
        if (h.database.empty() || h.dataLogical.empty() || h.logLogical.empty())
            malformed(file, operation);
        return h;
    }

    std::vector<unsigned char> buf(kChunk);
    std::uint64_t left = h.dataSize;
    while (left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        readExact(buf.data(), n);
        if (sink && std::fwrite(buf.data(), 1, n, sink) != n)
            throw SqlException(3203, "Write on \"" + sinkName + "\" failed: " + std::strerror(errno));
        left -= n;
        if (progress)
            progress(h.dataSize - left, h.dataSize);
    }
    unsigned char trailer[12];
    if (std::fread(trailer, 1, sizeof trailer, in.get()) != sizeof trailer)
        malformed(file, operation);
    if (getLE(trailer, 4) != static_cast<std::uint32_t>(crc) || std::memcmp(trailer + 4, kEndMagic, 8) != 0)
        malformed(file, operation);
    if (h.database.empty() || h.dataLogical.empty() || h.logLogical.empty())
        malformed(file, operation);
    return h;
}

}  // namespace

void writeBackupFile(const std::string& backupFile, const BackupHeader& header, const std::string& dataFile,
                     const ByteProgress& progress)
{
    const std::string partial = backupFile + ".partial";
    std::error_code ec;
    const std::uint64_t dataSize = std::filesystem::file_size(dataFile, ec);
    if (ec)
        throw SqlException(3201, "Cannot read the database file '" + dataFile + "': " + ec.message());
    try {
        File out(std::fopen(partial.c_str(), "wb"));
        if (!out)
            cannotOpen(backupFile, errno, "BACKUP DATABASE");
        File in(std::fopen(dataFile.c_str(), "rb"));
        if (!in)
            throw SqlException(3201, "Cannot read the database file '" + dataFile + "'.");
        uLong crc = crc32(0L, Z_NULL, 0);
        auto write = [&](const void* p, std::size_t n) {
            if (std::fwrite(p, 1, n, out.get()) != n)
                throw SqlException(3203, "Write on \"" + backupFile + "\" failed: " + std::strerror(errno));
            crc = crc32(crc, static_cast<const Bytef*>(p), static_cast<uInt>(n));
        };
        std::string front(kMagic, sizeof kMagic);
        putU32(front, kFormatVersion);
        const std::string text = headerText(header);
        putU32(front, static_cast<std::uint32_t>(text.size()));
        front += text;
        putU64(front, dataSize);
        write(front.data(), front.size());
        std::vector<char> buf(kChunk);
        std::uint64_t copied = 0;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
            write(buf.data(), n);
            copied += n;
            if (progress)
                progress(copied, dataSize);
        }
        if (copied != dataSize)
            throw SqlException(3203, "The database file '" + dataFile + "' changed while it was backed up.");
        std::string trailer;
        putU32(trailer, static_cast<std::uint32_t>(crc));
        trailer.append(kEndMagic, sizeof kEndMagic);
        if (std::fwrite(trailer.data(), 1, trailer.size(), out.get()) != trailer.size() || std::fflush(out.get()) != 0 ||
            fsync(fileno(out.get())) != 0)
            throw SqlException(3203, "Write on \"" + backupFile + "\" failed: " + std::strerror(errno));
    } catch (...) {
        std::filesystem::remove(partial, ec);
        throw;
    }
    std::filesystem::rename(partial, backupFile, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        cannotOpen(backupFile, EACCES, "BACKUP DATABASE");
    }
}

BackupHeader readBackupFile(const std::string& backupFile, const std::string& operation)
{
    return scan(backupFile, operation, nullptr, {});
}

BackupHeader readBackupHeader(const std::string& backupFile, const std::string& operation)
{
    return scan(backupFile, operation, nullptr, {}, true);
}

BackupHeader extractBackupData(const std::string& backupFile, const std::string& dataFile,
                               const std::string& operation, const ByteProgress& progress)
{
    File out(std::fopen(dataFile.c_str(), "wb"));
    if (!out)
        throw SqlException(std::vector<SqlError>{
            {5123, 16, 1, 1, "CREATE FILE encountered operating system error " + std::to_string(errno) + "(" +
                                 std::strerror(errno) + ") while attempting to open or create the physical file '" +
                                 dataFile + "'."},
            {3013, 16, 1, 1, operation + " is terminating abnormally."}});
    try {
        BackupHeader h = scan(backupFile, operation, out.get(), dataFile, false, progress);
        if (std::fflush(out.get()) != 0 || fsync(fileno(out.get())) != 0)
            throw SqlException(3203, "Write on \"" + dataFile + "\" failed: " + std::strerror(errno));
        return h;
    } catch (...) {
        out.reset();
        std::error_code ec;
        std::filesystem::remove(dataFile, ec);
        throw;
    }
}

// ---- checking a backup as it streams past --------------------------------

void BackupStreamCheck::update(const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    seen_ += size;
    if (failed_)
        return;
    if (!crcStarted_) {
        crc_ = crc32(0L, Z_NULL, 0);
        crcStarted_ = true;
    }
    take(p, size);
}

void BackupStreamCheck::take(const unsigned char* p, std::size_t n)
{
    while (n > 0 && !failed_) {
        if (stage_ == Stage::Done) {
            fail();   // bytes after the end
            return;
        }
        if (stage_ == Stage::Data) {
            const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(dataLeft_, n));
            crc_ = crc32_z(crc_, p, part);
            dataLeft_ -= part;
            p += part;
            n -= part;
            if (dataLeft_ == 0) {
                stage_ = Stage::Trailer;
                want_ = 12;
            }
            continue;
        }
        const std::size_t part = std::min(want_ - pending_.size(), n);
        pending_.append(reinterpret_cast<const char*>(p), part);
        if (stage_ != Stage::Trailer)
            crc_ = crc32_z(crc_, p, part);
        p += part;
        n -= part;
        if (pending_.size() < want_)
            continue;
        const auto* b = reinterpret_cast<const unsigned char*>(pending_.data());
        switch (stage_) {
        case Stage::Fixed: {
            const std::uint64_t headerLength = getLE(b + 12, 4);
            if (std::memcmp(b, kMagic, sizeof kMagic) != 0 || getLE(b + 8, 4) != kFormatVersion ||
                headerLength > kMaxHeader)
                return fail();
            stage_ = Stage::HeaderText;
            want_ = static_cast<std::size_t>(headerLength);
            expected_ = 16 + headerLength;
            break;
        }
        case Stage::HeaderText:
            parseHeaderText(pending_, header_);
            stage_ = Stage::DataSize;
            want_ = 8;
            break;
        case Stage::DataSize:
            header_.dataSize = getLE(b, 8);
            if (header_.database.empty() || header_.dataLogical.empty() || header_.logLogical.empty())
                return fail();
            expected_ += 8 + header_.dataSize + 12;
            headerSeen_ = true;
            dataLeft_ = header_.dataSize;
            stage_ = dataLeft_ > 0 ? Stage::Data : Stage::Trailer;
            want_ = 12;
            break;
        case Stage::Trailer:
            if (getLE(b, 4) != static_cast<std::uint32_t>(crc_) || std::memcmp(b + 4, kEndMagic, 8) != 0)
                return fail();
            stage_ = Stage::Done;
            break;
        case Stage::Data:
        case Stage::Done:
            break;
        }
        pending_.clear();
    }
}

}  // namespace vqsql
