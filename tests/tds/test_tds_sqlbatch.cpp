// SQL batches: the text alone (7.1), the request headers before it
// (7.2 on) with the transaction descriptor, and malformed headers.
#include "sqlbatch.h"
#include "tds_test_helpers.h"

#include <gtest/gtest.h>

using namespace vqtds;
using tdstest::fromHex;

TEST(TdsSqlBatch, TextAloneIn71)
{
    Bytes payload = utf8ToUtf16("select '中文'");
    const SqlBatch b = parseSqlBatch(payload, TdsVersion::V7_1);
    EXPECT_EQ(b.text, "select '中文'");
    EXPECT_FALSE(b.headers.transactionDescriptor);
}

TEST(TdsSqlBatch, TransactionDescriptorHeader)
{
    // Total 22; one header of 18: type 2, descriptor, one outstanding request.
    Bytes payload = fromHex("16 00 00 00 12 00 00 00 02 00 08 07 06 05 04 03 02 01 01 00 00 00");
    putBytes(payload, utf8ToUtf16("SELECT 1"));
    const SqlBatch b = parseSqlBatch(payload, TdsVersion::V7_2);
    ASSERT_TRUE(b.headers.transactionDescriptor);
    EXPECT_EQ(*b.headers.transactionDescriptor, 0x0102030405060708ULL);
    EXPECT_EQ(b.headers.outstandingRequestCount, 1u);
    EXPECT_EQ(b.text, "SELECT 1");
}

TEST(TdsSqlBatch, OtherHeadersAreSkipped)
{
    // A trace activity header (type 3, 16 + 16 + 4 bytes of data) before the descriptor.
    Bytes payload = fromHex("40 00 00 00 2A 00 00 00 03 00");
    payload.insert(payload.end(), 36, 0xAB);
    putBytes(payload, fromHex("12 00 00 00 02 00 00 00 00 00 00 00 00 00 01 00 00 00"));
    putBytes(payload, utf8ToUtf16("x"));
    const SqlBatch b = parseSqlBatch(payload, TdsVersion::V7_4);
    EXPECT_EQ(b.headers.transactionDescriptor.value_or(99), 0u);
    EXPECT_EQ(b.text, "x");
}

TEST(TdsSqlBatch, MalformedHeadersAndTextAreRefused)
{
    const char* bad[] = {
        "",                                            // no headers at all
        "03 00 00 00",                                 // total below its own size
        "FF 00 00 00 12 00 00 00",                     // total beyond the message
        "0A 00 00 00 05 00 00 00 02 00",               // header below its own size
        "0A 00 00 00 40 00 00 00 02 00",               // header beyond the total
        "0E 00 00 00 0A 00 00 00 02 00 00 00 00 00",   // descriptor header too short
        "04 00 00 00 41",                              // odd UTF-16 text
    };
    for (const char* hex : bad)
        EXPECT_THROW(parseSqlBatch(fromHex(hex), TdsVersion::V7_2), ProtocolError) << hex;
}
