// The wire record between the clients and the server: its text form, the
// reading of a received text, and the message type.
#include "mwsocket.h"
#include "scriptedoperator.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

#include <string>

namespace {

const QByteArray kSep("\x0A\x1A", 2);

// Fields joined, each followed by the separator.
QByteArray record(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& f : fields)
        out += f + kSep;
    return out;
}

// The same without the final separator.
QByteArray recordWithoutLastSeparator(const QList<QByteArray>& fields)
{
    QByteArray out = record(fields);
    out.chop(kSep.size());
    return out;
}

TSocketInfo parsed(const QByteArray& text)
{
    TSocketInfo r;
    r.ParseText(text);
    return r;
}

// All nine members, for comparing whole records.
std::string dump(const TSocketInfo& r)
{
    std::string out = std::to_string(r.MsgType) + "|" + std::to_string(r.Value1) + "|" + std::to_string(r.Value2);
    for (const QByteArray* t : {&r.Text3, &r.Text4, &r.Text5, &r.Text6, &r.Text7, &r.Text8})
        out += "|" + t->toStdString();
    return out;
}

// The handshake answer as the connection service forms it.
QByteArray answer(const QByteArray& request, const QByteArray& password)
{
    TSocketInfo r;
    r.ParseText(request);
    r.MsgType = 1;
    r.Value1 = 1;
    r.Value2 = 0;
    r.Text3 = password;
    return r.BuildText();
}

class SocketInfo : public ::testing::Test {
protected:
    void TearDown() override { dialogs_.verifyDone(); }
    ScriptedOperator dialogs_;
};

}  // namespace

TEST_F(SocketInfo, AnswerToAnEmptyRequestByteForByte)
{
    const QByteArray text = answer(record({"1", "0", "0", "null", "null", "null", "null", "null", "null"}), {});
    const QByteArray expected("1\x0A\x1A"
                              "1\x0A\x1A"
                              "0\x0A\x1A"
                              "null\x0A\x1A"
                              "null\x0A\x1A"
                              "null\x0A\x1A"
                              "null\x0A\x1A"
                              "null\x0A\x1A"
                              "null\x0A\x1A",
                              45);
    EXPECT_EQ(text.size(), 45);
    EXPECT_EQ(text, expected);
}

TEST_F(SocketInfo, FreshRecordAndItsText)
{
    TSocketInfo r;
    EXPECT_EQ(dump(r), "0|0|0||||||");
    EXPECT_EQ(r.BuildText(), record({"0", "0", "0", "null", "null", "null", "null", "null", "null"}));
}

TEST_F(SocketInfo, FilledRecordTextAndBack)
{
    TSocketInfo r;
    r.MsgType = 2;
    r.Value1 = -7;
    r.Value2 = -2147483647 - 1;
    r.Text3 = "pw";
    r.Text4 = "001";
    r.Text5 = QByteArray("\xD5\xCB\xCC\xD7", 4);   // GBK 账套
    r.Text6 = "Manager";
    r.Text8 = "eight";
    const QByteArray text = r.BuildText();
    EXPECT_EQ(text, record({"2", "-7", "-2147483648", "pw", "001", QByteArray("\xD5\xCB\xCC\xD7", 4), "Manager", "null",
                            "eight"}));
    EXPECT_EQ(dump(parsed(text)), dump(r));
}

TEST_F(SocketInfo, NineFieldsWithoutTheFinalSeparatorReadTheSame)
{
    const QList<QByteArray> fields{"2", "5", "6", "three", "004", "name", "user", "seven", "eight"};
    const TSocketInfo with = parsed(record(fields));
    const TSocketInfo without = parsed(recordWithoutLastSeparator(fields));
    EXPECT_EQ(dump(with), "2|5|6|three|004|name|user|seven|eight");
    EXPECT_EQ(dump(without), dump(with));
}

TEST_F(SocketInfo, NullInAnyLetterCaseIsEmpty)
{
    for (const QByteArray null : {"null", "NULL", "Null", "nULl"}) {
        SCOPED_TRACE(null.toStdString());
        const TSocketInfo r = parsed(record({"1", null, null, null, null, null, null, null, null}));
        EXPECT_EQ(dump(r), "1|0|1||||||");
    }
    // Only the whole field: a text merely holding the word stays.
    const TSocketInfo r = parsed(record({"1", "0", "0", "nulls", " null", "nul", "anull", "NULL ", "x"}));
    EXPECT_EQ(dump(r), "1|0|0|nulls| null|nul|anull|NULL |x");
}

TEST_F(SocketInfo, AnswerKeepsTheRequestsFieldsAndWritesEmptyAsNull)
{
    const QByteArray text = answer(record({"1", "9", "9", "secret?", "a", "", "NULL", "Null", "eight"}), "Sa#1234");
    EXPECT_EQ(text, record({"1", "1", "0", "Sa#1234", "a", "null", "null", "null", "eight"}));
}

TEST_F(SocketInfo, EightFieldsShowTheBoxAndLeaveTheRecordAsItWas)
{
    const QString box = QStringLiteral("接收的信息不正确！");
    const QString caption = QStringLiteral("内部错");
    const QByteArray eight = recordWithoutLastSeparator({"1", "2", "3", "t3", "t4", "t5", "t6", "t7"});

    dialogs_.expect(DialogKind::Info, caption, box);
    TSocketInfo fresh;
    fresh.ParseText(eight);
    EXPECT_EQ(dump(fresh), "0|0|0||||||");
    dialogs_.verifyDone();

    // A record already filled keeps what it held.
    dialogs_.expect(DialogKind::Info, caption, box);
    TSocketInfo filled = parsed(record({"2", "5", "6", "a", "b", "c", "d", "e", "f"}));
    filled.ParseText(eight);
    EXPECT_EQ(dump(filled), "2|5|6|a|b|c|d|e|f");
    dialogs_.verifyDone();

    // The handshake still goes out, fields 4 to 8 as "null".
    dialogs_.expect(DialogKind::Info, caption, box);
    EXPECT_EQ(answer(eight, "pw"), record({"1", "1", "0", "pw", "null", "null", "null", "null", "null"}));
    dialogs_.verifyDone();

    for (const QByteArray& text : {QByteArray(), QByteArray("1"), record({"1", "2", "3", "4", "5", "6", "7"})}) {
        SCOPED_TRACE(text.toStdString());
        dialogs_.expect(DialogKind::Info, caption, box);
        EXPECT_EQ(dump(parsed(text)), "0|0|0||||||");
        dialogs_.verifyDone();
    }
}

TEST_F(SocketInfo, EightFieldsFollowedByTheSeparatorReadAsNineWithAnEmptyLast)
{
    EXPECT_EQ(dump(parsed(record({"1", "2", "3", "t3", "t4", "t5", "t6", "t7"}))), "1|2|3|t3|t4|t5|t6|t7|");
}

struct IntegerCase {
    const char* name;
    QByteArray field0, field1, field2;
    int msgType, value1, value2;
};

class SocketInfoIntegers : public SocketInfo, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(SocketInfoIntegers, ReadOrTakeTheFieldsDefault)
{
    const IntegerCase& c = GetParam();
    const QByteArray text = record({c.field0, c.field1, c.field2, "3", "4", "5", "6", "7", "8"});
    const TSocketInfo r = parsed(text);
    EXPECT_EQ(r.MsgType, c.msgType);
    EXPECT_EQ(r.Value1, c.value1);
    EXPECT_EQ(r.Value2, c.value2);
    EXPECT_EQ(GetMsgType(text), c.msgType);
    EXPECT_EQ(dump(r).substr(dump(r).find("|3|")), "|3|4|5|6|7|8");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocketInfoIntegers,
    ::testing::Values(IntegerCase{"Plain", "1", "17", "42", 1, 17, 42},
                      IntegerCase{"Negative", "-3", "-1", "-2147483648", -3, -1, -2147483647 - 1},
                      IntegerCase{"Zeros", "0", "0", "0", 0, 0, 0},
                      IntegerCase{"LetterAndEmpty", "1", "a", "", 1, 0, 1},
                      IntegerCase{"EmptyType", "", "5", "6", -1, 5, 6},
                      IntegerCase{"LettersType", "abc", "5", "6", -1, 5, 6},
                      IntegerCase{"NullType", "null", "null", "NULL", -1, 0, 1},
                      IntegerCase{"TrailingLetter", "2x", "3y", "4z", -1, 0, 1},
                      IntegerCase{"Decimal", "1.0", "2.5", "3.", -1, 0, 1},
                      IntegerCase{"TooLarge", "2147483648", "99999999999", "-2147483649", -1, 0, 1},
                      IntegerCase{"LargestAndSmallest", "2147483647", "-2147483648", "0", 2147483647,
                                  -2147483647 - 1, 0},
                      IntegerCase{"MinusAlone", "-", "-", "-", -1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SocketInfo, NegativeIntegersAreWrittenWithAMinusSign)
{
    TSocketInfo r;
    r.MsgType = -1;
    r.Value1 = -20;
    r.Value2 = -300;
    EXPECT_TRUE(r.BuildText().startsWith(QByteArray("-1\x0A\x1A-20\x0A\x1A-300\x0A\x1Anull", 19)));
}

TEST_F(SocketInfo, TwoRecordsInOneTextUseTheFirstsFields)
{
    const QByteArray first = record({"2", "0", "0", "null", "001", "first", "alice", "x", "y"});
    const QByteArray second = record({"1", "1", "1", "p", "002", "second", "bob", "z", "w"});
    const TSocketInfo r = parsed(first + second);
    EXPECT_EQ(dump(r), "2|0|0||001|first|alice|x|y");
    EXPECT_EQ(GetMsgType(first + second), 2);
}

TEST_F(SocketInfo, GbkBytesAreCarriedUnchanged)
{
    const QByteArray accountSet("\xD5\xCB\xCC\xD7", 4);                 // 账套
    const QByteArray mixed("\xB2\xE2\xCA\xD4 001 \x81\x40\xFE\xFE", 13);  // GBK lead and trail extremes
    const QByteArray text = record({"2", "0", "0", "null", "001", accountSet, mixed, "null", "null"});
    const TSocketInfo r = parsed(text);
    EXPECT_EQ(r.Text5, accountSet);
    EXPECT_EQ(r.Text6, mixed);
    EXPECT_EQ(r.BuildText(), text);
}

TEST_F(SocketInfo, SeparatorBytesAloneStayInsideTheirField)
{
    const QByteArray lf("a\x0A" "b", 3);
    const QByteArray sub("c\x1A" "d", 3);
    const QByteArray trailingLf("e\x0A", 2);   // followed by the separator: 0x0A 0x0A 0x1A
    const QByteArray leadingSub("\x1A" "f", 2);
    const QByteArray reversed("\x1A\x0A", 2);
    const TSocketInfo r = parsed(record({"1", "0", "0", lf, sub, trailingLf, leadingSub, reversed, "\x0A"}));
    EXPECT_EQ(r.MsgType, 1);
    EXPECT_EQ(r.Text3, lf);
    EXPECT_EQ(r.Text4, sub);
    EXPECT_EQ(r.Text5, trailingLf);
    EXPECT_EQ(r.Text6, leadingSub);
    EXPECT_EQ(r.Text7, reversed);
    EXPECT_EQ(r.Text8, QByteArray("\x0A"));
}

struct TypeCase {
    const char* name;
    QByteArray text;
    int type;
};

class SocketInfoType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(SocketInfoType, ReadsTheFirstField)
{
    EXPECT_EQ(GetMsgType(GetParam().text), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocketInfoType,
    ::testing::Values(TypeCase{"Empty", QByteArray(), -1},
                      TypeCase{"TypeAlone", QByteArray("1"), 1},
                      TypeCase{"TypeAndSeparator", QByteArray("2\x0A\x1A", 3), 2},
                      TypeCase{"FullRecord", QByteArray("3\x0A\x1A" "0\x0A\x1A", 6), 3},
                      TypeCase{"Negative", QByteArray("-4\x0A\x1Arest", 7), -4},
                      TypeCase{"Null", QByteArray("null\x0A\x1A", 6), -1},
                      TypeCase{"Letters", QByteArray("abc\x0A\x1A", 5), -1},
                      TypeCase{"EmptyFirstField", QByteArray("\x0A\x1A" "1\x0A\x1A", 5), -1},
                      TypeCase{"LineFeedOnly", QByteArray("1\x0A" "2", 3), -1},
                      TypeCase{"NoSeparatorButText", QByteArray("12ab", 4), -1}),
    [](const auto& info) { return std::string(info.param.name); });
