// Shared fixture of the account-set tests: the program fixture's throwaway
// instance with its catalogue, a program folder of its own in the
// temporary folder (so Backup/ and Temp/ are the test's), and a helper
// that adds account sets made from the installed sample backup.
#pragma once

#include "program_fixture.h"

#include "mwcwfun.h"

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

class AccSetFixture : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        programFolder_ = root_ + "/program/";
        std::filesystem::create_directories(programFolder_);
        setProgramFolder(QString::fromStdString(programFolder_));
    }

    void TearDown() override
    {
        if (link_) {
            link_->UserDB.close();
        }
        setProgramFolder(QString());   // back to the executable's folder
        ProgramFixture::TearDown();
    }

    // Adds the account set VQTCW_<code> (a copy of the installed sample,
    // its logical files renamed to VQTCW_<code> and VQTCW_<code>_log as
    // the program's own restore names them), with the administrator's
    // password and the AccSetName option, and its catalogue row (KeyID =
    // max + 1, DelFlag as given). Returns the KeyID.
    int addAccountSet(const std::string& code, const std::string& name, const std::string& password,
                      int delFlag = 0, bool withCatalogueRow = true)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        const std::string db = "VQTCW_" + code;
        const std::string folder = instance_ + "/Data/";
        auto names = vqtest::restoreBackupAs(c, vqtest::installedBackupFile("VQTCW_Sample"), db,
                                             folder + db + ".mdf", folder + db + "_log.ldf");
        c.execute("alter database [" + db + "] modify file (name=[" + names.first + "], NewName=[" + db + "])");
        c.execute("alter database [" + db + "] modify file (name=[" + names.second + "], NewName=[" + db + "_log])");
        c.execute("update [" + db + "]..T_Operator set Password=" + vqtest::sqlLiteral(password) + " where KeyID=1");
        c.execute("update [" + db + "]..T_Options set TxtValue=" + vqtest::sqlLiteral(name) +
                  " where Name='AccSetName'");
        if (!withCatalogueRow)
            return 0;
        const int keyId = maxKeyId() + 1;
        c.execute("insert into VQTCWAccList..AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values (" +
                  std::to_string(keyId) + ", " + vqtest::sqlLiteral(code) + ", " + vqtest::sqlLiteral(name) + ", " +
                  std::to_string(delFlag) + ", 0, 0)");
        return keyId;
    }

    int maxKeyId()
    {
        auto rows = catalogueRows("select isnull(max(KeyID), 0) from AccList");
        return std::stoi(rows.at(0).at(0));
    }

    // The catalogue rows as "KeyID|DBName|AccName|DelFlag", ordered by KeyID.
    std::vector<std::string> catalogue()
    {
        std::vector<std::string> out;
        for (const auto& r : catalogueRows("select KeyID, DBName, AccName, DelFlag from AccList order by KeyID"))
            out.push_back(r[0] + "|" + r[1] + "|" + r[2] + "|" + r[3]);
        return out;
    }

    // True when the instance lists the database.
    bool databaseExists(const std::string& name)
    {
        return !catalogueRows("select name from master..sysdatabases where name=" + vqtest::sqlLiteral(name)).empty();
    }

    // A query on an account set's database, as text rows.
    std::vector<std::vector<std::string>> accountSetRows(const std::string& code, const std::string& sql)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "VQTCW_" + code, "sa", kSaPassword});
        return vqtest::textRows(c.query(sql));
    }

    QString programFolder() const { return QString::fromStdString(programFolder_); }
    QString backupFolder() const { return programFolder() + QStringLiteral("Backup"); }

    std::string programFolder_;
};
