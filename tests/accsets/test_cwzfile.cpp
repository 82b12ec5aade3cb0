// The .cwz file: its header byte for byte, packing a real engine backup and
// unpacking it again, and the files packing and unpacking must refuse
// without leaving anything behind.
#include "cwz_testdata.h"
#include "cwzfile.h"
#include "installedbackups.h"
#include "packstream.h"
#include "textcodec.h"

#include <QDir>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

using cwztest::readAll;
using cwztest::writeAll;

class CwzFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        backup_ = cwztest::engine().backup;
        ASSERT_GT(backup_.size(), 1000);
        backupFile_ = path("books.mdk");
        writeAll(backupFile_, backup_);
    }

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
    QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

    // A .cwz of the engine's backup, as the Backup command writes it.
    QByteArray packedFile()
    {
        const QString cwz = path("good.cwz");
        EXPECT_TRUE(SaveStampedBackup(backupFile_, cwz, ProgramFileStamp("001", QStringLiteral("测试账套"))));
        const QByteArray bytes = readAll(cwz);
        QFile::remove(cwz);
        return bytes;
    }

    QTemporaryDir dir_;
    QByteArray backup_;
    QString backupFile_;
};

CwzError::Kind kindOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const CwzError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no CwzError";
    return CwzError::Kind::FileError;
}

QByteArray lengthBytes(std::uint32_t n)
{
    return QByteArray(1, char(n & 0xFF)) + char((n >> 8) & 0xFF) + char((n >> 16) & 0xFF) + char(n >> 24);
}

TEST_F(CwzFile, HeaderLengthAndStreamAreByteForByteTheLayout)
{
    // 200 GBK bytes: the 128-byte field ends in the first byte of a character.
    const QString name = QStringLiteral("A") + QString(99, QChar(0x8D26)) + QStringLiteral("Z");   // 账
    ASSERT_EQ(gbkLength(name), 200);
    QByteArray expected(512, '\0');
    auto put = [&](int offset, const QByteArray& bytes) { expected.replace(offset, bytes.size(), bytes); };
    put(0, "QX.VQTSoft.Ltd.");
    put(32, "VQTCaiWu");
    put(64, "VQTDBFile");
    put(96, "001");
    put(128, toGbk(name).left(128));
    ASSERT_EQ(expected.size(), 512);

    const QString cwz = path("layout.cwz");
    ASSERT_TRUE(SaveStampedBackup(backupFile_, cwz, ProgramFileStamp("001", name)));
    const QByteArray file = readAll(cwz);
    EXPECT_EQ(file.left(512), expected);
    EXPECT_EQ(EncodeFileStamp(ProgramFileStamp("001", name)), expected);
    EXPECT_EQ(file.mid(512, 4), lengthBytes(std::uint32_t(backup_.size())));
    // The streaming packer writes exactly what packing in memory writes.
    QByteArray inMemory = backup_;
    PackStream(inMemory);
    EXPECT_EQ(file.mid(512), inMemory);
    QByteArray unpacked = file.mid(512);
    UnpackStream(unpacked);
    EXPECT_EQ(unpacked, backup_);

    const TMWFileStamp read = ReadFileStamp(cwz);
    EXPECT_TRUE(IsProgramFileStamp(read));
    EXPECT_EQ(read.code, QStringLiteral("001"));
    EXPECT_EQ(read.name, fromGbk(toGbk(name).left(128)));
    EXPECT_TRUE(read.reserved.isEmpty());
    // A full field has no zero: reading stops at its end, not the next field's.
    const QByteArray full = EncodeFileStamp(ProgramFileStamp(QString(40, QLatin1Char('c')), "n"));
    EXPECT_EQ(full.mid(96, 33), QByteArray(32, 'c') + 'n');
    EXPECT_EQ(DecodeFileStamp(full).code, QString(32, QLatin1Char('c')));
}

TEST_F(CwzFile, BackupsOfSeveralChunksPackAsInMemoryAndComeBackWhole)
{
    // 3 MiB of data, mostly noise, so that the packed stream also spans
    // several of the packer's and unpacker's 1 MiB chunks.
    QByteArray data;
    std::uint64_t x = 88172645463325252ull;
    while (data.size() < 3 * 1048576) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        if (x % 4 == 0)
            data += "2024-03-15|1002|收到货款|";
        else
            data += QByteArray(reinterpret_cast<const char*>(&x), 8).repeated(2);
    }
    const QString dataFile = path("data.mdf");
    writeAll(dataFile, data);
    vqsql::BackupHeader header;
    header.database = header.dataLogical = "Big";
    header.logLogical = "Big_log";
    vqsql::writeBackupFile(backupFile_.toStdString(), header, dataFile.toStdString());
    const QByteArray backup = readAll(backupFile_);

    const QString cwz = path("big.cwz");
    std::vector<std::uint64_t> packing, unpacking;
    auto into = [](std::vector<std::uint64_t>& calls) {
        return [&calls](std::uint64_t done, std::uint64_t) { calls.push_back(done); };
    };
    ASSERT_TRUE(SaveStampedBackup(backupFile_, cwz, ProgramFileStamp("9", "x"), into(packing)));
    QByteArray inMemory = backup;
    PackStream(inMemory);
    const QByteArray file = readAll(cwz);
    ASSERT_GT(file.size(), 516 + 1048576);
    EXPECT_EQ(file.mid(512), inMemory);
    ASSERT_TRUE(ExtractStampedBackup(cwz, path("out.mdk"), into(unpacking)));
    EXPECT_EQ(readAll(path("out.mdk")), backup);
    const auto total = std::uint64_t(backup.size());
    EXPECT_EQ(packing, (std::vector<std::uint64_t>{1048576, 2097152, 3145728, total}));
    ASSERT_FALSE(unpacking.empty());
    EXPECT_TRUE(std::is_sorted(unpacking.begin(), unpacking.end()));
    EXPECT_EQ(unpacking.back(), total);
    EXPECT_TRUE(VerifyStampedBackup(cwz).ok);
}

TEST_F(CwzFile, TheProgramsStampIsItsThreeIdentityFieldsExactly)
{
    const QByteArray header = EncodeFileStamp(ProgramFileStamp("001", QStringLiteral("账套")));
    const struct {
        const char* what;
        QByteArray bytes;
        bool program;
    } cases[] = {
        {"whole header", header, true},
        {"first 100 bytes only", header.left(100), true},
        {"empty code and name", EncodeFileStamp(ProgramFileStamp({}, {})), true},
        {"code and name of other bytes", header.left(96) + QByteArray(416, '\x01'), true},
        {"maker in other letter case", QByteArray("qx.VQTSoft.Ltd.") + header.mid(15), false},
        {"product cut short", header.left(39) + '\0' + header.mid(40), false},
        {"file type with one more letter", header.left(73) + 'X' + header.mid(74), false},
        {"no header at all", QByteArray(), false},
    };
    for (const auto& c : cases) {
        const QString file = path("stamp.cwz");
        writeAll(file, c.bytes);
        EXPECT_EQ(IsProgramFileStamp(ReadFileStamp(file)), c.program) << c.what;
        EXPECT_EQ(IsProgramFileStamp(DecodeFileStamp(c.bytes)), c.program) << c.what;
    }
    const TMWFileStamp missing = ReadFileStamp(path("missing.cwz"));
    for (const QString& field : {missing.maker, missing.product, missing.fileType, missing.reserved, missing.code,
                                 missing.name})
        EXPECT_TRUE(field.isEmpty());
}

TEST_F(CwzFile, SavedThenExtractedGivesTheBackupBackAndItRestores)
{
    const QString cwz = path("books.cwz");
    std::vector<std::uint64_t> packing, unpacking;
    ASSERT_TRUE(SaveStampedBackup(backupFile_, cwz, ProgramFileStamp("001", "x"),
                                  [&](std::uint64_t done, std::uint64_t total) {
                                      EXPECT_EQ(total, std::uint64_t(backup_.size()));
                                      packing.push_back(done);
                                  }));
    const QString extracted = path("extracted.mdk");
    ASSERT_TRUE(ExtractStampedBackup(
        cwz, extracted, [&](std::uint64_t done, std::uint64_t) { unpacking.push_back(done); }));
    EXPECT_EQ(readAll(extracted), backup_);
    EXPECT_EQ(packing, std::vector<std::uint64_t>{std::uint64_t(backup_.size())});
    ASSERT_FALSE(unpacking.empty());
    EXPECT_EQ(unpacking.back(), std::uint64_t(backup_.size()));

    const CwzVerification v = VerifyStampedBackup(cwz);
    EXPECT_TRUE(v.ok) << v.problem.toStdString();
    EXPECT_EQ(v.backup.database, "Books");
    EXPECT_EQ(v.statedLength, std::uint32_t(backup_.size()));
    EXPECT_EQ(v.packedBytes, std::uint64_t(readAll(cwz).size() - 516));
    EXPECT_EQ(v.stamp.code, QStringLiteral("001"));

    cwztest::Engine& engine = cwztest::engine();
    const std::string data = engine.instance + "/Data/";
    vqtest::restoreBackupAs(engine.master, extracted.toStdString(), "Books2", data + "Books2.mdf",
                            data + "Books2_log.ldf");
    EXPECT_EQ(engine.rows("Books2"), engine.rows("Books"));
    EXPECT_NE(engine.rows("Books").find("支付货款——华东公司"), std::string::npos);
    engine.master.execute("drop database Books2");
}

QByteArray flipped(QByteArray bytes, qsizetype at, int bit)
{
    bytes[at] = char(bytes[at] ^ (1 << bit));
    return bytes;
}

QByteArray restated(const QByteArray& cwz, std::int64_t change)
{
    const auto* b = reinterpret_cast<const unsigned char*>(cwz.constData() + 512);
    const std::uint32_t stated = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
    return cwz.left(512) + lengthBytes(std::uint32_t(stated + change)) + cwz.mid(516);
}

// A SQL Server backup packed as the payload, its last `cut` bytes missing.
QByteArray tapePayload(const QByteArray& cwz, int cut)
{
    QByteArray tape = QByteArray("TAPE") + QByteArray(4000, '\x5a');
    PackStream(tape);
    return cwz.left(512) + tape.left(tape.size() - cut);
}

// Sound zlib around an engine backup that fails its own checksum.
QByteArray unsoundBackup(const QByteArray& cwz)
{
    QByteArray backup = cwz.mid(512);
    UnpackStream(backup);
    backup = flipped(backup, backup.size() / 2, 0);
    PackStream(backup);
    return cwz.left(512) + backup;
}

QString notProgramFile()
{
    return QStringLiteral("您选择的文件不是本软件数据库的备份文件。");
}

struct Refusal {
    const char* name;
    QByteArray (*damage)(const QByteArray& cwz);
    std::optional<CwzError::Kind> extract;   // none: unpacking passes it on (the restore refuses it)
    QString (*problem)();                    // VerifyStampedBackup's
};

constexpr auto kDamaged = CwzError::Kind::Damaged;

const Refusal kRefusals[] = {
    {"ShorterThanHeaderAndLength", [](const QByteArray& c) { return c.left(515); }, kDamaged, DamagedCwzText},
    {"EmptyPayload", [](const QByteArray& c) { return c.left(516); }, kDamaged, DamagedCwzText},
    {"Truncated", [](const QByteArray& c) { return c.left(c.size() - 10); }, kDamaged, DamagedCwzText},
    {"AdlerCut", [](const QByteArray& c) { return c.left(c.size() - 1); }, kDamaged, DamagedCwzText},
    {"LengthOneMore", [](const QByteArray& c) { return restated(c, 1); }, kDamaged, DamagedCwzText},
    {"LengthOneLess", [](const QByteArray& c) { return restated(c, -1); }, kDamaged, DamagedCwzText},
    {"LengthHighBitFlipped", [](const QByteArray& c) { return flipped(c, 515, 7); }, kDamaged, DamagedCwzText},
    {"StreamBitFlipped", [](const QByteArray& c) { return flipped(c, c.size() / 2, 3); }, kDamaged, DamagedCwzText},
    {"AdlerBitFlipped", [](const QByteArray& c) { return flipped(c, c.size() - 1, 0); }, kDamaged, DamagedCwzText},
    {"ByteAppended", [](const QByteArray& c) { return c + '\0'; }, kDamaged, DamagedCwzText},
    {"SecondStreamAppended", [](const QByteArray& c) { return c + c.mid(516); }, kDamaged, DamagedCwzText},
    {"SqlServerPayload", [](const QByteArray& c) { return tapePayload(c, 0); }, CwzError::Kind::SqlServerPayload,
     SqlServerPayloadText},
    {"SqlServerPayloadCutShort", [](const QByteArray& c) { return tapePayload(c, 6); },
     CwzError::Kind::SqlServerPayload, SqlServerPayloadText},
    {"AnotherProgramsHeader", [](const QByteArray& c) { return QByteArray(512, 'x') + c.mid(512); }, std::nullopt,
     notProgramFile},
    {"UnsoundEngineBackup", unsoundBackup, std::nullopt, UnsoundBackupText},
};

class RefusedCwz : public CwzFile, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedCwz, ExtractThrowsAndLeavesNoFileVerifyReportsIt)
{
    const QString bad = path("bad.cwz");
    writeAll(bad, GetParam().damage(packedFile()));
    const QStringList before = files();
    const QString target = path("extracted.mdk");
    if (GetParam().extract) {
        EXPECT_EQ(kindOf([&] { ExtractStampedBackup(bad, target); }), *GetParam().extract);
        EXPECT_FALSE(QFile::exists(target));
        EXPECT_EQ(files(), before);
    } else {
        EXPECT_TRUE(ExtractStampedBackup(bad, target));
        QFile::remove(target);
    }
    const CwzVerification v = VerifyStampedBackup(bad);
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.problem, GetParam().problem());
    EXPECT_EQ(files(), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RefusedCwz, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(CwzFile, AnEngineBackupThatIsNotWholeAndSoundIsNotSaved)
{
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"truncated", backup_.left(backup_.size() - 100)},
        {"cut in its header", backup_.left(20)},
        {"a bit flipped", flipped(backup_, backup_.size() / 3, 5)},
        {"a byte appended", backup_ + 'x'},
        {"empty", QByteArray()},
    };
    const QString cwz = path("existing.cwz");
    for (const auto& c : cases) {
        writeAll(cwz, "the existing file");
        writeAll(backupFile_, c.bytes);
        const QStringList before = files();
        EXPECT_EQ(kindOf([&] { SaveStampedBackup(backupFile_, cwz, ProgramFileStamp("1", "a")); }),
                  CwzError::Kind::IncompleteBackup)
            << c.what;
        EXPECT_EQ(readAll(cwz), "the existing file") << c.what;
        EXPECT_EQ(files(), before) << c.what;
    }
    EXPECT_FALSE(SaveStampedBackup(path("absent.mdk"), cwz, ProgramFileStamp("1", "a")));
    EXPECT_FALSE(ExtractStampedBackup(path("absent.cwz"), path("out.mdk")));
    EXPECT_EQ(readAll(cwz), "the existing file");
}

TEST_F(CwzFile, BackupsOfFourGigabytesDoNotFitTheLengthField)
{
    // Sparse files: the size is decided before any byte is read.
    const QString big = path("big.mdk");
    for (const qint64 size : {qint64(1) << 32, (qint64(1) << 32) - 1}) {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(size));
        f.close();
        EXPECT_EQ(kindOf([&] { SaveStampedBackup(big, path("big.cwz"), ProgramFileStamp("1", "a")); }),
                  size > 0xFFFFFFFFLL ? CwzError::Kind::TooLarge : CwzError::Kind::IncompleteBackup);
        EXPECT_FALSE(QFile::exists(path("big.cwz")));
    }
}

TEST_F(CwzFile, UnwritableTargetsAreFileErrorsNamingTheFile)
{
    const QString cwz = path("good.cwz");
    writeAll(cwz, packedFile());
    const QString nowhere = path("no/such/folder/x");
    for (const auto& work : std::vector<std::function<void()>>{
             [&] { SaveStampedBackup(backupFile_, nowhere, ProgramFileStamp("1", "a")); },
             [&] { ExtractStampedBackup(cwz, nowhere); }}) {
        try {
            work();
            ADD_FAILURE() << "no error";
        } catch (const CwzError& e) {
            EXPECT_EQ(e.kind(), CwzError::Kind::FileError);
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("不能读写文件“%1”：").arg(nowhere)))
                << e.what();
        }
    }
}

TEST_F(CwzFile, SqlServerBackupFilesAreToldByTheirTapeBlock)
{
    writeAll(path("sql.bak"), QByteArray("TAPE") + QByteArray(1000, '\0'));
    EXPECT_TRUE(IsSqlServerBackupFile(path("sql.bak")));
    EXPECT_FALSE(IsSqlServerBackupFile(backupFile_));
    EXPECT_FALSE(IsSqlServerBackupFile(path("missing.bak")));
    EXPECT_FALSE(IsSqlServerBackupBytes("TAP"));
}

}  // namespace
