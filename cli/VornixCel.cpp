#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/CelTool.h"

// The command-line companion: every argument after the program name goes to RunCelTool, whose
// result is the exit code.
int main(int argc, char** argv)
{
    // A file size limit (ulimit -f) must fail the write, which is reported and leaves no half
    // file, rather than kill the program between a temporary file and its rename.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunCelTool(arguments, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
