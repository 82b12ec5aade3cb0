// vqacc run as a separate process against the fixture's instance, as cron
// runs it: standard input is no terminal, the catalogue login comes from
// -S and -P (or the environment), the account set's password from
// --password. Each test checks what the tool printed, its exit code, and
// what it left in the files and the databases.
#include "accset_fixture.h"

#include "accsetcommands.h"
#include "cwzfile.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#ifndef VQACC_BINARY
#error "VQACC_BINARY must name the vqacc program"
#endif

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string shellQuote(const std::string& word)
{
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class Vqacc : public AccSetFixture {
protected:
    void SetUp() override
    {
        AccSetFixture::SetUp();
        files_ = fs::path(root_) / "files";
        fs::create_directories(files_);
    }

    // Runs vqacc in `folder` (default: the test's files folder) with the
    // login to the fixture's instance in front of `args`, standard input
    // from /dev/null.
    RunResult vqacc(const std::vector<std::string>& args, const std::string& environment = "",
                    const fs::path& folder = {}, bool login = true)
    {
        std::string command = "cd " + shellQuote((folder.empty() ? files_ : folder).string()) + " && " +
                              environment + " " + shellQuote(VQACC_BINARY);
        if (login)
            command += " -S " + shellQuote(instance_) + " -P " + shellQuote(kSaPassword);
        for (const auto& arg : args)
            command += " " + shellQuote(arg);
        const fs::path out = fs::path(root_) / "stdout.txt";
        const fs::path err = fs::path(root_) / "stderr.txt";
        command += " </dev/null >" + shellQuote(out.string()) + " 2>" + shellQuote(err.string());
        RunResult result;
        const int status = std::system(command.c_str());
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }

    // Every user table of an account set, each as its rows sorted.
    std::map<std::string, std::vector<std::vector<std::string>>> tables(const std::string& code)
    {
        std::map<std::string, std::vector<std::vector<std::string>>> out;
        for (const auto& t : accountSetRows(code, "select name from sysobjects where xtype='U' order by name")) {
            auto rows = accountSetRows(code, "select * from [" + t.at(0) + "]");
            std::sort(rows.begin(), rows.end());
            out[t.at(0)] = rows;
        }
        return out;
    }

    void renameInOptions(const std::string& code, const std::string& name)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "VQTCW_" + code, "sa", kSaPassword});
        c.execute("update T_Options set TxtValue=" + vqtest::sqlLiteral(name) + " where Name='AccSetName'");
    }

    std::string accSetNameOption(const std::string& code)
    {
        return accountSetRows(code, "select TxtValue from T_Options where Name='AccSetName'").at(0).at(0);
    }

    std::vector<std::string> filesIn(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // A backup of the account set made by the tool; the path it printed.
    std::string backup(const std::string& code, const std::string& password, const std::string& file)
    {
        const RunResult r = vqacc({"backup", code, file, "--password", password});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::string printed = r.out;
        while (!printed.empty() && printed.back() == '\n')
            printed.pop_back();
        return printed;
    }

    fs::path files_;
};

// ---- backup, verify, restore --------------------------------------------------

TEST_F(Vqacc, BackupVerifyAndRestoreUnderANewCodeKeepEveryRow)
{
    addAccountSet("A01", "甲公司", "pw'1");
    const auto original = tables("A01");
    ASSERT_GT(original.size(), 10u);

    // A relative name in the current folder, without an extension, over a
    // file that is there already; the code in other letter case.
    fs::create_directories(files_ / "nightly");
    writeFile(files_ / "nightly" / "a01.cwz", "an older file");
    const RunResult made = vqacc({"backup", "a01", "a01", "--password", "pw'1"}, "", files_ / "nightly");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const fs::path cwz = files_ / "nightly" / "a01.cwz";
    EXPECT_EQ(made.out, cwz.string() + "\n");
    EXPECT_EQ(filesIn(files_ / "nightly"), std::vector<std::string>{"a01.cwz"});
    EXPECT_TRUE(contains(made.err, "当前账套数据库备份成功。")) << made.err;

    const RunResult verified = vqacc({"verify", cwz.string()}, "", {}, false);
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_TRUE(contains(verified.out, "账套代号：A01")) << verified.out;
    EXPECT_TRUE(contains(verified.out, "账套名称：甲公司")) << verified.out;
    EXPECT_TRUE(contains(verified.out, "数据库：VQTCW_A01")) << verified.out;
    EXPECT_TRUE(contains(verified.out, "逻辑文件：VQTCW_A01，VQTCW_A01_log")) << verified.out;

    const RunResult restored = vqacc({"restore", "nightly/a01.cwz", "--as", "A02"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "A02\n");
    ASSERT_TRUE(databaseExists("VQTCW_A02"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|A01|甲公司|0", "2|A02|甲公司|0"}));
    EXPECT_EQ(tables("A02"), original);
}

TEST_F(Vqacc, BackupRefusesAWrongPasswordAnUnknownCodeAndAMissingAnswer)
{
    addAccountSet("101", "乙公司", "right");
    addAccountSet("102", "丙公司", "right", 1);

    const RunResult wrong = vqacc({"backup", "101", "b.cwz", "--password", "wrong"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(contains(wrong.err, utf8(AccSetText::wrongPassword() + AccSetText::backupRefusal()))) << wrong.err;

    // Cron has no terminal to type the password on.
    const RunResult unasked = vqacc({"backup", "101", "b.cwz"});
    EXPECT_EQ(unasked.exitCode, 1);
    EXPECT_TRUE(contains(unasked.err, "--password")) << unasked.err;

    const RunResult unknown = vqacc({"backup", "999", "b.cwz", "--password", "right"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(contains(unknown.err, "999")) << unknown.err;

    const RunResult recycled = vqacc({"backup", "102", "b.cwz", "--password", "right"});
    EXPECT_EQ(recycled.exitCode, 1);
    EXPECT_TRUE(contains(recycled.err, "回收站")) << recycled.err;

    const RunResult noFolder = vqacc({"backup", "101", "missing/b.cwz", "--password", "right"});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_TRUE(contains(noFolder.err, "路径不存在")) << noFolder.err;

    EXPECT_TRUE(filesIn(files_).empty());
}

// ---- restoring over an account set ------------------------------------------------

TEST_F(Vqacc, RestoreOverAnExistingCodeOnlyWithReplaceAndItsPassword)
{
    addAccountSet("201", "丁公司", "pw");
    const std::string cwz = backup("201", "pw", (files_ / "201.cwz").string());
    ASSERT_FALSE(cwz.empty());
    addAccountSet("202", "戊公司", "pw");
    renameInOptions("201", "changed");
    const auto before = catalogue();

    const RunResult refused = vqacc({"restore", cwz, "--password", "pw"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(contains(refused.err, "--replace")) << refused.err;
    EXPECT_EQ(accSetNameOption("201"), "changed");

    const RunResult wrongPassword = vqacc({"restore", cwz, "--replace", "--password", "other"});
    EXPECT_EQ(wrongPassword.exitCode, 1);
    EXPECT_EQ(accSetNameOption("201"), "changed");

    // The new code is taken as well.
    const RunResult taken = vqacc({"restore", cwz, "--as", "202", "--password", "pw"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(contains(taken.err, "202")) << taken.err;
    EXPECT_EQ(accSetNameOption("202"), "戊公司");
    EXPECT_EQ(catalogue(), before);

    const RunResult replaced = vqacc({"restore", cwz, "--replace", "--password", "pw"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "201\n");
    EXPECT_EQ(accSetNameOption("201"), "丁公司");
    EXPECT_EQ(catalogue(), before);
}

TEST_F(Vqacc, RestoreAsANewCodeTakesThatCodeEvenWhenTheBackupsOwnIsFree)
{
    addAccountSet("301", "己公司", "pw");
    const std::string cwz = backup("301", "pw", (files_ / "301.cwz").string());
    ASSERT_FALSE(cwz.empty());
    link_->AccListDB.execute("delete from AccList where DBName='301'");

    const RunResult r = vqacc({"restore", cwz, "--as", "302"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "302\n");
    EXPECT_TRUE(databaseExists("VQTCW_302"));
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|302|己公司|0"}));

    // An engine backup restores under its own code without --as.
    const std::string mdk = vqtest::installedBackupFile("VQTCW_Sample");
    const RunResult own = vqacc({"restore", mdk});
    ASSERT_EQ(own.exitCode, 0) << own.err;
    EXPECT_EQ(own.out, "Sample\n");
    ASSERT_EQ(catalogue().size(), 2u);
    EXPECT_EQ(catalogue()[1].substr(0, 9), "2|Sample|");
}

// ---- damaged files ----------------------------------------------------------------

TEST_F(Vqacc, ADamagedBackupFailsTheCheckAndTheRestore)
{
    addAccountSet("401", "庚公司", "pw");
    const std::string cwz = backup("401", "pw", (files_ / "401.cwz").string());
    ASSERT_FALSE(cwz.empty());
    std::string bytes = readFile(cwz);
    ASSERT_GT(bytes.size(), 2000u);
    const std::size_t middle = kFileStampSize + 4 + (bytes.size() - kFileStampSize - 4) / 2;
    bytes[middle] = static_cast<char>(bytes[middle] ^ 0x5A);
    const fs::path damaged = files_ / "damaged.cwz";
    writeFile(damaged, bytes);
    const auto before = catalogue();
    renameInOptions("401", "changed");

    const RunResult verified = vqacc({"verify", damaged.string()}, "", {}, false);
    EXPECT_EQ(verified.exitCode, 1);
    EXPECT_TRUE(contains(verified.err, utf8(DamagedCwzText()))) << verified.err;
    EXPECT_TRUE(contains(verified.out, "账套代号：401")) << verified.out;

    const RunResult restored = vqacc({"restore", damaged.string(), "--replace", "--password", "pw"});
    EXPECT_EQ(restored.exitCode, 1);
    EXPECT_TRUE(restored.out.empty());
    EXPECT_EQ(accSetNameOption("401"), "changed");
    EXPECT_EQ(catalogue(), before);

    const RunResult missing = vqacc({"verify", "nothing.cwz"}, "", {}, false);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(contains(missing.err, "找不到该文件")) << missing.err;

    EXPECT_EQ(vqacc({"restore", "nothing.cwz", "--replace", "--password", "pw"}).exitCode, 1);

    writeFile(files_ / "text.cwz", "not a backup at all");
    EXPECT_EQ(vqacc({"verify", "text.cwz"}, "", {}, false).exitCode, 1);
}

// ---- the list and the login -----------------------------------------------------

TEST_F(Vqacc, ListShowsTheActiveSetsAndWithAllTheRecycleBin)
{
    addAccountSet("501", "辛公司", "pw");
    addAccountSet("502", "壬公司", "pw", 1);

    const RunResult active = vqacc({"list"});
    ASSERT_EQ(active.exitCode, 0) << active.err;
    EXPECT_EQ(active.out, "501\t辛公司\n");

    const RunResult all = vqacc({"list", "--all"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "501\t辛公司\n502\t壬公司\t(回收站)\n");

    // The sa password from the environment, and the trusted login of the
    // instance folder's owner.
    const RunResult fromEnvironment =
        vqacc({"-S", instance_, "list"}, "SQLCMDPASSWORD=" + shellQuote(kSaPassword), {}, false);
    EXPECT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err;
    EXPECT_EQ(fromEnvironment.out, active.out);
    const RunResult trusted = vqacc({"-S", instance_, "-E", "list"}, "SQLCMDPASSWORD=wrong", {}, false);
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(trusted.out, active.out);

    const RunResult wrongLogin = vqacc({"-S", instance_, "-P", "wrong", "list"}, "", {}, false);
    EXPECT_EQ(wrongLogin.exitCode, 1);
    EXPECT_TRUE(wrongLogin.out.empty());
    EXPECT_TRUE(contains(wrongLogin.err, "VQTCWAccList")) << wrongLogin.err;

    const RunResult noInstance = vqacc({"-S", root_ + "/none", "-P", "x", "list"}, "", {}, false);
    EXPECT_EQ(noInstance.exitCode, 1);
    EXPECT_FALSE(noInstance.err.empty());
}

TEST_F(Vqacc, NewCreatesASetAsTheWizardDoesWithItsChecks)
{
    restore("VQTCWPack");
    const RunResult made = vqacc({"new", "101", "新公司", "--company", "新公司有限责任公司", "--password", "pw",
                                  "--chart", "2", "--lengths", "2,3,3,3,3", "--start", "2025-04", "--voucher-words",
                                  "3", "--closing", "1"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out, "101\n");
    EXPECT_TRUE(contains(made.err, "数据库创建成功！")) << made.err;
    EXPECT_EQ(catalogue(), (std::vector<std::string>{"1|101|新公司|0"}));
    auto option = [&](const std::string& name) {
        auto rows = accountSetRows("101", "select TxtValue from T_Options where Name='" + name + "'");
        return rows.empty() ? std::string("<none>") : rows[0][0];
    };
    EXPECT_EQ(option("CWSubjectKind"), "2");
    EXPECT_EQ(option("SubGrade2"), "2");
    EXPECT_EQ(option("CWStartYear"), "2025");
    EXPECT_EQ(option("CWStartMonth"), "4");
    EXPECT_EQ(option("CWClearPLKind"), "1");
    EXPECT_EQ(option("CorpName"), "新公司有限责任公司");
    EXPECT_EQ(accountSetRows("101", "select count(*) from CW_VouWord")[0][0], "5");
    EXPECT_EQ(accountSetRows("101", "select Password from T_Operator where KeyID=1")[0][0], "pw");

    // The wizard's checks refuse with their messages and create nothing.
    const RunResult taken = vqacc({"new", "101", "又一个", "--company", "公司"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(contains(taken.err, "该\"账套代号\"已被其他账套使用，请选用别的账套代号。")) << taken.err;
    const RunResult unsafe = vqacc({"new", "a/b", "名", "--company", "公司"});
    EXPECT_EQ(unsafe.exitCode, 1);
    const RunResult noSource = vqacc({"new", "102", "名", "--company", "公司", "--copy-from", "NOPE"});
    EXPECT_EQ(noSource.exitCode, 1);
    EXPECT_TRUE(contains(noSource.err, "必须选择一已有的账套")) << noSource.err;
    EXPECT_EQ(catalogue().size(), 1u);
    EXPECT_FALSE(databaseExists("VQTCW_102"));

    // Copying the chart of the set just made.
    const RunResult copied = vqacc({"new", "102", "复制的", "--company", "公司", "--copy-from", "101"});
    ASSERT_EQ(copied.exitCode, 0) << copied.err << copied.out;
    EXPECT_EQ(accountSetRows("102", "select count(*) from CW_Subject"),
              accountSetRows("101", "select count(*) from CW_Subject"));
}

TEST_F(Vqacc, UsageErrorsExitWithTwoAndTouchNothing)
{
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"copy", "001"},
        {"backup", "001"},
        {"restore"},
        {"backup", "001", "a.cwz", "--as", "002"},
        {"restore", "a.cwz", "--all"},
        {"verify", "a.cwz", "--password", "x"},
        {"list", "--password"},
        {"list", "--bogus"},
        {"list", "-U", "bob"},
        {"list", "-E", "-P", "x"},
        {"restore", "a.cwz", "--as", ""},
        {"new", "101", "名"},
        {"new", "101", "名", "--company", "公司", "--chart", "5"},
        {"new", "101", "名", "--company", "公司", "--lengths", "3,3,3"},
        {"new", "101", "名", "--company", "公司", "--start", "1999-01"},
        {"new", "101", "名", "--company", "公司", "--copy-lists"},
        {"list", "--company", "公司"},
    };
    for (const auto& args : wrong) {
        const RunResult r = vqacc(args, "", {}, false);
        std::string line;
        for (const auto& a : args)
            line += " [" + a + "]";
        EXPECT_EQ(r.exitCode, 2) << line << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, "vqacc: ")) << line;
        EXPECT_TRUE(r.out.empty()) << line;
    }
    EXPECT_TRUE(filesIn(files_).empty());

    const RunResult help = vqacc({"--help"}, "", {}, false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "vqacc backup CODE FILE")) << help.out;
}

}  // namespace
