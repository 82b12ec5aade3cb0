// Conformance of Transact-SQL cursors: DECLARE ... CURSOR in both forms,
// OPEN, every FETCH orientation with @@FETCH_STATUS, FETCH INTO, CLOSE,
// DEALLOCATE, LOCAL and GLOBAL scope, cursor variables, @@CURSOR_ROWS,
// CURSOR_STATUS, WHERE CURRENT OF and SQL Server's cursor errors.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

class ConformanceCursors : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table five (id int primary key, name varchar(10))\n"
             "insert into five values (1,'one') insert into five values (2,'two') insert into five values (3,'three')\n"
             "insert into five values (4,'four') insert into five values (5,'five')");
    }

    // The id a batch's last FETCH (without INTO) returned ("none" for an
    // empty result) and @@FETCH_STATUS after it.
    std::pair<std::string, int> lastFetch(const std::string& batch)
    {
        BatchResult r = run(batch + "\nselect @@fetch_status");
        if (!r.ok() || r.resultSets.size() < 2) {
            ADD_FAILURE() << batch << "\n" << describeErrors(r);
            return {"?", 99};
        }
        const ResultSet& fetched = r.resultSets[r.resultSets.size() - 2];
        std::string id = fetched.rows.empty() ? "none" : fetched.rows[0][0].toString();
        return {id, static_cast<int>(r.resultSets.back().rows.at(0).at(0).toInt64())};
    }
};

// Each orientation from a known position of a 5-row scroll cursor.
TEST_F(ConformanceCursors, EveryFetchOrientationOverAScrollCursor)
{
    const struct {
        const char* fetches;
        const char* id;
        int status;
    } cases[] = {
        {"fetch next from c", "1", 0},
        {"fetch next from c fetch next from c", "2", 0},
        {"fetch first from c", "1", 0},
        {"fetch last from c", "5", 0},
        {"fetch last from c fetch prior from c", "4", 0},
        {"fetch prior from c", "none", -1},
        {"fetch last from c fetch next from c", "none", -1},
        {"fetch last from c fetch next from c fetch prior from c", "5", 0},
        {"fetch absolute 3 from c", "3", 0},
        {"fetch absolute -2 from c", "4", 0},
        {"fetch absolute 6 from c", "none", -1},
        {"fetch absolute -6 from c", "none", -1},
        {"fetch absolute 0 from c", "none", -1},
        {"fetch absolute 2 from c fetch relative 2 from c", "4", 0},
        {"fetch absolute 4 from c fetch relative -3 from c", "1", 0},
        {"fetch absolute 4 from c fetch relative 0 from c", "4", 0},
        {"fetch absolute 4 from c fetch relative 2 from c", "none", -1},
        {"declare @n int set @n = 2 fetch absolute @n from c", "2", 0},
        {"fetch c", "1", 0},
        {"fetch from c", "1", 0},
    };
    for (const auto& c : cases) {
        const std::string batch = std::string("declare c cursor scroll for select id from five order by id\nopen c\n") +
                                  c.fetches + "\nclose c deallocate c";
        const auto [id, status] = lastFetch(batch);
        EXPECT_EQ(id, c.id) << c.fetches;
        EXPECT_EQ(status, c.status) << c.fetches;
    }
}

TEST_F(ConformanceCursors, CursorKindsThatScroll)
{
    const char* scrolling[] = {"cursor scroll", "cursor static", "cursor keyset", "cursor dynamic",
                               "scroll cursor", "insensitive scroll cursor", "cursor local scroll static read_only"};
    for (const char* kind : scrolling) {
        const auto [id, status] = lastFetch(std::string("declare c ") + kind +
                                            " for select id from five order by id open c fetch last from c "
                                            "deallocate c");
        EXPECT_EQ(id, "5") << kind;
        EXPECT_EQ(status, 0) << kind;
    }
}

TEST_F(ConformanceCursors, ForwardOnlyCursorsFetchOnlyNext)
{
    const char* forwardOnly[] = {"cursor", "cursor forward_only", "cursor fast_forward", "cursor forward_only static",
                                 "insensitive cursor", "cursor local"};
    for (const char* kind : forwardOnly) {
        SqlError e = errorOf(std::string("declare c ") + kind + " for select id from five open c fetch prior from c");
        EXPECT_EQ(e.number, 16911) << kind;
        EXPECT_EQ(e.message, "fetch: The fetch type Prior cannot be used with forward only cursors.") << kind;
        run("deallocate c");
    }
}

TEST_F(ConformanceCursors, TheClassicLoopFetchesIntoVariables)
{
    BatchResult r = run("declare @id int, @name varchar(10), @all varchar(100)\n"
                        "set @all = ''\n"
                        "declare c cursor for select id, name from five where id >= 2 order by id\n"
                        "open c\n"
                        "fetch next from c into @id, @name\n"
                        "while @@fetch_status = 0\n"
                        "begin\n"
                        "    set @all = @all + convert(varchar(5), @id) + @name + ';'\n"
                        "    fetch next from c into @id, @name\n"
                        "end\n"
                        "close c\n"
                        "deallocate c\n"
                        "select @all, @@fetch_status");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);   // FETCH INTO returns no rows
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "2two;3three;4four;5five;");
    EXPECT_EQ(r.resultSets[0].rows[0][1].toInt64(), -1);
}

TEST_F(ConformanceCursors, TheLoopMayChangeTheTableItReads)
{
    exec("declare @id int\n"
         "declare c cursor for select id from five order by id\n"
         "open c\n"
         "fetch next from c into @id\n"
         "while @@fetch_status = 0\n"
         "begin\n"
         "    update five set name = 'n' + convert(varchar(5), @id) where id = @id\n"
         "    insert into five values (@id + 100, 'new')\n"
         "    fetch next from c into @id\n"
         "end\n"
         "deallocate c");
    EXPECT_EQ(column("select name from five where id < 100 order by id"),
              (std::vector<std::string>{"n1", "n2", "n3", "n4", "n5"}));
    EXPECT_EQ(text("select count(*) from five"), "10");
}

TEST_F(ConformanceCursors, FetchIntoConvertsToTheVariablesTypes)
{
    BatchResult r = run("declare @text varchar(3), @whole int\n"
                        "declare c cursor for select name, id * 1.25 from five where id = 3\n"
                        "open c fetch c into @text, @whole deallocate c\n"
                        "select @text, @whole");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "thr");
    EXPECT_EQ(r.resultSets[0].rows[0][1].toString(), "3");   // 3.75 cut to int
    EXPECT_EQ(r.resultSets[0].columns[1].type.base, BaseType::Int);
}

TEST_F(ConformanceCursors, VariablesOfTheSelectKeepTheirValueFromDeclare)
{
    EXPECT_EQ(text("declare @min int set @min = 4\n"
                   "declare c cursor for select count(*) from five where id >= @min\n"
                   "set @min = 1\n"
                   "open c fetch c deallocate c"),
              "2");
}

TEST_F(ConformanceCursors, AGlobalCursorLivesAcrossBatches)
{
    exec("declare g cursor global for select id from five order by id");
    exec("open g");
    std::vector<std::string> seen;
    for (int i = 0; i < 6; ++i) {
        BatchResult r = run("fetch next from g select @@fetch_status");
        ASSERT_TRUE(r.ok()) << describeErrors(r);
        if (r.resultSets[1].rows[0][0].toInt64() != 0)
            break;
        seen.push_back(r.resultSets[0].rows.at(0).at(0).toString());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    exec("close g deallocate g");
    EXPECT_EQ(errorOf("open g").number, 16916);
}

TEST_F(ConformanceCursors, ALocalCursorEndsWithItsBatch)
{
    exec("declare c cursor local for select id from five open c");
    SqlError e = errorOf("fetch next from c");
    EXPECT_EQ(e.number, 16916);
    EXPECT_EQ(e.message, "A cursor with the name 'c' does not exist.");
    // A local cursor hides a global one of the same name within its batch.
    exec("declare c cursor global for select 'global'");
    EXPECT_EQ(text("declare c cursor local for select 'local' open c fetch c deallocate c"), "local");
    EXPECT_EQ(text("open global c fetch global c deallocate c"), "global");
}

TEST_F(ConformanceCursors, ErrorsHaveSqlServersNumbersAndTexts)
{
    const struct {
        const char* batch;
        int number;
        const char* message;
    } cases[] = {
        {"declare c cursor for select 1 declare c cursor for select 2", 16915,
         "A cursor with the name 'c' already exists."},
        {"open nosuch", 16916, "A cursor with the name 'nosuch' does not exist."},
        {"declare c cursor for select 1 open c open c", 16905, "The cursor is already open."},
        {"declare c cursor for select 1 fetch c", 16917, "Cursor is not open."},
        {"declare c cursor for select 1 close c", 16917, "Cursor is not open."},
        {"declare @a int, @b int declare c cursor for select 1 open c fetch c into @a, @b", 16924,
         "Cursorfetch: The number of variables declared in the INTO list must match that of selected columns."},
        {"declare c cursor read_only for select id from five for update", 16957,
         "FOR UPDATE cannot be specified on a READ ONLY cursor."},
        {"declare c cursor scroll fast_forward for select 1", 1048,
         "Conflicting cursor options FAST_FORWARD and SCROLL."},
        {"declare @c cursor open @c", 16950, "The variable '@c' does not currently have a cursor allocated to it."},
        {"declare @c int open @c", 16948,
         "The variable '@c' is not a cursor variable, but it is used in a place where a cursor variable is "
         "expected."},
        {"declare c cursor static for select id from five open c fetch c update five set name = 'x' where "
         "current of c",
         16929, "The cursor is READ ONLY."},
        {"declare c cursor for select id from five open c update five set name = 'x' where current of c", 16930,
         "The requested row is not in the fetch buffer."},
        {"create table other (id int) declare c cursor for select id from five open c fetch c\n"
         "delete other where current of c",
         16933,
         "The cursor does not include the table being modified or the table is not updatable through the cursor."},
        {"declare c cursor for select id, name from five for update of name open c fetch c\n"
         "update five set id = 9 where current of c",
         16932,
         "The cursor has a FOR UPDATE list and the requested column to be updated is not in this list."},
    };
    for (const auto& c : cases) {
        SqlError e = errorOf(c.batch);
        EXPECT_EQ(e.number, c.number) << c.batch;
        EXPECT_EQ(e.message, c.message) << c.batch;
        run("deallocate c");
    }
}

TEST_F(ConformanceCursors, WhereCurrentOfChangesTheFetchedRow)
{
    exec("declare c cursor for select id from five where id > 1 order by id desc for update of name\n"
         "open c\n"
         "fetch c\n"                                         // 5
         "update five set name = 'changed' where current of c\n"
         "fetch c fetch c\n"                                 // 3
         "delete from five where current of c\n"
         "deallocate c");
    EXPECT_EQ(column("select name from five order by id"),
              (std::vector<std::string>{"one", "two", "four", "changed"}));
}

TEST_F(ConformanceCursors, DeletedRowsFetchAsMissingOrArePassedOver)
{
    // A keyset cursor reports the gone row as -2; a dynamic one skips it.
    EXPECT_EQ(lastFetch("declare c cursor keyset for select id from five order by id open c\n"
                        "delete five where id = 2 fetch c fetch c deallocate c"),
              (std::pair<std::string, int>{"none", -2}));
    EXPECT_EQ(lastFetch("declare c cursor dynamic for select id from five order by id open c\n"
                        "delete five where id = 7 fetch c delete five where id = 2 fetch c deallocate c"),
              (std::pair<std::string, int>{"3", 0}));
    EXPECT_EQ(lastFetch("declare c cursor static for select id from five order by id open c\n"
                        "delete five where id = 1 fetch c deallocate c"),
              (std::pair<std::string, int>{"1", 0}));
}

TEST_F(ConformanceCursors, CursorVariablesHoldACursor)
{
    EXPECT_EQ(text("declare @c cursor\n"
                   "set @c = cursor scroll for select id from five order by id\n"
                   "open @c fetch last from @c deallocate @c"),
              "5");
}

TEST_F(ConformanceCursors, CursorRowsAndCursorStatusDescribeTheCursor)
{
    BatchResult r = run("declare s cursor static for select id from five\n"
                        "declare d cursor dynamic for select id from five\n"
                        "declare @v cursor\n"
                        "select cursor_status('global', 's'), cursor_status('global', 'nosuch'),\n"
                        "       cursor_status('variable', '@v'), @@cursor_rows\n"
                        "open s select cursor_status('global', 's'), @@cursor_rows\n"
                        "open d select @@cursor_rows\n"
                        "close d select @@cursor_rows\n"
                        "deallocate s deallocate d");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 4u);
    auto row = [&](std::size_t i) {
        std::vector<long long> out;
        for (const Value& v : r.resultSets[i].rows.at(0))
            out.push_back(v.toInt64());
        return out;
    };
    EXPECT_EQ(row(0), (std::vector<long long>{-1, -3, -2, 0}));
    EXPECT_EQ(row(1), (std::vector<long long>{1, 5}));
    EXPECT_EQ(row(2), (std::vector<long long>{-1}));
    EXPECT_EQ(row(3), (std::vector<long long>{0}));
}

TEST_F(ConformanceCursors, AFetchWithoutIntoReturnsOneRowWithTheColumns)
{
    BatchResult r = run("declare c cursor for select id, name as label from five where id = 1 open c\n"
                        "fetch c fetch c deallocate c");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].columns.at(1).name, "label");
    EXPECT_EQ(r.resultSets[0].rows.size(), 1u);
    EXPECT_EQ(r.resultSets[1].columns.size(), 2u);   // past the end: the columns, no row
    EXPECT_TRUE(r.resultSets[1].rows.empty());
}

}  // namespace
