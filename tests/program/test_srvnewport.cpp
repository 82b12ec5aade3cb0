// The port dialog on its own: its parts, Enter for OK (the default
// button), Escape for Cancel, and which entries it takes.
#include "scriptedoperator.h"
#include "srvnewport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

TEST(PortDialog, EnterConfirmsATakenPortAndEscapeCancels)
{
    ScriptedOperator dialogs;
    {
        TSrvNewPortForm dialog;
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOk"));
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"));
        ASSERT_NE(ok, nullptr);
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(ok->text(), "确定(&O)");
        EXPECT_EQ(cancel->text(), "取消(&C)");
        EXPECT_TRUE(ok->isDefault());
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("EditNewPort"));
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClicks(edit, " 6123 ");
            QTest::keyClick(edit, Qt::Key_Return);
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(dialog.newPort(), 6123);
    }
    {
        TSrvNewPortForm dialog;
        QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    dialogs.verifyDone();
}

TEST(PortDialog, EntriesTheListenerCannotUseAreRefused)
{
    const struct {
        const char* entry;
        const char* problem;
    } cases[] = {{"1", ""},        {"65535", ""},      {"5971", ""},
                 {"0", "端口号必须为正整数。"}, {"-1", "端口号必须为正整数。"}, {"12a", "端口号必须为正整数。"},
                 {"1.5", "端口号必须为正整数。"}, {"65536", "端口号不能大于65535。"}};
    for (const auto& c : cases)
        EXPECT_EQ(PortEntryProblem(QString::fromUtf8(c.entry)), QString::fromUtf8(c.problem)) << c.entry;
}

}  // namespace
