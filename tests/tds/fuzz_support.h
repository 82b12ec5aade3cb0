// The bounded fuzzing of the tests that read bytes from outside: the
// rounds and seed from VQ_FUZZ_ROUNDS and VQ_FUZZ_SEED, and a mutator of
// valid inputs aimed at what binary decoders look at (lengths, offsets,
// boundary values, cuts, junk).
#pragma once

#include "wire.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <random>

namespace tdstest {

using vqtds::Bytes;

inline unsigned fuzzSeed()
{
    const char* seed = std::getenv("VQ_FUZZ_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261209u;
}

inline int fuzzRounds(int fallback)
{
    const char* rounds = std::getenv("VQ_FUZZ_ROUNDS");
    return rounds ? std::max(1, std::atoi(rounds)) : fallback;
}

class Mutator {
public:
    explicit Mutator(unsigned seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(below(256)); }

    Bytes random(std::size_t maxSize)
    {
        Bytes b(below(maxSize + 1));
        for (auto& x : b)
            x = byte();
        return b;
    }

    // One to four edits of a valid input.
    Bytes mutate(Bytes b)
    {
        const std::size_t edits = 1 + below(4);
        for (std::size_t e = 0; e < edits; ++e) {
            switch (below(7)) {
            case 0:   // flip a byte
                if (!b.empty())
                    b[below(b.size())] ^= static_cast<std::uint8_t>(1 + below(255));
                break;
            case 1: {   // a boundary value in a 16-bit field
                if (b.size() >= 2) {
                    static const std::uint16_t values[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF};
                    const std::size_t at = below(b.size() - 1);
                    const std::uint16_t v = values[below(std::size(values))];
                    b[at] = static_cast<std::uint8_t>(v);
                    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
                }
                break;
            }
            case 2:   // a large 32-bit length
                if (b.size() >= 4) {
                    const std::size_t at = below(b.size() - 3);
                    const std::uint32_t v = below(2) ? 0xFFFFFFFFu : static_cast<std::uint32_t>(below(1u << 20));
                    for (int i = 0; i < 4; ++i)
                        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
                }
                break;
            case 3:   // truncate
                b.resize(below(b.size() + 1));
                break;
            case 4: {   // append junk
                const Bytes junk = random(16);
                b.insert(b.end(), junk.begin(), junk.end());
                break;
            }
            case 5:   // repeat a region
                if (!b.empty()) {
                    const std::size_t from = below(b.size());
                    const std::size_t n = below(std::min<std::size_t>(64, b.size() - from) + 1);
                    Bytes region(b.begin() + static_cast<std::ptrdiff_t>(from),
                                 b.begin() + static_cast<std::ptrdiff_t>(from + n));
                    b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), region.begin(), region.end());
                }
                break;
            default:   // a single byte set to 0x00 or 0xFF
                if (!b.empty())
                    b[below(b.size())] = below(2) ? 0x00 : 0xFF;
                break;
            }
        }
        return b;
    }

private:
    std::mt19937 rng_;
};

}  // namespace tdstest
