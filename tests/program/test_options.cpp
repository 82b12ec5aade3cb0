// The options store over an account set's T_Options: reads from the cache,
// edits held back until SaveOptions, new names inserted at once, and what
// a failed save does. A second connection plays the other user of the
// same account set.
#include "program_fixture.h"

#include "options.h"

#include <QDate>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

const QString kSaveFailed = QStringLiteral("保存账套选项数据失败。");
const QString kNotice = QStringLiteral("提示");

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

}  // namespace

class OptionsStore : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        restore("VQTCWTemp");
        ASSERT_TRUE(link_->ConnectAccountSet("VQTCWTemp", false));
        other_.open(vqsql::ConnectionParams{instance_, "VQTCWTemp", "sa", kSaPassword});
        ASSERT_EQ(rows().size(), 0u) << "the empty account set should have no options";
    }

    void TearDown() override
    {
        other_.close();
        ProgramFixture::TearDown();
    }

    // Rows written behind the store's back, through the other connection.
    void seed(long long key, const std::string& name, const std::optional<std::string>& value)
    {
        other_.execute("insert into T_Options(KeyID, Name, TxtValue) values(" + std::to_string(key) + ", " +
                       quoted(name) + ", " + (value ? quoted(*value) : std::string("null")) + ")");
    }

    // What the other connection sees of an option: nullopt when no row has
    // the name, "<NULL>" for a NULL value.
    std::optional<std::string> stored(const std::string& name)
    {
        vqsql::ResultSet rs = other_.query("select TxtValue from T_Options where Name = " + quoted(name));
        if (rs.rows.empty())
            return std::nullopt;
        return rs.rows[0][0].isNull() ? std::string("<NULL>") : rs.rows[0][0].toString();
    }

    // Every row as "key|name|value", in key order.
    std::vector<std::string> rows()
    {
        vqsql::ResultSet rs = other_.query("select KeyID, Name, TxtValue from T_Options order by KeyID");
        std::vector<std::string> out;
        for (const auto& r : rs.rows)
            out.push_back(r[0].toString() + "|" + r[1].toString() + "|" +
                          (r[2].isNull() ? std::string("<NULL>") : r[2].toString()));
        return out;
    }

    vqsql::Connection other_;
};

// ---------------------------------------------------------------------------
// Reading

struct LookupCase {
    const char* name;
    const char* defaultValue;
    const char* expected;
};

TEST_F(OptionsStore, GetOptionFindsNamesWithoutRegardToCaseAndElseGivesTheDefault)
{
    seed(1, "AccSetName", "Demo Company");
    seed(2, "CWStartYear", "2024");
    seed(3, "CorpFax", std::nullopt);
    seed(4, "CorpTel", "");
    const LookupCase cases[] = {
        {"AccSetName", "x", "Demo Company"},
        {"accsetname", "x", "Demo Company"},
        {"ACCSETNAME", "", "Demo Company"},
        {"cwStartYEAR", "1999", "2024"},
        {"CorpFax", "default", ""},  // NULL reads as empty text, not as the default
        {"CorpTel", "default", ""},
        {"Missing", "fallback", "fallback"},
        {"Missing", "", ""},
        {"AccSetNam", "partial", "partial"},
        {"AccSetName ", "spaced", "spaced"},
    };
    TFundOptions store(link_->UserDB);
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.GetOption(QString::fromUtf8(c.name), QString::fromUtf8(c.defaultValue)).toStdString(),
                  c.expected);
    }
    EXPECT_FALSE(store.modified());
}

TEST_F(OptionsStore, ReadsComeFromTheCacheLoadedOnce)
{
    seed(1, "AccSetName", "before");
    TFundOptions store(link_->UserDB);
    EXPECT_FALSE(store.cacheOpen());
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "before");
    EXPECT_TRUE(store.cacheOpen());
    other_.execute("update T_Options set TxtValue = 'after' where KeyID = 1");
    seed(2, "Later", "row");
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "before");
    EXPECT_EQ(store.GetOption("Later", "none").toStdString(), "none");
    store.CloseOptions();
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "after");
    EXPECT_EQ(store.GetOption("Later", "none").toStdString(), "row");
}

// ---------------------------------------------------------------------------
// Editing existing options

TEST_F(OptionsStore, SettingTheStoredValueChangesNothing)
{
    seed(1, "AccSetName", "Demo");
    {
        TFundOptions store(link_->UserDB);
        store.SetOption("AccSetName", "Demo");
        EXPECT_FALSE(store.modified());
        store.SetOption("accsetname", "Demo");
        EXPECT_FALSE(store.modified());
        // An edit sent anyway would show as a changed name or value here.
        other_.execute("update T_Options set TxtValue = 'Other' where KeyID = 1");
    }
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|Other"}));
}

TEST_F(OptionsStore, SettingEmptyTextOnANullValueChangesNothing)
{
    // NULL reads as empty text, so empty text is the value already there.
    seed(2, "CorpFax", std::nullopt);
    {
        TFundOptions store(link_->UserDB);
        store.SetOption("CorpFax", "");
        EXPECT_FALSE(store.modified());
    }
    EXPECT_EQ(rows(), (std::vector<std::string>{"2|CorpFax|<NULL>"}));
}

TEST_F(OptionsStore, ValuesAreComparedExactly)
{
    seed(1, "AccSetName", "Demo");
    TFundOptions store(link_->UserDB);
    store.SetOption("AccSetName", "demo");
    EXPECT_TRUE(store.modified());
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "demo");
    ASSERT_TRUE(store.SaveOptions());
    EXPECT_EQ(stored("AccSetName"), "demo");
}

TEST_F(OptionsStore, AnEditStaysInTheCacheUntilSaved)
{
    seed(1, "AccSetName", "Old");
    seed(2, "CWWorkYear", "2023");
    TFundOptions store(link_->UserDB);
    store.SetOption("accSetName", "New");
    store.SetOption("CWWorkYear", "2024");
    EXPECT_TRUE(store.modified());
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "New");
    // Nothing has reached the database: the other user still reads the old values.
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|Old", "2|CWWorkYear|2023"}));

    ASSERT_TRUE(store.SaveOptions());
    EXPECT_FALSE(store.modified());
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|New", "2|CWWorkYear|2024"}));
    // Saved once is saved: a second save sends nothing and succeeds.
    other_.execute("update T_Options set TxtValue = 'Other' where KeyID = 1");
    EXPECT_TRUE(store.SaveOptions());
    EXPECT_EQ(stored("AccSetName"), "Other");
}

TEST_F(OptionsStore, AnEditOfANullValueIsSaved)
{
    seed(1, "CorpFax", std::nullopt);
    TFundOptions store(link_->UserDB);
    store.SetOption("CorpFax", "010-1234");
    ASSERT_TRUE(store.SaveOptions());
    EXPECT_EQ(stored("CorpFax"), "010-1234");
}

TEST_F(OptionsStore, DestroyingAStoreSavesPendingEdits)
{
    seed(1, "AccSetName", "Old");
    {
        TFundOptions store(link_->UserDB);
        store.SetOption("AccSetName", "New");
        EXPECT_EQ(stored("AccSetName"), "Old");
    }
    EXPECT_EQ(stored("AccSetName"), "New");
}

TEST_F(OptionsStore, CloseOptionsDropsUnsavedEdits)
{
    seed(1, "AccSetName", "Old");
    {
        TFundOptions store(link_->UserDB);
        store.SetOption("AccSetName", "New");
        store.CloseOptions();
        EXPECT_FALSE(store.cacheOpen());
        EXPECT_TRUE(store.SaveOptions());
        EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "Old");
    }
    EXPECT_EQ(stored("AccSetName"), "Old");
}

// ---------------------------------------------------------------------------
// New options

TEST_F(OptionsStore, ANewNameIsInsertedAtOnceWithTheNextKey)
{
    TFundOptions store(link_->UserDB);
    store.SetOption("AccSetName", "First");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|First"}));
    EXPECT_FALSE(store.modified());
    EXPECT_FALSE(store.cacheOpen());
    // Keys follow the current maximum, gaps and all.
    other_.execute("update T_Options set KeyID = 40 where KeyID = 1");
    store.SetOption("CorpName", "Second");
    EXPECT_EQ(rows(), (std::vector<std::string>{"40|AccSetName|First", "41|CorpName|Second"}));
    // The cache is read again by the next access and holds the new rows.
    EXPECT_EQ(store.GetOption("corpname", "").toStdString(), "Second");
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "First");
}

TEST_F(OptionsStore, ANewNameSavesPendingEditsFirst)
{
    seed(1, "AccSetName", "Old");
    seed(7, "CWWorkYear", "2023");
    TFundOptions store(link_->UserDB);
    store.SetOption("AccSetName", "New");
    store.SetOption("CWWorkYear", "2024");
    ASSERT_TRUE(store.modified());

    store.SetOption("UpgradeDBTable", "20180120.01");
    EXPECT_FALSE(store.modified());
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|New", "7|CWWorkYear|2024",
                                                "8|UpgradeDBTable|20180120.01"}));
    EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "New");
}

struct TypedCase {
    const char* name;
    std::function<void(TFundOptions&)> set;
    const char* expected;
};

TEST_F(OptionsStore, IntegersAndDatesAreStoredAsText)
{
    const TypedCase cases[] = {
        {"Zero", [](TFundOptions& s) { s.SetIntOption("Zero", 0); }, "0"},
        {"Year", [](TFundOptions& s) { s.SetIntOption("Year", 2024); }, "2024"},
        {"Negative", [](TFundOptions& s) { s.SetIntOption("Negative", -7); }, "-7"},
        {"Largest", [](TFundOptions& s) { s.SetIntOption("Largest", 2147483647); }, "2147483647"},
        {"Date", [](TFundOptions& s) { s.SetDateOption("Date", QDate(2024, 3, 5)); }, "2024-03-05"},
        {"YearEnd", [](TFundOptions& s) { s.SetDateOption("YearEnd", QDate(1999, 12, 31)); }, "1999-12-31"},
    };
    TFundOptions store(link_->UserDB);
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.set(store);
        EXPECT_EQ(stored(c.name), c.expected);
    }
    // On an existing option the same text is an edit like any other.
    store.SetIntOption("Year", 2025);
    store.SetDateOption("Date", QDate(2024, 3, 6));
    ASSERT_TRUE(store.SaveOptions());
    EXPECT_EQ(stored("Year"), "2025");
    EXPECT_EQ(stored("Date"), "2024-03-06");
}

struct VerbatimCase {
    const char* label;
    const char* name;
    const char* value;
};

TEST_F(OptionsStore, NamesAndValuesAreStoredAsGiven)
{
    const VerbatimCase cases[] = {
        {"apostrophes", "O'Brien's", "it's 'quoted'"},
        {"comment marks", "A--B", "x -- y"},
        {"statement tail", "Tail", "'); delete from T_Options --"},
        {"Chinese", "CorpName", "北京示例有限公司"},
        {"empty value", "CorpURL", ""},
    };
    {
        TFundOptions store(link_->UserDB);
        for (const VerbatimCase& c : cases) {
            SCOPED_TRACE(c.label);
            store.SetOption(QString::fromUtf8(c.name), QString::fromUtf8(c.value));
            EXPECT_EQ(stored(c.name), c.value);
            EXPECT_EQ(store.GetOption(QString::fromUtf8(c.name), "missing").toStdString(), c.value);
        }
        EXPECT_EQ(rows().size(), std::size(cases));
        // The same texts as edits of existing options.
        for (const VerbatimCase& c : cases)
            store.SetOption(QString::fromUtf8(c.name), QString::fromUtf8(c.value) + "'--");
        ASSERT_TRUE(store.SaveOptions());
    }
    for (const VerbatimCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(stored(c.name), std::string(c.value) + "'--");
    }
    EXPECT_EQ(rows().size(), std::size(cases));
}

// ---------------------------------------------------------------------------
// Failed saves

struct SaveFailureCase {
    const char* name;
    const char* sabotage;
};

class OptionsStoreSaveFailure : public OptionsStore, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(OptionsStoreSaveFailure, ShowsTheNoticeReturnsFalseAndCancelsTheEdits)
{
    seed(1, "AccSetName", "Old");
    seed(2, "CWWorkYear", "2023");
    TFundOptions store(link_->UserDB);
    store.SetOption("AccSetName", "New");
    store.SetOption("CWWorkYear", "2024");
    other_.execute(GetParam().sabotage);

    dialogs_.expect(DialogKind::Info, kNotice, kSaveFailed);
    EXPECT_FALSE(store.SaveOptions());
    dialogs_.verifyDone();
    EXPECT_FALSE(store.modified());
    EXPECT_FALSE(link_->UserDB.inTransaction());
    // Nothing else is tried: no second notice, neither now nor on destruction.
    EXPECT_TRUE(store.SaveOptions());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, OptionsStoreSaveFailure,
    ::testing::Values(SaveFailureCase{"RowDeletedByAnotherUser", "delete from T_Options where KeyID = 2"},
                      SaveFailureCase{"TableDropped", "drop table T_Options"}),
    [](const ::testing::TestParamInfo<SaveFailureCase>& info) { return info.param.name; });

TEST_F(OptionsStore, AFailedSaveWritesNoneOfTheEdits)
{
    seed(1, "AccSetName", "Old");
    seed(2, "CWWorkYear", "2023");
    seed(3, "CorpName", "Corp");
    {
        TFundOptions store(link_->UserDB);
        store.SetOption("AccSetName", "New");
        store.SetOption("CWWorkYear", "2024");
        store.SetOption("CorpName", "Other Corp");
        other_.execute("delete from T_Options where KeyID = 2");

        dialogs_.expect(DialogKind::Info, kNotice, kSaveFailed);
        EXPECT_FALSE(store.SaveOptions());
        // The cancelled edits are gone from the store as well.
        EXPECT_EQ(store.GetOption("AccSetName", "").toStdString(), "Old");
        EXPECT_EQ(store.GetOption("CorpName", "").toStdString(), "Corp");
        EXPECT_EQ(store.GetOption("CWWorkYear", "gone").toStdString(), "gone");
    }
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|AccSetName|Old", "3|CorpName|Corp"}));
}

TEST_F(OptionsStore, AFailedSaveBeforeANewNameStillInsertsIt)
{
    seed(1, "AccSetName", "Old");
    TFundOptions store(link_->UserDB);
    store.SetOption("AccSetName", "New");
    other_.execute("delete from T_Options where KeyID = 1");

    dialogs_.expect(DialogKind::Info, kNotice, kSaveFailed);
    store.SetOption("LastBackupDate", "2024-03-05");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1|LastBackupDate|2024-03-05"}));
}
