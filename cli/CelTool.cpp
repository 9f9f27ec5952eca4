#include "cli/CelTool.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::string_view ProgramName = "vornix-cel";

struct CommandText {
    std::string_view Name;
    std::string_view Usage;
    std::string_view Details;
};

constexpr std::array<CommandText, 4> Commands { {
    { "info", "vornix-cel info FILE.cel [--headers | --no-headers] [--width W] [--json]",
        "Lists every frame of a CEL file: caption, size, data length, diagnosis and candidate\n"
        "widths (the selected one marked with *).\n"
        "  --headers      without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers   without a .cdb file, read the frames without them (default, unless\n"
        "                 reading them with headers leaves more frames viewable)\n"
        "  --width W      select width W in each frame that has it as a candidate\n"
        "  --json         print one JSON object instead of the table\n" },
    { "export",
        "vornix-cel export FILE.cel OUTDIR [--frame N] [--format bmp|png] [--palette P.pal] "
        "[--bpp 8|24] [--transparent R,G,B] [--width W] [--headers | --no-headers] [--jobs N] "
        "[--no-overwrite] [--quiet]",
        "Writes OUTDIR/<stem>_<index>.bmp (or .png) for every viewable frame, decoded at its\n"
        "selected width; the index has as many digits as the last one (hero_00 ... hero_11),\n"
        "so the names sort in frame order. Frames that are not viewable are skipped with a\n"
        "warning.\n"
        "  --frame N            export frame N (counted from 0) alone\n"
        "  --format bmp|png     file format (default bmp)\n"
        "  --palette P.pal      colours 0 to 254 from a 768-byte palette file (default: grey "
        "i,i,i)\n"
        "  --bpp 8|24           bits per pixel of the files (default 8)\n"
        "  --transparent R,G,B  colour of the transparent index 255 (default 255,255,255)\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --no-overwrite       refuse, before writing anything, if a target file exists\n"
        "  --quiet              leave out the summary line\n" },
    { "sheet",
        "vornix-cel sheet FILE.cel OUT.png [--columns N] [--palette P.pal] [--transparent R,G,B] "
        "[--bpp 8|24] [--width W] [--headers | --no-headers] [--jobs N] [--no-overwrite] "
        "[--quiet]",
        "Writes the viewable frames into one PNG sprite sheet, in cells of the widest frame's\n"
        "width and the tallest frame's height, row by row from the top left, and OUT.json\n"
        "beside it describing where each frame is.\n"
        "  --columns N          cells per row (default: the smallest N with N x N at least the\n"
        "                       frame count)\n"
        "  --palette P.pal      colours 0 to 254 from a 768-byte palette file (default: grey "
        "i,i,i)\n"
        "  --transparent R,G,B  colour of the transparent index 255 (default 255,255,255)\n"
        "  --bpp 8|24           bits per pixel of the sheet (default 8)\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --no-overwrite       refuse, before writing anything, if OUT.png or OUT.json exists\n"
        "  --quiet              leave out the summary line\n" },
    { "build",
        "vornix-cel build OUT.cel [--headers | --no-headers] [--palette P.pal] [--whole-palette] "
        "[--transparent R,G,B] [--database] [--jobs N] [--quiet] "
        "(INPUT ... | --sheet S.png (--atlas S.json | --cell WxH [--count N]))",
        "Encodes each picture (PNG, or BMP of 8 or 24 bits, uncompressed; told apart by their\n"
        "content) as one frame, in argument order, and writes the frames as a CEL file. An\n"
        "INPUT is a file, a folder (its .bmp and .png files in natural order: a_2 before a_10)\n"
        "or @LIST (a text file of one path per line, relative to the list's folder). Every\n"
        "input is read first; if any is refused, each refusal is listed and nothing is written.\n"
        "  --headers            store the frames with Frame Headers (default)\n"
        "  --no-headers         store the frames without Frame Headers\n"
        "  --palette P.pal      colours 0 to 254 from a 768-byte palette file (default: grey "
        "i,i,i)\n"
        "  --whole-palette      match colours against entries 0 to 254, not only 127 to 254\n"
        "  --transparent R,G,B  the colour that becomes transparent (default 255,255,255)\n"
        "  --database           also write OUT.cel.cdb: each frame named after its file (or\n"
        "                       its atlas name), with the width of its picture selected;\n"
        "                       without it an existing OUT.cel.cdb is removed\n"
        "  --sheet S.png        cut the frames out of one picture instead\n"
        "  --atlas S.json       the rectangles of the frames, as written by vornix-cel sheet\n"
        "  --cell WxH           cells of W x H pixels, row by row from the top left\n"
        "  --count N            the first N cells (default: up to the last cell that is not\n"
        "                       wholly transparent)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --quiet              leave out the summary line\n" },
} };

const CommandText* FindCommand(std::string_view name)
{
    for (const auto& command : Commands)
        if (command.Name == name)
            return &command;
    return nullptr;
}

constexpr std::string_view ProgramUsage
    = "vornix-cel COMMAND [ARGUMENTS]  (COMMAND: info, export, sheet, build; vornix-cel "
      "COMMAND --help for details; vornix-cel --version)";

} // namespace

std::string UsageLine(std::string_view command)
{
    const CommandText* found = FindCommand(command);
    return "usage: " + std::string(found ? found->Usage : ProgramUsage);
}

std::string HelpText(std::string_view command)
{
    const CommandText* found = FindCommand(command);
    if (found)
        return UsageLine(command) + "\n\n" + std::string(found->Details) + "\n"
            + "Exit codes: 0 success, 1 a file could not be read or written, 2 usage error.\n";
    std::string text = UsageLine("") + "\n\nConverts CEL sprite files in bulk.\n\n";
    for (const auto& each : Commands)
        text += "  " + std::string(each.Usage) + "\n";
    text += "\nExit codes: 0 success, 1 a file could not be read or written, 2 usage error.\n";
    return text;
}

int UsageError(const ToolStreams& streams, std::string_view command, std::string_view problem)
{
    streams.Err << ProgramName << ": " << problem << "\n" << UsageLine(command) << "\n";
    return ExitUsage;
}

int FileError(const ToolStreams& streams, std::string_view file, std::string_view reason)
{
    streams.Err << ProgramName << ": " << PrintableText(file) << ": " << reason << "\n";
    return ExitFileFailure;
}

void Warning(const ToolStreams& streams, std::string_view file, std::string_view text)
{
    streams.Err << ProgramName << ": " << PrintableText(file) << ": warning: " << text << "\n";
}

bool AsksForHelp(std::span<const std::string> arguments)
{
    for (const auto& argument : arguments) {
        if (argument == "--")
            return false;
        if (argument == "--help")
            return true;
    }
    return false;
}

std::string ParseArguments(std::span<const std::string> arguments,
    std::span<const OptionRule> rules, ParsedArguments& parsed)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            parsed.Positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool inlineValue = false;
        if (auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inlineValue = true;
        }
        const OptionRule* rule = nullptr;
        for (const auto& candidate : rules)
            if (candidate.Name == name)
                rule = &candidate;
        if (!rule)
            return "unknown option '" + PrintableText(name) + "'";
        if (parsed.Has(name))
            return "option " + name + " given twice";
        if (rule->TakesValue) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size())
                    return "option " + name + " needs a value";
                value = arguments[++i];
            }
            if (value.empty())
                return "option " + name + " needs a value";
        } else if (inlineValue) {
            return "option " + name + " takes no value";
        }
        parsed.Options.emplace(name, value);
    }
    return {};
}

bool ParseBoundedNumber(std::string_view text, uint32_t maximum, uint32_t& value)
{
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
        if (result > maximum)
            return false;
    }
    value = static_cast<uint32_t>(result);
    return true;
}

bool ParseColour(std::string_view text, uint32_t& colour)
{
    std::array<uint32_t, 3> parts {};
    for (size_t part = 0; part < 3; ++part) {
        size_t comma = text.find(',');
        bool last = part == 2;
        if (last != (comma == std::string_view::npos))
            return false;
        std::string_view digits = last ? text : text.substr(0, comma);
        if (!ParseBoundedNumber(digits, 255, parts[part]))
            return false;
        if (!last)
            text.remove_prefix(comma + 1);
    }
    colour = parts[0] + 256 * parts[1] + 65536 * parts[2];
    return true;
}

std::string HeaderChoice(const ParsedArguments& parsed, bool fallback, bool& withHeaders)
{
    bool with = parsed.Has("--headers");
    bool without = parsed.Has("--no-headers");
    if (with && without)
        return "options --headers and --no-headers exclude each other";
    withHeaders = with ? true : without ? false : fallback;
    return {};
}

std::unique_ptr<CELObject> LoadToolCEL(
    const std::string& file, const ParsedArguments& parsed, bool withHeaders, bool* detected)
{
    if (detected)
        *detected = false;
    std::unique_ptr<CELObject> cel = CELObject::CreateFromFile(file, withHeaders);
    if (!cel || cel->Status != LoadOK || cel->HasDatabase == 1 || parsed.Has("--headers")
        || parsed.Has("--no-headers"))
        return cel;
    auto viewable = [](const CELObject& object) {
        return std::count_if(object.Frames.begin(), object.Frames.end(),
            [](const auto& slot) { return slot && slot->Frame && slot->Frame->Viewable(); });
    };
    const auto asChosen = viewable(*cel);
    if (asChosen == static_cast<std::ptrdiff_t>(cel->Frames.size()))
        return cel;
    std::unique_ptr<CELObject> other = CELObject::CreateFromFile(file, !withHeaders);
    if (!other || other->Status != LoadOK || viewable(*other) <= asChosen)
        return cel;
    if (detected)
        *detected = true;
    return other;
}

int PreparePalette(const ToolStreams& streams, std::string_view command,
    const ParsedArguments& parsed, PaletteModel& palette)
{
    uint32_t transparent = 0xFFFFFF;
    if (auto found = parsed.Options.find("--transparent"); found != parsed.Options.end())
        if (!ParseColour(found->second, transparent))
            return UsageError(streams, command,
                "--transparent needs R,G,B with each value from 0 to 255, not '"
                    + PrintableText(found->second) + "'");
    for (uint32_t i = 0; i < 255; ++i)
        palette.Palette[i] = i * 0x010101u;
    palette.Palette[255] = transparent;
    palette.WholePalette = parsed.Has("--whole-palette");
    if (auto found = parsed.Options.find("--palette"); found != parsed.Options.end()) {
        PaletteFileResult result = LoadPaletteFile(found->second, palette);
        if (result != PaletteFileResult::Done) {
            std::string message = PaletteFileMessage(result);
            return FileError(
                streams, found->second, message.empty() ? "Cannot open palette file" : message);
        }
        // The file never sets the transparent colour, but make sure of it: entry 255 is the
        // colour the user asked for, whatever the last triplet of the file says.
        palette.Palette[255] = transparent;
    }
    return ExitSuccess;
}

std::string LoadFailureReason(uint8_t status)
{
    switch (status) {
    case LoadNoFrames:
        return "An error occured (status 1: the file holds no frames)";
    case LoadCannotOpen:
        return "An error occured (status 2: cannot open the file)";
    case LoadTooShort:
        return "An error occured (status 3: the file is too short)";
    case LoadBadOffsets:
        return "An error occured (status 4: bad offset table)";
    default:
        return "An error occured (status " + std::to_string(status) + ")";
    }
}

std::string_view DiagnosisName(uint8_t code)
{
    static constexpr std::array<std::string_view, 7> names { "DiagOK", "DiagHeader", "DiagLimit",
        "DiagBlocks", "DiagWidth", "DiagNull", "DiagBounds" };
    return code < names.size() ? names[code] : "DiagUnknown";
}

std::string PrintableText(std::string_view bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x20 || c == 0x7F) {
            text += "\\x";
            text += hex[c >> 4];
            text += hex[c & 15];
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

int RunCelTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
    bool errIsTerminal)
{
    ToolStreams streams { out, err, errIsTerminal };
    if (arguments.empty())
        return UsageError(streams, "", "no command given");
    const std::string& command = arguments[0];
    std::span<const std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "--help") {
        out << HelpText("");
        return ExitSuccess;
    }
    if (command == "--version") {
        out << ProgramName << " " << ToolVersion << "\n";
        return ExitSuccess;
    }
    if (!FindCommand(command))
        return UsageError(streams, "", "unknown command '" + PrintableText(command) + "'");
    if (AsksForHelp(rest)) {
        out << HelpText(command);
        return ExitSuccess;
    }
    int result = ExitUsage;
    if (command == "info")
        result = RunInfo(streams, rest);
    else if (command == "export")
        result = RunExport(streams, rest);
    else if (command == "sheet")
        result = RunSheet(streams, rest);
    else
        result = RunBuild(streams, rest);
    out.flush();
    if (!out && result == ExitSuccess)
        return FileError(streams, "standard output", "Cannot write file");
    return result;
}
