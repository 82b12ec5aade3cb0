// Bounded fuzzing of RAISERROR's message formatting, which reads a
// client's format text: random formats dense in % conversions (flags,
// widths and precisions up to the limits, *, I64, cut conversions,
// multibyte text) with random arguments never crash, never pass 2047
// characters, and fail only with 2786. The seed is fixed; VQ_FUZZ_SEED
// picks another and VQ_FUZZ_ROUNDS sets how many rounds run.
#include "gbk.h"
#include "raiserror_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace vqsql;

namespace {

unsigned fuzzSeed()
{
    const char* seed = std::getenv("VQ_FUZZ_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261209u;
}

int fuzzRounds(int fallback)
{
    const char* rounds = std::getenv("VQ_FUZZ_ROUNDS");
    return rounds ? std::max(1, std::atoi(rounds)) : fallback;
}

std::string randomFormat(std::mt19937& rng)
{
    static const std::vector<std::string> pieces = {
        "%", "%%", "d", "i", "s", "u", "x", "X", "o", "-", "+", "0", "#", " ", "*", ".", "I64", "h", "l",
        "9", "4000", "99999999999", "text", "中文", "\xC3", std::string(1, '\0'), "%-*.*s", "%0*d", "%#x"};
    std::string f;
    const std::size_t count = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
    for (std::size_t i = 0; i < count; ++i)
        f += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(rng)];
    return f;
}

RaiserrorArgument randomArgument(std::mt19937& rng)
{
    RaiserrorArgument a;
    switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
    case 0: break;
    case 1: {
        static const std::int64_t values[] = {0, 1, -1, 4000, 5000, 2147483647, -2147483647 - 1,
                                              INT64_MAX, INT64_MIN, 255};
        a.kind = RaiserrorArgument::Kind::Integer;
        a.integer = values[std::uniform_int_distribution<std::size_t>(0, std::size(values) - 1)(rng)];
        a.wide = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
        break;
    }
    default:
        a.kind = RaiserrorArgument::Kind::String;
        a.text = std::string(std::uniform_int_distribution<std::size_t>(0, 3000)(rng), 'x');
        break;
    }
    return a;
}

TEST(RaiserrorFormatFuzz, RandomFormatsAndArguments)
{
    std::mt19937 rng(fuzzSeed());
    const int rounds = fuzzRounds(3000);
    for (int round = 0; round < rounds; ++round) {
        const std::string format = randomFormat(rng);
        std::vector<RaiserrorArgument> args(std::uniform_int_distribution<std::size_t>(0, 20)(rng));
        for (auto& a : args)
            a = randomArgument(rng);
        try {
            const std::string message = formatRaiserrorMessage(format, args, 1);
            ASSERT_LE(utf8Length(message), 2047u) << "round " << round;
        } catch (const SqlException& e) {
            ASSERT_EQ(e.number(), 2786) << "round " << round;
        }
    }
}

}  // namespace
