// The recycle bin as the operator uses it: taking a set back, purging it
// (the password before the question, either cancelled changing nothing),
// leaving by the exit button or Escape, and the row selected after each
// change. The account sets are copies of the installed sample.
#include "accset_fixture.h"
#include "accset_windows.h"
#include "accsetcommands.h"
#include "srvrecycle.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <memory>

namespace {

using vqtest::clickButton;
using vqtest::clickRow;
using vqtest::gridColumn;
using vqtest::selectedText;
using vqtest::whileModal;

const QString kPurgeQuestion = QStringLiteral("是否确认永久删除当前选中的账套？");

class RecycleBinTest : public AccSetFixture {
protected:
    void TearDown() override
    {
        form_.reset();
        AccSetFixture::TearDown();
    }

    TSrvRecycleForm& openBin()
    {
        form_ = std::make_unique<TSrvRecycleForm>();
        form_->show();
        return *form_;
    }

    void click(const char* name) { clickButton(form_.get(), name); }
    QTableView* grid() const { return form_->findChild<QTableView*>(QStringLiteral("DBGridList")); }
    QStringList codes() const { return gridColumn(grid(), 0); }
    QString selected() const { return selectedText(grid()); }
    void select(const QString& code) { clickRow(grid(), codes().indexOf(code)); }

    void addCatalogueRow(int keyId, const std::string& code, const std::string& name, int delFlag)
    {
        link_->AccListDB.execute("insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values (" +
                                 std::to_string(keyId) + ", " + vqtest::sqlLiteral(code) + ", " +
                                 vqtest::sqlLiteral(name) + ", " + std::to_string(delFlag) + ", 0, 0)");
    }

    // Expects the purge's password dialog for `code`, answered with `reply`
    // (nullopt: cancelled).
    void expectPassword(const QString& code, std::optional<QString> reply)
    {
        dialogs_.expect(DialogKind::Password, QStringLiteral("请输入系统管理员口令"),
                        QStringLiteral("请输入当前选中账套\"") + code + QStringLiteral("\"的系统管理员口令："),
                        DialogAnswer::Ok, std::move(reply));
    }

    std::unique_ptr<TSrvRecycleForm> form_;
};

TEST_F(RecycleBinTest, WindowHoldsItsGridAndButtonBand)
{
    TSrvRecycleForm& form = openBin();
    EXPECT_EQ(form.windowTitle(), "账套回收站");
    EXPECT_EQ(form.size(), QSize(461, 255));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a dialog border: not sizeable";
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form.font().family(), "宋体");
    EXPECT_EQ(form.font().pixelSize(), 12);

    QTableView* list = grid();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 461, 255 - 41)) << "the grid fills the window above the band";
    EXPECT_EQ(vqtest::gridTitles(list), (QStringList{"账套代号", "账套名称"}));
    EXPECT_EQ(list->columnWidth(0), 117);
    EXPECT_EQ(list->columnWidth(1), 235);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->alternatingRowColors());

    const struct {
        const char* name;
        const char* text;
        int x;
    } buttons[] = {{"btnUndo", "撤消删除", 32}, {"btnDelete", "永久删除", 176}, {"btnExit", "退出", 320}};
    for (const auto& b : buttons) {
        auto* button = vqtest::child<QPushButton>(&form, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.text)) << b.name;
        EXPECT_EQ(QRect(button->mapTo(&form, QPoint(0, 0)), button->size()), QRect(b.x, 255 - 41 + 10, 85, 25))
            << b.name;
        EXPECT_FALSE(button->icon().isNull()) << b.name << " has its picture";
    }
}

TEST_F(RecycleBinTest, ListsTheDeletedSetsAndUndoTakesOneBackWithItsKeyAndNameAndSelectsTheNextRow)
{
    addCatalogueRow(1, "001", "甲公司", 1);
    addCatalogueRow(2, "002", "乙公司", 1);
    addCatalogueRow(3, "003", "丙公司", 1);
    addCatalogueRow(4, "004", "丁公司", 0);   // active: not listed
    openBin();
    EXPECT_EQ(codes(), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(gridColumn(grid(), 1), (QStringList{"甲公司", "乙公司", "丙公司"}));
    EXPECT_EQ(selected(), "001");

    select("002");
    click("btnUndo");
    EXPECT_EQ(codes(), (QStringList{"001", "003"}));
    EXPECT_EQ(selected(), "003");
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|1", "2|002|乙公司|0", "3|003|丙公司|1", "4|004|丁公司|0"}));

    click("btnUndo");   // the last row: the one before it is selected
    EXPECT_EQ(codes(), QStringList{"001"});
    EXPECT_EQ(selected(), "001");

    click("btnUndo");
    EXPECT_TRUE(codes().isEmpty());
    // On the empty list both buttons do nothing (no box comes).
    click("btnUndo");
    click("btnDelete");
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|0", "2|002|乙公司|0", "3|003|丙公司|0", "4|004|丁公司|0"}));
    EXPECT_TRUE(dialogs_.shown().empty());
}

TEST_F(RecycleBinTest, PurgeCancelledAtThePasswordOrTheQuestionOrRefusedChangesNothing)
{
    const int key = addAccountSet("001", "甲公司", "pw1", 1);
    openBin();

    expectPassword("001", std::nullopt);
    click("btnDelete");
    dialogs_.verifyDone();

    expectPassword("001", QStringLiteral("PW1"));   // passwords are compared as typed
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，不能永久删除该账套。"));
    click("btnDelete");
    dialogs_.verifyDone();

    expectPassword("001", QStringLiteral("pw1"));
    dialogs_.expect(DialogKind::YesNo, "询问", kPurgeQuestion, DialogAnswer::No);
    click("btnDelete");

    EXPECT_EQ(codes(), QStringList{"001"});
    EXPECT_EQ(selected(), "001");
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(key) + "|001|甲公司|1"}));
    EXPECT_TRUE(databaseExists("VQTCW_001"));
}

TEST_F(RecycleBinTest, PurgeDropsTheDatabaseAndItsRowAndSelectsTheNextRow)
{
    addAccountSet("001", "甲公司", "pw1", 1);
    const int second = addAccountSet("002", "乙公司", "pw2", 1);
    openBin();
    ASSERT_EQ(selected(), "001");

    expectPassword("001", QStringLiteral("pw1"));
    dialogs_.expect(DialogKind::YesNo, "询问", kPurgeQuestion, DialogAnswer::Yes);
    click("btnDelete");
    EXPECT_EQ(codes(), QStringList{"002"});
    EXPECT_EQ(selected(), "002");
    EXPECT_FALSE(databaseExists("VQTCW_001"));
    EXPECT_TRUE(databaseExists("VQTCW_002"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(second) + "|002|乙公司|1"}));
}

TEST_F(RecycleBinTest, APurgeWhoseDropFailsKeepsTheSetListedAndSelected)
{
    const int first = addAccountSet("001", "甲公司", "pw1", 1);
    const int second = addAccountSet("002", "乙公司", "pw2", 1);
    // Another connection on the database keeps the drop from happening.
    vqsql::Connection user;
    user.open(vqsql::ConnectionParams{instance_, "VQTCW_001", "sa", kSaPassword});
    openBin();
    ASSERT_EQ(selected(), "001");
    expectPassword("001", QStringLiteral("pw1"));
    dialogs_.expect(DialogKind::YesNo, "询问", kPurgeQuestion, DialogAnswer::Yes);
    click("btnDelete");
    EXPECT_TRUE(databaseExists("VQTCW_001"));
    EXPECT_EQ(codes(), (QStringList{"001", "002"}));
    EXPECT_EQ(selected(), "001") << "the set still there, not the row that would have taken its place";
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(first) + "|001|甲公司|1",
                                                     std::to_string(second) + "|002|乙公司|1"}));
}

TEST_F(RecycleBinTest, EscapeAndExitCloseWithCancelAndChangeNothing)
{
    addCatalogueRow(1, "001", "甲公司", 1);
    addCatalogueRow(2, "002", "乙公司", 1);

    TSrvRecycleForm bin;
    whileModal<TSrvRecycleForm>([](TSrvRecycleForm* dialog) {
        clickRow(dialog->grid(), 1);
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_EQ(bin.exec(), QDialog::Rejected);

    TSrvRecycleForm again;
    whileModal<TSrvRecycleForm>([](TSrvRecycleForm* dialog) { clickButton(dialog, "btnExit"); });
    EXPECT_EQ(again.exec(), QDialog::Rejected);

    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|1", "2|002|乙公司|1"}));
    EXPECT_TRUE(dialogs_.shown().empty());
}

}  // namespace
