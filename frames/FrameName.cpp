#include "frames/FrameName.h"

#include <array>
#include <cstdint>

namespace {

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0 when there is none.
size_t SequenceLength(std::string_view bytes)
{
    auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    auto continuation = [&](size_t i, uint8_t low, uint8_t high) {
        return i < bytes.size() && byte(i) >= low && byte(i) <= high;
    };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uint8_t low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong form
        const uint8_t high = lead == 0xED ? 0x9F : 0xBF; // no surrogate
        return continuation(1, low, high) && continuation(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
        return continuation(1, low, high) && continuation(2, 0x80, 0xBF)
                && continuation(3, 0x80, 0xBF)
            ? 4
            : 0;
    }
    return 0;
}

// Code points of the bytes 80 to 9F in Windows-1252; the undefined ones keep their value.
constexpr std::array<uint16_t, 32> HighControls { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026,
    0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018,
    0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D,
    0x017E, 0x0178 };

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t length = SequenceLength(bytes.substr(i));
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string NameForDisplay(std::string_view stored)
{
    if (IsValidUtf8(stored))
        return std::string(stored);
    std::string text;
    text.reserve(stored.size() * 2);
    for (char c : stored) {
        const uint8_t byte = static_cast<uint8_t>(c);
        // Above 9F Windows-1252 agrees with Latin-1: the byte is its own code point.
        const uint32_t code = byte >= 0x80 && byte <= 0x9F ? HighControls[byte - 0x80] : byte;
        AppendUtf8(text, code);
    }
    return text;
}

std::string NameFromEntry(std::string_view entered, std::string_view stored)
{
    if (NameShownAs(stored, entered))
        return std::string(stored);
    return std::string(entered);
}

bool NameShownAs(std::string_view stored, std::string_view text)
{
    // Valid UTF-8 is shown as it is, so most names compare without a conversion.
    if (IsValidUtf8(stored))
        return stored == text;
    return NameForDisplay(stored) == text;
}
