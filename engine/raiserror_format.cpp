// RAISERROR's printf-like message formatting.
#include "raiserror_format.h"

#include "gbk.h"

#include <cstdio>
#include <cstring>

namespace vqsql {

namespace {

constexpr std::size_t kMessageLimit = 2047;
// Widths and precisions beyond the message's length change nothing visible.
constexpr int kFieldLimit = 4000;

struct Conversion {
    std::string flags;
    int width = -1;
    int precision = -1;
    bool longLong = false;   // I64
    char type = 0;
};

// The UTF-8 text cut to at most `count` characters.
std::string firstCharacters(const std::string& text, std::size_t count)
{
    std::size_t at = 0, seen = 0;
    while (at < text.size() && seen < count) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
        ++seen;
    }
    return text.substr(0, at);
}

std::string padded(std::string text, const Conversion& conversion)
{
    const std::size_t length = utf8Length(text);
    if (conversion.width > 0 && length < static_cast<std::size_t>(conversion.width)) {
        const std::string fill(static_cast<std::size_t>(conversion.width) - length, ' ');
        text = conversion.flags.find('-') != std::string::npos ? text + fill : fill + text;
    }
    return text;
}

std::string formatInteger(const RaiserrorArgument& arg, const Conversion& conversion)
{
    std::string format = "%" + conversion.flags;
    if (conversion.width >= 0)
        format += std::to_string(conversion.width);
    if (conversion.precision >= 0)
        format += "." + std::to_string(conversion.precision);
    char buffer[2 * kFieldLimit + 64];
    const char type = conversion.type == 'i' ? 'd' : conversion.type;
    if (type == 'd') {
        format += "lld";
        std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<long long>(arg.integer));
    } else {
        // Unsigned views of an int are its 32 bits, of a bigint its 64.
        const bool wide = arg.wide || conversion.longLong;
        const unsigned long long bits = wide ? static_cast<unsigned long long>(arg.integer)
                                             : static_cast<std::uint32_t>(arg.integer);
        format += "ll";
        format += type;
        std::snprintf(buffer, sizeof buffer, format.c_str(), bits);
    }
    return buffer;
}

// Reads the conversion after a '%' at format[i]; i ends past its type.
// False when the text is no conversion (it is then copied as written).
bool readConversion(const std::string& format, std::size_t& i, Conversion& conversion, const std::vector<RaiserrorArgument>& args,
              std::size_t& next)
{
    auto starValue = [&]() {
        const RaiserrorArgument* a = next < args.size() ? &args[next] : nullptr;
        ++next;
        if (!a || a->kind != RaiserrorArgument::Kind::Integer)
            return 0;
        return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(a->integer, 0), kFieldLimit));
    };
    auto digits = [&]() {
        int v = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            v = std::min(v * 10 + (format[i] - '0'), kFieldLimit);
            ++i;
        }
        return v;
    };
    while (i < format.size() && format[i] != '\0' && std::strchr("-+0# ", format[i])) {
        if (conversion.flags.find(format[i]) == std::string::npos)
            conversion.flags += format[i];
        ++i;
    }
    if (i < format.size() && format[i] == '*') {
        ++i;
        conversion.width = starValue();
    } else if (i < format.size() && format[i] >= '1' && format[i] <= '9') {
        conversion.width = digits();
    }
    if (i < format.size() && format[i] == '.') {
        ++i;
        if (i < format.size() && format[i] == '*') {
            ++i;
            conversion.precision = starValue();
        } else {
            conversion.precision = digits();
        }
    }
    if (format.compare(i, 3, "I64") == 0) {
        conversion.longLong = true;
        i += 3;
    } else if (i < format.size() && (format[i] == 'h' || format[i] == 'l')) {
        ++i;
    }
    if (i >= format.size() || format[i] == '\0' || !std::strchr("dioxXus", format[i]))
        return false;
    conversion.type = format[i++];
    return true;
}

}  // namespace

std::string formatRaiserrorMessage(const std::string& format, const std::vector<RaiserrorArgument>& args, int line)
{
    std::string out;
    std::size_t next = 0;   // the next argument to substitute
    for (std::size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        const std::size_t start = i++;
        Conversion conversion;
        if (!readConversion(format, i, conversion, args, next)) {
            out.append(format, start, i - start);
            continue;
        }
        const std::size_t index = next++;
        const RaiserrorArgument* arg = index < args.size() ? &args[index] : nullptr;
        if (!arg || arg->kind == RaiserrorArgument::Kind::Null) {
            out += padded("(null)", conversion);
            continue;
        }
        const bool wantsString = conversion.type == 's';
        if (wantsString != (arg->kind == RaiserrorArgument::Kind::String))
            throw SqlException(2786,
                               "The data type of substitution parameter " + std::to_string(index + 1) +
                                   " does not match the expected type of its format character.",
                               line);
        if (wantsString)
            out += padded(conversion.precision >= 0 ? firstCharacters(arg->text, static_cast<std::size_t>(conversion.precision))
                                              : arg->text,
                          conversion);
        else
            out += formatInteger(*arg, conversion);
    }
    if (utf8Length(out) > kMessageLimit)
        out = firstCharacters(out, kMessageLimit - 3) + "...";
    return out;
}

}  // namespace vqsql
