// accset_bench: the Backup and Restore commands' file work on account sets
// of 10 MB, 100 MB and (with --large) 1 GB, beside the plain operations it
// is made of, timed in the same run, with the memory each step takes.
//
//   accset_bench [--large] [megabytes ...]     default 10 100; --large adds 1024
//
// Each account set is a database in a throwaway instance whose voucher
// table holds rows like a set of books (dates, voucher numbers, account
// codes, Chinese summaries, amounts), filled until its data file reaches
// the size asked for. For each size:
//   backup   BACKUP DATABASE to a file, then SaveStampedBackup into a .cwz;
//            baseline: the same BACKUP, then zlib level 9 streaming over
//            the backup's bytes into a file, synced as the .cwz is
//   restore  ExtractStampedBackup into a backup file, then RESTORE DATABASE;
//            baseline: inflating the .cwz payload into a file (synced), and
//            the same RESTORE
// Times are the best of several runs: packing 3 below 50 MB, 2 below 500 MB,
// else 1; unpacking 7, 5 and 3.
// Memory is the peak resident size above the resident size before the step
// (/proc/self/clear_refs resets the peak, VmHWM reads it).
#include "connection.h"
#include "cwzfile.h"
#include "instance.h"
#include "tempfolder.h"

#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(vqsql::Connection& c, const std::string& sql)
{
    vqsql::BatchResult r = c.run(sql);
    if (!r.ok()) {
        std::fprintf(stderr, "%s\n%s\n", sql.substr(0, 300).c_str(), r.errors.front().format().c_str());
        std::exit(1);
    }
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "accset_bench: %s\n", what.c_str());
    std::exit(1);
}

long statusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return 0;
}

// The peak resident size a step reaches above the resident size before it.
double peakMiB(const std::function<void()>& work)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKiB("VmRSS:");
    work();
    return (statusKiB("VmHWM:") - before) / 1024.0;
}

// ---- an account set of about the size asked for --------------------------

const char* const kSummaries[] = {
    "提取现金备用",   "支付货款",         "收到货款",           "报销差旅费",     "计提本月折旧",
    "结转销售成本",   "发放本月工资",     "缴纳增值税",         "购买办公用品",   "收回应收账款",
    "支付电费",       "支付水费",         "预付下季度房租",     "银行手续费",     "收到投资款",
    "归还短期借款",   "计提应付利息",     "采购原材料入库",     "产品完工入库",   "结转本年利润",
    "支付广告费",     "员工借支差旅费",   "收到出口退税",       "支付运费",       "计提坏账准备",
};
const char* const kParties[] = {"", "——华东公司", "——宏达贸易有限公司", "——新星电子", "——本市供电局",
                                "——工商银行城西支行", "——远大物流"};
const char* const kAccounts[] = {"1001",   "1002",   "100201", "1122",   "112201", "1221", "1403",
                                 "1601",   "1602",   "2202",   "220201", "2211",   "2221", "222101",
                                 "4103",   "5001",   "6001",   "6401",   "6602",   "660201"};
const char* const kMakers[] = {"张会计", "李出纳", "王主管", "赵明", "陈晓红"};

// Rows of one INSERT: a voucher of two to four entries, debit and credit equal.
std::string voucherRows(std::mt19937& random, int& key, int voucher)
{
    auto pick = [&](auto& list) { return list[random() % std::size(list)]; };
    const int day = int(random() % 365);
    char date[16];
    std::snprintf(date, sizeof date, "2024-%02d-%02d", 1 + day / 31 % 12, 1 + day % 28);
    const std::string summary = std::string(pick(kSummaries)) + pick(kParties);
    const std::string maker = pick(kMakers);
    const int entries = 2 + int(random() % 3);
    const long cents = long(random() % 5000000) + 100;
    std::string rows;
    for (int e = 1; e <= entries; ++e) {
        const bool debit = e < entries;
        const long amount = debit ? cents / (entries - 1) : cents / (entries - 1) * (entries - 1);
        char row[512];
        std::snprintf(row, sizeof row, "%s(%d, '%s', %d, %d, '%s', '%s', %ld.%02ld, %ld.%02ld, '%s', %s, %s)",
                      rows.empty() ? "" : ",", ++key, date, voucher, e, pick(kAccounts), summary.c_str(),
                      debit ? amount / 100 : 0L, debit ? amount % 100 : 0L, debit ? 0L : amount / 100,
                      debit ? 0L : amount % 100, maker.c_str(), random() % 4 ? "'王主管'" : "null",
                      random() % 7 ? "null" : "'附单据2张'");
        rows += row;
    }
    return rows;
}

// Makes the database with its voucher table; returns its rows.
long long makeAccountSet(vqsql::Connection& c, const std::string& db, const std::string& dataFile,
                         double megabytes)
{
    run(c, "create database [" + db + "]");
    run(c, "use [" + db + "]");
    run(c, "create table Voucher (KeyID int primary key, VDate datetime not null, VNo int not null, "
           "EntryNo smallint not null, AccCode varchar(20) not null, Summary varchar(100) not null, "
           "Debit money not null, Credit money not null, Maker varchar(20) not null, Checker varchar(20) null, "
           "Memo varchar(60) null)");
    // A year of distinct vouchers, then copies of them in later years with
    // other amounts, until the file is large enough.
    std::mt19937 random(20240101);
    int key = 0;
    for (int voucher = 1; voucher <= 6000;) {
        std::string batch = "insert into Voucher values ";
        for (int i = 0; i < 100; ++i, ++voucher)
            batch += (i ? "," : "") + voucherRows(random, key, voucher);
        run(c, batch);
    }
    // The data file lags behind in the engine's write-ahead log, so the
    // size of a row is taken from a backup of the first year; the later
    // years are copies, whose rows are as large.
    const std::string probe = dataFile + ".probe";
    run(c, "backup database [" + db + "] to disk = '" + probe + "'");
    const double rowBytes = double(fs::file_size(probe)) / key;
    fs::remove(probe);
    const long long wanted = (long long)(megabytes * 1048576.0 / rowBytes);
    for (long long rows = key, year = 1; rows < wanted; rows *= 2, ++year) {
        // The last copy takes only as many rows as the size still needs.
        const long long take = std::min(rows, wanted - rows);
        run(c, "insert into Voucher select KeyID + " + std::to_string(rows) + ", dateadd(day, " +
                   std::to_string(365 * year) + " + KeyID % 3, VDate), VNo + " + std::to_string(6000 * year) +
                   ", EntryNo, AccCode, Summary, round(Debit * 1.0" + std::to_string(year % 10) +
                   ", 2), round(Credit * 1.0" + std::to_string(year % 10) +
                   ", 2), Maker, Checker, Memo from Voucher where KeyID <= " + std::to_string(take));
    }
    run(c, "use master");
    return c.query("select count(*) from [" + db + "]..Voucher").rows.at(0).at(0).toInt64();
}

// ---- the baselines: zlib alone over the same bytes -----------------------

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void syncAndClose(File& out, const std::string& path)
{
    if (std::fflush(out.get()) != 0 || fsync(fileno(out.get())) != 0)
        fail("cannot write " + path);
    out.reset();
}

void deflateFile(const std::string& from, const std::string& to)
{
    File in(std::fopen(from.c_str(), "rb")), out(std::fopen(to.c_str(), "wb"));
    if (!in || !out)
        fail("cannot open " + from + " or " + to);
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> input(kChunk), output(kChunk);
    int flush = Z_NO_FLUSH;
    do {
        z.avail_in = uInt(std::fread(input.data(), 1, kChunk, in.get()));
        z.next_in = input.data();
        flush = std::feof(in.get()) ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = output.data();
            z.avail_out = uInt(kChunk);
            deflate(&z, flush);
            std::fwrite(output.data(), 1, kChunk - z.avail_out, out.get());
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    syncAndClose(out, to);
}

void inflateFile(const std::string& from, long offset, const std::string& to)
{
    File in(std::fopen(from.c_str(), "rb")), out(std::fopen(to.c_str(), "wb"));
    if (!in || !out || std::fseek(in.get(), offset, SEEK_SET) != 0)
        fail("cannot open " + from + " or " + to);
    z_stream z{};
    inflateInit(&z);
    std::vector<unsigned char> input(kChunk), output(kChunk);
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        z.avail_in = uInt(std::fread(input.data(), 1, kChunk, in.get()));
        if (z.avail_in == 0)
            fail("the stream of " + from + " ends early");
        z.next_in = input.data();
        do {
            z.next_out = output.data();
            z.avail_out = uInt(kChunk);
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END)
                fail("the stream of " + from + " is damaged");
            std::fwrite(output.data(), 1, kChunk - z.avail_out, out.get());
        } while (z.avail_out == 0 && rc != Z_STREAM_END);
    }
    inflateEnd(&z);
    syncAndClose(out, to);
}

// ---- one size --------------------------------------------------------------

struct Figures {
    double megabytes = 0;
    long long rows = 0;
    double dataMB = 0, backupMB = 0, cwzMB = 0;
    // seconds, best of the runs
    double backup = 1e9, save = 1e9, deflate = 1e9, extract = 1e9, inflate = 1e9, restore = 1e9;
    // MiB above the resident size before each step
    double backupPeak = 0, savePeak = 0, extractPeak = 0, restorePeak = 0;
};

Figures measure(vqsql::Connection& c, const std::string& instance, const fs::path& work, double megabytes)
{
    Figures f;
    f.megabytes = megabytes;
    const std::string db = "Books" + std::to_string(int(megabytes));
    const std::string data = instance + "/Data/";
    std::printf("filling %s to %.0f MB ...\n", db.c_str(), megabytes);
    std::fflush(stdout);
    f.rows = makeAccountSet(c, db, data + db + ".mdf", megabytes);
    f.dataMB = fs::file_size(data + db + ".mdf") / 1048576.0;

    const std::string backup = (work / "backup.tmp").string();
    const std::string cwz = (work / (db + ".cwz")).string();
    const std::string plain = (work / "plain.z").string();
    const std::string extracted = (work / "extracted.tmp").string();
    const std::string inflated = (work / "inflated.tmp").string();
    const TMWFileStamp stamp = ProgramFileStamp(QString::fromStdString(db), QStringLiteral("性能测试账套"));
    // Packing at level 9 takes a minute a gigabyte: fewer runs of it at the
    // larger sizes. Unpacking is quick and its small sizes are at the mercy
    // of the disk's sync: more runs. Ours and the baseline take turns first.
    const int packingRuns = megabytes < 50 ? 3 : megabytes < 500 ? 2 : 1;
    for (int i = 0; i < packingRuns; ++i) {
        std::printf("  packing, run %d of %d\n", i + 1, packingRuns);
        std::fflush(stdout);
        double t = 0;
        f.backupPeak = std::max(f.backupPeak, peakMiB([&] {
            t = seconds([&] { run(c, "backup database [" + db + "] to disk = '" + backup + "'"); });
        }));
        f.backup = std::min(f.backup, t);
        const auto baseline = [&] { f.deflate = std::min(f.deflate, seconds([&] { deflateFile(backup, plain); })); };
        if (i % 2 == 0)
            baseline();
        f.savePeak = std::max(f.savePeak, peakMiB([&] {
            t = seconds([&] {
                if (!SaveStampedBackup(QString::fromStdString(backup), QString::fromStdString(cwz), stamp))
                    fail("no backup to save");
            });
        }));
        f.save = std::min(f.save, t);
        if (i % 2 == 1)
            baseline();
    }
    const int unpackingRuns = megabytes < 50 ? 7 : megabytes < 500 ? 5 : 3;
    for (int i = 0; i < unpackingRuns; ++i) {
        std::printf("  unpacking, run %d of %d\n", i + 1, unpackingRuns);
        std::fflush(stdout);
        const auto baseline = [&] {
            f.inflate = std::min(f.inflate, seconds([&] { inflateFile(cwz, 516, inflated); }));
        };
        if (i % 2 == 0)
            baseline();
        double t = 0;
        f.extractPeak = std::max(f.extractPeak, peakMiB([&] {
            t = seconds([&] {
                if (!ExtractStampedBackup(QString::fromStdString(cwz), QString::fromStdString(extracted)))
                    fail("no .cwz to extract");
            });
        }));
        f.extract = std::min(f.extract, t);
        if (i % 2 == 1)
            baseline();
        const std::string restored = db + "R";
        f.restorePeak = std::max(f.restorePeak, peakMiB([&] {
            t = seconds([&] {
                run(c, "restore database [" + restored + "] from disk = '" + extracted + "' with move '" + db +
                           "' to '" + data + restored + ".mdf', move '" + db + "_log' to '" + data + restored +
                           "_log.ldf'");
            });
        }));
        f.restore = std::min(f.restore, t);
        run(c, "drop database [" + restored + "]");
        if (fs::file_size(extracted) != fs::file_size(backup) || fs::file_size(inflated) != fs::file_size(backup))
            fail("the unpacked backups differ in size from the backup");
        fs::remove(extracted);
        fs::remove(inflated);
    }
    f.backupMB = fs::file_size(backup) / 1048576.0;
    f.cwzMB = fs::file_size(cwz) / 1048576.0;
    run(c, "drop database [" + db + "]");
    for (const auto& file : {backup, cwz, plain, extracted, inflated})
        fs::remove(file);
    return f;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<double> sizes;
    bool large = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--large") == 0)
            large = true;
        else if (std::atof(argv[i]) > 0)
            sizes.push_back(std::atof(argv[i]));
        else
            fail(std::string("unknown argument ") + argv[i] + " (usage: accset_bench [--large] [megabytes ...])");
    }
    if (sizes.empty())
        sizes = {10, 100};
    if (large)
        sizes.push_back(1024);

    vqbench::TempFolder root("accset-bench");
    const std::string instance = (root.path / "instance").string();
    vqsql::initialiseInstance(instance, "");
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
    c.setCommandTimeout(0);

    std::vector<Figures> figures;
    for (double megabytes : sizes)
        figures.push_back(measure(c, instance, root.path, megabytes));

    std::printf("\naccset_bench: zlib %s; best of 3/2/1 runs packing, 7/5/3 unpacking (below 50 MB/500 MB/else); "
                "seconds, MiB\n\n",
                zlibVersion());
    std::printf("%-8s %10s %9s %9s %9s %7s\n", "size", "rows", "data MB", "backup", ".cwz", "packed");
    for (const Figures& f : figures)
        std::printf("%-8.0f %10lld %9.1f %9.1f %9.1f %6.1f%%\n", f.megabytes, f.rows, f.dataMB, f.backupMB, f.cwzMB,
                    100.0 * f.cwzMB / f.backupMB);

    std::printf("\nbackup: ours = BACKUP + SaveStampedBackup, baseline = BACKUP + zlib -9 to a file\n");
    std::printf("%-8s %8s %8s %8s %8s %9s %7s %12s %10s\n", "size", "BACKUP", "Save", "zlib-9", "ours", "baseline",
                "ratio", "peak BACKUP", "peak Save");
    for (const Figures& f : figures)
        std::printf("%-8.0f %8.3f %8.3f %8.3f %8.3f %9.3f %6.3fx %12.1f %10.1f\n", f.megabytes, f.backup, f.save,
                    f.deflate, f.backup + f.save, f.backup + f.deflate, (f.backup + f.save) / (f.backup + f.deflate),
                    f.backupPeak, f.savePeak);

    std::printf("\nrestore: Extract = ExtractStampedBackup, inflate = zlib inflate to a file\n");
    std::printf("%-8s %8s %8s %8s %16s %24s %13s %12s\n", "size", "Extract", "inflate", "RESTORE", "Extract/inflate",
                "(Extract+R)/(inflate+R)", "peak Extract", "peak RESTORE");
    for (const Figures& f : figures)
        std::printf("%-8.0f %8.3f %8.3f %8.3f %15.3fx %23.3fx %13.1f %12.1f\n", f.megabytes, f.extract, f.inflate,
                    f.restore, f.extract / f.inflate, (f.extract + f.restore) / (f.inflate + f.restore),
                    f.extractPeak, f.restorePeak);
    return 0;
}
