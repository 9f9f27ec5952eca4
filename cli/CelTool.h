#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cel/CELHandler.h"
#include "palette/PaletteModel.h"

// vornix-cel, the command-line companion of the desktop program: it lists, exports and builds
// CEL files in bulk with the same core the windows use.
//
// Exit codes: 0 success, 1 a file-level failure, 2 a usage error. Every error goes to the error
// stream as one line "vornix-cel: <file>: <reason>"; a usage error is followed by the usage
// line of its command.

enum : int { ExitSuccess = 0, ExitFileFailure = 1, ExitUsage = 2 };

// Runs one invocation; arguments exclude the program name.
int RunCelTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// --- Shared between the command files ------------------------------------------------------

struct ToolStreams {
    std::ostream& Out;
    std::ostream& Err;
};

struct OptionRule {
    std::string_view Name; // with its leading "--"
    bool TakesValue;
};

struct ParsedArguments {
    std::vector<std::string> Positional;
    std::map<std::string, std::string, std::less<>> Options; // value empty for flags

    bool Has(std::string_view name) const { return Options.find(name) != Options.end(); }
};

// Strict parsing: an option not in rules, an option given twice, or a missing value is an
// error. "--name=value" is accepted for options that take a value; "--" ends the options.
// Returns the problem, or an empty string when the arguments parsed.
std::string ParseArguments(std::span<const std::string> arguments,
    std::span<const OptionRule> rules, ParsedArguments& parsed);

// True when "--help" stands among the options (before any "--").
bool AsksForHelp(std::span<const std::string> arguments);

// A decimal number made of digits only, at most maximum. Nothing else is accepted: no sign,
// no blank, no empty text.
bool ParseBoundedNumber(std::string_view text, uint32_t maximum, uint32_t& value);

// "R,G,B", each 0 ... 255, into red + 256 x green + 65536 x blue.
bool ParseColour(std::string_view text, uint32_t& colour);

// Prints "vornix-cel: <problem>" and the usage line of command; returns ExitUsage.
int UsageError(const ToolStreams& streams, std::string_view command, std::string_view problem);
// Prints "vornix-cel: <file>: <reason>"; returns ExitFileFailure.
int FileError(const ToolStreams& streams, std::string_view file, std::string_view reason);
void Warning(const ToolStreams& streams, std::string_view file, std::string_view text);

// The usage line and the full help of a command ("" for the program as a whole).
std::string UsageLine(std::string_view command);
std::string HelpText(std::string_view command);

// The Frame Header choice of --headers / --no-headers, or fallback when neither is given.
// Giving both is a usage error, reported through the returned text.
std::string HeaderChoice(const ParsedArguments& parsed, bool fallback, bool& withHeaders);

// Sets up the palette as the commands use it: entries 0 ... 254 grey (i, i, i) or from the
// file of "--palette", entry 255 the colour of "--transparent" (white by default). On a
// palette file failure the error line is printed and ExitFileFailure returned; a malformed
// colour gives ExitUsage. ExitSuccess otherwise.
int PreparePalette(const ToolStreams& streams, std::string_view command,
    const ParsedArguments& parsed, PaletteModel& palette);

// The reason printed when a CEL does not load.
std::string LoadFailureReason(uint8_t status);

// The name of a diagnosis code ("DiagOK" ... "DiagBounds").
std::string_view DiagnosisName(uint8_t code);

// A JSON string literal, quotes included, for arbitrary bytes: valid UTF-8 passes through,
// each byte of an invalid sequence becomes U+FFFD, control characters become \u00XX, so the
// result is always valid JSON.
std::string JsonString(std::string_view bytes);

// Bytes made safe for a terminal: control characters are shown as \xNN.
std::string PrintableText(std::string_view bytes);

int RunInfo(const ToolStreams& streams, std::span<const std::string> arguments);
int RunExport(const ToolStreams& streams, std::span<const std::string> arguments);
int RunBuild(const ToolStreams& streams, std::span<const std::string> arguments);
