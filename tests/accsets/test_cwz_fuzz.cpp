// Damaged .cwz files at random: bit flips, cuts, inserted, dropped and
// appended bytes and random length fields on a valid file. Unpacking and verifying must either give
// back exactly the original backup or refuse with a CwzError or a problem;
// they must agree with each other, leave no file behind, and never reserve
// memory by the stated length (the peak resident size stays bounded).
//
//   VQ_FUZZ_ROUNDS   rounds (default 300)
//   VQ_FUZZ_SEED     seed (default: from the clock; printed to repeat a run)
#include "cwz_testdata.h"
#include "cwzfile.h"

#include <QDir>

#include <chrono>
#include <fstream>
#include <random>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;   // the sanitizer's quarantine keeps freed memory resident
#else
constexpr bool kSanitized = false;
#endif

std::uint64_t envNumber(const char* name, std::uint64_t fallback)
{
    bool ok = false;
    const std::uint64_t v = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? v : fallback;
}

// Peak resident size since the last reset, in KiB (0 when unknown).
long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

QByteArray mutate(QByteArray cwz, std::mt19937_64& random)
{
    auto pick = [&](std::uint64_t n) { return qsizetype(random() % n); };
    const int mutations = 1 + pick(3);
    for (int m = 0; m < mutations; ++m) {
        switch (pick(8)) {
        case 0:   // bit flips anywhere
            for (int i = 0, n = 1 + pick(8); i < n && !cwz.isEmpty(); ++i) {
                const qsizetype at = pick(cwz.size());
                cwz[at] = char(cwz[at] ^ (1 << pick(8)));
            }
            break;
        case 1:   // bit flips in the first bytes of the stream, where its header and first blocks are
            for (int i = 0, n = 1 + pick(4); i < n && cwz.size() > 520; ++i) {
                const qsizetype at = 516 + pick(std::min<qsizetype>(64, cwz.size() - 516));
                cwz[at] = char(cwz[at] ^ (1 << pick(8)));
            }
            break;
        case 2:   // cut
            cwz.truncate(pick(cwz.size() + 1));
            break;
        case 3: {   // random bytes inserted
            QByteArray bytes(1 + pick(64), '\0');
            for (char& c : bytes)
                c = char(random());
            cwz.insert(pick(cwz.size() + 1), bytes);
            break;
        }
        case 4: {   // a random length field, often a huge one
            if (cwz.size() < 516)
                break;
            const std::uint32_t length = pick(2) ? std::uint32_t(random()) : 0xFFFFFFFFu - std::uint32_t(pick(16));
            for (int i = 0; i < 4; ++i)
                cwz[512 + i] = char((length >> (8 * i)) & 0xFF);
            break;
        }
        case 6:   // code, name and padding: none of unpacking's business
            if (cwz.size() >= 512) {
                const qsizetype at = 96 + pick(512 - 96);
                cwz[at] = char(random());
            }
            break;
        case 7:   // bytes appended after the stream
            cwz.append(QByteArray(1 + pick(8), char(random())));
            break;
        case 5:   // a range dropped
            if (!cwz.isEmpty()) {
                const qsizetype at = pick(cwz.size());
                cwz.remove(at, 1 + pick(std::min<qsizetype>(4096, cwz.size() - at)));
            }
            break;
        }
    }
    return cwz;
}

TEST(CwzFuzz, DamagedFilesAreRefusedOrGiveTheBackupBack)
{
    const std::uint64_t rounds = envNumber("VQ_FUZZ_ROUNDS", 300);
    const std::uint64_t seed =
        envNumber("VQ_FUZZ_SEED", std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::printf("CwzFuzz: VQ_FUZZ_SEED=%llu VQ_FUZZ_ROUNDS=%llu\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(rounds));
    SCOPED_TRACE("VQ_FUZZ_SEED=" + std::to_string(seed));
    std::mt19937_64 random(seed);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray backup = cwztest::engine().backup;
    const QString backupFile = dir.filePath(QStringLiteral("books.mdk"));
    const QString good = dir.filePath(QStringLiteral("good.cwz"));
    cwztest::writeAll(backupFile, backup);
    ASSERT_TRUE(SaveStampedBackup(backupFile, good, ProgramFileStamp("001", QStringLiteral("账套"))));
    const QByteArray valid = cwztest::readAll(good);
    const QString bad = dir.filePath(QStringLiteral("bad.cwz"));
    const QString out = dir.filePath(QStringLiteral("out.mdk"));

    const bool peakKnown = !kSanitized && resetPeak() && peakKiB() > 0;
    const long peakBefore = peakKnown ? peakKiB() : 0;
    int extracted = 0;
    for (std::uint64_t round = 0; round < rounds; ++round) {
        const QByteArray damaged = mutate(valid, random);
        cwztest::writeAll(bad, damaged);
        bool unpacked = false;
        try {
            unpacked = ExtractStampedBackup(bad, out);
            ASSERT_TRUE(unpacked) << "round " << round;
            ASSERT_EQ(cwztest::readAll(out), backup) << "round " << round;
            // Only a file of the same length and stated length can hold the
            // whole original stream and nothing more.
            EXPECT_EQ(damaged.size(), valid.size()) << "round " << round;
            EXPECT_EQ(damaged.mid(512, 4), valid.mid(512, 4)) << "round " << round;
            ++extracted;
        } catch (const CwzError& e) {
            ASSERT_NE(e.kind(), CwzError::Kind::FileError) << "round " << round << ": " << e.what();
            ASSERT_FALSE(QFile::exists(out)) << "round " << round;
        }
        const CwzVerification v = VerifyStampedBackup(bad);
        // Verifying looks further than unpacking (the header, the backup's
        // checksum), never less far: it passes what unpacks to the sound
        // original under the program's header, and nothing else.
        EXPECT_EQ(v.ok, unpacked && IsProgramFileStamp(ReadFileStamp(bad))) << "round " << round;
        EXPECT_EQ(v.problem.isEmpty(), v.ok) << "round " << round;
        QFile::remove(out);
        ASSERT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3) << "round " << round;   // nothing left over
    }
    std::printf("CwzFuzz: %d of %llu damaged files still unpacked to the original\n", extracted,
                static_cast<unsigned long long>(rounds));
    if (peakKnown) {
        EXPECT_LT(peakKiB() - peakBefore, 64 * 1024) << "peak resident size grew by " << peakKiB() - peakBefore
                                                       << " KiB";
    }
}

}  // namespace
