// BACKUP DATABASE and RESTORE against a real instance: the file list of a
// backup, restoring under a new name with MOVE, WITH REPLACE, the errors
// SQL Server reports, and damaged backup files, which must leave every
// database and the data folder exactly as they were.
#include "backup_file.h"
#include "conformance_fixture.h"

#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

namespace fs = std::filesystem;

// The rows every backup in these tests holds: Chinese text and NULLs.
const char* const kFill =
    "create table voucher (id int primary key, summary varchar(60), amount money null, note nvarchar(20) null)\n"
    "insert into voucher values (1, N'提取现金', 1200.50, null)\n"
    "insert into voucher values (2, N'支付货款——华东公司', null, N'备注')\n"
    "insert into voucher values (3, 'plain', 0, '')\n";

const char* const kRowsQuery = "select isnull(summary, '<n>') + '|' + isnull(cast(amount as varchar(20)), '<n>') "
                               "+ '|' + isnull(note, '<n>') from voucher order by id";

const std::vector<std::string> kRows = {"提取现金|1200.50|<n>", "支付货款——华东公司|<n>|备注", "plain|0.00|"};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class BackupRestore : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        if (HasFatalFailure())
            return;
        exec(std::string("create database Src\nuse Src\n") + kFill + "use master");
        backup_ = root_ + "/Src.mdk";
        exec("backup database [Src] to disk = '" + backup_ + "'");
        ASSERT_TRUE(fs::is_regular_file(backup_));
    }

    std::string dataFolder() const { return folder_ + "/Data"; }
    std::string dataFile(const std::string& db) const { return dataFolder() + "/" + db + ".mdf"; }
    std::string logFile(const std::string& db) const { return dataFolder() + "/" + db + "_log.ldf"; }

    std::vector<std::string> rowsOf(const std::string& db)
    {
        return column("use [" + db + "]\n" + kRowsQuery + "\nuse master");
    }

    std::set<std::string> dataFolderFiles() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dataFolder()))
            names.insert(entry.path().filename().string());
        return names;
    }

    long long databaseRows(const std::string& name)
    {
        return scalar("select count(*) from master..sysdatabases where name = '" + name + "'").toInt64();
    }

    std::string restoreWithMove(const std::string& db, const std::string& file,
                                const std::string& dataLogical = "Src", const std::string& logLogical = "Src_log")
    {
        return "restore database [" + db + "] from disk = '" + file + "' with move '" + dataLogical + "' to '" +
               dataFile(db) + "', move '" + logLogical + "' to '" + logFile(db) + "'";
    }

    // Every error of a batch, as "number: text".
    std::vector<std::string> errorsOf(const std::string& sql)
    {
        BatchResult r = run(sql);
        std::vector<std::string> out;
        for (const SqlError& e : r.errors)
            out.push_back(std::to_string(e.number) + ": " + e.message);
        return out;
    }

    std::string backup_;
};

std::string terminating(const std::string& operation)
{
    return "3013: " + operation + " is terminating abnormally.";
}

TEST_F(BackupRestore, FileListOnlyDescribesBothFiles)
{
    ResultSet rs = rows("restore filelistonly from disk = '" + backup_ + "'");
    const std::vector<std::string> leading = {"LogicalName", "PhysicalName", "Type",  "FileGroupName",
                                              "Size",        "MaxSize",      "FileId"};
    ASSERT_GE(rs.columns.size(), leading.size());
    for (std::size_t i = 0; i < leading.size(); ++i)
        EXPECT_EQ(rs.columns[i].name, leading[i]) << "column " << i;
    ASSERT_EQ(rs.rows.size(), 2u);
    std::vector<std::string> types, logical, physical;
    for (std::size_t i = 0; i < rs.rows.size(); ++i) {
        types.push_back(rs.at(i, "Type").toString());
        logical.push_back(rs.at(i, "LogicalName").toString());
        physical.push_back(rs.at(i, "PhysicalName").toString());
    }
    EXPECT_EQ(types, (std::vector<std::string>{"D", "L"}));
    EXPECT_EQ(logical, (std::vector<std::string>{"Src", "Src_log"}));
    EXPECT_EQ(physical, (std::vector<std::string>{dataFile("Src"), logFile("Src")}));
}

TEST_F(BackupRestore, RestoreUnderANewNameWithMoveThenRenameTheLogicalFiles)
{
    BatchResult r = run(restoreWithMove("Copy1", backup_));
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_TRUE(fs::is_regular_file(dataFile("Copy1")));
    EXPECT_TRUE(fs::is_regular_file(logFile("Copy1")));
    EXPECT_EQ(rowsOf("Copy1"), kRows);
    EXPECT_EQ(rowsOf("Src"), kRows);

    ResultSet row = rows("select filename, logfilename, datalogical, loglogical from master..sysdatabases "
                         "where name = 'Copy1'");
    ASSERT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(row.at(0, "filename").toString(), dataFile("Copy1"));
    EXPECT_EQ(row.at(0, "logfilename").toString(), logFile("Copy1"));
    // The logical names come from the backup until renamed.
    EXPECT_EQ(row.at(0, "datalogical").toString(), "Src");
    EXPECT_EQ(row.at(0, "loglogical").toString(), "Src_log");

    exec("alter database [Copy1] modify file (name=[Src], NewName=[Copy1])");
    exec("alter database [Copy1] modify file (name=[Src_log], NewName=[Copy1_log])");
    const std::string second = root_ + "/Copy1.mdk";
    exec("backup database [Copy1] to disk = '" + second + "'");
    ResultSet list = rows("restore filelistonly from disk = '" + second + "'");
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.at(0, "LogicalName").toString(), "Copy1");
    EXPECT_EQ(list.at(1, "LogicalName").toString(), "Copy1_log");
    EXPECT_EQ(list.at(0, "PhysicalName").toString(), dataFile("Copy1"));

    // The restored database is an ordinary one: writable, usable, droppable.
    exec("insert into Copy1..voucher (id, summary) values (4, 'x')");
    EXPECT_EQ(text("select count(*) from Copy1..voucher"), "4");
    EXPECT_EQ(text("select count(*) from Src..voucher"), "3");
}

TEST_F(BackupRestore, RestoreWithReplaceReplacesTheRows)
{
    exec("use Src\ndelete from voucher where id = 1\nupdate voucher set note = 'changed'\n"
         "insert into voucher values (9, 'later', 1, null)\nuse master");
    exec("restore database Src from disk = '" + backup_ + "' with replace");
    EXPECT_EQ(rowsOf("Src"), kRows);

    // Over a database of another name: its own table goes, the backup's comes.
    exec("create database Other\nuse Other\ncreate table own (a int)\ninsert into own values (1)\nuse master");
    exec("restore database Other from disk = '" + backup_ + "' with replace");
    EXPECT_EQ(rowsOf("Other"), kRows);
    EXPECT_EQ(text("select count(*) from Other..sysobjects where name = 'own'"), "0");
    EXPECT_EQ(text("select filename from master..sysdatabases where name = 'Other'"), dataFile("Other"));
}

TEST_F(BackupRestore, RestoreOverAnExistingDatabaseNeedsReplace)
{
    exec("use Src\ndelete from voucher where id = 3\nuse master");
    for (const std::string target : {"Src", "Other"}) {
        if (target == "Other")
            exec(std::string("create database Other\nuse Other\n") + kFill + "delete from voucher where id = 3\n" +
                 "use master");
        std::vector<std::string> errors = errorsOf("restore database [" + target + "] from disk = '" + backup_ + "'");
        ASSERT_EQ(errors.size(), 2u) << target;
        const std::string number = errors[0].substr(0, 6);
        EXPECT_TRUE(number == "3159: " || number == "3154: ") << errors[0];
        EXPECT_EQ(errors[1], terminating("RESTORE DATABASE"));
        EXPECT_EQ(rowsOf(target), (std::vector<std::string>{kRows[0], kRows[1]})) << target;
    }
}

TEST_F(BackupRestore, RestoreOfADatabaseInUseIs3101)
{
    exec("use Src\ndelete from voucher where id = 3\nuse master");
    auto other = connect(kSaPassword, "Src");
    std::vector<std::string> errors = errorsOf("restore database Src from disk = '" + backup_ + "' with replace");
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "3101: Exclusive access could not be obtained because the database is in use.",
                          terminating("RESTORE DATABASE")}));
    EXPECT_EQ(other->query("select count(*) from voucher").rows.at(0).at(0).toInt64(), 2);
    EXPECT_EQ(rowsOf("Src"), (std::vector<std::string>{kRows[0], kRows[1]}));

    other->execute("use master");
    exec("restore database Src from disk = '" + backup_ + "' with replace");
    EXPECT_EQ(rowsOf("Src"), kRows);
}

struct Damage {
    const char* name;
    std::string (*apply)(const std::string& backup);
};

const Damage kDamages[] = {
    {"Truncated", [](const std::string& b) { return b.substr(0, b.size() * 2 / 3); }},
    {"CutAtTheEnd", [](const std::string& b) { return b.substr(0, b.size() - 1); }},
    {"OneByteFlipped",
     [](const std::string& b) {
         std::string d = b;
         d[d.size() / 2] = static_cast<char>(d[d.size() / 2] ^ 0x01);
         return d;
     }},
    {"TextFile", [](const std::string&) { return std::string("use master\r\nselect 1\r\n-- not a backup\r\n"); }},
    {"Empty", [](const std::string&) { return std::string(); }},
};

class DamagedBackups : public BackupRestore, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedBackups, AreRefusedAndChangeNothing)
{
    const std::string bad = root_ + "/bad.mdk";
    writeFile(bad, GetParam().apply(readFile(backup_)));
    // An existing target whose rows differ from the backup's.
    exec("use Src\ndelete from voucher where id = 2\nuse master");
    const std::vector<std::string> before = rowsOf("Src");
    const std::set<std::string> files = dataFolderFiles();
    const std::string malformed = "3241: The media family on device '" + bad +
                                  "' is incorrectly formed. SQL Server cannot process this media family.";

    EXPECT_EQ(errorsOf("restore database Src from disk = '" + bad + "' with replace"),
              (std::vector<std::string>{malformed, terminating("RESTORE DATABASE")}));
    EXPECT_EQ(errorsOf(restoreWithMove("Fresh", bad) + ", replace"),
              (std::vector<std::string>{malformed, terminating("RESTORE DATABASE")}));
    std::vector<std::string> list = errorsOf("restore filelistonly from disk = '" + bad + "'");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], malformed);
    EXPECT_EQ(list[1].substr(0, 6), "3013: ");

    EXPECT_EQ(rowsOf("Src"), before);
    EXPECT_EQ(databaseRows("Fresh"), 0);
    EXPECT_EQ(dataFolderFiles(), files);
    // The intact backup still restores afterwards.
    exec("restore database Src from disk = '" + backup_ + "' with replace");
    EXPECT_EQ(rowsOf("Src"), kRows);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedBackups, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// The check the .cwz packer runs over a backup as it streams past: only
// the whole, unchanged backup is complete, however the bytes are cut up.
TEST_F(BackupRestore, StreamCheckAcceptsOnlyTheWholeUnchangedBackup)
{
    const std::string whole = readFile(backup_);
    const std::size_t dataStart = 16 + (static_cast<unsigned char>(whole[12]) |
                                        static_cast<unsigned char>(whole[13]) << 8) + 8;
    ASSERT_LT(dataStart + 12, whole.size());
    auto check = [](const std::string& bytes, std::size_t chunk) {
        BackupStreamCheck c;
        for (std::size_t at = 0; at < bytes.size(); at += chunk)
            c.update(bytes.data() + at, std::min(chunk, bytes.size() - at));
        return c;
    };

    for (std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(7), std::size_t(4096),
                              std::size_t(65537), whole.size()}) {
        const BackupStreamCheck c = check(whole, chunk);
        EXPECT_TRUE(c.complete()) << "chunk " << chunk;
        EXPECT_EQ(c.header().database, "Src");
        EXPECT_EQ(c.header().dataLogical, "Src");
        EXPECT_EQ(c.expectedSize(), whole.size());
        EXPECT_EQ(c.header().dataSize, whole.size() - dataStart - 12);
        // Cut anywhere, in odd pieces: never complete.
        for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(15), std::size_t(16), dataStart - 1,
                                dataStart, whole.size() / 2, whole.size() - 12, whole.size() - 1})
            EXPECT_FALSE(check(whole.substr(0, cut), chunk).complete()) << "cut " << cut << ", chunk " << chunk;
        const BackupStreamCheck appended = check(whole + '\0', chunk);
        EXPECT_FALSE(appended.complete()) << "chunk " << chunk;
        EXPECT_FALSE(appended.plausible()) << "chunk " << chunk;
    }

    // One bit flipped: at every byte of the parts around the data, and at a
    // stride through the data, each bit in turn.
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < whole.size(); ++i)
        if (i < dataStart || i >= whole.size() - 12 || i % 61 == 0)
            positions.push_back(i);
    for (std::size_t i : positions) {
        std::string damaged = whole;
        damaged[i] = static_cast<char>(damaged[i] ^ (1 << (i % 8)));
        EXPECT_FALSE(check(damaged, i % 2 ? 4093 : whole.size()).complete()) << "bit flipped at " << i;
    }
}

// A backup whose data is more than 4 GiB, handed over in one piece: the
// checksum covers every byte, not the piece's size cut to 32 bits. The
// data are zero pages that are never written, so they take no memory, but
// the pass over them takes tens of seconds: run it by hand with
//   engine_tests --gtest_also_run_disabled_tests --gtest_filter='*FourGigabytes*'
TEST(BackupStreamCheckPieces, DISABLED_APieceOfMoreThanFourGigabytesIsChecksummedWhole)
{
    const std::uint64_t dataSize = (std::uint64_t(1) << 32) + 16;
    const std::string text = "database=Big\ndatalogical=Big\nloglogical=Big_log\n";
    std::string front = "VQSQLBAK";
    auto put = [&](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            front.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    put(1, 4);
    put(text.size(), 4);
    front += text;
    put(dataSize, 8);

    // The CRC-32 of the zeros, by doubling the one of a mebibyte.
    const std::vector<unsigned char> mebibyte(1 << 20, 0);
    uLong zeros = crc32_z(0, mebibyte.data(), mebibyte.size());
    for (std::uint64_t n = mebibyte.size(); n < (std::uint64_t(1) << 32); n *= 2)
        zeros = crc32_combine(zeros, zeros, static_cast<z_off_t>(n));
    zeros = crc32_combine(zeros, crc32_z(0, mebibyte.data(), 16), 16);
    const uLong crc = crc32_combine(crc32_z(0, reinterpret_cast<const Bytef*>(front.data()), front.size()), zeros,
                                    static_cast<z_off_t>(dataSize));

    const std::size_t total = front.size() + dataSize + 12;
    void* map = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* bytes = static_cast<char*>(map);
    std::memcpy(bytes, front.data(), front.size());
    for (int i = 0; i < 4; ++i)
        bytes[total - 12 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    std::memcpy(bytes + total - 8, "VQSQLEND", 8);

    BackupStreamCheck whole;
    whole.update(bytes, total);
    EXPECT_TRUE(whole.complete());
    EXPECT_EQ(whole.header().dataSize, dataSize);
    bytes[total - 12] = static_cast<char>(bytes[total - 12] ^ 1);
    BackupStreamCheck wrong;
    wrong.update(bytes, total);
    EXPECT_FALSE(wrong.complete());
    munmap(map, total);
}

TEST_F(BackupRestore, MoveOfAnUnknownLogicalNameIs3234)
{
    const std::set<std::string> files = dataFolderFiles();
    std::vector<std::string> errors = errorsOf(restoreWithMove("Fresh", backup_, "Src", "NoSuchLog"));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].substr(0, 6), "3234: ") << errors[0];
    EXPECT_NE(errors[0].find("'NoSuchLog'"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1], terminating("RESTORE DATABASE"));
    EXPECT_EQ(databaseRows("Fresh"), 0);
    EXPECT_EQ(dataFolderFiles(), files);
}

TEST_F(BackupRestore, MissingBackupFileIs3201)
{
    const std::string missing = root_ + "/absent.mdk";
    std::vector<std::string> errors = errorsOf(restoreWithMove("Fresh", missing));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("3201: Cannot open backup device '" + missing + "'.", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1], terminating("RESTORE DATABASE"));
    EXPECT_EQ(databaseRows("Fresh"), 0);
    std::vector<std::string> list = errorsOf("restore filelistonly from disk = '" + missing + "'");
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].substr(0, 6), "3201: ");
}

// The restore script the program runs, as one batch, placeholders filled in.
TEST_F(BackupRestore, TheProgramsRestoreScriptRunsAsOneBatch)
{
    const std::vector<std::string> script = {"use master",
                                             "restore database [##DBName]",
                                             "from disk = '##MDKFile'",
                                             "with move '##MDFLogicName' to '##MDFFile',",
                                             "     move '##LDFLogicName' to '##LDFFile', Replace",
                                             "",
                                             "use master",
                                             "alter Database [##DBName]",
                                             "modify file (name=[##MDFLogicName],NewName=[##DBName])",
                                             "",
                                             "use master",
                                             "alter Database [##DBName]",
                                             "modify file (name=[##LDFLogicName],NewName=[##DBName_log])",
                                             ""};
    const std::string name = "VQTCW_002";
    // The logical names as the program reads them from the backup.
    ResultSet list = rows("restore filelistonly from disk = '" + backup_ + "'");
    ASSERT_EQ(list.rows.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> fills = {
        {"##MDFLogicName", list.at(0, "LogicalName").toString()},
        {"##LDFLogicName", list.at(1, "LogicalName").toString()},
        {"##MDKFile", backup_},
        {"##MDFFile", dataFile(name)},
        {"##LDFFile", logFile(name)},
        {"##DBName", name}};
    std::string batch;
    for (std::size_t i = 0; i < script.size(); ++i) {
        std::string line = script[i];
        for (const auto& [key, value] : fills)
            for (auto pos = line.find(key); pos != std::string::npos; pos = line.find(key, pos + value.size()))
                line.replace(pos, key.size(), value);
        batch += line;
        if (i + 1 < script.size())
            batch += "\r\n";
    }
    ASSERT_EQ(batch.find("##"), std::string::npos) << batch;

    exec("create database Working\nuse Working");
    ASSERT_EQ(db_->currentDatabase(), "Working");
    BatchResult r = run(batch);
    EXPECT_TRUE(r.ok()) << describeErrors(r) << batch;
    EXPECT_EQ(db_->currentDatabase(), "master");
    ResultSet row = rows("select filename, logfilename, datalogical, loglogical from master..sysdatabases "
                         "where name = '" + name + "'");
    ASSERT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(row.at(0, "datalogical").toString(), name);
    EXPECT_EQ(row.at(0, "loglogical").toString(), name + "_log");
    EXPECT_EQ(row.at(0, "filename").toString(), dataFile(name));
    EXPECT_EQ(row.at(0, "logfilename").toString(), logFile(name));
    EXPECT_EQ(rowsOf(name), kRows);

    // Again over the database it made (the script says Replace): the restore
    // brings back the backup's logical names, which the renames then find.
    exec("use " + name + "\ndelete from voucher");
    r = run(batch);
    EXPECT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(db_->currentDatabase(), "master");
    EXPECT_EQ(rowsOf(name), kRows);
    EXPECT_EQ(text("select datalogical + ',' + loglogical from master..sysdatabases where name = '" + name + "'"),
              name + "," + name + "_log");
}

}  // namespace
