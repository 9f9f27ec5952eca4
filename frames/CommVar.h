#pragma once

#include <cstdint>
#include <string_view>

// Small numeric helpers shared by every unit.

// Digits only, at most 255 characters, value within a signed 32-bit number;
// anything else (empty text, a sign, a blank, overflow) gives -1.
int32_t ParseDecimal(std::string_view text);

// |value| as an unsigned number, so that the most negative value has a result.
uint32_t AbsoluteValue(int32_t value);

// Greatest common divisor by Euclid's rule; GCD(0, n) = n.
uint32_t GCD(uint32_t a, uint32_t b);
