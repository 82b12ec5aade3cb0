// Bounded fuzzing of the TDS decoders, which take bytes from anybody on
// the network: packet streams in random pieces, PRELOGIN and LOGIN7
// records, SQL batches, RPC and transaction manager requests and typed
// values, random and mutated from valid
// ones (offsets and lengths pointing outside, truncation, oversized
// lengths, option tables that never end). Every input must give a result
// or a ProtocolError: no other exception, no crash, and no buffering
// beyond the message limits.
//
// The seed is fixed; VQ_FUZZ_SEED picks another and VQ_FUZZ_ROUNDS sets how
// many inputs each test tries. Run under the sanitizer build (see the top
// CMakeLists.txt) to catch memory faults too.
#include "login7.h"
#include "login_builder.h"
#include "packet.h"
#include "prelogin.h"
#include "rpc.h"
#include "sqlbatch.h"
#include "fuzz_support.h"
#include "tds_test_helpers.h"
#include "tokens.h"
#include "types.h"
#include "txmanager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

using namespace vqtds;
using tdstest::fromHex;
using tdstest::toHex;
using tdstest::fuzzRounds;
using tdstest::fuzzSeed;
using tdstest::Mutator;

namespace {

// Runs a decoder; only a result or a ProtocolError are acceptable.
void expectCleanOutcome(const Bytes& input, const char* what, const std::function<void()>& decode)
{
    try {
        decode();
    } catch (const ProtocolError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << " threw " << e.what() << " for " << toHex(ByteView(input).first(std::min<std::size_t>(input.size(), 256)));
    }
}

Bytes validPrelogin()
{
    return fromHex("00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 04 04 00 26 00 01 FF "
                   "09 00 00 00 00 00 01 00 B8 0D 00 00 01");
}

std::vector<Bytes> validTypedValues()
{
    using vqsql::BaseType;
    using vqsql::Value;
    struct Sample {
        BaseType base;
        int length, precision, scale;
        Value value;
    };
    const Sample samples[] = {
        {BaseType::Int, 0, 0, 0, Value::fromInteger(7)},
        {BaseType::BigInt, 0, 0, 0, Value::fromInteger(-7)},
        {BaseType::Numeric, 0, 28, 6, Value::fromText("-1234.5")},
        {BaseType::Money, 0, 0, 0, Value::fromNumber(3.25)},
        {BaseType::Real, 0, 0, 0, Value::fromNumber(2.5)},
        {BaseType::DateTime, 0, 0, 0, Value::fromDateTime("2026-12-09 10:11:12.345")},
        {BaseType::SmallDateTime, 0, 0, 0, Value::fromDateTime("2026-12-09 10:11:00")},
        {BaseType::VarChar, 30, 0, 0, Value::fromText("科目余额")},
        {BaseType::NVarChar, 30, 0, 0, Value::fromText("凭证")},
        {BaseType::Char, 4, 0, 0, Value::fromText("x")},
        {BaseType::VarBinary, 8, 0, 0, Value::fromBytes("\x01\x02")},
        {BaseType::UniqueIdentifier, 0, 0, 0, Value::fromText("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
        {BaseType::VarChar, -1, 0, 0, Value::fromText("long text")},
        {BaseType::NVarChar, -1, 0, 0, Value::null()},
        {BaseType::Text, 0, 0, 0, Value::fromText("memo")},
        {BaseType::Image, 0, 0, 0, Value::fromBytes("img")},
    };
    std::vector<Bytes> out;
    for (const Sample& s : samples) {
        vqsql::SqlType t;
        t.base = s.base;
        t.length = s.length;
        t.precision = s.precision;
        t.scale = s.scale;
        for (ValueContext context : {ValueContext::Row, ValueContext::Parameter}) {
            const TypeInfo info = typeInfoFor(t, TdsVersion::V7_4, wireTextLength(t, s.value));
            Bytes b{static_cast<std::uint8_t>(context == ValueContext::Row ? 0 : 1)};
            writeTypeInfo(b, info);
            writeValue(b, info, s.value, context);
            out.push_back(std::move(b));
        }
    }
    return out;
}

// Decodes a typed value; the first byte picks the context.
void decodeTypedValue(const Bytes& input)
{
    if (input.empty())
        return;
    Reader r(ByteView(input).subspan(1));
    const ValueContext context = input[0] % 2 == 0 ? ValueContext::Row : ValueContext::Parameter;
    const TypeInfo info = readTypeInfo(r);
    readValue(r, info, context);
}

const char* const kRequestHeaders = "16 00 00 00 12 00 00 00 02 00 08 07 06 05 04 03 02 01 01 00 00 00 ";

// RPC requests of 7.2 on (with headers): sp_executesql with named and
// positional parameters of several types, a (max) value in chunks, an
// ntext statement, fixed-length types, and two calls in one request.
std::vector<Bytes> validRpcRequests()
{
    const std::string call = "FF FF 0A 00 00 00 ";
    const std::string stmt = "00 00 E7 40 1F 04 08 D0 00 00 0A 00 73 00 65 00 6C 00 65 00 63 00 ";
    return {
        fromHex(kRequestHeaders + call + stmt + "03 40 00 61 00 62 00 00 26 04 04 2A 00 00 00 "
                "00 01 6C 11 26 04 00 00 00 6F 08 08 00 00 00 00 2C 01 00 00"),
        fromHex(kRequestHeaders + call + "00 00 E7 FF FF 04 08 D0 00 00 FE FF FF FF FF FF FF FF "
                "02 00 00 00 41 00 04 00 00 00 42 00 43 00 00 00 00 00 00 00 A5 FF FF FF FF FF FF FF FF FF FF"),
        fromHex(kRequestHeaders + call + "00 00 63 FE FF FF 7F 04 08 D0 00 00 04 00 00 00 41 00 42 00 "
                "00 00 38 07 00 00 00 00 00 3E 00 00 00 00 00 00 04 40 00 00 3D 00 00 00 00 00 00 00 00 "
                "00 00 A7 10 00 04 08 D0 00 00 02 00 41 42 00 00 24 10 00"),
        fromHex(kRequestHeaders + std::string("03 00 70 00 31 00 32 00 03 00 00 01 26 04 00 FF ") + call +
                "00 00 26 08 08 01 00 00 00 00 00 00 00 FE FF FF 0C 00 00 00"),
    };
}

std::vector<Bytes> validTransactionManagerRequests()
{
    return {
        fromHex(kRequestHeaders + std::string("05 00 02 04 74 00 31 00")),
        fromHex(kRequestHeaders + std::string("07 00 02 61 00 01 04 02 62 00")),
        fromHex(kRequestHeaders + std::string("08 00 00 00")),
        fromHex(kRequestHeaders + std::string("09 00 06 73 00 70 00 31 00")),
        fromHex(kRequestHeaders + std::string("01 00 04 00 DE AD BE EF")),
    };
}

}  // namespace

TEST(TdsFuzz, PacketStreamsInRandomPieces)
{
    Mutator m(fuzzSeed());
    MessageLimits limits;
    limits.prelogin = 4096;
    limits.login = 8192;
    limits.other = 65536;
    const int rounds = fuzzRounds(2000);
    for (int round = 0; round < rounds; ++round) {
        // Valid messages of several types, then damage.
        Bytes stream;
        const std::size_t messages = 1 + m.below(4);
        for (std::size_t i = 0; i < messages; ++i) {
            static const std::uint8_t types[] = {packet_type::SqlBatch, packet_type::Prelogin, packet_type::Login7,
                                                 packet_type::Rpc, packet_type::Attention};
            const Bytes payload = m.random(3000);
            putBytes(stream, splitIntoPackets(types[m.below(std::size(types))], payload, 512 + m.below(1000)));
        }
        if (round % 4 != 0)
            stream = m.mutate(stream);
        if (round % 17 == 0)
            stream = m.random(4000);

        MessageAssembler a(1024, limits);
        std::size_t offset = 0;
        bool closed = false;
        while (offset < stream.size() && !closed) {
            const std::size_t n = std::min(stream.size() - offset, 1 + m.below(700));
            a.feed(ByteView(stream).subspan(offset, n));
            offset += n;
            try {
                while (auto msg = a.next())
                    ASSERT_LE(msg->payload.size(), limits.other);
            } catch (const ProtocolError&) {
                closed = true;   // the connection would be closed here
            }
            // What is held is one message under construction plus one packet.
            ASSERT_LE(a.bufferedBytes(), limits.other + 1024 + 700) << "round " << round;
        }
    }
}

TEST(TdsFuzz, PreloginRecords)
{
    Mutator m(fuzzSeed() + 1);
    const int rounds = fuzzRounds(2000);
    for (int round = 0; round < rounds; ++round) {
        Bytes input;
        switch (round % 4) {
        case 0: input = m.random(64); break;
        case 1: {   // an option table that never terminates
            input.assign(5 * (1 + m.below(20)), 0);
            for (std::size_t i = 0; i < input.size(); ++i)
                input[i] = (i % 5 == 0) ? static_cast<std::uint8_t>(m.below(8)) : m.byte();
            break;
        }
        default: input = m.mutate(validPrelogin()); break;
        }
        expectCleanOutcome(input, "parsePrelogin", [&] { parsePrelogin(input); });
    }
}

TEST(TdsFuzz, Login7Records)
{
    Mutator m(fuzzSeed() + 2);
    std::vector<Bytes> seeds;
    for (std::uint32_t version : {tds_version_code::V7_1Rev1, tds_version_code::V7_2, tds_version_code::V7_4}) {
        tdstest::LoginBuilder b;
        b.version = version;
        b.user = "出纳";
        b.password = "口令";
        b.sspi = Bytes(40, 0x11);
        seeds.push_back(b.build());
    }
    const int rounds = fuzzRounds(2000);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = round % 10 == 0 ? m.random(200) : m.mutate(seeds[m.below(seeds.size())]);
        expectCleanOutcome(input, "parseLogin7", [&] {
            const Login7 login = parseLogin7(input);
            // Whatever it accepted lies inside what it was given.
            ASSERT_LE(login.length, input.size());
            ASSERT_LE(login.sspi.size(), input.size());
            ASSERT_LE(login.userName.size(), input.size() * 2);
        });
    }
}

TEST(TdsFuzz, SqlBatches)
{
    Mutator m(fuzzSeed() + 3);
    Bytes seed = fromHex("16 00 00 00 12 00 00 00 02 00 08 07 06 05 04 03 02 01 01 00 00 00");
    putBytes(seed, utf8ToUtf16("SELECT * FROM 凭证"));
    const int rounds = fuzzRounds(2000);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = round % 10 == 0 ? m.random(100) : m.mutate(seed);
        for (TdsVersion v : {TdsVersion::V7_1, TdsVersion::V7_4})
            expectCleanOutcome(input, "parseSqlBatch", [&] { parseSqlBatch(input, v); });
    }
}

TEST(TdsFuzz, TypedValues)
{
    Mutator m(fuzzSeed() + 4);
    const std::vector<Bytes> seeds = validTypedValues();
    // The valid ones decode.
    for (const Bytes& s : seeds)
        EXPECT_NO_THROW(decodeTypedValue(s)) << toHex(s);
    const int rounds = fuzzRounds(4000);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = round % 8 == 0 ? m.random(40) : m.mutate(seeds[m.below(seeds.size())]);
        expectCleanOutcome(input, "readTypeInfo/readValue", [&] { decodeTypedValue(input); });
    }
}

TEST(TdsFuzz, RpcRequests)
{
    Mutator m(fuzzSeed() + 5);
    const std::vector<Bytes> seeds = validRpcRequests();
    for (const Bytes& s : seeds)
        EXPECT_NO_THROW(parseRpcRequest(s, TdsVersion::V7_4)) << toHex(s);
    const int rounds = fuzzRounds(4000);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = round % 10 == 0 ? m.random(120) : m.mutate(seeds[m.below(seeds.size())]);
        for (TdsVersion v : {TdsVersion::V7_1, TdsVersion::V7_4})
            expectCleanOutcome(input, "parseRpcRequest", [&] {
                const std::vector<RpcCall> calls = parseRpcRequest(input, v);
                // Every call took at least its 4 bytes of name and options.
                ASSERT_LE(calls.size() * 4, input.size());
                for (const RpcCall& c : calls)
                    for (const RpcParameter& p : c.parameters) {
                        ASSERT_LE(p.value.text.size(), input.size() * 2);
                        try {
                            declarationOf(p);
                        } catch (const ProtocolError&) {
                        }
                    }
            });
    }
}

TEST(TdsFuzz, TransactionManagerRequests)
{
    Mutator m(fuzzSeed() + 6);
    const std::vector<Bytes> seeds = validTransactionManagerRequests();
    for (const Bytes& s : seeds)
        EXPECT_NO_THROW(parseTransactionManagerRequest(s, TdsVersion::V7_2)) << toHex(s);
    const int rounds = fuzzRounds(2000);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = round % 10 == 0 ? m.random(40) : m.mutate(seeds[m.below(seeds.size())]);
        for (TdsVersion v : {TdsVersion::V7_1, TdsVersion::V7_2})
            expectCleanOutcome(input, "parseTransactionManagerRequest", [&] {
                const TransactionManagerRequest r = parseTransactionManagerRequest(input, v);
                ASSERT_LE(r.name.size() + r.newName.size(), input.size() * 2);
            });
    }
}
