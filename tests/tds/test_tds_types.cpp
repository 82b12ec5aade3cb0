// Data types: the TYPE_INFO each engine type gets, values encoded byte
// for byte as SQL Server sends them (worked out by hand from the type
// layouts), and every type through write and read and back for each
// version.
#include "tds_test_helpers.h"
#include "types.h"

#include <gtest/gtest.h>

using namespace vqtds;
using vqsql::BaseType;
using vqsql::SqlType;
using vqsql::Value;
using tdstest::fromHex;
using tdstest::toHex;

namespace {

SqlType type(BaseType base, int length = 0, int precision = 0, int scale = 0)
{
    SqlType t;
    t.base = base;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

std::string typeInfoHex(const SqlType& t, TdsVersion v, std::size_t longest = 0)
{
    Bytes out;
    writeTypeInfo(out, typeInfoFor(t, v, longest));
    return toHex(out);
}

std::string valueHex(const SqlType& t, const Value& value, TdsVersion v = TdsVersion::V7_4)
{
    Bytes out;
    writeValue(out, typeInfoFor(t, v, wireTextLength(t, value)), value);
    return toHex(out);
}

}  // namespace

struct TypeInfoCase {
    const char* name;
    SqlType type;
    TdsVersion version;
    const char* hex;
};

class TdsTypeInfo : public ::testing::TestWithParam<TypeInfoCase> {};

TEST_P(TdsTypeInfo, Bytes)
{
    EXPECT_EQ(typeInfoHex(GetParam().type, GetParam().version), GetParam().hex) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    EngineTypes, TdsTypeInfo,
    ::testing::Values(
        TypeInfoCase{"bit", type(BaseType::Bit), TdsVersion::V7_4, "68 01"},
        TypeInfoCase{"tinyint", type(BaseType::TinyInt), TdsVersion::V7_4, "26 01"},
        TypeInfoCase{"smallint", type(BaseType::SmallInt), TdsVersion::V7_4, "26 02"},
        TypeInfoCase{"int", type(BaseType::Int), TdsVersion::V7_4, "26 04"},
        TypeInfoCase{"bigint", type(BaseType::BigInt), TdsVersion::V7_4, "26 08"},
        TypeInfoCase{"untyped NULL", type(BaseType::Null), TdsVersion::V7_4, "26 04"},
        TypeInfoCase{"numeric(10,2)", type(BaseType::Numeric, 0, 10, 2), TdsVersion::V7_4, "6C 09 0A 02"},
        TypeInfoCase{"numeric(38,4)", type(BaseType::Numeric, 0, 38, 4), TdsVersion::V7_4, "6C 11 26 04"},
        TypeInfoCase{"money", type(BaseType::Money), TdsVersion::V7_4, "6E 08"},
        TypeInfoCase{"smallmoney", type(BaseType::SmallMoney), TdsVersion::V7_4, "6E 04"},
        TypeInfoCase{"float", type(BaseType::Float), TdsVersion::V7_4, "6D 08"},
        TypeInfoCase{"real", type(BaseType::Real), TdsVersion::V7_4, "6D 04"},
        TypeInfoCase{"datetime", type(BaseType::DateTime), TdsVersion::V7_4, "6F 08"},
        TypeInfoCase{"smalldatetime", type(BaseType::SmallDateTime), TdsVersion::V7_4, "6F 04"},
        TypeInfoCase{"uniqueidentifier", type(BaseType::UniqueIdentifier), TdsVersion::V7_4, "24 10"},
        TypeInfoCase{"varchar(20)", type(BaseType::VarChar, 20), TdsVersion::V7_4, "A7 14 00 04 08 D0 00 00"},
        TypeInfoCase{"char(5)", type(BaseType::Char, 5), TdsVersion::V7_1, "AF 05 00 04 08 D0 00 00"},
        TypeInfoCase{"nvarchar(10)", type(BaseType::NVarChar, 10), TdsVersion::V7_4, "E7 14 00 04 08 D0 00 00"},
        TypeInfoCase{"nchar(3)", type(BaseType::NChar, 3), TdsVersion::V7_4, "EF 06 00 04 08 D0 00 00"},
        TypeInfoCase{"varbinary(16)", type(BaseType::VarBinary, 16), TdsVersion::V7_4, "A5 10 00"},
        TypeInfoCase{"binary(4)", type(BaseType::Binary, 4), TdsVersion::V7_4, "AD 04 00"},
        TypeInfoCase{"varchar(max) 7.2", type(BaseType::VarChar, -1), TdsVersion::V7_2, "A7 FF FF 04 08 D0 00 00"},
        TypeInfoCase{"varchar(max) 7.1", type(BaseType::VarChar, -1), TdsVersion::V7_1, "23 FF FF FF 7F 04 08 D0 00 00"},
        TypeInfoCase{"nvarchar(max) 7.1", type(BaseType::NVarChar, -1), TdsVersion::V7_1, "63 FE FF FF 7F 04 08 D0 00 00"},
        TypeInfoCase{"varbinary(max) 7.3", type(BaseType::VarBinary, -1), TdsVersion::V7_3, "A5 FF FF"},
        TypeInfoCase{"text", type(BaseType::Text), TdsVersion::V7_4, "23 FF FF FF 7F 04 08 D0 00 00"},
        TypeInfoCase{"image", type(BaseType::Image), TdsVersion::V7_4, "22 FF FF FF 7F"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

TEST(TdsTypes, DeclaredLengthRaisedToTheLongestValue)
{
    // A computed varchar whose declared length the engine does not know.
    EXPECT_EQ(typeInfoHex(type(BaseType::VarChar, 0), TdsVersion::V7_4, 30), "A7 1E 00 04 08 D0 00 00");
    // Beyond 8000 bytes a varchar column becomes varchar(max).
    EXPECT_EQ(typeInfoHex(type(BaseType::VarChar, 100), TdsVersion::V7_4, 9000), "A7 FF FF 04 08 D0 00 00");
}

struct ValueCase {
    const char* name;
    SqlType type;
    Value value;
    const char* hex;
};

class TdsValueBytes : public ::testing::TestWithParam<ValueCase> {};

TEST_P(TdsValueBytes, Bytes)
{
    EXPECT_EQ(valueHex(GetParam().type, GetParam().value), GetParam().hex) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    HandWorked, TdsValueBytes,
    ::testing::Values(
        ValueCase{"int 1", type(BaseType::Int), Value::fromInteger(1), "04 01 00 00 00"},
        ValueCase{"int NULL", type(BaseType::Int), Value::null(), "00"},
        ValueCase{"bigint -2", type(BaseType::BigInt), Value::fromInteger(-2), "08 FE FF FF FF FF FF FF FF"},
        ValueCase{"tinyint 255", type(BaseType::TinyInt), Value::fromInteger(255), "01 FF"},
        ValueCase{"smallint -300", type(BaseType::SmallInt), Value::fromInteger(-300), "02 D4 FE"},
        ValueCase{"bit 1", type(BaseType::Bit), Value::fromInteger(1), "01 01"},
        ValueCase{"numeric(10,2) 123.45", type(BaseType::Numeric, 0, 10, 2), Value::fromNumber(123.45),
                  "09 01 39 30 00 00 00 00 00 00"},
        ValueCase{"numeric(5,1) -1.5", type(BaseType::Numeric, 0, 5, 1), Value::fromNumber(-1.5), "05 00 0F 00 00 00"},
        ValueCase{"numeric(5,2) rounds 2.675 up", type(BaseType::Numeric, 0, 5, 2), Value::fromNumber(2.675),
                  "05 01 0C 01 00 00"},
        ValueCase{"numeric(5,0) NULL", type(BaseType::Numeric, 0, 5, 0), Value::null(), "00"},
        ValueCase{"numeric(38,0) 1e20, a double beyond fifteen digits", type(BaseType::Numeric, 0, 38, 0),
                  Value::fromNumber(1e20), "11 01 00 00 10 63 2D 5E C7 6B 05 00 00 00 00 00 00 00"},
        ValueCase{"money 1234567.891 from a double", type(BaseType::Money), Value::fromNumber(1234567.891),
                  "08 02 00 00 00 3E 1C DC DF"},
        ValueCase{"money -0.0001 from a double", type(BaseType::Money), Value::fromNumber(-0.0001),
                  "08 FF FF FF FF FF FF FF FF"},
        ValueCase{"money 12.34", type(BaseType::Money), Value::fromNumber(12.34), "08 00 00 00 00 08 E2 01 00"},
        ValueCase{"money -1", type(BaseType::Money), Value::fromInteger(-1), "08 FF FF FF FF F0 D8 FF FF"},
        ValueCase{"smallmoney -1", type(BaseType::SmallMoney), Value::fromNumber(-1), "04 F0 D8 FF FF"},
        ValueCase{"float 1", type(BaseType::Float), Value::fromNumber(1.0), "08 00 00 00 00 00 00 F0 3F"},
        ValueCase{"real 1", type(BaseType::Real), Value::fromNumber(1.0), "04 00 00 80 3F"},
        ValueCase{"datetime epoch", type(BaseType::DateTime), Value::fromDateTime("1900-01-01 00:00:00.000"),
                  "08 00 00 00 00 00 00 00 00"},
        ValueCase{"datetime 2000 noon", type(BaseType::DateTime), Value::fromDateTime("2000-01-01 12:00:00.003"),
                  "08 AC 8E 00 00 01 C1 C5 00"},
        ValueCase{"datetime 1753", type(BaseType::DateTime), Value::fromDateTime("1753-01-01 00:00:00.000"),
                  "08 46 2E FF FF 00 00 00 00"},
        ValueCase{"smalldatetime", type(BaseType::SmallDateTime), Value::fromDateTime("2000-01-01 12:30:00"),
                  "04 AC 8E EE 02"},
        ValueCase{"varchar GBK", type(BaseType::VarChar, 10), Value::fromText("中文"), "04 00 D6 D0 CE C4"},
        ValueCase{"varchar NULL", type(BaseType::VarChar, 10), Value::null(), "FF FF"},
        ValueCase{"varchar ASCII then Chinese", type(BaseType::VarChar, 10), Value::fromText("a中"), "03 00 61 D6 D0"},
        ValueCase{"varchar from an integer", type(BaseType::VarChar, 10), Value::fromInteger(42), "02 00 34 32"},
        ValueCase{"nvarchar from a number", type(BaseType::NVarChar, 10), Value::fromNumber(1.5),
                  "06 00 31 00 2E 00 35 00"},
        ValueCase{"char padded", type(BaseType::Char, 4), Value::fromText("ab"), "04 00 61 62 20 20"},
        ValueCase{"nvarchar", type(BaseType::NVarChar, 10), Value::fromText("ab"), "04 00 61 00 62 00"},
        ValueCase{"nchar padded", type(BaseType::NChar, 2), Value::fromText("中"), "04 00 2D 4E 20 00"},
        ValueCase{"varbinary", type(BaseType::VarBinary, 10), Value::fromBytes(std::string("\x01\xFF", 2)), "02 00 01 FF"},
        ValueCase{"uniqueidentifier", type(BaseType::UniqueIdentifier),
                  Value::fromText("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
                  "10 FF 19 96 6F 86 8B 11 D0 B4 2D 00 C0 4F C9 64 FF"},
        ValueCase{"varchar(max)", type(BaseType::VarChar, -1), Value::fromText("ab"),
                  "02 00 00 00 00 00 00 00 02 00 00 00 61 62 00 00 00 00"},
        ValueCase{"varchar(max) NULL", type(BaseType::VarChar, -1), Value::null(), "FF FF FF FF FF FF FF FF"},
        ValueCase{"text", type(BaseType::Text), Value::fromText("ab"),
                  "10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 02 00 00 00 61 62"},
        ValueCase{"text NULL", type(BaseType::Text), Value::null(), "00"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

TEST(TdsTypes, DateTimeTicksAreThreeHundredthsOfASecond)
{
    EXPECT_EQ(dateTimeToParts("1900-01-02 00:00:01.000").days, 1);
    EXPECT_EQ(dateTimeToParts("1900-01-02 00:00:01.000").ticks, 300u);
    EXPECT_EQ(dateTimeToParts("1899-12-31 00:00:00.000").days, -1);
    // .997 and .998 are held as 299 and 299.4 ticks.
    EXPECT_EQ(dateTimeToParts("2008-05-01 23:59:59.997").ticks, 300u * 86400 - 1);
    EXPECT_EQ(partsToDateTime({0, 1}), "1900-01-01 00:00:00.003");
    EXPECT_EQ(partsToDateTime({0, 2}), "1900-01-01 00:00:00.007");
    EXPECT_EQ(partsToDateTime({36524, 300u * 86400 - 1}), "2000-01-01 23:59:59.997");
    // .999 rounds to the next day, as SQL Server does.
    EXPECT_EQ(partsToDateTime(dateTimeToParts("1999-12-31 23:59:59.999")), "2000-01-01 00:00:00.000");
}

TEST(TdsTypes, ValuesATypeCannotHoldAreRefused)
{
    Bytes out;
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::Numeric, 0, 3, 0), TdsVersion::V7_4), Value::fromInteger(1000)),
                 ProtocolError);
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::TinyInt), TdsVersion::V7_4), Value::fromInteger(256)),
                 ProtocolError);
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::DateTime), TdsVersion::V7_4), Value::fromText("1600-01-01")),
                 ProtocolError);
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::DateTime), TdsVersion::V7_4), Value::fromText("2001-02-29")),
                 ProtocolError);
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::UniqueIdentifier), TdsVersion::V7_4), Value::fromText("xyz")),
                 ProtocolError);
    EXPECT_THROW(writeValue(out, typeInfoFor(type(BaseType::Real), TdsVersion::V7_4), Value::fromNumber(1e300)),
                 ProtocolError);
    TypeInfo narrow = typeInfoFor(type(BaseType::VarChar, 2), TdsVersion::V7_4);
    EXPECT_THROW(writeValue(out, narrow, Value::fromText("abc")), ProtocolError);
}

struct RoundTrip {
    const char* name;
    SqlType type;
    Value value;
    std::string expected;   // toString() of what comes back
};

class TdsTypeRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(TdsTypeRoundTrip, ThroughWriteAndRead)
{
    const RoundTrip& c = GetParam();
    for (TdsVersion v : {TdsVersion::V7_1, TdsVersion::V7_2, TdsVersion::V7_3, TdsVersion::V7_4}) {
        for (ValueContext context : {ValueContext::Row, ValueContext::Parameter}) {
            const TypeInfo info = typeInfoFor(c.type, v, wireTextLength(c.type, c.value));
            Bytes out;
            writeTypeInfo(out, info);
            writeValue(out, info, c.value, context);
            Reader r(out);
            const TypeInfo back = readTypeInfo(r);
            EXPECT_EQ(back.type, info.type) << c.name;
            EXPECT_EQ(back.maxLength, info.maxLength) << c.name;
            EXPECT_EQ(back.plp, info.plp) << c.name;
            EXPECT_EQ(back.collation, info.collation) << c.name;
            const Value value = readValue(r, back, context);
            EXPECT_TRUE(r.atEnd()) << c.name;
            EXPECT_EQ(value.isNull(), c.value.isNull()) << c.name;
            EXPECT_EQ(value.toString(), c.expected) << c.name << " version " << static_cast<int>(v);
            EXPECT_EQ(vqtds::sqlTypeOf(back).base == c.type.base || c.type.base == BaseType::Null ||
                          (back.type == tds_type::Text || back.type == tds_type::NText ||
                           back.type == tds_type::Image),
                      true)
                << c.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, TdsTypeRoundTrip,
    ::testing::Values(
        RoundTrip{"bit", type(BaseType::Bit), Value::fromInteger(1), "1"},
        RoundTrip{"tinyint", type(BaseType::TinyInt), Value::fromInteger(200), "200"},
        RoundTrip{"smallint", type(BaseType::SmallInt), Value::fromInteger(-32768), "-32768"},
        RoundTrip{"int", type(BaseType::Int), Value::fromInteger(-2147483648LL), "-2147483648"},
        RoundTrip{"bigint", type(BaseType::BigInt), Value::fromInteger(INT64_MIN), "-9223372036854775808"},
        RoundTrip{"int NULL", type(BaseType::Int), Value::null(), ""},
        RoundTrip{"numeric(38,0) largest", type(BaseType::Numeric, 0, 38, 0),
                  Value::fromText("99999999999999999999999999999999999999"), "99999999999999999999999999999999999999"},
        RoundTrip{"numeric(19,4)", type(BaseType::Numeric, 0, 19, 4), Value::fromText("-123456789012345.6789"),
                  "-123456789012345.6789"},
        RoundTrip{"numeric(9,3) small", type(BaseType::Numeric, 0, 9, 3), Value::fromNumber(0.005), "0.005"},
        RoundTrip{"money", type(BaseType::Money), Value::fromText("-922337203685477.5808"), "-922337203685477.5808"},
        RoundTrip{"smallmoney", type(BaseType::SmallMoney), Value::fromNumber(214748.3647), "214748.3647"},
        RoundTrip{"float", type(BaseType::Float), Value::fromNumber(0.1), "0.1"},
        RoundTrip{"real", type(BaseType::Real), Value::fromNumber(0.5), "0.5"},
        RoundTrip{"datetime", type(BaseType::DateTime), Value::fromDateTime("2026-02-28 08:15:42.123"),
                  "2026-02-28 08:15:42.123"},
        RoundTrip{"datetime last", type(BaseType::DateTime), Value::fromDateTime("9999-12-31 23:59:59.997"),
                  "9999-12-31 23:59:59.997"},
        RoundTrip{"smalldatetime", type(BaseType::SmallDateTime), Value::fromDateTime("2079-06-06 23:59:00"),
                  "2079-06-06 23:59:00.000"},
        RoundTrip{"varchar Chinese", type(BaseType::VarChar, 20), Value::fromText("应收账款"), "应收账款"},
        RoundTrip{"varchar empty", type(BaseType::VarChar, 20), Value::fromText(""), ""},
        RoundTrip{"char", type(BaseType::Char, 6), Value::fromText("现金"), "现金  "},
        RoundTrip{"nvarchar beyond GBK", type(BaseType::NVarChar, 10), Value::fromText("€😀"), "€😀"},
        RoundTrip{"nchar", type(BaseType::NChar, 3), Value::fromText("a"), "a  "},
        RoundTrip{"varbinary", type(BaseType::VarBinary, 8), Value::fromBytes(std::string("\0\x01\x80", 3)),
                  std::string("\0\x01\x80", 3)},
        RoundTrip{"binary", type(BaseType::Binary, 3), Value::fromBytes("a"), std::string("a\0\0", 3)},
        RoundTrip{"uniqueidentifier", type(BaseType::UniqueIdentifier),
                  Value::fromText("6f9619ff-8b86-d011-b42d-00c04fc964ff"), "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        RoundTrip{"varchar(max)", type(BaseType::VarChar, -1), Value::fromText(std::string(10000, 'x')),
                  std::string(10000, 'x')},
        RoundTrip{"nvarchar(max) NULL", type(BaseType::NVarChar, -1), Value::null(), ""},
        RoundTrip{"varbinary(max) empty", type(BaseType::VarBinary, -1), Value::fromBytes(""), ""},
        RoundTrip{"text", type(BaseType::Text), Value::fromText("摘要"), "摘要"},
        RoundTrip{"ntext NULL", type(BaseType::NText), Value::null(), ""},
        RoundTrip{"image", type(BaseType::Image), Value::fromBytes("\x89PNG"), "\x89PNG"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

TEST(TdsTypes, ReadsTheFixedLengthParameterTypes)
{
    struct Case {
        const char* hex;
        std::string expected;
    };
    const Case cases[] = {
        {"30 7F", "127"},                                   // tinyint
        {"32 01", "1"},                                     // bit
        {"34 FF FF", "-1"},                                 // smallint
        {"38 00 00 00 80", "-2147483648"},                  // int
        {"7F 01 00 00 00 00 00 00 00", "1"},                // bigint
        {"3E 00 00 00 00 00 00 F0 3F", "1"},                // float
        {"7A 10 27 00 00", "1.0000"},                       // smallmoney
        {"3D 00 00 00 00 2C 01 00 00", "1900-01-01 00:00:01.000"},   // datetime
        {"3A 01 00 3C 00", "1900-01-02 01:00:00.000"},      // smalldatetime
        {"1F", ""},                                         // NULL
    };
    for (const Case& c : cases) {
        const Bytes bytes = fromHex(c.hex);
        Reader r(bytes);
        const TypeInfo info = readTypeInfo(r);
        EXPECT_EQ(readValue(r, info, ValueContext::Parameter).toString(), c.expected) << c.hex;
        EXPECT_TRUE(r.atEnd()) << c.hex;
    }
}

TEST(TdsTypes, MalformedTypesAndValuesAreRefused)
{
    const char* bad[] = {
        "26 03 03 00 00 00",          // INTN of length 3
        "26 04 08 00 00 00 00 00 00 00 00",   // value longer than its type
        "6C 11 27 00",                // precision 39
        "6C 11 0A 0B",                // scale above precision
        "A7 41 1F 04 08 D0 00 00",    // varchar beyond 8000 bytes
        "AF FF FF 04 08 D0 00 00",    // char(max)
        "A7 0A 00 04 08 D0 00 00 0B 00 41 41 41 41 41 41 41 41 41 41 41",   // 11 bytes in varchar(10)
        "A7 0A 00 04 08 D0 00 00 05 00 41",   // truncated value
        "A7 FF FF 04 08 D0 00 00 05 00 00 00 00 00 00 00 02 00 00 00 41 41 00 00 00 00",   // chunks short of the length
        "A7 FF FF 04 08 D0 00 00 FE FF FF FF FF FF FF FF FF FF FF 7F",   // a chunk beyond the data
        "A7 0A 00 04 08 D0 00 00 02 00 81 20",   // not GBK
        "E7 0A 00 04 08 D0 00 00 03 00 41 00 42",   // odd UTF-16
        "6F 08 08 00 00 00 00 FF FF FF FF",   // ticks beyond a day
        "F1 00",                      // xml
        "",
    };
    for (const char* hex : bad) {
        const Bytes bytes = fromHex(hex);
        Reader r(bytes);
        EXPECT_THROW(
            {
                const TypeInfo info = readTypeInfo(r);
                readValue(r, info);
            },
            ProtocolError)
            << hex;
    }
}
