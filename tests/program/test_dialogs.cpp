// The shared input, password and waiting windows, driven as the operator
// drives them: keys into the edit box, clicks on the buttons, and the
// program's calls around the waiting window.
#include "mwinput.h"
#include "qtoperatordialogs.h"
#include "syswaiting.h"
#include "textcodec.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QAbstractButton>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

namespace {

// Acts on the input dialog while its exec() runs. Whatever the action does
// (or a failed assertion in it leaves), the dialog is rejected afterwards
// if it is still open, so a failing test cannot hang.
void whileOpen(std::function<void(TMWInputForm*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* form = qobject_cast<TMWInputForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr) << "no input dialog open";
        action(form);
        if (form->isVisible())
            form->reject();
    });
}

QLineEdit* edit(TMWInputForm* form)
{
    return form->findChild<QLineEdit*>(QStringLiteral("EditInput"));
}

QPushButton* okButton(TMWInputForm* form)
{
    return form->findChild<QPushButton*>(QStringLiteral("btnOk"));
}

QPushButton* cancelButton(TMWInputForm* form)
{
    return form->findChild<QPushButton*>(QStringLiteral("btnCancel"));
}

// Text as a Chinese input method hands it over: one commit.
void commit(QWidget* target, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(target, &event);
}

// One key that produces a character no Latin-1 key does.
void typeChar(QWidget* target, const QString& ch)
{
    QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, ch, Qt::NoModifier);
}

}  // namespace

TEST(InputDialog, ShowsCaptionPromptAndTheFixedLayout)
{
    bool seen = false;
    whileOpen([&](TMWInputForm* form) {
        seen = true;
        EXPECT_EQ(form->windowTitle(), QStringLiteral("更改账套名称"));
        EXPECT_EQ(form->size(), QSize(392, 132));
        auto* tip = form->findChild<QLabel*>(QStringLiteral("LabelTip"));
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(tip->text(), QStringLiteral("请输入新的账套名称："));
        EXPECT_EQ(tip->pos(), QPoint(52, 22));
        ASSERT_NE(edit(form), nullptr);
        EXPECT_EQ(edit(form)->geometry(), QRect(52, 48, 296, 20));
        EXPECT_EQ(edit(form)->text(), QStringLiteral("华东分公司"));
        EXPECT_EQ(edit(form)->echoMode(), QLineEdit::Normal);
        ASSERT_NE(okButton(form), nullptr);
        ASSERT_NE(cancelButton(form), nullptr);
        EXPECT_EQ(okButton(form)->text(), QStringLiteral("确定(&O)"));
        EXPECT_EQ(cancelButton(form)->text(), QStringLiteral("取消(&C)"));
        EXPECT_EQ(okButton(form)->geometry(), QRect(162, 93, 81, 24));
        EXPECT_EQ(cancelButton(form)->geometry(), QRect(258, 92, 81, 24));
        EXPECT_TRUE(okButton(form)->isDefault());
        EXPECT_EQ(form->font().pixelSize(), 12);
        EXPECT_TRUE(form->isModal());
        // Centred on the screen.
        const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
        EXPECT_LE((form->geometry().center() - screenCentre).manhattanLength(), 4);
    });
    TMWInputForm::ShowInputDialog(QStringLiteral("更改账套名称"), QStringLiteral("请输入新的账套名称："),
                                  QStringLiteral("华东分公司"), 0);
    EXPECT_TRUE(seen);
}

TEST(InputDialog, OkFollowsWhetherTheBoxHoldsText)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        EXPECT_FALSE(okButton(form)->isEnabled()) << "empty initial text must open with OK disabled";
        QTest::keyClicks(box, QStringLiteral("ab"));
        EXPECT_TRUE(okButton(form)->isEnabled());
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_TRUE(okButton(form)->isEnabled());
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_FALSE(okButton(form)->isEnabled());
        // Enter does nothing while OK is disabled.
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(form->isVisible());
        typeChar(box, QStringLiteral("新"));
        EXPECT_TRUE(okButton(form)->isEnabled());
        QTest::mouseClick(okButton(form), Qt::LeftButton);
    });
    const auto answer = TMWInputForm::ShowInputDialog(QStringLiteral("恢复账套数据库"),
                                                      QStringLiteral("请重新输入账套代号："), QString(), 24);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("新"));
}

TEST(InputDialog, InitialTextEnablesOkAndEnterConfirmsIt)
{
    whileOpen([](TMWInputForm* form) {
        EXPECT_TRUE(okButton(form)->isEnabled());
        QTest::keyClick(edit(form), Qt::Key_Return);
    });
    const auto answer = TMWInputForm::ShowInputDialog(QStringLiteral("更改账套名称"),
                                                      QStringLiteral("请输入新的账套名称："),
                                                      QStringLiteral("总公司"), 0);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("总公司"));
}

TEST(InputDialog, LimitRefusesTheTwentyFifthByte)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        QTest::keyClicks(box, QStringLiteral("123456789012345678901234"));
        EXPECT_EQ(box->text().size(), 24);
        QTest::keyClick(box, Qt::Key_X);
        EXPECT_EQ(box->text(), QStringLiteral("123456789012345678901234"));
        QTest::mouseClick(okButton(form), Qt::LeftButton);
    });
    const auto answer = TMWInputForm::ShowInputDialog(QStringLiteral("恢复账套数据库"),
                                                      QStringLiteral("请重新输入账套代号："), QString(), 24);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->size(), 24);
}

TEST(InputDialog, ChineseCharactersCountTwoBytes)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        // 23 bytes typed: a Chinese character would make 25.
        QTest::keyClicks(box, QStringLiteral("12345678901234567890123"));
        typeChar(box, QStringLiteral("账"));
        EXPECT_EQ(box->text(), QStringLiteral("12345678901234567890123")) << "a 2-byte character must not fit into 1 byte";
        QTest::keyClick(box, Qt::Key_A);
        EXPECT_EQ(gbkLength(box->text()), 24);

        // Twelve characters fill 24 bytes, and nothing more goes in.
        box->clear();
        commit(box, QStringLiteral("北京华夏软件有限公司总部"));
        EXPECT_EQ(box->text(), QStringLiteral("北京华夏软件有限公司总部"));
        QTest::keyClick(box, Qt::Key_A);
        typeChar(box, QStringLiteral("一"));
        EXPECT_EQ(box->text(), QStringLiteral("北京华夏软件有限公司总部"));
    });
    TMWInputForm::ShowInputDialog(QStringLiteral("恢复账套数据库"), QStringLiteral("请重新输入账套代号："), QString(),
                                  24);
}

TEST(InputDialog, ACommitLongerThanTheRoomIsCutShort)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        QTest::keyClicks(box, QStringLiteral("ab"));
        QTest::keyClick(box, Qt::Key_Home);
        // 6 bytes of room left at the start of the box.
        commit(box, QStringLiteral("上海分公司"));
        EXPECT_EQ(box->text(), QStringLiteral("上海分ab"));
        EXPECT_EQ(box->cursorPosition(), 3);
    });
    TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QString(), 8);
}

TEST(InputDialog, InitialTextOverTheLimitCanOnlyShrink)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        EXPECT_EQ(box->text(), QStringLiteral("abcdef"));
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClick(box, Qt::Key_G);
        EXPECT_EQ(box->text(), QStringLiteral("abcdef"));
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), QStringLiteral("abcde"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), QStringLiteral("abc"));
        QTest::keyClicks(box, QStringLiteral("xyz"));
        EXPECT_EQ(box->text(), QStringLiteral("abcx"));
    });
    TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("abcdef"), 4);
}

TEST(InputDialog, NoLimitTakesLongText)
{
    const QString longText(300, QLatin1Char('n'));
    whileOpen([&](TMWInputForm* form) {
        QTest::keyClicks(edit(form), longText);
        QTest::keyClick(edit(form), Qt::Key_Enter);
    });
    const auto answer = TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QString(), 0);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, longText);
}

TEST(InputDialog, CancelEscapeAndClosingAnswerNothing)
{
    whileOpen([](TMWInputForm* form) {
        QTest::keyClicks(edit(form), QStringLiteral("typed"));
        QTest::mouseClick(cancelButton(form), Qt::LeftButton);
    });
    EXPECT_EQ(TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("x"), 0),
              std::nullopt);

    whileOpen([](TMWInputForm* form) { QTest::keyClick(edit(form), Qt::Key_Escape); });
    EXPECT_EQ(TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("x"), 0),
              std::nullopt);

    whileOpen([](TMWInputForm* form) { form->close(); });
    EXPECT_EQ(TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("x"), 0),
              std::nullopt);
}

TEST(InputDialog, EachCallHasItsOwnWindowDestroyedAfterwards)
{
    QPointer<TMWInputForm> first;
    whileOpen([&](TMWInputForm* form) {
        first = form;
        form->accept();
    });
    TMWInputForm::ShowInputDialog(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("x"), 0);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(PasswordDialog, MasksWithStarsAndOffersOkAtOnce)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("请输入系统管理员口令"));
        EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("LabelTip"))->text(),
                  QStringLiteral("请输入当前选中账套\"001\"的系统管理员口令："));
        EXPECT_TRUE(box->text().isEmpty());
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(okButton(form)->isEnabled()) << "an empty password may be confirmed";
        QTest::keyClicks(box, QStringLiteral("pw1"));
        EXPECT_EQ(box->displayText(), QStringLiteral("***"));
        QTest::mouseClick(okButton(form), Qt::LeftButton);
    });
    QtOperatorDialogs dialogs;
    const auto answer = dialogs.inputPassword(QStringLiteral("请输入系统管理员口令"),
                                              QStringLiteral("请输入当前选中账套\"001\"的系统管理员口令："));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("pw1"));
}

TEST(PasswordDialog, EnterConfirmsAnEmptyPassword)
{
    whileOpen([](TMWInputForm* form) { QTest::keyClick(edit(form), Qt::Key_Return); });
    const auto answer = TMWInputForm::ShowPasswordDialog(QStringLiteral("c"), QStringLiteral("p"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->isEmpty());
}

TEST(PasswordDialog, TypedThenErasedDisablesOk)
{
    whileOpen([](TMWInputForm* form) {
        QLineEdit* box = edit(form);
        QTest::keyClick(box, Qt::Key_A);
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_FALSE(okButton(form)->isEnabled());
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(form->isVisible());
        QTest::keyClick(box, Qt::Key_B);
        EXPECT_TRUE(okButton(form)->isEnabled());
        QTest::keyClick(box, Qt::Key_Return);
    });
    const auto answer = TMWInputForm::ShowPasswordDialog(QStringLiteral("c"), QStringLiteral("p"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("b"));
}

TEST(PasswordDialog, HoldsAtMost128Bytes)
{
    whileOpen([](TMWInputForm* form) {
        QTest::keyClicks(edit(form), QString(130, QLatin1Char('p')));
        EXPECT_EQ(edit(form)->text().size(), 128);
        QTest::keyClick(edit(form), Qt::Key_Return);
    });
    const auto answer = TMWInputForm::ShowPasswordDialog(QStringLiteral("c"), QStringLiteral("p"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->size(), 128);
}

TEST(PasswordDialog, CancelAnswersNothingEvenWithTextTyped)
{
    whileOpen([](TMWInputForm* form) {
        QTest::keyClicks(edit(form), QStringLiteral("secret"));
        QTest::mouseClick(cancelButton(form), Qt::LeftButton);
    });
    QtOperatorDialogs dialogs;
    EXPECT_EQ(dialogs.inputPassword(QStringLiteral("c"), QStringLiteral("p")), std::nullopt);
}

TEST(InputDialog, TheSeamReturnsTheTypedText)
{
    whileOpen([](TMWInputForm* form) {
        QTest::keyClicks(edit(form), QStringLiteral("0123456789012345678901234567"));
        QTest::keyClick(edit(form), Qt::Key_Return);
    });
    QtOperatorDialogs dialogs;
    const auto answer = dialogs.inputText(QStringLiteral("恢复账套数据库"), QStringLiteral("请重新输入账套代号："),
                                          QString(), 24);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("012345678901234567890123"));
}

// The waiting window.

class WaitingWindow : public ::testing::Test {
protected:
    void TearDown() override
    {
        TSysWaitingForm::CloseWaiting();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
};

TEST_F(WaitingWindow, WidthGrowsEightPerByteBeyondThirtyTwo)
{
    EXPECT_EQ(TSysWaitingForm::widthFor(QStringLiteral("正在备份数据，请稍候......")), 320);
    EXPECT_EQ(TSysWaitingForm::widthFor(QStringLiteral("正在为第一次运行本软件创建数据库，请稍候......")), 432);
    EXPECT_EQ(TSysWaitingForm::widthFor(QString(32, QLatin1Char('w'))), 320);
    EXPECT_EQ(TSysWaitingForm::widthFor(QString(33, QLatin1Char('w'))), 328);
    // 16 Chinese characters are 32 bytes; a 17th makes 34.
    EXPECT_EQ(TSysWaitingForm::widthFor(QString(16, QChar(0x6570))), 320);
    EXPECT_EQ(TSysWaitingForm::widthFor(QString(17, QChar(0x6570))), 336);
}

TEST_F(WaitingWindow, ShowsTheMessageBorderlessCentredAndVisibleAtOnce)
{
    ASSERT_EQ(TSysWaitingForm::instance(), nullptr);
    TSysWaitingForm* form = TSysWaitingForm::ShowWaiting(QStringLiteral("正在备份数据，"), QStringLiteral("请稍候......"));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(TSysWaitingForm::instance(), form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->size(), QSize(320, 63));
    EXPECT_EQ(form->message(), QStringLiteral("正在备份数据，请稍候......"));
    auto* label = form->findChild<QLabel*>(QStringLiteral("LabelWaiting"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("正在备份数据，请稍候......"));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 12);
    EXPECT_EQ(label->pos(), QPoint(71, 23));
    EXPECT_LE(label->geometry().right(), form->width());
    auto* animation = form->findChild<TSearchAnimation*>(QStringLiteral("Animate1"));
    ASSERT_NE(animation, nullptr);
    EXPECT_TRUE(animation->active());
    EXPECT_EQ(animation->width(), 56);
    const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE((form->geometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(WaitingWindow, TheAnimationLoopsThroughEightFrames)
{
    TSysWaitingForm* form = TSysWaitingForm::ShowWaiting(QStringLiteral("正在恢复数据，"), QStringLiteral("请稍候......"));
    auto* animation = form->findChild<TSearchAnimation*>(QStringLiteral("Animate1"));
    ASSERT_NE(animation, nullptr);
    QSet<int> frames;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000 && frames.size() < 8) {
        QTest::qWait(20);
        frames.insert(animation->frame());
    }
    EXPECT_EQ(frames.size(), 8);
    for (int f : frames) {
        EXPECT_GE(f, 1);
        EXPECT_LE(f, 8);
    }
}

TEST_F(WaitingWindow, ProgressShowsInABarAndTurnsTheAnimationWithoutTheEventLoop)
{
    // Progress comes from inside a blocking backup: it must paint at once
    // and must not run the event loop (a timer there could reach the busy
    // connection).
    QtOperatorDialogs seam;
    seam.showWaitingProgress(10);   // no window: nothing happens
    EXPECT_EQ(TSysWaitingForm::instance(), nullptr);
    seam.showWaiting(QStringLiteral("正在备份数据，"), QStringLiteral("请稍候......"));
    TSysWaitingForm* form = TSysWaitingForm::instance();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->progress(), -1);
    auto* animation = form->findChild<TSearchAnimation*>(QStringLiteral("Animate1"));
    ASSERT_NE(animation, nullptr);
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    const int frame = animation->frame();
    seam.showWaitingProgress(40);
    EXPECT_EQ(form->progress(), 40);
    EXPECT_NE(animation->frame(), frame);
    seam.showWaitingProgress(140);
    EXPECT_EQ(form->progress(), 100);
    EXPECT_FALSE(timerRan);
    seam.closeWaiting();
    EXPECT_EQ(TSysWaitingForm::instance(), nullptr);
}

TEST_F(WaitingWindow, BusyPointerWhileTheWindowExists)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    TSysWaitingForm::ShowWaiting(QStringLiteral("正在创建账套数据库，"), QStringLiteral("请稍候......"));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    TSysWaitingForm::CloseWaiting();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(TSysWaitingForm::instance(), nullptr);
}

TEST_F(WaitingWindow, ASecondMessageReusesTheWindowInPlace)
{
    TSysWaitingForm* first =
        TSysWaitingForm::ShowWaiting(QStringLiteral("正在创建账套数据库，"), QStringLiteral("请稍候......"));
    const QPoint place = first->pos();
    QPointer<TSysWaitingForm> watch(first);
    TSysWaitingForm* second =
        TSysWaitingForm::ShowWaiting(QStringLiteral("正在为第一次运行本软件创建数据库，"), QStringLiteral("请稍候......"));
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->pos(), place);
    EXPECT_EQ(second->width(), 432);
    EXPECT_EQ(second->message(), QStringLiteral("正在为第一次运行本软件创建数据库，请稍候......"));

    // One CloseWaiting after two ShowWaiting leaves neither window nor busy pointer.
    TSysWaitingForm::CloseWaiting();
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(TSysWaitingForm::instance(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TSysWaitingForm*>(w), nullptr);

    // The next ShowWaiting makes a new window.
    TSysWaitingForm* third = TSysWaitingForm::ShowWaiting(QStringLiteral("正在备份数据，"), QStringLiteral("请稍候......"));
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->width(), 320);
    EXPECT_TRUE(third->isVisible());
}

TEST_F(WaitingWindow, CloseWithoutAWindowLeavesOtherPointersAlone)
{
    QApplication::setOverrideCursor(Qt::CrossCursor);
    TSysWaitingForm::CloseWaiting();
    TSysWaitingForm::CloseWaiting();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
}

TEST_F(WaitingWindow, TheSeamShowsAndClosesIt)
{
    QtOperatorDialogs dialogs;
    dialogs.closeWaiting();
    dialogs.showWaiting(QStringLiteral("正在初始化账套数据库，"), QStringLiteral("请稍候......"));
    ASSERT_NE(TSysWaitingForm::instance(), nullptr);
    EXPECT_EQ(TSysWaitingForm::instance()->message(), QStringLiteral("正在初始化账套数据库，请稍候......"));
    EXPECT_TRUE(TSysWaitingForm::instance()->isVisible());
    dialogs.showWaiting(QStringLiteral("正在备份数据，"), QStringLiteral("请稍候......"));
    dialogs.closeWaiting();
    EXPECT_EQ(TSysWaitingForm::instance(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The message boxes: caption, text, and the buttons in Chinese whatever
// Qt's own translations say; the answer is the button clicked.

namespace {

struct BoxSeen {
    QString caption;
    QString text;
    QStringList buttons;
};

// Reads the open message box, then clicks the button with the given text.
void whileBoxOpen(BoxSeen& seen, const QString& click)
{
    QTimer::singleShot(0, [&seen, click] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "no message box open";
        seen.caption = box->windowTitle();
        seen.text = box->text();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons << button->text();
            if (button->text() == click)
                target = button;
        }
        seen.buttons.sort();
        if (target)
            QTest::mouseClick(target, Qt::LeftButton);
        else
            box->reject();
    });
}

}  // namespace

TEST(MessageBoxes, ShowCaptionTextAndChineseButtons)
{
    QtOperatorDialogs dialogs;
    BoxSeen seen;

    whileBoxOpen(seen, QStringLiteral("确定"));
    dialogs.showInfo(QStringLiteral("端口号必须为正整数。"), QStringLiteral("提示"));
    EXPECT_EQ(seen.caption, QStringLiteral("提示"));
    EXPECT_EQ(seen.text, QStringLiteral("端口号必须为正整数。"));
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("确定")});

    seen = {};
    whileBoxOpen(seen, QStringLiteral("确定"));
    dialogs.showError(QStringLiteral("e"), QStringLiteral("错误"));
    EXPECT_EQ(seen.caption, QStringLiteral("错误"));
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("确定")});

    const struct {
        const char* click;
        DialogAnswer answer;
    } yesNo[] = {{"是", DialogAnswer::Yes}, {"否", DialogAnswer::No}};
    for (const auto& c : yesNo) {
        seen = {};
        whileBoxOpen(seen, QString::fromUtf8(c.click));
        EXPECT_EQ(dialogs.askYesNo(QStringLiteral("q"), QStringLiteral("询问")), c.answer) << c.click;
        EXPECT_EQ(seen.buttons, (QStringList{QStringLiteral("否"), QStringLiteral("是")}));
    }

    const struct {
        const char* click;
        DialogAnswer answer;
    } yesNoCancel[] = {{"是", DialogAnswer::Yes}, {"否", DialogAnswer::No}, {"取消", DialogAnswer::Cancel}};
    for (const auto& c : yesNoCancel) {
        seen = {};
        whileBoxOpen(seen, QString::fromUtf8(c.click));
        EXPECT_EQ(dialogs.askYesNoCancel(QStringLiteral("q"), QStringLiteral("询问")), c.answer) << c.click;
        EXPECT_EQ(seen.buttons.size(), 3);
    }
}
