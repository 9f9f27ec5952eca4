#include "cli/CelTool.h"

namespace {

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0 when it is not one.
// Overlong forms, surrogates and values above U+10FFFF are not well formed.
size_t Utf8SequenceLength(std::string_view bytes)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    auto continuation = [&](size_t i, unsigned char low, unsigned char high) {
        return i < bytes.size() && byte(i) >= low && byte(i) <= high;
    };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2, 0x80, 0xBF)
                && continuation(3, 0x80, 0xBF)
            ? 4
            : 0;
    }
    return 0;
}

} // namespace

std::string ValidUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        size_t length = Utf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            text += "\xEF\xBF\xBD"; // U+FFFD for each byte that is not part of valid UTF-8
            ++i;
            continue;
        }
        text.append(bytes.substr(i, length));
        i += length;
    }
    return text;
}
