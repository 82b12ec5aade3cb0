// The attach dialog as the operator uses it: the databases it offers, the
// chosen one attached by OK, OK closing with OK in every case and Cancel
// changing nothing. The account sets are copies of the installed sample.
#include "accset_fixture.h"
#include "accset_windows.h"
#include "pubselefunddb.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

namespace {

using vqtest::clickButton;
using vqtest::clickRow;
using vqtest::gridColumn;
using vqtest::selectedText;
using vqtest::whileModal;

class AttachDialogTest : public AccSetFixture {
protected:
    // Opens the dialog modally, runs `action` on it and returns how it closed.
    int runDialog(std::function<void(TPubSeleFundDBForm*)> action)
    {
        TPubSeleFundDBForm dialog;
        whileModal<TPubSeleFundDBForm>(std::move(action));
        return dialog.exec();
    }
};

TEST_F(AttachDialogTest, WindowHoldsItsLabelGridAndButtons)
{
    TPubSeleFundDBForm dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "选择账套");
    // Off screen there is no frame: the window is its outer size.
    EXPECT_EQ(dialog.frameGeometry().size(), QSize(286, 318));
    EXPECT_NE(dialog.minimumSize(), dialog.maximumSize()) << "a sizeable border";
    EXPECT_EQ(dialog.font().family(), "宋体");
    EXPECT_EQ(dialog.font().pixelSize(), 12);

    auto* label = vqtest::child<QLabel>(&dialog, "Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "选择要引入的账套：");
    EXPECT_EQ(label->pos(), QPoint(26, 16));

    QTableView* grid = dialog.grid();
    EXPECT_EQ(grid->objectName(), "DBGridList");
    EXPECT_EQ(grid->geometry(), QRect(23, 43, 229, 175));
    EXPECT_EQ(vqtest::gridTitles(grid), QStringList{"账套代号"});
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter,
              Qt::AlignHCenter);
    EXPECT_EQ(grid->columnWidth(0), 160);
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    auto* ok = vqtest::child<QPushButton>(&dialog, "btnOk");
    auto* cancel = vqtest::child<QPushButton>(&dialog, "btnCancel");
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), "确定(&O)");
    EXPECT_EQ(ok->geometry(), QRect(26, 245, 81, 24));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(ok->icon().isNull());
    EXPECT_EQ(cancel->text(), "取消(&C)");
    EXPECT_EQ(cancel->geometry(), QRect(165, 244, 81, 24));
    EXPECT_FALSE(cancel->icon().isNull());
}

TEST_F(AttachDialogTest, OffersTheRecycledAndUnknownDatabasesAndAttachesTheChosenOne)
{
    const int recycled = addAccountSet("001", "甲公司", "pw1", 1);
    const int active = addAccountSet("002", "乙公司", "pw2", 0);
    addAccountSet("003", "丙公司", "pw3", 0, false);   // no catalogue row

    // The one the catalogue does not know, clicked: it gets a row named
    // after its own AccSetName option.
    const int result = runDialog([](TPubSeleFundDBForm* dialog) {
        EXPECT_EQ(gridColumn(dialog->grid(), 0), (QStringList{"001", "003"}));
        EXPECT_EQ(selectedText(dialog->grid()), "001");
        clickRow(dialog->grid(), 1);
        EXPECT_EQ(dialog->selectedCode(), "003");
        clickButton(dialog, "btnOk");
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(recycled) + "|001|甲公司|1",
                                                     std::to_string(active) + "|002|乙公司|0",
                                                     std::to_string(active + 1) + "|003|丙公司|0"}));

    // The one in the recycle bin comes back under its own row; Enter is OK.
    EXPECT_EQ(runDialog([](TPubSeleFundDBForm* dialog) {
                  ASSERT_EQ(gridColumn(dialog->grid(), 0), QStringList{"001"});
                  QTest::keyClick(dialog->grid(), Qt::Key_Return);
              }),
              QDialog::Accepted);
    EXPECT_EQ(catalogue().front(), std::to_string(recycled) + "|001|甲公司|0");
}

TEST_F(AttachDialogTest, OkWithNothingListedClosesWithOkAndCancelAttachesNothing)
{
    EXPECT_EQ(runDialog([](TPubSeleFundDBForm* dialog) {
                  EXPECT_TRUE(dialog->codes().isEmpty());
                  EXPECT_TRUE(dialog->selectedCode().isEmpty());
                  clickButton(dialog, "btnOk");
              }),
              QDialog::Accepted);
    EXPECT_TRUE(catalogue().empty());

    const int key = addAccountSet("001", "甲公司", "pw1", 1);
    EXPECT_EQ(runDialog([](TPubSeleFundDBForm* dialog) {
                  EXPECT_EQ(dialog->selectedCode(), "001");
                  clickButton(dialog, "btnCancel");
              }),
              QDialog::Rejected);
    EXPECT_EQ(runDialog([](TPubSeleFundDBForm* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }),
              QDialog::Rejected);
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(key) + "|001|甲公司|1"}));
    EXPECT_TRUE(dialogs_.shown().empty());
}

TEST_F(AttachDialogTest, ADatabaseWithoutAnAccountSetNameIsRefusedAndOkStillCloses)
{
    addAccountSet("001", "甲公司", "pw1", 0, false);
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "VQTCW_001", "sa", kSaPassword});
        c.execute("delete from T_Options where Name='AccSetName'");
    }
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("您选择的账套不是本系统有效的账套。"));
    EXPECT_EQ(runDialog([](TPubSeleFundDBForm* dialog) { clickButton(dialog, "btnOk"); }), QDialog::Accepted);
    EXPECT_TRUE(catalogue().empty());
}

}  // namespace
