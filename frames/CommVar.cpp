#include "frames/CommVar.h"

#include <cstdint>

int32_t ParseDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 255)
        return -1;
    // Accumulated in 64 bits so that a value beyond the signed 32-bit range is caught before
    // it could wrap into a plausible-looking size.
    int64_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return -1;
        value = value * 10 + (ch - '0');
        if (value > INT32_MAX)
            return -1;
    }
    return static_cast<int32_t>(value);
}

uint32_t AbsoluteValue(int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    return value < 0 ? 0u - bits : bits;
}

uint32_t GCD(uint32_t a, uint32_t b)
{
    while (b != 0) {
        uint32_t rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}
