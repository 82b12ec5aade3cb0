// The login-log model of the viewers: rows read a batch at a time as the
// view asks for more, the same values a query gives, the catalogue free
// for the connection service while a read is half done, and errors.
#include "clientlogmodel.h"
#include "program_fixture.h"
#include "srvactivelog.h"

#include <QApplication>
#include <QTableView>
#include <QTimer>

namespace {

class ClientLogModelTest : public ProgramFixture {
protected:
    // `count` ended logins with KeyID 1..count, in one statement.
    void fill(int count)
    {
        link_->AccListDB.execute(
            "declare @i int set @i = 1 while @i <= " + std::to_string(count) +
            " begin insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
            "LoginTime, LogoutTime, Closed) values (@i, '10.0.0.1', 'PC-' + cast(@i as varchar(10)), 4000, '001', "
            "null, '张三', '2026-01-02 03:04:05.678', null, 1) set @i = @i + 1 end");
    }
    static const std::string kNewestFirst;
};

const std::string ClientLogModelTest::kNewestFirst = " select * from T_ClientLog  where Closed=1 order by KeyID DESC ";

TEST_F(ClientLogModelTest, RowsArriveABatchAtATimeAsTheViewAsks)
{
    fill(600);
    TClientLogModel model;
    model.open(link_->AccListDB.params(), kNewestFirst);
    EXPECT_EQ(model.rowCount(), TClientLogModel::kFetchRows);
    EXPECT_TRUE(model.canFetchMore());
    model.fetchMore();
    EXPECT_EQ(model.rowCount(), 2 * TClientLogModel::kFetchRows);
    model.fetchMore();
    EXPECT_EQ(model.rowCount(), 600);
    EXPECT_FALSE(model.canFetchMore());
    model.fetchMore();
    EXPECT_EQ(model.rowCount(), 600);

    EXPECT_EQ(model.index(0, TClientLogModel::MashineName).data().toString(), "PC-600");
    EXPECT_EQ(model.index(599, TClientLogModel::MashineName).data().toString(), "PC-1");
    EXPECT_EQ(model.index(599, TClientLogModel::LoginUser).data().toString(), "张三");
    // Times to the second; NULL texts and times are empty.
    EXPECT_EQ(model.index(3, TClientLogModel::LoginTime).data().toString(), "2026-01-02 03:04:05");
    EXPECT_EQ(model.index(3, TClientLogModel::LogoutTime).data().toString(), "");
    EXPECT_EQ(model.index(3, TClientLogModel::AccName).data().toString(), "");
    EXPECT_FALSE(model.index(600, 0).data().isValid());
}

TEST_F(ClientLogModelTest, TheServiceWritesTheLogWhileAReadIsHalfDone)
{
    fill(600);
    TClientLogModel model;
    model.open(link_->AccListDB.params(), kNewestFirst);
    ASSERT_TRUE(model.canFetchMore());
    // What the connection service runs on the catalogue at a login and a logout.
    link_->AccListDB.execute(" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert "
                             "into T_ClientLog(KeyID, MashineIP, Closed) values( @MaxID, '10.0.0.2', 0) ");
    link_->AccListDB.execute(" update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0");
    // The read goes on as of its start.
    while (model.canFetchMore())
        model.fetchMore();
    EXPECT_EQ(model.rowCount(), 600);
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog")[0][0], "601");
}

TEST_F(ClientLogModelTest, AFailingQueryLeavesTheModelEmpty)
{
    TClientLogModel model;
    EXPECT_THROW(model.open(link_->AccListDB.params(), " select * from T_NoSuchLog "), vqsql::SqlException);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.canFetchMore());
    // A query without the viewer's columns is refused too.
    EXPECT_ANY_THROW(model.open(link_->AccListDB.params(), " select KeyID from T_ClientLog "));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ClientLogModelTest, AViewerOverAMissingLogShowsTheDatabaseError)
{
    link_->AccListDB.execute("drop table T_ClientLog");
    dialogs_.expect(DialogKind::Error, "错误", "Invalid object name 'T_ClientLog'.");
    TSrvActiveLogForm viewer;
    QTimer::singleShot(0, &viewer, [&] { viewer.reject(); });
    viewer.exec();
    EXPECT_EQ(viewer.grid()->model()->rowCount(), 0);
}

}  // namespace
