#include "app/CommandLine.h"

#include <filesystem>

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            line.Files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            line.What = CommandLine::Action::Help;
            return line;
        } else if (argument == "--version") {
            line.What = CommandLine::Action::Version;
            return line;
        } else if (line.What != CommandLine::Action::Error) {
            line.What = CommandLine::Action::Error;
            line.Problem = "unknown option '" + argument + "'";
        }
    }
    if (line.What == CommandLine::Action::Error)
        line.Files.clear();
    return line;
}

std::string VornixHelpText()
{
    return "usage: vornix [FILE.cel ...]\n"
           "\n"
           "Views and edits CEL sprite files. Each FILE.cel is opened after start-up, as \"Open\"\n"
           "opens a chosen file (asking whether it holds Frame Headers when it has no .cdb file).\n"
           "A FILE.cl2 opens the same way, without the question; a grouped file lists one item\n"
           "per group.\n"
           "The settings file Vornix.ini and the folder Unnamed are kept in the directory the\n"
           "program was started from.\n"
           "\n"
           "  --help      print this text and exit\n"
           "  --version   print the version and exit\n"
           "  --          every later argument is a file name\n";
}

std::string VornixVersionText(std::string_view version)
{
    return "vornix " + std::string(version) + "\n";
}

std::string AbsoluteFileName(const std::string& name, const std::string& startDir)
{
    std::filesystem::path path(name);
    if (path.is_relative())
        path = std::filesystem::path(startDir) / path;
    return path.lexically_normal().string();
}
