#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Frame names as the ".cdb" keeps them: bytes, one per character, in no stated encoding.
// Newer names are UTF-8; names written by older tools are often in the Windows-1252 code page.
// A name is stored and written back as its bytes; only what is shown (and searched) is text.

// The database's length byte: a name has at most this many bytes.
constexpr size_t MaxNameBytes = 255;

// True when bytes are well-formed UTF-8 (no overlong forms, surrogates or values above
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The name as UTF-8 text to show: bytes that are valid UTF-8 as they are, any other bytes read
// as Windows-1252. The five bytes that code page leaves undefined (81, 8D, 8F, 90, 9D) show as
// the control characters of the same value, so every byte shows as something.
std::string NameForDisplay(std::string_view stored);

// The bytes that a Rename stores for the UTF-8 text entered in place of the name stored: the
// stored bytes themselves when the text is the name as shown (closing the dialog with the
// text untouched changes nothing), else the entered text.
std::string NameFromEntry(std::string_view entered, std::string_view stored);

// True when the name as shown is exactly text (the frame search compares what the user sees).
bool NameShownAs(std::string_view stored, std::string_view text);
