// The new account-set wizard walked as an operator, headless: the steps,
// the counter and buttons, the checks with their messages and focus, the
// hints, and what it hands to the create sequence.
#include "accset_fixture.h"
#include "accset_windows.h"

#include "accsetcalendar.h"
#include "sysnewaccset.h"
#include "syssubjectview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

#include <algorithm>

namespace {

const QString kNotice = QStringLiteral("提示");

}  // namespace

class WizardTest : public AccSetFixture {
protected:
    void SetUp() override
    {
        AccSetFixture::SetUp();
        wizard_ = std::make_unique<TSysNewAccSetForm>();
        wizard_->show();
    }

    void TearDown() override
    {
        wizard_.reset();
        AccSetFixture::TearDown();
    }

    template <typename T>
    T* child(const char* name)
    {
        T* widget = wizard_->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void click(const char* button) { child<QPushButton>(button)->click(); }
    void type(const char* edit, const QString& text) { child<QLineEdit>(edit)->setText(text); }
    QString focused() const { return wizard_->focusWidget() ? wizard_->focusWidget()->objectName() : QString(); }

    // Fills step 2 and step 3 with passing values and moves on to step 4.
    void passParamsAndCorp(const QString& code = QStringLiteral("101"))
    {
        click("btnNext");
        type("EditDBName", code);
        type("EditAccName", QStringLiteral("新公司"));
        click("btnNext");
        type("EditCorpName", QStringLiteral("新公司有限责任公司"));
        click("btnNext");
        ASSERT_EQ(wizard_->currentStep(), 4);
    }

    std::unique_ptr<TSysNewAccSetForm> wizard_;
};

TEST_F(WizardTest, EveryStepHasItsCaptionCounterButtonsAndFocus)
{
    struct Step {
        const char* caption;
        const char* focus;
    };
    const Step steps[] = {{"欢迎", ""},           {"账套参数", "EditDBName"}, {"企业信息", "EditCorpName"},
                          {"会计科目", "cmbSubKind"}, {"会计月历", "SpinEditYear"}, {"凭证选项", "ckbVouAudiKind"},
                          {"结转损益", "ComboBoxClearPL"}, {"创建账套", ""}};
    type("EditDBName", QStringLiteral("101"));
    type("EditAccName", QStringLiteral("新公司"));
    type("EditCorpName", QStringLiteral("新公司"));
    EXPECT_EQ(wizard_->windowTitle(), QStringLiteral("新建账套"));
    for (int n = 1; n <= 8; ++n) {
        const Step& s = steps[n - 1];
        SCOPED_TRACE(n);
        EXPECT_EQ(wizard_->currentStep(), n);
        EXPECT_EQ(child<QLabel>("lblHint")->text(), QString::fromUtf8(s.caption));
        EXPECT_EQ(child<QLabel>("lblStep")->text(), QStringLiteral("第%1步/共8步").arg(n));
        EXPECT_EQ(child<QStackedWidget>("PageControl")->currentIndex(), n - 1);
        EXPECT_EQ(child<QPushButton>("btnPrior")->isEnabled(), n > 1);
        EXPECT_EQ(child<QPushButton>("btnNext")->isEnabled(), n < 8);
        EXPECT_EQ(child<QPushButton>("btnCreateAccSet")->isVisible(), n == 8);
        if (*s.focus) {
            EXPECT_EQ(focused(), QLatin1String(s.focus));
        }
        click("btnNext");
    }
    EXPECT_EQ(wizard_->currentStep(), 8);
    // Back to the start; going back checks nothing.
    type("EditDBName", QString());
    for (int n = 8; n > 1; --n)
        click("btnPrior");
    EXPECT_EQ(wizard_->currentStep(), 1);
    click("btnPrior");
    EXPECT_EQ(wizard_->currentStep(), 1);
}

TEST_F(WizardTest, StepTwoChecksInOrderWithMessageAndFocus)
{
    addAccountSet("OLD", "回收站里的", "pw", 1);
    addAccountSet("LOST", "没有目录行", "pw", 0, false);
    struct Case {
        const char* code;
        const char* name;
        const char* password;
        const char* password2;
        const char* message;   // empty: passes
        const char* focus;
    };
    const Case cases[] = {
        {"", "名", "", "", "账套代号不可以为空。", "EditDBName"},
        {"old", "名", "", "", "该\"账套代号\"已被其他账套使用，请选用别的账套代号。", "EditDBName"},
        {"LOST", "名", "", "", "用\"账套代号\"将要创建的数据库在数据库系统中已经存在，请选用别的账套代号。", "EditDBName"},
        {"a/b", "名", "", "", nullptr, "EditDBName"},
        {"102", "", "", "", "账套名称不可以为空。", "EditAccName"},
        {"102", "名", "Pw", "pw", "\"管理员口令\"和\"确认口令\"不一致，请重新输入。", "EditPassword"},
        {"   ", "名", "", "", "", ""},
        {"O'Neil", "名", "pw", "pw", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        wizard_ = std::make_unique<TSysNewAccSetForm>();
        wizard_->show();
        click("btnNext");
        type("EditDBName", QString::fromUtf8(c.code));
        type("EditAccName", QString::fromUtf8(c.name));
        type("EditPassword", QString::fromUtf8(c.password));
        type("EditPassword2", QString::fromUtf8(c.password2));
        const bool refused = c.message == nullptr || *c.message;
        if (refused)
            dialogs_.expect(DialogKind::Info, kNotice, c.message ? QString::fromUtf8(c.message) : QString());
        click("btnNext");
        dialogs_.verifyDone();
        EXPECT_EQ(wizard_->currentStep(), refused ? 2 : 3);
        if (refused) {
            EXPECT_EQ(focused(), QLatin1String(c.focus));
        }
    }
}

TEST_F(WizardTest, GoingBackAndForwardChecksAgain)
{
    click("btnNext");
    type("EditDBName", QStringLiteral("101"));
    type("EditAccName", QStringLiteral("新公司"));
    click("btnNext");
    ASSERT_EQ(wizard_->currentStep(), 3);
    click("btnPrior");
    addAccountSet("101", "同时建的", "pw");
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("该\"账套代号\"已被其他账套使用，请选用别的账套代号。"));
    click("btnNext");
    EXPECT_EQ(wizard_->currentStep(), 2);
}

TEST_F(WizardTest, CompanyNameIsRequiredAndCopyingNeedsASource)
{
    click("btnNext");
    type("EditDBName", QStringLiteral("101"));
    type("EditAccName", QStringLiteral("新公司"));
    click("btnNext");
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("单位名称不可以为空。"));
    click("btnNext");
    EXPECT_EQ(wizard_->currentStep(), 3);
    EXPECT_EQ(focused(), QStringLiteral("EditCorpName"));
    type("EditCorpName", QStringLiteral("新公司"));
    click("btnNext");

    // Nothing in the catalogue to copy from: the list stays empty.
    child<QRadioButton>("rbOther")->click();
    EXPECT_TRUE(child<QCheckBox>("ckbCopyList")->isVisible());
    EXPECT_EQ(child<QComboBox>("DBLkupEmAccList")->count(), 0);
    dialogs_.expect(DialogKind::Info, kNotice,
                    QStringLiteral("当选中\"从选择的账套复制会计科目\"时，必须选择一已有的账套。"));
    click("btnNext");
    EXPECT_EQ(wizard_->currentStep(), 4);
    EXPECT_EQ(focused(), QStringLiteral("DBLkupEmAccList"));
    child<QRadioButton>("rbStandard")->click();
    EXPECT_FALSE(child<QCheckBox>("ckbCopyList")->isVisible());
    click("btnNext");
    EXPECT_EQ(wizard_->currentStep(), 5);
}

TEST_F(WizardTest, TheCopyListOffersActiveSetsAndChoosesTheFirst)
{
    addAccountSet("A1", "甲", "pw");
    addAccountSet("B2", "乙", "pw", 1);
    addAccountSet("C3", "丙", "pw");
    passParamsAndCorp();
    child<QRadioButton>("rbOther")->click();
    auto* list = child<QComboBox>("DBLkupEmAccList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), QStringLiteral("A1 甲"));
    EXPECT_EQ(list->currentIndex(), 0);
    list->setCurrentIndex(1);
    child<QCheckBox>("ckbCopyList")->setChecked(true);
    const TNewAccSetChoices c = wizard_->choices();
    EXPECT_TRUE(c.copyChart);
    EXPECT_EQ(c.copyFromCode, QStringLiteral("C3"));
    EXPECT_TRUE(c.copyLists);
    // A second click reads nothing again and keeps the choice.
    child<QRadioButton>("rbStandard")->click();
    child<QRadioButton>("rbOther")->click();
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_FALSE(wizard_->choices().copyChart && wizard_->choices().copyFromCode.isEmpty());
}

TEST_F(WizardTest, HintsFollowTheFocus)
{
    click("btnNext");
    auto* status = child<QLabel>("StatusBarTip");
    const std::pair<const char*, QString> hints[] = {{"EditDBName", TSysNewAccSetForm::DBNameHint()},
                                                     {"EditPassword", TSysNewAccSetForm::PasswordHint()},
                                                     {"EditPassword2", TSysNewAccSetForm::Password2Hint()}};
    QApplication::setActiveWindow(wizard_.get());
    for (const auto& [edit, hint] : hints) {
        QEvent in(QEvent::FocusIn);
        QApplication::sendEvent(child<QLineEdit>(edit), &in);
        EXPECT_EQ(status->text(), hint) << edit;
        QEvent out(QEvent::FocusOut);
        QApplication::sendEvent(child<QLineEdit>(edit), &out);
        EXPECT_TRUE(status->text().isEmpty()) << edit;
    }
}

TEST_F(WizardTest, TheChoicesAreWhatTheFieldsHold)
{
    passParamsAndCorp(QStringLiteral("X9"));
    child<QComboBox>("cmbSubKind")->setCurrentIndex(2);
    wizard_->findChild<QSpinBox*>(QStringLiteral("SpinEditSub2"))->setValue(5);
    click("btnNext");
    wizard_->findChild<QSpinBox*>(QStringLiteral("SpinEditYear"))->setValue(2024);
    child<QRadioButton>("rbUserMonths")->click();
    click("btnNext");
    child<QCheckBox>("ckbVouAudiKind")->setChecked(true);
    child<QRadioButton>("rbVouWord3")->click();
    click("btnNext");
    child<QComboBox>("ComboBoxClearPL")->setCurrentIndex(1);
    const TNewAccSetChoices c = wizard_->choices();
    EXPECT_EQ(c.code, QStringLiteral("X9"));
    EXPECT_EQ(c.subjectKind, 2);
    EXPECT_EQ(c.lengths[1], 5);
    EXPECT_EQ(c.startYear, 2024);
    EXPECT_EQ(c.calendarKind, 1);
    ASSERT_EQ(c.calendar.size(), 12);
    EXPECT_EQ(c.calendar[1].BeginDate, QDate(2024, 2, 1));
    EXPECT_TRUE(c.vouAudiKind);
    EXPECT_EQ(c.vouWordGroup, 3);
    EXPECT_EQ(c.clearPLKind, 1);
}

TEST_F(WizardTest, ThePreviewShowsThePresetChartRecodedAndIndented)
{
    restore("VQTCWPack");
    passParamsAndCorp();
    child<QComboBox>("cmbSubKind")->setCurrentIndex(2);
    wizard_->findChild<QSpinBox*>(QStringLiteral("SpinEditSub2"))->setValue(2);
    QStringList codes, names;
    QString caption;
    vqtest::whileModal<TSysSubjectViewForm>([&](TSysSubjectViewForm* preview) {
        caption = preview->windowTitle();
        const QTableView* grid = vqtest::child<QTableView>(preview, "DBGridSubject");
        codes = vqtest::gridColumn(grid, 0);
        names = vqtest::gridColumn(grid, 1);
        vqtest::clickButton(preview, "btnExit");
    });
    click("btnSubject");
    EXPECT_EQ(caption, QStringLiteral("查看预设科目--2006企业会计制度科目"));
    ASSERT_FALSE(codes.isEmpty());
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    for (qsizetype i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes[i].toStdString());
        // Level 1 keeps four characters; level 2 has two more; level 3 three.
        EXPECT_TRUE(codes[i].size() == 4 || codes[i].size() == 6 || codes[i].size() == 9);
        const int indent = codes[i].size() == 4 ? 0 : codes[i].size() == 6 ? 2 : 4;
        EXPECT_TRUE(names[i].startsWith(QString(indent, QLatin1Char(' '))));
        EXPECT_FALSE(names[i].at(indent).isSpace());
    }
    EXPECT_EQ(TSysSubjectViewForm::PreviewCaption(3), QStringLiteral("查看预设科目"));
    EXPECT_EQ(TSysSubjectViewForm::PreviewCaption(4), QStringLiteral("查看预设科目"));
}
