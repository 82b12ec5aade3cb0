// The login-log viewer opened from the main window's button: ended logins
// up to the chosen day, newest first; moving the date; clearing with its
// question. Rows are inserted into the fixture's catalogue with known times.
#include "clientlogmodel.h"
#include "program_fixture.h"
#include "programtesthelpers.h"
#include "srvclientlog.h"
#include "srvmain.h"

#include <QApplication>
#include <QDateEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Acts on the open login-log viewer while its exec() runs, then closes it.
void whileViewerOpen(std::function<void(TSrvClientLogForm*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* viewer = qobject_cast<TSrvClientLogForm*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr) << "the login-log viewer is not open";
        action(viewer);
        if (viewer->isVisible())
            QTest::mouseClick(viewer->findChild<QPushButton*>(QStringLiteral("btnExit")), Qt::LeftButton);
    });
}

// The grid's column as shown, top to bottom.
QStringList column(TSrvClientLogForm* viewer, int c)
{
    QStringList out;
    const QAbstractItemModel* model = viewer->grid()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, c).data().toString();
    return out;
}

class ClientLogViewerTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        today_ = QDate::currentDate();
        // Ended logins of today and yesterday, one of two days ago already
        // cleared, and an open one of today.
        addRow(1, "PC-1", daysAgo(2), 1);
        addRow(2, "PC-2", daysAgo(1), 1);
        addRow(3, "PC-3", daysAgo(0), 1);
        addRow(4, "PC-4", daysAgo(0), 0);
        addRow(5, "PC-5", daysAgo(2), 2);
        form_ = std::make_unique<TSrvMainForm>();
    }

    void TearDown() override
    {
        form_.reset();
        ProgramFixture::TearDown();
    }

    QString daysAgo(int days) const { return today_.addDays(-days).toString(Qt::ISODate) + " 10:11:12"; }

    void addRow(int key, const char* machine, const QString& loginTime, int closed)
    {
        link_->AccListDB.execute(
            "insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
            "LoginTime, LogoutTime, Closed) values (" +
            std::to_string(key) + ", '10.0.0." + std::to_string(key) + "', '" + machine + "', 4000, '001', '示例账套', '张三', '" +
            loginTime.toStdString() + "', " + (closed == 0 ? std::string("NULL") : "'" + loginTime.toStdString() + "'") +
            ", " + std::to_string(closed) + ")");
    }

    void openViewer(std::function<void(TSrvClientLogForm*)> action)
    {
        whileViewerOpen(std::move(action));
        QTest::mouseClick(form_->findChild<QPushButton*>(QStringLiteral("btnLog")), Qt::LeftButton);
    }

    QDate today_;
    std::unique_ptr<TSrvMainForm> form_;
};

TEST_F(ClientLogViewerTest, ShowsEndedLoginsNewestFirstInTheSevenColumns)
{
    openViewer([&](TSrvClientLogForm* viewer) {
        EXPECT_EQ(viewer->windowTitle(), "登录日志");
        EXPECT_TRUE(viewer->isModal());
        EXPECT_EQ(viewer->endDate(), today_);
        QStringList titles;
        for (int c = 0; c < viewer->grid()->model()->columnCount(); ++c)
            titles << viewer->grid()->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_EQ(titles, (QStringList{"登录机器", "机器IP地址", "账套代号", "账套名称", "操作员", "登录时间", "下网时间"}));
        const int widths[] = {90, 100, 80, 120, 80, 120};
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(viewer->grid()->horizontalHeader()->sectionSize(c), widths[c]) << c;
        EXPECT_EQ(column(viewer, 0), (QStringList{"PC-3", "PC-2", "PC-1"}));
        EXPECT_EQ(column(viewer, 1).first(), "10.0.0.3");
        EXPECT_EQ(column(viewer, 3).first(), "示例账套");
        EXPECT_EQ(column(viewer, 5).first(), daysAgo(0));
    });
}

TEST_F(ClientLogViewerTest, MovingTheDateBackHidesTheLaterDays)
{
    openViewer([&](TSrvClientLogForm* viewer) {
        auto* date = viewer->findChild<QDateEdit*>(QStringLiteral("dtpEndDate"));
        date->setDate(today_.addDays(-1));
        EXPECT_EQ(column(viewer, 0), (QStringList{"PC-2", "PC-1"}));
        date->setDate(today_.addDays(-3));
        EXPECT_TRUE(column(viewer, 0).isEmpty());
    });
}

TEST_F(ClientLogViewerTest, ClearingAsksThenHidesUpToTheDateAndKeepsTheRows)
{
    const QString question = QStringLiteral("是否确认清除登录日志？");
    dialogs_.expect(DialogKind::YesNo, "询问", question, DialogAnswer::No);
    dialogs_.expect(DialogKind::YesNo, "询问", question, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::YesNo, "询问", question, DialogAnswer::Yes);
    openViewer([&](TSrvClientLogForm* viewer) {
        auto* clear = viewer->findChild<QPushButton*>(QStringLiteral("btnClear"));
        QTest::mouseClick(clear, Qt::LeftButton);   // No
        EXPECT_EQ(column(viewer, 0).size(), 3);
        viewer->findChild<QDateEdit*>(QStringLiteral("dtpEndDate"))->setDate(today_.addDays(-1));
        QTest::mouseClick(clear, Qt::LeftButton);   // Yes, up to yesterday
        EXPECT_TRUE(column(viewer, 0).isEmpty());
        viewer->findChild<QDateEdit*>(QStringLiteral("dtpEndDate"))->setDate(today_);
        EXPECT_EQ(column(viewer, 0), (QStringList{"PC-3"})) << "today's ended login is still listed";
        QTest::mouseClick(clear, Qt::LeftButton);   // Yes, up to today
        EXPECT_TRUE(column(viewer, 0).isEmpty());
    });
    // Nothing was deleted; the open login was never touched.
    EXPECT_EQ(catalogueRows("select KeyID, Closed from T_ClientLog order by KeyID"),
              (std::vector<std::vector<std::string>>{{"1", "2"}, {"2", "2"}, {"3", "2"}, {"4", "0"}, {"5", "2"}}));
}

TEST_F(ClientLogViewerTest, LimitIsTheDayAfterAsAnIsoDate)
{
    EXPECT_EQ(LogLimitText(QDate(2024, 1, 31)), "2024-02-01");
    EXPECT_EQ(LogLimitText(QDate(2024, 12, 31)), "2025-01-01");
}

}  // namespace
