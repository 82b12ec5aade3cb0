// Server cursors over a real socket: sp_cursoropen with its OUTPUT values
// and the column description, sp_cursorfetch's fetch types over buffers of
// rows, a parameterized statement, sp_cursorclose, the procedures called
// by name and by number, what stays refused, and fetches with random
// values in every parameter (bounded by VQ_FUZZ_ROUNDS / VQ_FUZZ_SEED).
#include "server_fixture.h"

#include "fuzz_support.h"
#include "rpc.h"
#include "sqlerror.h"

using namespace tdstest;
using namespace vqtds;

namespace {

constexpr std::int64_t kFirst = 0x1, kNext = 0x2, kPrev = 0x4, kLast = 0x8, kAbsolute = 0x10, kRelative = 0x20,
                       kRefresh = 0x80;

class ServerCursors : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        client_ = loggedIn();
        exec(*client_, "create table seven (id int primary key, name nvarchar(10))\n"
                       "declare @i int set @i = 1\n"
                       "while @i <= 7 begin insert into seven values (@i, N'n' + convert(nvarchar(2), @i)) "
                       "set @i = @i + 1 end");
    }

    // Opens a cursor on `statement`; the handle (0 when the call failed).
    std::int32_t open(const std::string& statement, Response* out = nullptr)
    {
        Call call{"", proc_id::CursorOpen,
                  {intParam("@cursor", std::nullopt, true), nvarcharParam("@stmt", statement),
                   intParam("@scrollopt", 0x1, true), intParam("@ccopt", 0x4, true),
                   intParam("@rowcount", std::nullopt, true)}};
        Response r = client_->rpc(call);
        if (out)
            *out = r;
        EXPECT_TRUE(r.errors.empty()) << describe(r);
        return r.returnValues.empty() ? 0 : static_cast<std::int32_t>(r.returnValues[0].value.integer);
    }

    // The ids a fetch returned.
    std::vector<std::int64_t> fetch(std::int32_t handle, std::int64_t type, std::int64_t rownum, std::int64_t rows)
    {
        Response r = client_->rpc(Call{"", proc_id::CursorFetch,
                                       {intParam("", handle), intParam("", type), intParam("", rownum),
                                        intParam("", rows)}});
        EXPECT_TRUE(r.errors.empty()) << describe(r);
        std::vector<std::int64_t> ids;
        if (r.resultSets.size() != 1) {
            ADD_FAILURE() << "expected one result set: " << describe(r);
            return ids;
        }
        for (const auto& row : r.resultSets[0].rows)
            ids.push_back(row.at(0).integer);
        return ids;
    }

    std::unique_ptr<TdsClient> client_;
};

TEST_F(ServerCursors, OpenReturnsTheHandleTheOptionsTheRowCountAndTheColumns)
{
    Response r;
    const std::int32_t handle = open("select id, name from seven order by id", &r);
    EXPECT_NE(handle, 0);
    ASSERT_EQ(r.returnValues.size(), 4u);
    EXPECT_EQ(r.returnValues[0].ordinal, 0);
    EXPECT_EQ(r.returnValues[1].value.integer, 0x8) << "a static cursor";
    EXPECT_EQ(r.returnValues[2].value.integer, 0x1) << "read only";
    EXPECT_EQ(r.returnValues[3].value.integer, 7) << "@rowcount";
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].columns, (std::vector<std::string>{"id", "name", "ROWSTAT"}));
    EXPECT_TRUE(r.resultSets[0].rows.empty());
    EXPECT_NE(r.resultSets[0].flags.back() & 0x2000, 0) << "ROWSTAT is hidden";
    EXPECT_EQ(r.returnStatuses, std::vector<std::int32_t>{0});
    EXPECT_EQ(r.finalDone().token, token::DoneProc);
}

TEST_F(ServerCursors, FetchTypesMoveTheBuffer)
{
    const std::int32_t handle = open("select id from seven order by id");
    const struct {
        std::int64_t type, rownum, rows;
        std::vector<std::int64_t> ids;
    } steps[] = {
        {kNext, 0, 3, {1, 2, 3}},   {kNext, 0, 3, {4, 5, 6}},  {kNext, 0, 3, {7}},
        {kNext, 0, 3, {}},          {kPrev, 0, 2, {6, 7}},     {kFirst, 0, 2, {1, 2}},
        {kLast, 0, 3, {5, 6, 7}},   {kAbsolute, 2, 2, {2, 3}}, {kRelative, 3, 1, {5}},
        {kRefresh, 0, 0, {5}},      {kAbsolute, -1, 5, {7}},   {kAbsolute, 9, 1, {}},
    };
    for (const auto& s : steps)
        EXPECT_EQ(fetch(handle, s.type, s.rownum, s.rows), s.ids) << "fetch type " << s.type << " " << s.rownum;
}

TEST_F(ServerCursors, FetchedRowsCarryTheirRowStatus)
{
    const std::int32_t handle = open("select name from seven where id <= 2 order by id");
    Response r = client_->rpc(Call{"sp_cursorfetch", 0, {intParam("", handle), intParam("", kNext), intParam("", 0),
                                                         intParam("", 5)}});
    ASSERT_EQ(r.resultSets.size(), 1u) << describe(r);
    ASSERT_EQ(r.resultSets[0].rows.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows[1][0].text, "n2");
    EXPECT_EQ(r.resultSets[0].rows[1][1].integer, 1);
}

TEST_F(ServerCursors, AParameterizedStatement)
{
    Call call{"sp_cursoropen", 0,
              {intParam("", std::nullopt, true), nvarcharParam("", "select id from seven where id > @p1 order by id"),
               intParam("", 0x1008, true), intParam("", 1, true), intParam("", std::nullopt, true),
               nvarcharParam("", "@p1 int"), intParam("", 5)}};
    const Response r = client_->rpc(call);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    EXPECT_EQ(r.returnValues.back().value.integer, 2);
    EXPECT_EQ(fetch(static_cast<std::int32_t>(r.returnValues[0].value.integer), kNext, 0, 10),
              (std::vector<std::int64_t>{6, 7}));
}

TEST_F(ServerCursors, CloseEndsTheCursorAndSeveralStayApart)
{
    const std::int32_t a = open("select id from seven order by id");
    const std::int32_t b = open("select id from seven order by id desc");
    EXPECT_NE(a, b);
    EXPECT_EQ(fetch(a, kNext, 0, 1), std::vector<std::int64_t>{1});
    EXPECT_EQ(fetch(b, kNext, 0, 1), std::vector<std::int64_t>{7});
    Response closed = client_->rpc(Call{"", proc_id::CursorClose, {intParam("", a)}});
    EXPECT_TRUE(closed.errors.empty()) << describe(closed);
    Response again = client_->rpc(Call{"", proc_id::CursorFetch, {intParam("", a), intParam("", kNext)}});
    EXPECT_TRUE(again.hasError(16916)) << describe(again);
    EXPECT_EQ(fetch(b, kNext, 0, 1), std::vector<std::int64_t>{6});
    // The batches of the connection go on meanwhile.
    EXPECT_EQ(exec(*client_, "select count(*) from seven").scalar().integer, 7);
}

TEST_F(ServerCursors, ErrorsOfTheStatementReachTheClient)
{
    Call call{"", proc_id::CursorOpen, {intParam("", std::nullopt, true), nvarcharParam("", "select x from nosuch")}};
    const Response r = client_->rpc(call);
    EXPECT_TRUE(r.hasError(208)) << describe(r);
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    // Nothing is left behind: the same statement works once the table exists.
    exec(*client_, "create table nosuch (x int)");
    const Response ok = client_->rpc(call);
    EXPECT_TRUE(ok.errors.empty()) << describe(ok);
}

TEST_F(ServerCursors, WhatStaysRefused)
{
    const std::int32_t handle = open("select id from seven");
    const Call refused[] = {
        Call{"", proc_id::CursorOption, {intParam("", handle), intParam("", 1), intParam("", 2)}},
        Call{"", proc_id::Cursor, {intParam("", handle), intParam("", 4), intParam("", 1)}},
        Call{"", proc_id::CursorPrepare, {intParam("", std::nullopt, true), nvarcharParam("", ""),
                                          nvarcharParam("", "select 1"), intParam("", 1)}},
        Call{"", proc_id::CursorOpen, {intParam("", std::nullopt, true), nvarcharParam("", "delete seven")}},
    };
    for (const Call& call : refused) {
        const Response r = client_->rpc(call);
        ASSERT_FALSE(r.errors.empty()) << call.id;
        EXPECT_EQ(r.errors[0].number, vqsql::err::Unsupported) << call.id;
    }
    EXPECT_EQ(exec(*client_, "select count(*) from seven").scalar().integer, 7) << "nothing was deleted";
}

// Random fetch types, row numbers, buffer sizes and handles: every answer
// ends in a DONEPROC, a fetch without error returns at most the rows asked
// for, consecutive and in order, and the connection stays usable.
TEST_F(ServerCursors, RandomFetchesKeepTheServerSound)
{
    Mutator random(fuzzSeed());
    const std::int32_t handle = open("select id from seven order by id");
    const std::int64_t types[] = {kFirst, kNext, kPrev, kLast, kAbsolute, kRelative, kRefresh, 0x100, 0, 3, 0x40,
                                  -1};
    const std::int64_t numbers[] = {0, 1, -1, 2, -2, 6, 7, 8, -8, 1000, 2147483647, -2147483647 - 1};
    const int rounds = fuzzRounds(200);
    for (int i = 0; i < rounds; ++i) {
        const std::int64_t type = types[random.below(std::size(types))];
        const std::int64_t rownum = numbers[random.below(std::size(numbers))];
        const std::int64_t rows = random.below(4) == 0 ? numbers[random.below(std::size(numbers))]
                                                       : static_cast<std::int64_t>(random.below(9));
        const std::int32_t target = random.below(10) == 0 ? handle + 1 : handle;
        const Response r = client_->rpc(Call{"", proc_id::CursorFetch,
                                             {intParam("", target), intParam("", type), intParam("", rownum),
                                              intParam("", rows)}});
        SCOPED_TRACE("type " + std::to_string(type) + " rownum " + std::to_string(rownum) + " rows " +
                     std::to_string(rows));
        ASSERT_FALSE(r.dones.empty());
        ASSERT_EQ(r.finalDone().token, token::DoneProc);
        if (!r.errors.empty() || r.resultSets.empty())
            continue;
        const auto& got = r.resultSets[0].rows;
        if (type != kRefresh) {   // a refresh fetches the last buffer again, whatever its size
            EXPECT_LE(static_cast<std::int64_t>(got.size()), std::max<std::int64_t>(rows, 0));
        }
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_GE(got[k][0].integer, 1);
            EXPECT_LE(got[k][0].integer, 7);
            if (k > 0) {
                EXPECT_EQ(got[k][0].integer, got[k - 1][0].integer + 1);
            }
        }
    }
    EXPECT_EQ(exec(*client_, "select count(*) from seven").scalar().integer, 7);
}

}  // namespace
