#include "cli/CelTool.h"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <optional>

#include <CLI/CLI.hpp>

namespace {

constexpr std::string_view ProgramName = "vornix-cel";

// A command's Declare function names its options on the command's CLI11 app through the
// OptionTable and returns its Check: what, once CLI11 has parsed the arguments, turns the
// positional arguments and the option values into the command's typed options - reporting the
// first problem as a usage error - and runs the command.
class OptionTable;
using Check = std::function<int(const ToolStreams&, const std::vector<std::string>& positional)>;

struct CommandText {
    std::string_view Name;
    std::string_view Usage;
    std::string_view Details;
    Check (*Declare)(OptionTable&);
};

Check DeclareInfo(OptionTable& table);
Check DeclareExport(OptionTable& table);
Check DeclareSheet(OptionTable& table);
Check DeclareBuild(OptionTable& table);
Check DeclareRecolour(OptionTable& table);
Check DeclareRemap(OptionTable& table);
Check DeclarePalette(OptionTable& table);
Check DeclareConvert(OptionTable& table);
Check DeclareAnim(OptionTable& table);

constexpr std::array<CommandText, 9> Commands { {
    { "info",
        "vornix-cel info FILE.cel [--coding cel|cl2] [--headers | --no-headers] [--width W] "
        "[--json] [--colours]",
        "Lists every frame of a CEL or CL2 file: caption, size, data length, diagnosis and\n"
        "candidate widths (the selected one marked with *); a grouped file, group by group.\n"
        "  --coding cel|cl2  how the frames are coded (default: cl2 for a name ending in .cl2,\n"
        "                 cel for any other)\n"
        "  --headers      without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers   without a .cdb file, read the frames without them (default, unless\n"
        "                 reading them with headers leaves more frames viewable)\n"
        "  --width W      select width W in each frame that has it as a candidate\n"
        "  --json         print one JSON object instead of the table (with \"coding\"; a\n"
        "                 grouped file has \"group_count\" and \"groups\" in place of\n"
        "                 \"frame_count\" and \"frames\")\n"
        "  --colours      also list the indices each frame uses and how many pixels each has,\n"
        "                 and the same for the whole file (JSON: \"colours\": {\"index\": "
        "count})\n",
        DeclareInfo },
    { "export",
        "vornix-cel export FILE.cel OUTDIR [--coding cel|cl2] [--group G] [--frame N] "
        "[--format bmp|png] [--palette P.pal] [--trn T.trn] [--bpp 8|24] [--transparent R,G,B] "
        "[--width W] [--headers | --no-headers] [--jobs N] [--no-overwrite] [--quiet]",
        "Writes OUTDIR/<stem>_<index>.bmp (or .png) for every viewable frame, decoded at its\n"
        "selected width; the index has as many digits as the last one (hero_00 ... hero_11),\n"
        "so the names sort in frame order. A grouped file's frames are named\n"
        "<stem>_<group>_<index> (m_0_00 ... m_7_15). Frames that are not viewable are skipped\n"
        "with a warning. FILE may be a folder: every .cel and .cl2 file below it, in natural\n"
        "order, is exported into OUTDIR/<its path below FILE, without extension>/; a file that\n"
        "does not load is reported and skipped (exit code 1 at the end).\n"
        "  --coding cel|cl2     how the frames are coded (default: from each file's name)\n"
        "  --group G            export group G (counted from 0) of a grouped file alone\n"
        "  --frame N            export frame N (counted from 0, within each group) alone\n"
        "  --format bmp|png     file format (default bmp)\n"
        "  --palette P.pal      colours 0 to 254 from a palette file: .pal, Adobe .act, JASC-PAL,\n"
        "                       GIMP .gpl, 8-bit BMP or palette PNG (default: grey i,i,i)\n"
        "  --trn T.trn          write the pixels through a 256-byte translation table\n"
        "  --bpp 8|24           bits per pixel of the files (default 8)\n"
        "  --transparent R,G,B  colour of the transparent index 255 (default 255,255,255)\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --no-overwrite       refuse, before writing anything, if a target file exists\n"
        "  --quiet              leave out the summary line\n",
        DeclareExport },
    { "sheet",
        "vornix-cel sheet FILE.cel OUT.png [--coding cel|cl2] [--columns N] [--palette P.pal] "
        "[--trn T.trn] [--transparent R,G,B] [--bpp 8|24] [--width W] [--headers | --no-headers] "
        "[--jobs N] [--no-overwrite] [--quiet]",
        "Writes the viewable frames into one PNG sprite sheet, in cells of the widest frame's\n"
        "width and the tallest frame's height, row by row from the top left, and OUT.json\n"
        "beside it describing where each frame is. Each group of a grouped file starts a row\n"
        "of its own, and its atlas entries carry \"group\" (\"index\" counts within it).\n"
        "  --coding cel|cl2     how the frames are coded (default: from the file's name)\n"
        "  --columns N          cells per row (default: the smallest N with N x N at least the\n"
        "                       frame count; for a grouped file, its largest group's count of\n"
        "                       viewable frames)\n"
        "  --palette P.pal      colours 0 to 254 from a palette file: .pal, Adobe .act, JASC-PAL,\n"
        "                       GIMP .gpl, 8-bit BMP or palette PNG (default: grey i,i,i)\n"
        "  --trn T.trn          write the pixels through a 256-byte translation table\n"
        "  --transparent R,G,B  colour of the transparent index 255 (default 255,255,255)\n"
        "  --bpp 8|24           bits per pixel of the sheet (default 8)\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --no-overwrite       refuse, before writing anything, if OUT.png or OUT.json exists\n"
        "  --quiet              leave out the summary line\n",
        DeclareSheet },
    { "build",
        "vornix-cel build OUT.cel [--coding cel|cl2] [--groups N] [--headers | --no-headers] "
        "[--palette P.pal] [--whole-palette] [--transparent R,G,B] [--database] [--jobs N] "
        "[--quiet] (INPUT ... | --sheet S.png (--atlas S.json | --cell WxH [--count N]))",
        "Encodes each picture (PNG, or BMP of 8 or 24 bits, uncompressed; told apart by their\n"
        "content) as one frame, in argument order, and writes the frames as a CEL file (a CL2\n"
        "file when OUT ends in .cl2 or with --coding cl2; a CL2 always has Frame Headers); each\n"
        "frame of a GIF becomes a frame (named <stem>_<n> with --database). An\n"
        "INPUT is a file, a folder (its .bmp and .png files in natural order: a_2 before a_10)\n"
        "or @LIST (a text file of one path per line, relative to the list's folder). Every\n"
        "input is read first; if any is refused, each refusal is listed and nothing is written.\n"
        "  --coding cel|cl2     how the frames are coded (default: from OUT's name)\n"
        "  --groups N           a grouped file of N equal groups of the frames, in order (the\n"
        "                       frame count must be a multiple of N); an atlas whose entries\n"
        "                       carry \"group\" rebuilds its groups without it\n"
        "  --headers            store the frames with Frame Headers (default)\n"
        "  --no-headers         store the frames without Frame Headers (not for a CL2)\n"
        "  --palette P.pal      colours 0 to 254 from a palette file: .pal, Adobe .act, JASC-PAL,\n"
        "                       GIMP .gpl, 8-bit BMP or palette PNG (default: grey i,i,i)\n"
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
        "  --quiet              leave out the summary line\n",
        DeclareBuild },
    { "recolour",
        "vornix-cel recolour IN.cel OUT.cel --trn T.trn [--width W] [--headers | --no-headers] "
        "[--jobs N] [--quiet]",
        "Writes every frame through a translation table into OUT.cel: each frame is decoded at\n"
        "its selected width, translated (index 255 stays 255), coded again and given the same\n"
        "width again. Order, names, widths (OUT.cel.cdb when IN.cel has a .cdb) and the Frame\n"
        "Header choice are kept; a frame that cannot be shown is copied as it is, with a\n"
        "warning.\n"
        "  --trn T.trn          the table: 256 bytes, entry i the index drawn in place of i\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --jobs N             worker threads (default: the number of cores)\n"
        "  --quiet              leave out the summary line\n",
        DeclareRecolour },
    { "remap",
        "vornix-cel remap IN.cel OUT.cel --from A.pal --to B.pal [--whole-palette] [--width W] "
        "[--headers | --no-headers] [--jobs N] [--quiet]",
        "As recolour, with the table that gives each index the index of B nearest to its\n"
        "colour in A (the colour match of build, 255 staying 255 and no other index becoming\n"
        "255). A and B may be of any format --palette reads.\n"
        "  --from A.pal         the palette the frames are drawn in\n"
        "  --to B.pal           the palette they are to be drawn in\n"
        "  --whole-palette      match colours against entries 0 to 254, not only 127 to 254\n"
        "  --width, --headers, --no-headers, --jobs, --quiet   as for recolour\n",
        DeclareRemap },
    { "palette", "vornix-cel palette IN OUT [--format pal|jasc|gimp|act] [--transparent R,G,B]",
        "Converts a palette file of any format --palette reads (.pal, Adobe .act, JASC-PAL,\n"
        "GIMP .gpl, 8-bit BMP, palette PNG) into a 768-byte .pal, a GIMP palette, a JASC-PAL\n"
        "file or a 768-byte Adobe colour table. Entries IN does not give are grey (i,i,i).\n"
        "  --format pal|jasc|gimp|act  the format of OUT (default: from its name: .pal, .gpl,\n"
        "                       .act)\n"
        "  --transparent R,G,B  entry 255 (default 255,255,255; a .pal always stores white)\n",
        DeclarePalette },
    { "convert",
        "vornix-cel convert IN OUT [--from cel|cl2] [--to cel|cl2] [--headers | --no-headers] "
        "[--database]",
        "Writes IN's frames in OUT's coding, keeping groups, order, names and each frame's\n"
        "selected width: frames are coded again from their picture at that width, or copied\n"
        "as they are when the codings match. A frame that cannot be shown cannot change\n"
        "coding: such frames are listed and nothing is written.\n"
        "  --from cel|cl2       IN's coding (default: cl2 for a name ending in .cl2, else cel);\n"
        "                       --coding is the same\n"
        "  --to cel|cl2         OUT's coding (default: from OUT's name)\n"
        "  --headers            write a CEL with Frame Headers (default)\n"
        "  --no-headers         write a CEL without Frame Headers (not for a CL2)\n"
        "  --database           also write OUT's .cdb file (default: when IN has one)\n",
        DeclareConvert },
    { "anim",
        "vornix-cel anim FILE OUT.gif [--coding cel|cl2] [--group G] [--fps N] [--zoom Z] "
        "[--loop N] [--palette P.pal] [--trn T.trn] [--transparent R,G,B] [--width W] "
        "[--headers | --no-headers] [--from I] [--to J]",
        "Writes the viewable frames of FILE, in order and at their selected widths, as one\n"
        "animated GIF, as the animation window plays them: one canvas of the largest width and\n"
        "height, each frame at its bottom left corner, every pixel its palette index, index 255\n"
        "transparent, nothing of a frame showing under the next.\n"
        "  --coding cel|cl2     how the frames are coded (default: from the file's name)\n"
        "  --group G            the frames of group G alone, into OUT.gif (a plain file has one\n"
        "                       group, 0); without it each group g of a grouped file is written\n"
        "                       to OUT_<g>.gif\n"
        "  --fps N              frames a second, 1 to 100 (default 15); the delays are in\n"
        "                       hundredths of a second, rounded so that their sum keeps pace\n"
        "  --zoom Z             each pixel a Z x Z square, 1 to 8 (default 1)\n"
        "  --loop N             loop count, 0 for ever (default) to 65535\n"
        "  --palette P.pal      colours 0 to 254 from a palette file: .pal, Adobe .act, JASC-PAL,\n"
        "                       GIMP .gpl, 8-bit BMP or palette PNG (default: grey i,i,i)\n"
        "  --trn T.trn          write the pixels through a 256-byte translation table\n"
        "  --transparent R,G,B  colour of the transparent index 255 (default 255,255,255)\n"
        "  --width W            select width W in each frame that has it as a candidate\n"
        "  --headers            without a .cdb file, read the frames with Frame Headers\n"
        "  --no-headers         without a .cdb file, read the frames without them (default,\n"
        "                       unless reading them with headers leaves more frames viewable)\n"
        "  --from I             start at frame I (counted from 0; default 0)\n"
        "  --to J               end with frame J (default: the last)\n",
        DeclareAnim },
} };

const CommandText* FindCommand(std::string_view name)
{
    for (const auto& command : Commands)
        if (command.Name == name)
            return &command;
    return nullptr;
}

constexpr std::string_view ProgramUsage
    = "vornix-cel COMMAND [ARGUMENTS]  (COMMAND: info, export, sheet, build, convert, anim, "
      "recolour, remap, palette; vornix-cel COMMAND --help for details; vornix-cel --version)";

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

std::string HeaderChoice(bool with, bool without, bool fallback, bool& withHeaders)
{
    if (with && without)
        return "options --headers and --no-headers exclude each other";
    withHeaders = with ? true : without ? false : fallback;
    return {};
}

std::string TransparentChoice(const std::optional<std::string>& given, uint32_t& colour)
{
    colour = 0xFFFFFF;
    if (given && !ParseColour(*given, colour))
        return "--transparent needs R,G,B with each value from 0 to 255, not '"
            + PrintableText(*given) + "'";
    return {};
}

int PreparePalette(const ToolStreams& streams, const PaletteChoice& choice, PaletteModel& palette)
{
    palette = GreyPalette(choice.Transparent);
    palette.WholePalette = choice.WholePalette;
    if (!choice.File.empty()) {
        if (int result = LoadToolPalette(streams, choice.File, palette, true);
            result != ExitSuccess)
            return result;
        // The file never sets the transparent colour, but make sure of it: entry 255 is the
        // colour the user asked for, whatever the last triplet of the file says.
        palette.Palette[255] = choice.Transparent;
    }
    return ExitSuccess;
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

// --- The command line ------------------------------------------------------------------------
//
// Every command is declared in one place: its entry in Commands above (name, usage line,
// details of its --help) and its Declare function below, which names its options on the
// command's own CLI11 app and returns the Check that turns what was given into the command's
// typed options and runs it.
//
// To add a command "name":
//   1. In CelTool.h, a struct NameOptions of its typed options and int RunName(const
//      ToolStreams&, const NameOptions&), written in a CelToolName.cpp of its own.
//   2. Here, Check DeclareName(OptionTable&) and an entry in Commands (usage line, details
//      text ending in "\n", DeclareName); add it to ProgramUsage and the size of Commands.
//   3. In DeclareName, one line per option: table.Flag("--quiet") (a bool, true once given)
//      or table.Value("--jobs") (a std::optional<std::string>, the text given). The returned
//      lambda checks the positional arguments and converts the values with the shared choices
//      (JobChoice, WidthChoice, TransparentChoice, ...) in the order the problems are to be
//      reported, returning Problem("...") for the first, then calls RunName.
// To add an option to a command: its Flag or Value line and its conversion in the command's
// Declare, a field in its options struct, and its line in the usage and details texts.
//
// The parsing rules, kept as vornix-cel has always had them: an option not declared, an
// option given twice, an option without its value or a flag given one ("--json=1") is a usage
// error; "--name=value" is accepted for options that take a value, and the argument after
// such an option is its value whatever it looks like; "--" ends the options, and before it
// every other argument that starts with "-" (longer than "-" alone) is an option. The first
// problem in argument order is the one reported. Help ("--help" before any "--") is answered
// before the arguments are parsed.

namespace {

// True when "--help" stands among the options (before any "--").
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

// A problem found in an argument while the arguments are parsed.
struct ArgumentProblem {
    size_t Index;
    std::string Text;
};

// The options of one command and the arguments CLI11 parses for them. CLI11 takes the
// arguments from the back of Pending, so when an option is parsed (each one triggers its
// callback at once) the arguments it took are the last ones taken; that tells apart "--name="
// followed by a value from "--name value", and which argument a problem is in.
class OptionTable {
public:
    OptionTable(CLI::App& app, std::span<const std::string> arguments)
        : app_(app)
        , arguments_(arguments.begin(), arguments.end())
        , taken_(arguments.size(), false)
    {
    }

    // A flag such as --json: true once given.
    const bool& Flag(const std::string& name)
    {
        bool& given = flags_.emplace_back(false);
        givenByName_.emplace(name, [&given] { return given; });
        app_.add_option(name,
                [this, name, &given](const CLI::results_t&) {
                    const size_t at = Parsed() - 1;
                    Take(at, at + 1);
                    if (given)
                        throw ArgumentProblem { at, "option " + name + " given twice" };
                    if (arguments_[at] != name)
                        throw ArgumentProblem { at, "option " + name + " takes no value" };
                    given = true;
                    return true;
                })
            ->expected(0)
            ->trigger_on_parse();
        return given;
    }

    // An option with a value such as --jobs N: the value once given.
    const std::optional<std::string>& Value(const std::string& name)
    {
        std::optional<std::string>& value = values_.emplace_back();
        givenByName_.emplace(name, [&value] { return value.has_value(); });
        app_.add_option(name,
                [this, name, &value](const CLI::results_t& results) {
                    const std::string& text = results.back();
                    const size_t end = Parsed();
                    const bool inlineValue = arguments_[end - 1] == name + "=" + text;
                    const size_t at = inlineValue ? end - 1 : end - 2;
                    Take(at, end);
                    if (value)
                        throw ArgumentProblem { at, "option " + name + " given twice" };
                    if (text.empty() || (!inlineValue && arguments_[at] != name))
                        throw ArgumentProblem { at, "option " + name + " needs a value" };
                    value = text;
                    return true;
                })
            ->trigger_on_parse();
        return value;
    }

    // Parses the arguments; returns the first problem (empty when none) and the positional
    // arguments.
    std::string Parse(std::vector<std::string>& positional)
    {
        std::optional<ArgumentProblem> problem;
        try {
            app_.parse(pending_);
        } catch (const ArgumentProblem& found) {
            problem = found;
        } catch (const CLI::ArgumentMismatch&) {
            // The last argument is an option whose value is missing.
            const size_t at = arguments_.size() - 1;
            const std::string name = arguments_[at].substr(0, arguments_[at].find('='));
            auto given = givenByName_.find(name);
            const bool twice = given != givenByName_.end() && given->second();
            problem = ArgumentProblem { at,
                "option " + name + (twice ? " given twice" : " needs a value") };
        }
        // An unknown option before the problem is the first problem.
        const size_t end = problem ? problem->Index : arguments_.size();
        bool optionsEnded = false;
        for (size_t i = 0; i < end; ++i) {
            const std::string& argument = arguments_[i];
            if (taken_[i])
                continue;
            if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
                positional.push_back(argument);
            } else if (argument == "--") {
                optionsEnded = true;
            } else {
                return "unknown option '" + PrintableText(argument.substr(0, argument.find('=')))
                    + "'";
            }
        }
        return problem ? problem->Text : std::string();
    }

private:
    size_t Parsed() const { return arguments_.size() - pending_.size(); }
    void Take(size_t from, size_t to) { std::fill(taken_.begin() + from, taken_.begin() + to, true); }

    CLI::App& app_;
    std::vector<std::string> arguments_;
    std::vector<std::string> pending_ { arguments_.rbegin(), arguments_.rend() };
    std::vector<bool> taken_;
    std::deque<bool> flags_;
    std::deque<std::optional<std::string>> values_;
    std::map<std::string, std::function<bool()>> givenByName_;
};

// What a Check returns for its first problem; RunCommand prints it as a usage error.
struct Problem {
    std::string Text;
};

int RunCommand(const ToolStreams& streams, const CommandText& command,
    std::span<const std::string> arguments)
{
    CLI::App app(std::string(), std::string(command.Name));
    app.set_help_flag();
    app.allow_extras();
    OptionTable table(app, arguments);
    Check check = command.Declare(table);
    std::vector<std::string> positional;
    if (std::string problem = table.Parse(positional); !problem.empty())
        return UsageError(streams, command.Name, problem);
    try {
        return check(streams, positional);
    } catch (const Problem& problem) {
        return UsageError(streams, command.Name, problem.Text);
    }
}

// Throws the problem a choice reported, if any.
void Require(std::string problem)
{
    if (!problem.empty())
        throw Problem { std::move(problem) };
}

// "WxH", each from 1 to 65536.
bool ParseCell(std::string_view text, uint32_t& width, uint32_t& height)
{
    const size_t x = text.find('x');
    return x != std::string_view::npos && ParseBoundedNumber(text.substr(0, x), 1u << 16, width)
        && ParseBoundedNumber(text.substr(x + 1), 1u << 16, height) && width > 0 && height > 0;
}

Check DeclareInfo(OptionTable& table)
{
    const bool& headers = table.Flag("--headers");
    const auto& width = table.Value("--width");
    const bool& noHeaders = table.Flag("--no-headers");
    const bool& json = table.Flag("--json");
    const bool& colours = table.Flag("--colours");
    const auto& coding = table.Value("--coding");
    return [&](const ToolStreams& streams, const std::vector<std::string>& positional) {
        if (positional.size() != 1)
            throw Problem { positional.empty() ? "no CEL file given" : "too many arguments" };
        InfoOptions options;
        options.File = positional[0];
        Require(HeaderChoice(headers, noHeaders, false, options.WithHeaders));
        options.HeadersGiven = headers || noHeaders;
        Require(WidthChoice(width, options.Width));
        Require(CodingChoice(coding, options.Coding));
        options.Json = json;
        options.Colours = colours;
        return RunInfo(streams, options);
    };
}

// The options export and sheet share, in the order their problems are reported.
struct PictureOptions {
    const bool& Headers;
    const bool& NoHeaders;
    const std::optional<std::string>& Bits;
    const std::optional<std::string>& Width;
    const std::optional<std::string>& Jobs;
    const std::optional<std::string>& Palette;
    const std::optional<std::string>& Transparent;
    const std::optional<std::string>& Translation; // --trn
    const bool& NoOverwrite;
    const bool& Quiet;
    const std::optional<std::string>& Coding;

    explicit PictureOptions(OptionTable& table)
        : Headers(table.Flag("--headers"))
        , NoHeaders(table.Flag("--no-headers"))
        , Bits(table.Value("--bpp"))
        , Width(table.Value("--width"))
        , Jobs(table.Value("--jobs"))
        , Palette(table.Value("--palette"))
        , Transparent(table.Value("--transparent"))
        , Translation(table.Value("--trn"))
        , NoOverwrite(table.Flag("--no-overwrite"))
        , Quiet(table.Flag("--quiet"))
        , Coding(table.Value("--coding"))
    {
    }

    PictureChoices Choices() const
    {
        PictureChoices choices;
        Require(HeaderChoice(Headers, NoHeaders, false, choices.WithHeaders));
        choices.HeadersGiven = Headers || NoHeaders;
        Require(BitsChoice(Bits, choices.BitsPerPixel));
        Require(WidthChoice(Width, choices.Width));
        Require(JobChoice(Jobs, choices.Jobs));
        Require(CodingChoice(Coding, choices.Coding));
        return choices;
    }

    PaletteChoice PaletteChoices() const
    {
        PaletteChoice choice;
        Require(TransparentChoice(Transparent, choice.Transparent));
        choice.File = Palette.value_or("");
        return choice;
    }
};

Check DeclareExport(OptionTable& table)
{
    PictureOptions picture(table);
    const auto& frame = table.Value("--frame");
    const auto& format = table.Value("--format");
    const auto& group = table.Value("--group");
    return [=, &frame, &format, &group](const ToolStreams& streams,
               const std::vector<std::string>& positional) {
        if (positional.size() != 2)
            throw Problem { positional.size() < 2 ? "a CEL file and an output folder are needed"
                                                  : "too many arguments" };
        ExportOptions options;
        options.File = positional[0];
        options.OutputFolder = positional[1];
        options.Choices = picture.Choices();
        Require(PictureFormatChoice(format, options.Png));
        if (frame) {
            uint32_t number = 0;
            if (!ParseBoundedNumber(*frame, std::numeric_limits<uint32_t>::max(), number))
                throw Problem { "--frame needs a frame number (digits only), not '"
                    + PrintableText(*frame) + "'" };
            options.Frame = number;
        }
        if (group) {
            uint32_t number = 0;
            if (!ParseBoundedNumber(*group, std::numeric_limits<uint32_t>::max(), number))
                throw Problem { "--group needs a group number (digits only), not '"
                    + PrintableText(*group) + "'" };
            options.Group = number;
        }
        options.Palette = picture.PaletteChoices();
        options.Translation = picture.Translation.value_or("");
        options.NoOverwrite = picture.NoOverwrite;
        options.Quiet = picture.Quiet;
        return RunExport(streams, options);
    };
}

Check DeclareSheet(OptionTable& table)
{
    PictureOptions picture(table);
    const auto& columns = table.Value("--columns");
    const auto& format = table.Value("--format"); // refused: a sheet is always a PNG
    return [=, &columns, &format](const ToolStreams& streams,
               const std::vector<std::string>& positional) {
        if (positional.size() != 2)
            throw Problem { positional.size() < 2 ? "a CEL file and an output picture are needed"
                                                  : "too many arguments" };
        if (format)
            throw Problem { "a sheet is always a PNG; --format is for export" };
        SheetOptions options;
        options.File = positional[0];
        options.Picture = positional[1];
        options.Choices = picture.Choices();
        if (columns)
            if (!ParseBoundedNumber(*columns, 1u << 20, options.Columns) || options.Columns == 0)
                throw Problem { "--columns needs a number above 0 (digits only), not '"
                    + PrintableText(*columns) + "'" };
        options.Palette = picture.PaletteChoices();
        options.Translation = picture.Translation.value_or("");
        options.NoOverwrite = picture.NoOverwrite;
        options.Quiet = picture.Quiet;
        return RunSheet(streams, options);
    };
}

Check DeclareBuild(OptionTable& table)
{
    const bool& headers = table.Flag("--headers");
    const bool& noHeaders = table.Flag("--no-headers");
    const auto& palette = table.Value("--palette");
    const bool& wholePalette = table.Flag("--whole-palette");
    const auto& transparent = table.Value("--transparent");
    const bool& database = table.Flag("--database");
    const auto& jobs = table.Value("--jobs");
    const bool& quiet = table.Flag("--quiet");
    const auto& sheet = table.Value("--sheet");
    const auto& atlas = table.Value("--atlas");
    const auto& cell = table.Value("--cell");
    const auto& count = table.Value("--count");
    const auto& width = table.Value("--width"); // refused: a build selects each picture's own
    const auto& coding = table.Value("--coding");
    const auto& groups = table.Value("--groups");
    return [&](const ToolStreams& streams, const std::vector<std::string>& positional) {
        if (width)
            throw Problem { "option --width is for info, export and sheet; build selects the "
                            "width of each picture" };
        if (positional.empty())
            throw Problem { "no CEL file given" };
        BuildOptions options;
        if (sheet) {
            if (positional.size() > 1)
                throw Problem { "--sheet takes the place of the input files" };
            if (atlas.has_value() == cell.has_value())
                throw Problem { "--sheet needs either --atlas or --cell" };
            if (cell && !ParseCell(*cell, options.CellWidth, options.CellHeight))
                throw Problem { "--cell needs WxH, each from 1 to 65536, not '"
                    + PrintableText(*cell) + "'" };
            uint32_t cells = 0;
            if (count
                && (!cell
                    || !ParseBoundedNumber(*count, std::numeric_limits<uint32_t>::max(), cells)))
                throw Problem { cell ? "--count needs a number of cells (digits only), not '"
                            + PrintableText(*count) + "'"
                                     : "--count goes with --cell" };
            if (count)
                options.Count = cells;
        } else {
            for (const auto& [name, given] : { std::pair { "--atlas", atlas.has_value() },
                     std::pair { "--cell", cell.has_value() },
                     std::pair { "--count", count.has_value() } })
                if (given)
                    throw Problem { "option " + std::string(name) + " goes with --sheet" };
            if (positional.size() < 2)
                throw Problem { "no picture file given" };
        }
        options.Output = positional[0];
        options.Inputs.assign(positional.begin() + 1, positional.end());
        options.Sheet = sheet;
        options.Atlas = atlas;
        Require(HeaderChoice(headers, noHeaders, true, options.WithHeaders));
        std::optional<FrameCoding> chosen;
        Require(CodingChoice(coding, chosen));
        options.Coding = chosen.value_or(CodingFromName(options.Output));
        if (options.Coding == FrameCoding::CL2 && noHeaders)
            throw Problem { "a CL2 file always has Frame Headers; --no-headers is for CEL files" };
        if (groups
            && (!ParseBoundedNumber(*groups, std::numeric_limits<uint32_t>::max(), options.Groups)
                || options.Groups == 0))
            throw Problem { "--groups needs a number above 0 (digits only), not '"
                + PrintableText(*groups) + "'" };
        Require(JobChoice(jobs, options.Jobs));
        Require(TransparentChoice(transparent, options.Palette.Transparent));
        options.Palette.File = palette.value_or("");
        options.Palette.WholePalette = wholePalette;
        options.Database = database;
        options.Quiet = quiet;
        return RunBuild(streams, options);
    };
}

// The options recolour and remap share, in the order their problems are reported.
struct RecodeOptionTable {
    const bool& Headers;
    const bool& NoHeaders;
    const std::optional<std::string>& Width;
    const std::optional<std::string>& Jobs;
    const bool& Quiet;

    explicit RecodeOptionTable(OptionTable& table)
        : Headers(table.Flag("--headers"))
        , NoHeaders(table.Flag("--no-headers"))
        , Width(table.Value("--width"))
        , Jobs(table.Value("--jobs"))
        , Quiet(table.Flag("--quiet"))
    {
    }

    RecodeChoices Choices() const
    {
        RecodeChoices choices;
        Require(HeaderChoice(Headers, NoHeaders, false, choices.WithHeaders));
        choices.HeadersGiven = Headers || NoHeaders;
        Require(WidthChoice(Width, choices.Width));
        Require(JobChoice(Jobs, choices.Jobs));
        choices.Quiet = Quiet;
        return choices;
    }
};

// IN.cel and OUT.cel of recolour and remap.
void RequireTwoCELs(const std::vector<std::string>& positional)
{
    if (positional.size() != 2)
        throw Problem { positional.size() < 2 ? "a CEL file and an output CEL file are needed"
                                              : "too many arguments" };
}

Check DeclareRecolour(OptionTable& table)
{
    RecodeOptionTable recode(table);
    const auto& translation = table.Value("--trn");
    return
        [=, &translation](const ToolStreams& streams, const std::vector<std::string>& positional) {
            RequireTwoCELs(positional);
            if (!translation)
                throw Problem { "recolour needs --trn T.trn" };
            RecolourOptions options;
            options.File = positional[0];
            options.Output = positional[1];
            options.Translation = *translation;
            options.Choices = recode.Choices();
            return RunRecolour(streams, options);
        };
}

Check DeclareRemap(OptionTable& table)
{
    RecodeOptionTable recode(table);
    const auto& from = table.Value("--from");
    const auto& to = table.Value("--to");
    const bool& wholePalette = table.Flag("--whole-palette");
    return [=, &from, &to, &wholePalette](
               const ToolStreams& streams, const std::vector<std::string>& positional) {
        RequireTwoCELs(positional);
        if (!from || !to)
            throw Problem { "remap needs --from A.pal and --to B.pal" };
        RemapOptions options;
        options.File = positional[0];
        options.Output = positional[1];
        options.From = *from;
        options.To = *to;
        options.WholePalette = wholePalette;
        options.Choices = recode.Choices();
        return RunRemap(streams, options);
    };
}

Check DeclarePalette(OptionTable& table)
{
    const auto& format = table.Value("--format");
    const auto& transparent = table.Value("--transparent");
    return [&](const ToolStreams& streams, const std::vector<std::string>& positional) {
        if (positional.size() != 2)
            throw Problem { positional.size() < 2 ? "a palette file and an output file are needed"
                                                  : "too many arguments" };
        PaletteOptions options;
        options.Input = positional[0];
        options.Output = positional[1];
        if (format) {
            static const std::map<std::string, PaletteExportFormat, std::less<>> formats {
                { "pal", PaletteExportFormat::Pal }, { "jasc", PaletteExportFormat::JascPal },
                { "gimp", PaletteExportFormat::Gimp }, { "act", PaletteExportFormat::AdobeAct }
            };
            const auto found = formats.find(*format);
            if (found == formats.end())
                throw Problem { "--format must be pal, jasc, gimp or act, not '"
                    + PrintableText(*format) + "'" };
            options.Format = found->second;
        }
        Require(TransparentChoice(transparent, options.Transparent));
        return RunPalette(streams, options);
    };
}

Check DeclareConvert(OptionTable& table)
{
    const bool& headers = table.Flag("--headers");
    const bool& noHeaders = table.Flag("--no-headers");
    const bool& database = table.Flag("--database");
    const auto& from = table.Value("--from");
    const auto& to = table.Value("--to");
    const auto& coding = table.Value("--coding");
    return [&](const ToolStreams& streams, const std::vector<std::string>& positional) {
        if (positional.size() != 2)
            throw Problem { positional.size() < 2 ? "an input and an output file are needed"
                                                  : "too many arguments" };
        ConvertOptions options;
        options.Input = positional[0];
        options.Output = positional[1];
        Require(HeaderChoice(headers, noHeaders, true, options.WithHeaders));
        std::optional<FrameCoding> fromCoding, toCoding, inputCoding;
        Require(CodingChoice(from, fromCoding));
        Require(CodingChoice(coding, inputCoding));
        Require(CodingChoice(to, toCoding));
        if (fromCoding && inputCoding)
            throw Problem { "options --from and --coding both name the input's coding" };
        options.From = fromCoding.value_or(inputCoding.value_or(CodingFromName(options.Input)));
        options.To = toCoding.value_or(CodingFromName(options.Output));
        if (options.To == FrameCoding::CL2 && noHeaders)
            throw Problem { "a CL2 file always has Frame Headers; --no-headers is for CEL files" };
        options.Database = database;
        return RunConvert(streams, options);
    };
}

// The number given to option name, from minimum to maximum, into value (left as it is without
// the option); the problem with it otherwise.
std::string NumberChoice(const std::optional<std::string>& given, std::string_view name,
    uint32_t minimum, uint32_t maximum, std::string_view what, uint32_t& value)
{
    if (given && (!ParseBoundedNumber(*given, maximum, value) || value < minimum))
        return std::string(name) + " needs " + std::string(what) + ", not '"
            + PrintableText(*given) + "'";
    return {};
}

Check DeclareAnim(OptionTable& table)
{
    const auto& group = table.Value("--group");
    const auto& fps = table.Value("--fps");
    const auto& zoom = table.Value("--zoom");
    const auto& loop = table.Value("--loop");
    const auto& palette = table.Value("--palette");
    const auto& transparent = table.Value("--transparent");
    const auto& width = table.Value("--width");
    const bool& headers = table.Flag("--headers");
    const bool& noHeaders = table.Flag("--no-headers");
    const auto& from = table.Value("--from");
    const auto& to = table.Value("--to");
    const auto& coding = table.Value("--coding");
    const auto& translation = table.Value("--trn");
    return [&](const ToolStreams& streams, const std::vector<std::string>& positional) {
        if (positional.size() != 2)
            throw Problem { positional.size() < 2 ? "a sprite file and a GIF file are needed"
                                                  : "too many arguments" };
        AnimOptions options;
        options.File = positional[0];
        options.Output = positional[1];
        uint32_t number = 0;
        Require(NumberChoice(group, "--group", 0, UINT32_MAX, "a group number (digits only)", number));
        if (group)
            options.Group = number;
        Require(NumberChoice(fps, "--fps", 1, MaxGIFFramesPerSecond, "frames a second from 1 to 100",
            options.Animation.FramesPerSecond));
        Require(NumberChoice(zoom, "--zoom", 1, MaxGIFZoom, "a zoom from 1 to 8", options.Animation.Zoom));
        number = 0;
        Require(NumberChoice(loop, "--loop", 0, 65535, "a loop count from 0 (for ever) to 65535", number));
        options.Animation.LoopCount = static_cast<int32_t>(number);
        Require(TransparentChoice(transparent, options.Palette.Transparent));
        options.Palette.File = palette.value_or("");
        Require(WidthChoice(width, options.Width));
        Require(HeaderChoice(headers, noHeaders, false, options.WithHeaders));
        options.HeadersGiven = headers || noHeaders;
        Require(NumberChoice(from, "--from", 0, UINT32_MAX, "a frame number (digits only)", number));
        if (from)
            options.From = number;
        Require(NumberChoice(to, "--to", 0, UINT32_MAX, "a frame number (digits only)", number));
        if (to)
            options.To = number;
        if (options.From && options.To && *options.From > *options.To)
            throw Problem { "--from " + std::to_string(*options.From) + " comes after --to "
                + std::to_string(*options.To) };
        Require(CodingChoice(coding, options.Coding));
        options.Translation = translation.value_or("");
        return RunAnim(streams, options);
    };
}

} // namespace

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
    const CommandText* found = FindCommand(command);
    if (!found)
        return UsageError(streams, "", "unknown command '" + PrintableText(command) + "'");
    if (AsksForHelp(rest)) {
        out << HelpText(command);
        return ExitSuccess;
    }
    const int result = RunCommand(streams, *found, rest);
    out.flush();
    if (!out && result == ExitSuccess)
        return FileError(streams, "standard output", "Cannot write file");
    return result;
}
