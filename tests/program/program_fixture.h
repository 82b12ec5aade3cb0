// Shared fixture of the program tests: a throwaway engine instance in a
// temporary folder holding the installed catalogue (restored from
// VQTCWAccList.mdk of the program folder), a TLinkData installed as
// LinkData with its catalogue connection open, and a scripted operator
// that fails the test on any dialog nobody expected.
#pragma once

#include "installedbackups.h"
#include "instance.h"
#include "linkdm.h"
#include "scriptedoperator.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

class ProgramFixture : public ::testing::Test {
protected:
    static constexpr const char* kSaPassword = "Sa#1234";

    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vqprog-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        instance_ = root_ + "/instance";
        vqsql::initialiseInstance(instance_, kSaPassword);
        link_ = std::make_unique<TLinkData>();
        LinkData = link_.get();
        ASSERT_TRUE(link_->ConnectCatalogue(server(), "master", kSaPassword, false));
        restore("VQTCWAccList");
        ASSERT_TRUE(link_->ConnectCatalogue(server(), "VQTCWAccList", kSaPassword, false));
    }

    void TearDown() override
    {
        dialogs_.verifyDone();
        LinkData = nullptr;
        link_.reset();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    // The data source naming this test's instance.
    QString server() const { return QString::fromStdString(instance_); }

    // Restores an installed backup of the program folder under its name.
    void restore(const std::string& name)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        vqtest::restoreInstalledBackup(c, instance_, name);
    }

    // A query on the catalogue, as text rows (NULL as "<NULL>").
    std::vector<std::vector<std::string>> catalogueRows(const std::string& sql)
    {
        return vqtest::textRows(link_->AccListDB.query(sql));
    }

    std::string root_;
    std::string instance_;
    std::unique_ptr<TLinkData> link_;
    ScriptedOperator dialogs_;
};
