// The operator dialogs on a terminal, for the server without a display:
// what each box prints, the safe answers when nobody can answer, and the
// answers typed on the terminal (here a pipe the test writes to), with the
// event loop running while a question waits.
#include "terminaloperatordialogs.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace {

class TerminalDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::pipe2(input_, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(output_, O_CLOEXEC | O_NONBLOCK), 0);
    }
    void TearDown() override
    {
        for (int fd : {input_[0], input_[1], output_[0], output_[1]})
            if (fd >= 0)
                ::close(fd);
    }

    TerminalOperatorDialogs dialogs(bool interactive) { return {input_[0], output_[1], interactive}; }

    void type(const std::string& text) { ASSERT_EQ(::write(input_[1], text.data(), text.size()), ssize_t(text.size())); }
    void endInput()
    {
        ::close(input_[1]);
        input_[1] = -1;
    }
    // Everything printed so far.
    std::string printed()
    {
        std::string all;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(output_[0], buffer, sizeof buffer)) > 0)
            all.append(buffer, static_cast<size_t>(n));
        return all;
    }

    int input_[2] = {-1, -1};
    int output_[2] = {-1, -1};
};

TEST_F(TerminalDialogsTest, NoticesAndErrorsArePrintedWithTheirCaptionLineByLine)
{
    TerminalOperatorDialogs d = dialogs(false);
    d.showInfo(QStringLiteral("第一行\r\n第二行"), QStringLiteral("提示"));
    d.showError(QStringLiteral("端口5971已被其他程序占用"), QStringLiteral("错误"));
    EXPECT_EQ(printed(), "[提示] 第一行\n    第二行\n[错误] 端口5971已被其他程序占用\n");
}

TEST_F(TerminalDialogsTest, WithoutATerminalEveryQuestionGetsTheSafeAnswerAndSaysSo)
{
    TerminalOperatorDialogs d = dialogs(false);
    EXPECT_EQ(d.askYesNo(QStringLiteral("是否确认断开与所有客户端的联接？"), QStringLiteral("询问")), DialogAnswer::No);
    EXPECT_EQ(printed(), "[询问] 是否确认断开与所有客户端的联接？\n    （没有可以应答的终端，按“否”处理）\n");
    EXPECT_EQ(d.askYesNoCancel(QStringLiteral("q"), QStringLiteral("询问")), DialogAnswer::Cancel);
    EXPECT_NE(printed().find("按“取消”处理"), std::string::npos);
    EXPECT_FALSE(d.inputPassword(QStringLiteral("请输入SQL Server数据库的sa口令"), QStringLiteral("请输入SQL Server数据库的sa口令：")));
    EXPECT_EQ(printed(), "[请输入SQL Server数据库的sa口令] 请输入SQL Server数据库的sa口令：\n"
                         "    （没有可以应答的终端，按“取消”处理）\n");
    EXPECT_FALSE(d.inputText(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("x"), 10));
    EXPECT_TRUE(d.openFileName({QStringLiteral("打开"), QStringLiteral("/tmp"), {}, QStringLiteral("a|*.cwz"), {}}).isEmpty());
    EXPECT_TRUE(d.saveFileName({QStringLiteral("保存"), QStringLiteral("/tmp"), QStringLiteral("a.cwz"), {}, {}}).isEmpty());
}

TEST_F(TerminalDialogsTest, TypedAnswersAreReadAndUnknownRepliesAskAgain)
{
    TerminalOperatorDialogs d = dialogs(true);
    type("y\nmaybe\nN\n是\nc\n");
    EXPECT_EQ(d.askYesNo(QStringLiteral("q1"), QStringLiteral("询问")), DialogAnswer::Yes);
    EXPECT_EQ(d.askYesNo(QStringLiteral("q2"), QStringLiteral("询问")), DialogAnswer::No);
    EXPECT_EQ(d.askYesNoCancel(QStringLiteral("q3"), QStringLiteral("询问")), DialogAnswer::Yes);
    EXPECT_EQ(d.askYesNoCancel(QStringLiteral("q4"), QStringLiteral("询问")), DialogAnswer::Cancel);
    const std::string out = printed();
    // "maybe" was asked again: the second question shows its choices twice.
    const auto q2 = out.find("[询问] q2");
    const auto q3 = out.find("[询问] q3");
    ASSERT_NE(q2, std::string::npos);
    const std::string second = out.substr(q2, q3 - q2);
    EXPECT_EQ(second, "[询问] q2\n    是(y)/否(n)？    是(y)/否(n)？");
}

TEST_F(TerminalDialogsTest, EndOfInputIsTheSafeAnswer)
{
    TerminalOperatorDialogs d = dialogs(true);
    endInput();
    EXPECT_EQ(d.askYesNo(QStringLiteral("q"), QStringLiteral("询问")), DialogAnswer::No);
    EXPECT_FALSE(d.inputPassword(QStringLiteral("c"), QStringLiteral("p")));
    EXPECT_NE(printed().find("输入已结束"), std::string::npos);
}

TEST_F(TerminalDialogsTest, InputKeepsTheInitialTextOnEnterAndRefusesTooManyBytes)
{
    TerminalOperatorDialogs d = dialogs(true);
    type("\n" "账套名称太长了\n" "账套\r\n");
    EXPECT_EQ(d.inputText(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("初始"), 10), QStringLiteral("初始"));
    // 14 GBK bytes do not fit into 10; the next line (4 bytes) does.
    EXPECT_EQ(d.inputText(QStringLiteral("c"), QStringLiteral("p"), QString(), 10), QStringLiteral("账套"));
    EXPECT_NE(printed().find("输入的内容超过10个字节，请重新输入。"), std::string::npos);
}

TEST_F(TerminalDialogsTest, PasswordIsReadAsTyped)
{
    TerminalOperatorDialogs d = dialogs(true);
    type("Sa#1 2\n");
    EXPECT_EQ(d.inputPassword(QStringLiteral("c"), QStringLiteral("p")), QStringLiteral("Sa#1 2"));
    EXPECT_EQ(printed().find("Sa#1"), std::string::npos) << "the password is never printed";
}

TEST_F(TerminalDialogsTest, FileNamesAreTakenInTheFolderWithTheDefaultExtensionAndTheDialogRules)
{
    QTemporaryDir folder;
    const QString dir = folder.path();
    QFile(dir + QStringLiteral("/001.cwz")).open(QIODevice::WriteOnly);
    QFile(dir + QStringLiteral("/x.cwz")).open(QIODevice::WriteOnly);
    TerminalOperatorDialogs d = dialogs(true);
    // open: "002" is missing and asked again; "001" gets its extension.
    // save: the proposed name on Enter, an existing file asked about (no,
    // then yes), a missing folder refused.
    type("002\n001\n\n" "n\n" "/no/such/folder/a\n" "x\ny\n");
    const FileDialogRequest open{QStringLiteral("打开"), dir, {}, QStringLiteral("a(*.cwz)|*.cwz"), QStringLiteral("cwz")};
    EXPECT_EQ(d.openFileName(open), dir + QStringLiteral("/001.cwz"));
    EXPECT_NE(printed().find("找不到该文件"), std::string::npos);
    const FileDialogRequest save{QStringLiteral("另存为"), dir, QStringLiteral("x"), {}, QStringLiteral("cwz")};
    EXPECT_EQ(d.saveFileName(save), dir + QStringLiteral("/x.cwz"));
    const std::string out = printed();
    EXPECT_NE(out.find("已存在。"), std::string::npos);
    EXPECT_NE(out.find("路径不存在"), std::string::npos);
}

TEST_F(TerminalDialogsTest, TheEventLoopRunsWhileAQuestionWaits)
{
    TerminalOperatorDialogs d = dialogs(true);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    // The answer arrives only after the timer has run several times.
    QTimer::singleShot(100, [this] { type("y\n"); });
    EXPECT_EQ(d.askYesNo(QStringLiteral("q"), QStringLiteral("询问")), DialogAnswer::Yes);
    EXPECT_GE(ticks, 3);
}

TEST_F(TerminalDialogsTest, AQuestionOpenedWhileAnotherWaitsIsAnsweredFirst)
{
    TerminalOperatorDialogs d = dialogs(true);
    std::optional<DialogAnswer> inner;
    QTimer::singleShot(20, [&] {
        QTimer::singleShot(20, [this] { type("n\n"); });
        inner = d.askYesNo(QStringLiteral("inner"), QStringLiteral("询问"));
        // The outer question's line comes only after the inner one was answered.
        QTimer::singleShot(20, [this] { type("y\n"); });
    });
    EXPECT_EQ(d.askYesNo(QStringLiteral("outer"), QStringLiteral("询问")), DialogAnswer::Yes);
    EXPECT_EQ(inner, DialogAnswer::No);
}

TEST_F(TerminalDialogsTest, CancellingPendingQuestionsGivesTheSafeAnswer)
{
    TerminalOperatorDialogs d = dialogs(true);
    QTimer::singleShot(50, [&d] { d.cancelPendingQuestions(); });
    EXPECT_EQ(d.askYesNoCancel(QStringLiteral("q"), QStringLiteral("询问")), DialogAnswer::Cancel);
    // Later questions are not asked any more.
    type("y\n");
    EXPECT_EQ(d.askYesNo(QStringLiteral("q"), QStringLiteral("询问")), DialogAnswer::No);
}

}  // namespace
