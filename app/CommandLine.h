#pragma once

#include <string>
#include <string_view>
#include <vector>

// The desktop program's command line: `vornix [FILE.cel ...]`, `vornix --help`,
// `vornix --version`. Without arguments the program starts as it always has; each file named
// is opened after start-up as "Open" opens a chosen file.

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action What = Action::Run;
    std::vector<std::string> Files; // in the order given, as given
    std::string Problem;            // for Error: what was wrong, for the user
};

// Reads the arguments after the program name. "--help" or "-h" and "--version" win over
// everything before "--"; after "--" every argument is a file name, so a file whose name
// starts with "-" can still be opened. Any other argument starting with "-" is an error.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string VornixHelpText();
std::string VornixVersionText(std::string_view version);

// The absolute form of a file name given relative to startDir, so that it reads as a name
// chosen in the open dialog (a full path) and the duplicate check compares like with like.
std::string AbsoluteFileName(const std::string& name, const std::string& startDir);
