// The active-connections viewer opened from the main window's button: the
// open logins only, newest first, read once as the window opens.
#include "program_fixture.h"
#include "srvactivelog.h"
#include "srvmain.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

class ActiveLogViewerTest : public ProgramFixture {
protected:
    void addRow(int key, const char* machine, int closed)
    {
        link_->AccListDB.execute("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, LoginTime, "
                                 "Closed) values (" +
                                 std::to_string(key) + ", '10.0.0." + std::to_string(key) + "', '" + machine +
                                 "', 4000, GetDate(), " + std::to_string(closed) + ")");
    }
};

TEST_F(ActiveLogViewerTest, ListsTheOpenLoginsNewestFirst)
{
    addRow(1, "PC-1", 0);
    addRow(2, "PC-2", 1);
    addRow(3, "PC-3", 0);
    addRow(4, "PC-4", 2);
    TSrvMainForm form;
    QStringList machines;
    QString title;
    QTimer::singleShot(0, [&] {
        auto* viewer = qobject_cast<TSrvActiveLogForm*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr);
        title = viewer->windowTitle();
        // A login that begins while the window is open is not listed: read once.
        addRow(5, "PC-5", 0);
        const QAbstractItemModel* model = viewer->grid()->model();
        for (int r = 0; r < model->rowCount(); ++r)
            machines << model->index(r, 0).data().toString();
        QTest::keyClick(viewer, Qt::Key_Escape);
    });
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnClients")), Qt::LeftButton);
    EXPECT_EQ(title, "当前活动用户列表");
    EXPECT_EQ(machines, (QStringList{"PC-3", "PC-1"}));
}

}  // namespace
