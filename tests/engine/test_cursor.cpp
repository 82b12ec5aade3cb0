// Cursors: the rows of one SELECT read on demand. They must be the rows
// query() gives, read in any chunk size; a cursor refuses what is not one
// SELECT; its connection runs nothing else while it is open; other
// connections go on writing; closing it, reaching its end or closing the
// connection lets go of everything it held.
#include "conformance_fixture.h"

#include <sqlite3.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Rows = std::vector<std::vector<Value>>;

// Rows and columns as text with everything that tells them apart.
std::vector<std::string> describe(const Rows& rows)
{
    static const char* const kinds[] = {"null", "int", "number", "text", "datetime", "bytes"};
    std::vector<std::string> out;
    for (const auto& row : rows) {
        std::string line;
        for (const Value& v : row)
            line += std::string(kinds[static_cast<int>(v.kind)]) + ":" + std::to_string(v.integer) + ":" +
                    std::to_string(v.number) + ":" + v.text + " | ";
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> describe(const std::vector<Column>& columns)
{
    std::vector<std::string> out;
    for (const Column& c : columns)
        out.push_back(c.name + " " + c.type.toString());
    return out;
}

// Every row of a cursor, `chunk` rows a fetch; a short fetch must end it.
Rows readAll(RowCursor& cursor, std::size_t chunk)
{
    Rows rows;
    for (;;) {
        EXPECT_FALSE(cursor.atEnd());
        if (cursor.fetch(chunk, rows) < chunk)
            break;
    }
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_EQ(cursor.fetch(chunk, rows), 0u);
    return rows;
}

// A checkpoint that must empty the whole log: refused (SQLITE_BUSY) while
// some connection still reads an older snapshot of the file.
int truncatingCheckpoint(const std::string& file)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // A first read makes the new handle see that the file is in WAL mode.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    int logFrames = -1;
    if (rc == SQLITE_OK)
        rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, nullptr);
    sqlite3_close(db);
    EXPECT_NE(logFrames, -1) << "not in WAL mode: " << file;
    return rc;
}

// The first error a call throws (number 0 when it throws none).
template <class Call>
SqlError thrownError(Call call)
{
    try {
        call();
    } catch (const SqlException& e) {
        return e.first();
    }
    return SqlError{0, 0, 0, 0, "(no error)"};
}

class Cursor : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create database Books");
        books_ = connect(kSaPassword, "Books");
        books_->execute(
            "create table Ledger (KeyID int primary key, Summary varchar(40), Posted datetime, Amount money, "
            "Note varchar(10) null)\n"
            "insert into Ledger values (1, '期初余额', '2026-01-01 00:00:00', 1000.5, null)\n"
            "insert into Ledger values (2, '购入办公用品', '2026-02-03 10:11:12.123', -23.4567, 'ok')\n"
            "insert into Ledger values (3, null, null, null, '')\n"
            "insert into Ledger values (4, 'O''Brien 报销', '2026-12-09 23:59:59.997', 0, '备注')\n"
            "create table Account (Code varchar(8) primary key, Name varchar(20))\n"
            "insert into Account values ('1001', '库存现金'), ('1002', '银行存款')\n"
            "declare @i int = 5\n"
            "while @i <= 40 begin\n"
            "  insert into Ledger values (@i, '第' + convert(varchar(10), @i) + '笔', "
            "dateadd(day, @i, '2026-03-01'), @i * 1.25, case when @i % 3 = 0 then null else '1001' end)\n"
            "  set @i = @i + 1\n"
            "end");
    }

    void TearDown() override
    {
        books_.reset();
        EngineFixture::TearDown();
    }

    long long count(const std::string& table)
    {
        return books_->query("select count(*) from " + table).rows.at(0).at(0).integer;
    }

    std::unique_ptr<Connection> books_;
    Rows rows_;
};

TEST_F(Cursor, GivesTheRowsAndColumnsOfQueryInAnyChunkSize)
{
    for (const std::string sql : {
             "select * from Ledger order by KeyID desc",
             "select KeyID, Summary as 摘要, Amount * 2, Posted from Ledger where Posted < '2026-03-20' order by 1",
             "select l.KeyID, a.Name, l.Note from Ledger l left join Account a on a.Code = l.Note order by l.KeyID",
             "select top 5 Summary, convert(varchar(19), Posted, 120) from Books.dbo.Ledger order by Amount desc",
             "select KeyID from Ledger where KeyID > 1000",
             "select count(*), sum(Amount), max(Posted) from Books..Ledger;",
         }) {
        SCOPED_TRACE(sql);
        const ResultSet expected = books_->query(sql);
        for (std::size_t chunk : {1, 7, 100000}) {
            SCOPED_TRACE(chunk);
            RowCursor cursor = books_->openCursor(sql);
            EXPECT_EQ(describe(cursor.columns()), describe(expected.columns));
            EXPECT_EQ(describe(readAll(cursor, chunk)), describe(expected.rows));
        }
    }
}

TEST_F(Cursor, FailsAsQueryWouldWhenOpeningOrReading)
{
    for (const std::string sql : {
             "select * from NoSuchTable",                                   // 208
             "select NoSuchColumn from Ledger",                             // 207
             "select * from\nLedger where",                                 // syntax, line 2
             "select * from NoSuchDb..Ledger",                              // 911
             "select KeyID, convert(int, Summary) from Ledger order by 1",  // 245, at the fourth row
         }) {
        SCOPED_TRACE(sql);
        const SqlError expected = thrownError([&] { books_->query(sql); });
        ASSERT_NE(expected.number, 0);
        const SqlError got = thrownError([&] {
            RowCursor cursor = books_->openCursor(sql);
            readAll(cursor, 2);
        });
        EXPECT_EQ(got.number, expected.number);
        EXPECT_EQ(got.line, expected.line);
        EXPECT_EQ(got.message, expected.message);
        // Nothing stays open: the connection runs batches again.
        EXPECT_EQ(count("Ledger"), 40);
    }
}

TEST_F(Cursor, RefusesAnythingButOneSelect)
{
    for (const std::string sql : {"select 1; select 2", "insert into Account values ('9999', 'x')",
                                  "update Account set Name = 'x'", "declare @x int = 1 select @x",
                                  "if 1 = 1 select 1", "exec sp_helpdb", ""}) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(thrownError([&] { books_->openCursor(sql); }).number, err::Unsupported);
    }
    EXPECT_EQ(count("Account where Name <> 'x'"), 2);
}

TEST_F(Cursor, TheSameConnectionRunsNothingElseUntilItEnds)
{
    RowCursor cursor = books_->openCursor("select KeyID from Ledger order by KeyID");
    ASSERT_EQ(cursor.fetch(10, rows_), 10u);

    BatchResult r = books_->run("insert into Account values ('2001', '应付账款')");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors.front().number, err::ConnectionBusy);
    EXPECT_EQ(thrownError([&] { books_->query("select 1"); }).number, err::ConnectionBusy);
    EXPECT_EQ(thrownError([&] { books_->beginTransaction(); }).number, err::ConnectionBusy);
    EXPECT_EQ(thrownError([&] { books_->openCursor("select 1"); }).number, err::ConnectionBusy);
    EXPECT_FALSE(books_->inTransaction());

    // The cursor reads on undisturbed, and its end frees the connection.
    EXPECT_EQ(readAll(cursor, 7).size(), 30u);
    EXPECT_EQ(count("Account"), 2);

    // So does closing one early.
    RowCursor early = books_->openCursor("select * from Ledger");
    EXPECT_EQ(early.fetch(1, rows_), 1u);
    early.close();
    EXPECT_TRUE(early.atEnd());
    EXPECT_EQ(early.fetch(1, rows_), 0u);
    EXPECT_EQ(describe(early.columns()).size(), 5u);
    EXPECT_EQ(count("Account"), 2);
}

TEST_F(Cursor, OtherConnectionsWriteWhileOneIsHalfRead)
{
    const std::string file =
        books_->query("select filename from master..sysdatabases where name = 'Books'").rows.at(0).at(0).text;
    RowCursor cursor = books_->openCursor("select KeyID, Summary from Ledger order by KeyID");
    ASSERT_EQ(cursor.fetch(15, rows_), 15u);

    auto writer = connect(kSaPassword, "Books");
    writer->setCommandTimeout(2);
    const auto start = std::chrono::steady_clock::now();
    writer->execute("insert into Ledger values (41, '新增', '2026-05-01', 1, null)\n"
                    "update Ledger set Summary = '改过' where KeyID = 20\n"
                    "delete from Ledger where KeyID = 30");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    // The reader still holds its snapshot: the log cannot be emptied.
    EXPECT_EQ(truncatingCheckpoint(file), SQLITE_BUSY);

    // The cursor reads the snapshot it started on; its end releases it.
    const Rows rest = readAll(cursor, 4);
    ASSERT_EQ(rest.size(), 25u);
    EXPECT_EQ(rest.at(4).at(1).text, "第20笔");
    EXPECT_EQ(rest.at(14).at(0).integer, 30);
    EXPECT_EQ(truncatingCheckpoint(file), SQLITE_OK);
}

TEST_F(Cursor, ClosingLetsGoOfTheDatabasesOnlyItOpened)
{
    exec("create database Archive\nuse Archive\ncreate table Old (a int)\ninsert into Old values (1), (2)\n"
         "use master");
    RowCursor cursor = db_->openCursor("select a from Archive..Old order by a");
    ASSERT_EQ(cursor.fetch(1, rows_), 1u);
    auto other = connect();
    EXPECT_EQ(other->run("drop database Archive").errors.at(0).number, 3702);
    cursor.close();
    other->execute("drop database Archive");
}

TEST_F(Cursor, ClosingOrDroppingTheConnectionFirstInvalidatesIt)
{
    RowCursor cursor = books_->openCursor("select * from Ledger order by KeyID");
    ASSERT_EQ(cursor.fetch(5, rows_), 5u);
    books_->close();
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_THROW(cursor.fetch(5, rows_), SqlException);
    cursor.close();

    // Re-opened, the connection knows nothing of the old cursor.
    books_->open(params(kSaPassword, "Books"));
    RowCursor moved = books_->openCursor("select KeyID from Ledger where KeyID <= 3");
    RowCursor orphan = std::move(moved);
    EXPECT_TRUE(moved.atEnd());
    EXPECT_EQ(moved.fetch(1, rows_), 0u);
    ASSERT_EQ(orphan.fetch(1, rows_), 1u);
    books_.reset();
    EXPECT_THROW(orphan.fetch(1, rows_), SqlException);
    EXPECT_TRUE(orphan.atEnd());
}

TEST_F(Cursor, TheCommandTimeoutCountsForEachFetch)
{
    books_->setCommandTimeout(1);
    RowCursor cursor = books_->openCursor("select KeyID from Ledger order by KeyID");
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_EQ(cursor.fetch(2, rows_), 2u);
    }
    cursor.close();

    // One fetch that takes too long is stopped and closes the cursor.
    books_->execute("create table n (i int)\ninsert into n values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)");
    RowCursor slow = books_->openCursor("select count(*) from n a, n b, n c, n d, n e, n f, n g, n h, n i, n j");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(thrownError([&] { slow.fetch(1, rows_); }).number, err::Timeout);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_TRUE(slow.atEnd());
    EXPECT_EQ(count("n"), 10);
}

}  // namespace
