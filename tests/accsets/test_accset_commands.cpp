// The account-set commands end to end on a throwaway instance, with the
// scripted operator answering: backup, restore, delete, undelete, purge,
// rename and attach, and what each leaves in the catalogue and the files.
#include "accset_fixture.h"

#include "accsetcommands.h"
#include "cwzfile.h"
#include "mwcwfun.h"
#include "options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fstream>

namespace {

const QString kNotice = QStringLiteral("提示");
const QString kQuestion = QStringLiteral("询问");
const QString kError = QStringLiteral("错误");
const QString kPasswordCaption = QStringLiteral("请输入系统管理员口令");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

}  // namespace

class AccSetCommands : public AccSetFixture {
protected:
    TAccListRow row(const QString& code)
    {
        for (const TAccListRow& r : LoadAccList(*link_, QStringLiteral("select * from AccList")))
            if (r.DBName.compare(code, Qt::CaseInsensitive) == 0)
                return r;
        ADD_FAILURE() << "no catalogue row " << code.toStdString();
        return {};
    }

    // Backs the set up through the command with the right password.
    QString backUp(const QString& code, const QString& password, const QString& name = {})
    {
        const QString target = backupFolder() + QLatin1Char('/') + (name.isEmpty() ? code : name) + QStringLiteral(".cwz");
        dialogs_.expect(DialogKind::Password, kPasswordCaption, AccSetText::passwordPrompt(code), DialogAnswer::Ok,
                        password);
        dialogs_.expect(DialogKind::Save, AccSetText::saveCaption(), backupFolder(), DialogAnswer::Ok, target);
        dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("当前账套数据库备份成功。"));
        EXPECT_TRUE(BackupAccountSet(*link_, row(code)));
        dialogs_.verifyDone();
        return target;
    }

    void expectRestored()
    {
        dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("账套数据恢复成功。"));
    }

    std::string voucherCount(const std::string& code)
    {
        return accountSetRows(code, "select count(*) from T_Options").at(0).at(0);
    }

    std::string option(const std::string& code, const std::string& name)
    {
        auto rows = accountSetRows(code, "select TxtValue from T_Options where Name=" + vqtest::sqlLiteral(name));
        return rows.empty() ? "<none>" : rows[0][0];
    }
};

// ---- backup -------------------------------------------------------------------

TEST_F(AccSetCommands, BackupWithTheRightPasswordWritesARecognisedFileAndTheDate)
{
    addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    const TMWFileStamp stamp = ReadFileStamp(file);
    EXPECT_TRUE(IsProgramFileStamp(stamp));
    EXPECT_EQ(stamp.code, QStringLiteral("001"));
    EXPECT_EQ(stamp.name, QStringLiteral("一号公司"));
    EXPECT_TRUE(VerifyStampedBackup(file).ok);
    EXPECT_EQ(option("001", "LastBackupDate"), Today().toString(Qt::ISODate).toStdString());
    // The dialog proposed code-yymmdd in the Backup folder, *.cwz.
    const FileDialogRequest& request = dialogs_.fileRequests().back();
    EXPECT_EQ(request.fileName, QStringLiteral("001-") + Today().toString(QStringLiteral("yyMMdd")));
    EXPECT_EQ(request.filter, QStringLiteral("账套数据库备份文件(*.cwz)|*.cwz"));
    EXPECT_EQ(request.defaultExtension, QStringLiteral("cwz"));
    EXPECT_FALSE(dialogs_.progress().empty());
    EXPECT_EQ(dialogs_.progress().back(), 100);
    EXPECT_FALSE(dialogs_.waitingShown());
}

TEST_F(AccSetCommands, BackupWithAWrongOrCancelledPasswordWritesNothing)
{
    addAccountSet("001", "一号公司", "Pw");
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，不能备份该账套。"));
    EXPECT_FALSE(BackupAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.expect(DialogKind::Password, kPasswordCaption);   // cancelled: no message
    EXPECT_FALSE(BackupAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.verifyDone();
    EXPECT_TRUE(QDir(backupFolder()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(option("001", "LastBackupDate"), "<none>");
}

TEST_F(AccSetCommands, BackupReplacesAnExistingTarget)
{
    addAccountSet("001", "一号公司", "");
    QDir().mkpath(backupFolder());
    writeAll(backupFolder() + QStringLiteral("/001.cwz"), "old bytes");
    const QString file = backUp(QStringLiteral("001"), QString());
    EXPECT_TRUE(VerifyStampedBackup(file).ok);
}

TEST_F(AccSetCommands, AFailedBackupSaysSoAndLeavesTheOldFileAndTheDateAlone)
{
    // The catalogue caches the password, but the database is gone: the
    // engine's backup fails.
    addAccountSet("001", "一号公司", "pw");
    link_->AccListDB.execute("insert into T_Options(KeyID, Name, TxtValue) select isnull(max(KeyID),0)+1, "
                             "'VQTCW_001', 'pw' from T_Options");
    link_->AccListDB.execute("drop database VQTCW_001");
    QDir().mkpath(backupFolder());
    const QString target = backupFolder() + QStringLiteral("/001.cwz");
    writeAll(target, "the previous backup");
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Save, AccSetText::saveCaption(), backupFolder(), DialogAnswer::Ok, target);
    dialogs_.expect(DialogKind::Error, kError);
    EXPECT_FALSE(BackupAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.verifyDone();
    EXPECT_TRUE(dialogs_.shown().back().text.startsWith(QStringLiteral("备份账套数据库失败")));
    EXPECT_EQ(readAll(target), QByteArray("the previous backup"));
    EXPECT_FALSE(dialogs_.waitingShown());
}

TEST_F(AccSetCommands, BackupRefusesATargetThatCannotBeReplaced)
{
    addAccountSet("001", "一号公司", "");
    QDir().mkpath(backupFolder());
    const QString target = backupFolder() + QStringLiteral("/001.cwz");
    writeAll(target, "kept");
    QFile::setPermissions(target, QFileDevice::ReadOwner);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QString());
    dialogs_.expect(DialogKind::Save, AccSetText::saveCaption(), backupFolder(), DialogAnswer::Ok, target);
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("指定文件已存在，并且无法删除！不能进行备份操作。"));
    EXPECT_FALSE(BackupAccountSet(*link_, row(QStringLiteral("001"))));
    EXPECT_EQ(readAll(target), QByteArray("kept"));
}

// ---- restore ------------------------------------------------------------------

TEST_F(AccSetCommands, RestoreOfACwzAsANewCodeAddsItsRowAndFiles)
{
    addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, AccSetText::overwriteQuestion(QStringLiteral("001")),
                    DialogAnswer::No);
    dialogs_.expect(DialogKind::Input, QStringLiteral("恢复账套数据库"), QStringLiteral("请重新输入账套代号："),
                    DialogAnswer::Ok, QStringLiteral("001a"));
    expectRestored();
    EXPECT_EQ(RestoreFromFile(*link_, file), QStringLiteral("001a"));
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|0", "2|001a|一号公司|0"}));
    const std::string data = instance_ + "/Data/VQTCW_001a";
    EXPECT_TRUE(std::filesystem::exists(data + ".mdf"));
    EXPECT_TRUE(std::filesystem::exists(data + "_log.ldf"));
    EXPECT_EQ(catalogueRows("select datalogical, loglogical from master..sysdatabases where name='VQTCW_001a'"),
              (std::vector<std::vector<std::string>>{{"VQTCW_001a", "VQTCW_001a_log"}}));
    EXPECT_EQ(option("001a", "AccSetName"), "一号公司");
    // UserDB is left on the restored set.
    EXPECT_EQ(link_->UserDB.currentDatabase(), "VQTCW_001a");
}

TEST_F(AccSetCommands, RestoreOverAnExistingSetNeedsItsPasswordAndKeepsTheRow)
{
    addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    link_->AccListDB.execute("update VQTCW_001..T_Options set TxtValue='changed' where Name='AccSetName'");
    link_->AccListDB.execute("insert into T_Options(KeyID, Name, TxtValue) select isnull(max(KeyID),0)+1, "
                             "'VQTCW_001', 'pw' from T_Options");

    // Cancel, then a wrong password: nothing changes.
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::Cancel);
    EXPECT_TRUE(RestoreFromFile(*link_, file).isEmpty());
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, QStringLiteral("请输入将被覆盖账套的系统管理员口令："),
                    DialogAnswer::Ok, QStringLiteral("PW"));
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您输入的将被覆盖账套的系统管理员口令不正确，不能覆盖该账套。"));
    EXPECT_TRUE(RestoreFromFile(*link_, file).isEmpty());
    EXPECT_EQ(option("001", "AccSetName"), "changed");

    // Yes and the right password replace it; UserDB, left on the set by the
    // backup, does not stand in the way.
    ASSERT_TRUE(link_->ConnectAccountSet(QStringLiteral("VQTCW_001"), false));
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    expectRestored();
    EXPECT_EQ(RestoreFromFile(*link_, file), QStringLiteral("001"));
    dialogs_.verifyDone();
    EXPECT_EQ(option("001", "AccSetName"), "一号公司");
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|0"}));
    // The cached password was forgotten.
    EXPECT_TRUE(catalogueRows("select * from T_Options where Name='VQTCW_001'").empty());
}

TEST_F(AccSetCommands, RestoreOverASetInTheRecycleBinBringsItBack)
{
    const int keyId = addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    link_->AccListDB.execute("update AccList set DelFlag=1, AccName='旧名' where KeyID=" + std::to_string(keyId));
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    expectRestored();
    EXPECT_EQ(RestoreFromFile(*link_, file), QStringLiteral("001"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|旧名|0"}));
}

TEST_F(AccSetCommands, ANewCodeTakenInAnotherLetterCaseIsAskedAgain)
{
    addAccountSet("ABC", "甲", "pw");
    addAccountSet("XYZ", "乙", "pw2");
    const QString file = backUp(QStringLiteral("ABC"), QStringLiteral("pw"));
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, AccSetText::overwriteQuestion(QStringLiteral("ABC")),
                    DialogAnswer::No);
    dialogs_.expect(DialogKind::Input, QStringLiteral("恢复账套数据库"), {}, DialogAnswer::Ok, QStringLiteral("xyz"));
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, AccSetText::overwriteQuestion(QStringLiteral("xyz")),
                    DialogAnswer::No);
    dialogs_.expect(DialogKind::Input, QStringLiteral("恢复账套数据库"), {}, DialogAnswer::Ok);   // cancelled
    EXPECT_TRUE(RestoreFromFile(*link_, file).isEmpty());
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue().size(), 2u);
}

TEST_F(AccSetCommands, ARestoredSetWithoutANameIsUnnamedAndTheOperatorIsTold)
{
    addAccountSet("001", "一号公司", "pw");
    link_->AccListDB.execute("delete from VQTCW_001..T_Options where Name='AccSetName'");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    link_->AccListDB.execute("delete from AccList");
    link_->UserDB.close();   // left on the set by the backup
    link_->AccListDB.execute("drop database VQTCW_001");
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您可以在登录账套后，在账套选项窗口更改账套名称。"));
    expectRestored();
    EXPECT_EQ(RestoreFromFile(*link_, file), QStringLiteral("001"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|未命名账套|0"}));
}

TEST_F(AccSetCommands, AnEngineBackupFileRestoresAsANewCode)
{
    addAccountSet("002", "二号", "x", 0);
    const std::string mdk = root_ + "/two.mdk";
    link_->AccListDB.execute("backup database VQTCW_002 to disk=" + vqtest::sqlLiteral(mdk));
    link_->AccListDB.execute("delete from AccList");
    link_->UserDB.close();
    link_->AccListDB.execute("drop database VQTCW_002");
    expectRestored();
    EXPECT_EQ(RestoreFromFile(*link_, QString::fromStdString(mdk)), QStringLiteral("002"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|002|二号|0"}));
}

TEST_F(AccSetCommands, FilesThatAreNotAccountSetBackupsAreRefusedAndNothingChanges)
{
    addAccountSet("001", "一号公司", "pw");
    const QString good = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    const std::vector<std::string> before = catalogue();
    const QString notOurs = QStringLiteral("您选择的文件不是本软件数据库的备份文件。");

    // ".CWZ" is no .cwz name: the file is read as an engine backup.
    const QString upper = backupFolder() + QStringLiteral("/copy.CWZ");
    QFile::copy(good, upper);
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您选择的备份文件不是有效的SQL Server数据库的备份文件。"));
    EXPECT_TRUE(RestoreFromFile(*link_, upper).isEmpty());

    // The catalogue's own backup: its data file is not VQTCW_<code>.
    dialogs_.expect(DialogKind::Info, kNotice, notOurs);
    EXPECT_TRUE(RestoreFromFile(*link_, QStringLiteral(VQ_PROGRAM_DIR "/VQTCWAccList.mdk")).isEmpty());

    // Another maker in the header.
    QByteArray other = readAll(good);
    other[0] = 'q';
    const QString otherMaker = backupFolder() + QStringLiteral("/other.cwz");
    writeAll(otherMaker, other);
    dialogs_.expect(DialogKind::Info, kNotice, notOurs);
    EXPECT_TRUE(RestoreFromFile(*link_, otherMaker).isEmpty());

    // Damaged payloads: cut short, one bit flipped in the stream, bytes appended.
    QByteArray bytes = readAll(good);
    const QByteArray damages[] = {bytes.left(bytes.size() - 40),
                                  QByteArray(bytes).replace(bytes.size() / 2, 1, QByteArray(1, char(bytes[bytes.size() / 2] ^ 0x10))),
                                  bytes + QByteArray("tail")};
    const QString damaged = backupFolder() + QStringLiteral("/damaged.cwz");
    for (const QByteArray& d : damages) {
        writeAll(damaged, d);
        dialogs_.expect(DialogKind::Error, kError, DamagedCwzText());
        EXPECT_TRUE(RestoreFromFile(*link_, damaged).isEmpty());
    }
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue(), before);
    EXPECT_EQ(option("001", "AccSetName"), "一号公司");
}

TEST_F(AccSetCommands, RestoreOverASetAnotherConnectionUsesIsRefusedAndTheSetIsKept)
{
    addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    link_->AccListDB.execute("update VQTCW_001..T_Options set TxtValue='in use' where Name='AccSetName'");
    vqsql::Connection client;
    client.open(vqsql::ConnectionParams{instance_, "VQTCW_001", "sa", kSaPassword});
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Error, kError);
    EXPECT_TRUE(RestoreFromFile(*link_, file).isEmpty());
    dialogs_.verifyDone();
    EXPECT_TRUE(dialogs_.shown().back().text.startsWith(QStringLiteral("账套数据恢复失败，原有的账套没有改变。")));
    EXPECT_EQ(option("001", "AccSetName"), "in use");
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

// ---- delete, recycle bin, rename ------------------------------------------------

TEST_F(AccSetCommands, DeleteAndUndeleteOnlyFlipTheFlag)
{
    const int keyId = addAccountSet("001", "一号公司", "pw");
    dialogs_.expect(DialogKind::YesNo, kQuestion, QStringLiteral("是否确认删除当前选中的账套？"), DialogAnswer::No);
    EXPECT_FALSE(DeleteAccountSet(*link_, row(QStringLiteral("001"))));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|0"}));
    dialogs_.expect(DialogKind::YesNo, kQuestion, {}, DialogAnswer::Yes);
    EXPECT_TRUE(DeleteAccountSet(*link_, row(QStringLiteral("001"))));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|1"}));
    EXPECT_TRUE(databaseExists("VQTCW_001"));
    UndeleteAccountSet(*link_, row(QStringLiteral("001")));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(keyId) + "|001|一号公司|0"}));
}

TEST_F(AccSetCommands, PurgeAsksThePasswordFirstAndDropsTheDatabaseBeforeTheRow)
{
    addAccountSet("001", "一号公司", "pw", 1);
    // A wrong password, then a No: nothing changes.
    dialogs_.expect(DialogKind::Password, kPasswordCaption, AccSetText::passwordPrompt(QStringLiteral("001")),
                    DialogAnswer::Ok, QStringLiteral("x"));
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，不能永久删除该账套。"));
    EXPECT_FALSE(PurgeAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::YesNo, kQuestion, QStringLiteral("是否确认永久删除当前选中的账套？"), DialogAnswer::No);
    EXPECT_FALSE(PurgeAccountSet(*link_, row(QStringLiteral("001"))));
    EXPECT_TRUE(databaseExists("VQTCW_001"));

    // In use by a client: the drop fails, the row stays.
    {
        vqsql::Connection client;
        client.open(vqsql::ConnectionParams{instance_, "VQTCW_001", "sa", kSaPassword});
        dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
        dialogs_.expect(DialogKind::YesNo, kQuestion, {}, DialogAnswer::Yes);
        EXPECT_TRUE(PurgeAccountSet(*link_, row(QStringLiteral("001"))));
        EXPECT_TRUE(databaseExists("VQTCW_001"));
        EXPECT_EQ(catalogue().size(), 1u);
    }
    // Our own UserDB on the set does not keep it.
    ASSERT_TRUE(link_->ConnectAccountSet(QStringLiteral("VQTCW_001"), false));
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::YesNo, kQuestion, {}, DialogAnswer::Yes);
    EXPECT_TRUE(PurgeAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.verifyDone();
    EXPECT_FALSE(databaseExists("VQTCW_001"));
    EXPECT_TRUE(catalogue().empty());
    EXPECT_FALSE(std::filesystem::exists(instance_ + "/Data/VQTCW_001.mdf"));
}

TEST_F(AccSetCommands, RenameWritesBothNamesAndKeepsAQuoteAsTyped)
{
    addAccountSet("001", "一号公司", "pw");
    const QString name = QStringLiteral("O'Brien -- 公司");
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Input, QStringLiteral("更改账套名称"), QStringLiteral("请输入新的账套名称："),
                    DialogAnswer::Ok, name);
    dialogs_.expect(DialogKind::YesNo, kQuestion, QStringLiteral("您是否确定将当前账套名称改为\"") + name + QStringLiteral("\"？"),
                    DialogAnswer::Yes);
    EXPECT_TRUE(RenameAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|" + name.toStdString() + "|0"}));
    EXPECT_EQ(option("001", "AccSetName"), name.toStdString());

    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("bad"));
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，不能修改该账套名称。"));
    EXPECT_FALSE(RenameAccountSet(*link_, row(QStringLiteral("001"))));
}

// ---- attach ----------------------------------------------------------------------

TEST_F(AccSetCommands, AttachListsWhatIsNotActiveAndBringsItBack)
{
    const int recycled = addAccountSet("Old", "旧账", "pw", 1);
    addAccountSet("X", "Demo", "pw", 0, false);
    addAccountSet("Active", "在用", "pw");
    addAccountSet("NoName", "", "pw", 0, false);
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        c.execute("create database VQTCW_");
    }
    EXPECT_EQ(AttachCandidates(*link_), (QStringList{QStringLiteral("NoName"), QStringLiteral("Old"), QStringLiteral("X")}));

    // A recycled code comes back without its database being opened.
    link_->UserDB.close();
    AttachAccountSet(*link_, QStringLiteral("Old"));
    EXPECT_FALSE(link_->UserDB.isOpen());
    AttachAccountSet(*link_, QStringLiteral("X"));
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("您选择的账套不是本系统有效的账套。"));
    AttachAccountSet(*link_, QStringLiteral("NoName"));
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue(), (std::vector<std::string>{std::to_string(recycled) + "|Old|旧账|0", "2|Active|在用|0",
                                                      "3|X|Demo|0"}));
}

TEST_F(AccSetCommands, ACodeWithAQuoteAndABracketGoesWholeThroughRestoreBackupAndPurge)
{
    addAccountSet("001", "一号公司", "pw");
    const QString file = backUp(QStringLiteral("001"), QStringLiteral("pw"));
    const QString odd = QStringLiteral("a'b]c--d");
    dialogs_.expect(DialogKind::YesNoCancel, kQuestion, {}, DialogAnswer::No);
    dialogs_.expect(DialogKind::Input, QStringLiteral("恢复账套数据库"), {}, DialogAnswer::Ok, odd);
    expectRestored();
    ASSERT_EQ(RestoreFromFile(*link_, file), odd);
    EXPECT_TRUE(databaseExists("VQTCW_a'b]c--d"));
    EXPECT_EQ(catalogue().back(), "2|a'b]c--d|一号公司|0");

    // Its own backup carries the odd logical name and restores again.
    const QString again = backUp(odd, QStringLiteral("pw"), QStringLiteral("odd"));
    EXPECT_EQ(VerifyStampedBackup(again).backup.dataLogical, "VQTCW_a'b]c--d");

    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::YesNo, kQuestion, {}, DialogAnswer::Yes);
    EXPECT_TRUE(PurgeAccountSet(*link_, row(odd)));
    dialogs_.verifyDone();
    EXPECT_FALSE(databaseExists("VQTCW_a'b]c--d"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|0"}));
}

TEST_F(AccSetCommands, ANameTooLongForTheCatalogueChangesNeitherName)
{
    addAccountSet("001", "一号公司", "pw");
    const QString name(200, QChar(0x8D26));   // 200 characters, 400 GBK bytes
    dialogs_.expect(DialogKind::Password, kPasswordCaption, {}, DialogAnswer::Ok, QStringLiteral("pw"));
    dialogs_.expect(DialogKind::Input, QStringLiteral("更改账套名称"), {}, DialogAnswer::Ok, name);
    dialogs_.expect(DialogKind::YesNo, kQuestion, {}, DialogAnswer::Yes);
    dialogs_.expect(DialogKind::Error, kError, QStringLiteral("账套名称没有修改：新的名称不能超过255个字节。"));
    EXPECT_FALSE(RenameAccountSet(*link_, row(QStringLiteral("001"))));
    dialogs_.verifyDone();
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|001|一号公司|0"}));
    EXPECT_EQ(option("001", "AccSetName"), "一号公司");
}
