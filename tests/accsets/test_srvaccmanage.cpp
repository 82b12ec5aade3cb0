// The account-set manager as the operator uses it: its parts where they
// have always been, the buttons clicked with the scripted operator
// answering the commands, and the row selected after each command. The
// account sets are copies of the installed sample in the fixture's
// throwaway instance.
#include "accset_fixture.h"
#include "accset_windows.h"
#include "accsetcommands.h"
#include "pubselefunddb.h"
#include "srvaccmanage.h"
#include "sysnewaccset.h"
#include "srvrecycle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

#include <memory>

namespace {

using vqtest::clickButton;
using vqtest::clickRow;
using vqtest::gridColumn;
using vqtest::selectedText;
using vqtest::whileModal;

const QString kDeleteQuestion = QStringLiteral("是否确认删除当前选中的账套？");

class AccManageTest : public AccSetFixture {
protected:
    void TearDown() override
    {
        form_.reset();
        AccSetFixture::TearDown();
    }

    // The manager, shown (not modal: the test clicks its buttons).
    TSrvAccManageForm& openManager()
    {
        form_ = std::make_unique<TSrvAccManageForm>();
        form_->show();
        return *form_;
    }

    void click(const char* name) { clickButton(form_.get(), name); }
    QTableView* grid() const { return form_->findChild<QTableView*>(QStringLiteral("DBGridList")); }
    QStringList codes() const { return gridColumn(grid(), 0); }
    QStringList names() const { return gridColumn(grid(), 1); }
    QString selected() const { return selectedText(grid()); }
    void select(const QString& code) { clickRow(grid(), codes().indexOf(code)); }

    // A catalogue row alone, without its database: enough for what only
    // reads or flags the catalogue.
    void addCatalogueRow(int keyId, const std::string& code, const std::string& name, int delFlag)
    {
        link_->AccListDB.execute("insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values (" +
                                 std::to_string(keyId) + ", " + vqtest::sqlLiteral(code) + ", " +
                                 vqtest::sqlLiteral(name) + ", " + std::to_string(delFlag) + ", 0, 0)");
    }

    std::unique_ptr<TSrvAccManageForm> form_;
};

TEST_F(AccManageTest, WindowHoldsItsPartsWhereTheOperatorKnowsThem)
{
    TSrvAccManageForm& form = openManager();
    EXPECT_EQ(form.windowTitle(), "账套管理");
    EXPECT_EQ(form.size(), QSize(459, 310));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a dialog border: not sizeable";
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_EQ(form.font().family(), "宋体");

    auto* title = form.findChild<QLabel*>(QStringLiteral("LabelTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "账套管理");
    EXPECT_EQ(title->font().family(), "隶书");
    EXPECT_EQ(title->font().pixelSize(), 28);
    EXPECT_EQ(title->geometry(), QRect(0, 0, 459, 41));
    EXPECT_TRUE(title->alignment() & Qt::AlignHCenter);

    QTableView* list = grid();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->geometry(), QRect(8, 48, 441, 161));
    EXPECT_EQ(vqtest::gridTitles(list), (QStringList{"账套代号", "账套名称"}));
    EXPECT_EQ(list->horizontalHeader()->defaultAlignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->alternatingRowColors());
    // The columns fill the width, in the proportion 117 : 235.
    EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1), list->viewport()->width());
    EXPECT_NEAR(list->columnWidth(0) * 235.0 / list->columnWidth(1), 117.0, 2.0);
    // Also once a scroll bar narrows them.
    for (int key = 1; key <= 12; ++key)
        addCatalogueRow(key, std::to_string(100 + key), "某公司", 0);
    form.RefreshAccList(false);
    QApplication::processEvents();
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1), list->viewport()->width());
    // The selection shows as strongly when the grid has not the focus.
    const QPalette palette = list->palette();
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight), palette.color(QPalette::Active, QPalette::Highlight));

    const struct {
        const char* name;
        const char* text;
        int x, y;
    } buttons[] = {{"btnNew", "新建账套(&N)", 10, 224},    {"btnImport", "引入账套(&I)", 127, 224},
                   {"btnBackup", "备份账套(&B)", 244, 224}, {"btnRestore", "恢复账套(&R)", 362, 224},
                   {"btnDelete", "删除账套(&D)", 10, 264},  {"btnRecycle", "账套回收站", 128, 264},
                   {"btnRename", "账套改名(&G)", 244, 264}, {"btnExit", "退出(&X)", 362, 264}};
    for (const auto& b : buttons) {
        auto* button = vqtest::child<QPushButton>(&form, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.text)) << b.name;
        EXPECT_EQ(button->geometry(), QRect(b.x, b.y, 87, 25)) << b.name;
        EXPECT_TRUE(button->isEnabled()) << b.name << " is enabled on an empty list too";
    }
    EXPECT_EQ(form.findChildren<QPushButton*>().size(), qsizetype(std::size(buttons)));

    click("btnExit");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
}

TEST_F(AccManageTest, OnAnEmptyListBackupDeleteAndRenameDoNothingAndNewCreatesTheFirstSet)
{
    addCatalogueRow(1, "001", "甲公司", 1);   // in the recycle bin: not listed
    openManager();
    ASSERT_TRUE(codes().isEmpty());
    // The scripted operator expects nothing: any box fails the test.
    click("btnBackup");
    click("btnDelete");
    click("btnRename");
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|1"}));
    EXPECT_TRUE(dialogs_.shown().empty());

    // The wizard, walked to its end: the new set is listed and selected.
    restore("VQTCWPack");
    QFile::copy(QStringLiteral(VQ_PROGRAM_DIR "/VQTCWTemp.mdk"), programFolder() + QStringLiteral("VQTCWTemp.mdk"));
    vqtest::whileModal<TSysNewAccSetForm>([](TSysNewAccSetForm* wizard) {
        vqtest::clickButton(wizard, "btnNext");
        vqtest::child<QLineEdit>(wizard, "EditDBName")->setText(QStringLiteral("101"));
        vqtest::child<QLineEdit>(wizard, "EditAccName")->setText(QStringLiteral("新公司"));
        vqtest::clickButton(wizard, "btnNext");
        vqtest::child<QLineEdit>(wizard, "EditCorpName")->setText(QStringLiteral("新公司有限责任公司"));
        for (int step = 3; step < 8; ++step)
            vqtest::clickButton(wizard, "btnNext");
        vqtest::clickButton(wizard, "btnCreateAccSet");
    });
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("数据库创建成功！"));
    click("btnNew");
    dialogs_.verifyDone();
    EXPECT_EQ(codes(), QStringList{"101"});
    EXPECT_EQ(selected(), "101");
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|1", "2|101|新公司|0"}));
}

TEST_F(AccManageTest, DeletingTheOnlySetAskedNoKeepsItAndYesMovesItToTheRecycleBin)
{
    const int key = addAccountSet("001", "甲公司", "pw1");
    openManager();
    dialogs_.expect(DialogKind::YesNo, "询问", kDeleteQuestion, DialogAnswer::No);
    click("btnDelete");
    EXPECT_EQ(codes(), QStringList{"001"});
    EXPECT_EQ(selected(), "001");

    dialogs_.expect(DialogKind::YesNo, "询问", kDeleteQuestion, DialogAnswer::Yes);
    click("btnDelete");
    EXPECT_TRUE(codes().isEmpty());
    EXPECT_EQ(form_->selectedIndex(), -1);
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(key) + "|001|甲公司|1"}));
    EXPECT_TRUE(databaseExists("VQTCW_001")) << "the database stays until it is purged";
}

TEST_F(AccManageTest, ListsTheActiveSetsAndDeletingSelectsTheNextRowOrAfterTheLastThePreviousOne)
{
    addCatalogueRow(1, "001", "甲公司", 0);
    addCatalogueRow(2, "002", "乙公司", 0);
    addCatalogueRow(3, "003", "丙公司", 0);
    addCatalogueRow(4, "004", "丁公司", 0);
    addCatalogueRow(5, "005", "戊公司", 1);   // in the recycle bin: not listed
    openManager();
    EXPECT_EQ(codes(), (QStringList{"001", "002", "003", "004"}));
    EXPECT_EQ(names(), (QStringList{"甲公司", "乙公司", "丙公司", "丁公司"}));
    EXPECT_EQ(selected(), "001") << "the first row is selected at first";

    select("002");
    dialogs_.expect(DialogKind::YesNo, "询问", kDeleteQuestion, DialogAnswer::Yes);
    click("btnDelete");
    EXPECT_EQ(codes(), (QStringList{"001", "003", "004"}));
    EXPECT_EQ(selected(), "003") << "the next row takes the deleted one's place";

    select("004");
    dialogs_.expect(DialogKind::YesNo, "询问", kDeleteQuestion, DialogAnswer::Yes);
    click("btnDelete");
    EXPECT_EQ(codes(), (QStringList{"001", "003"}));
    EXPECT_EQ(selected(), "003") << "after the last row, the one before it";

    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|甲公司|0", "2|002|乙公司|1", "3|003|丙公司|0",
                                                     "4|004|丁公司|1", "5|005|戊公司|1"}));
}

TEST_F(AccManageTest, ClosingTheRecycleBinKeepsTheSelectionAndShowsWhatCameBack)
{
    addCatalogueRow(1, "001", "甲公司", 1);
    addCatalogueRow(2, "002", "乙公司", 0);
    addCatalogueRow(3, "003", "丙公司", 0);
    openManager();
    select("003");

    // Opened and left with its exit button.
    whileModal<TSrvRecycleForm>([](TSrvRecycleForm* bin) {
        EXPECT_EQ(bin->windowTitle(), "账套回收站");
        EXPECT_EQ(gridColumn(bin->grid(), 0), QStringList{"001"});
        clickButton(bin, "btnExit");
        EXPECT_EQ(bin->result(), QDialog::Rejected);
    });
    click("btnRecycle");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(codes(), (QStringList{"002", "003"}));
    EXPECT_EQ(selected(), "003");

    // A set taken back there is listed afterwards; the selection stays.
    whileModal<TSrvRecycleForm>([](TSrvRecycleForm* bin) {
        clickButton(bin, "btnUndo");
        EXPECT_TRUE(gridColumn(bin->grid(), 0).isEmpty());
        QTest::keyClick(bin, Qt::Key_Escape);
    });
    click("btnRecycle");
    EXPECT_EQ(codes(), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(selected(), "003");
}

TEST_F(AccManageTest, RenamingTheSelectedSetShowsTheNewNameAndKeepsItSelected)
{
    addAccountSet("001", "甲公司", "pw1");
    const int key = addAccountSet("002", "乙公司", "pw2");
    openManager();
    select("002");
    const QString newName = QStringLiteral("O'Brien贸易");

    // Cancelled at the password: nothing else is asked.
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::passwordPrompt("002"));
    click("btnRename");
    dialogs_.verifyDone();

    dialogs_.expect(DialogKind::Password, "请输入系统管理员口令", QStringLiteral("请输入当前选中账套\"002\"的系统管理员口令："),
                    DialogAnswer::Ok, QStringLiteral("pw2"));
    dialogs_.expect(DialogKind::Input, "更改账套名称", QStringLiteral("请输入新的账套名称："), DialogAnswer::Ok, newName);
    dialogs_.expect(DialogKind::YesNo, "询问", QStringLiteral("您是否确定将当前账套名称改为\"") + newName + "\"？",
                    DialogAnswer::Yes);
    click("btnRename");
    EXPECT_EQ(codes(), (QStringList{"001", "002"}));
    EXPECT_EQ(names(), (QStringList{"甲公司", newName}));
    EXPECT_EQ(selected(), "002");
    EXPECT_EQ(catalogue().at(1), std::to_string(key) + "|002|" + newName.toStdString() + "|0");
    EXPECT_EQ(accountSetRows("002", "select TxtValue from T_Options where Name='AccSetName'").at(0).at(0),
              newName.toStdString());
}

TEST_F(AccManageTest, BackupTakesTheSelectedSetAndRestoreSelectsTheSetItRestored)
{
    addCatalogueRow(1, "001", "甲公司", 0);
    addAccountSet("002", "乙公司", "pw2");
    addCatalogueRow(3, "003", "丙公司", 0);
    openManager();
    select("002");

    // Cancelled at the password: no file, no further box.
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::passwordPrompt("002"));
    click("btnBackup");
    dialogs_.verifyDone();
    EXPECT_TRUE(QDir(backupFolder()).entryList(QDir::Files).isEmpty());

    const QString file = backupFolder() + QStringLiteral("/002-backup.cwz");
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::passwordPrompt("002"),
                    DialogAnswer::Ok, QStringLiteral("pw2"));
    dialogs_.expect(DialogKind::Save, AccSetText::saveCaption(), backupFolder(), DialogAnswer::Ok, file);
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("当前账套数据库备份成功。"));
    click("btnBackup");
    dialogs_.verifyDone();
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(selected(), "002");

    // Cancelled at the file: nothing changes.
    select("003");
    dialogs_.expect(DialogKind::Open, AccSetText::openCaption(), backupFolder());
    click("btnRestore");
    dialogs_.verifyDone();
    EXPECT_EQ(selected(), "003");

    // Restored over itself while another row is selected: the restored
    // set is selected afterwards.
    dialogs_.expect(DialogKind::Open, AccSetText::openCaption(), backupFolder(), DialogAnswer::Ok, file);
    dialogs_.expect(DialogKind::YesNoCancel, "询问", AccSetText::overwriteQuestion("002"), DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::overwritePasswordPrompt(),
                    DialogAnswer::Ok, QStringLiteral("pw2"));
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("账套数据恢复成功。"));
    click("btnRestore");
    dialogs_.verifyDone();
    EXPECT_EQ(codes(), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(selected(), "002");

    // Restored as a new set: listed and selected.
    select("001");
    dialogs_.expect(DialogKind::Open, AccSetText::openCaption(), backupFolder(), DialogAnswer::Ok, file);
    dialogs_.expect(DialogKind::YesNoCancel, "询问", AccSetText::overwriteQuestion("002"), DialogAnswer::No);
    dialogs_.expect(DialogKind::Input, AccSetText::newCodeCaption(), AccSetText::newCodePrompt(), DialogAnswer::Ok,
                    QStringLiteral("009"));
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("账套数据恢复成功。"));
    click("btnRestore");
    EXPECT_EQ(codes(), (QStringList{"001", "002", "003", "009"}));
    EXPECT_EQ(names(), (QStringList{"甲公司", "乙公司", "丙公司", "乙公司"}));
    EXPECT_EQ(selected(), "009");
}

TEST_F(AccManageTest, RestoreSelectsItsCodeWhateverTheLetterCaseOfTheListedCode)
{
    addCatalogueRow(1, "001", "甲公司", 0);
    addAccountSet("ZT1", "乙公司", "pw");
    // Listed in small letters; the backup names its database VQTCW_ZT1.
    link_->AccListDB.execute("update AccList set DBName='zt1' where DBName='ZT1'");
    openManager();
    select("zt1");
    const QString file = backupFolder() + QStringLiteral("/zt1.cwz");
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::passwordPrompt("zt1"),
                    DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Save, AccSetText::saveCaption(), backupFolder(), DialogAnswer::Ok, file);
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("当前账套数据库备份成功。"));
    click("btnBackup");
    dialogs_.verifyDone();

    select("001");
    dialogs_.expect(DialogKind::Open, AccSetText::openCaption(), backupFolder(), DialogAnswer::Ok, file);
    dialogs_.expect(DialogKind::YesNoCancel, "询问", AccSetText::overwriteQuestion("ZT1"), DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, AccSetText::passwordCaption(), AccSetText::overwritePasswordPrompt(),
                    DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("账套数据恢复成功。"));
    click("btnRestore");
    EXPECT_EQ(codes(), (QStringList{"001", "zt1"}));
    EXPECT_EQ(selected(), "zt1");
}

TEST_F(AccManageTest, ImportReloadsTheListOnlyWhenTheDialogClosesWithOk)
{
    addCatalogueRow(1, "001", "甲公司", 0);
    openManager();
    // Rows written meanwhile show only once the list is reloaded.
    whileModal<TPubSeleFundDBForm>([&](TPubSeleFundDBForm* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "选择账套");
        addCatalogueRow(2, "002", "乙公司", 0);
        clickButton(dialog, "btnCancel");
    });
    click("btnImport");
    EXPECT_EQ(codes(), QStringList{"001"});

    whileModal<TPubSeleFundDBForm>([&](TPubSeleFundDBForm* dialog) {
        EXPECT_TRUE(dialog->codes().isEmpty());
        clickButton(dialog, "btnOk");
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
    });
    click("btnImport");
    EXPECT_EQ(codes(), (QStringList{"001", "002"}));
    EXPECT_EQ(selected(), "001");
}

TEST_F(AccManageTest, ACatalogueErrorIsShownAndTheWindowGoesOn)
{
    addCatalogueRow(1, "001", "甲公司", 0);
    openManager();
    link_->AccListDB.execute("exec sp_rename 'AccList', 'AccListAway'");
    dialogs_.expect(DialogKind::Error, "错误");
    form_->RefreshAccList(true);
    EXPECT_TRUE(codes().isEmpty());
    EXPECT_TRUE(form_->isVisible());
    link_->AccListDB.execute("exec sp_rename 'AccListAway', 'AccList'");
    form_->RefreshAccList(true);
    EXPECT_EQ(codes(), QStringList{"001"});
    EXPECT_EQ(selected(), "001");
}

}  // namespace
