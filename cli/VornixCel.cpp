#include <iostream>
#include <string>
#include <vector>

#include "cli/CelTool.h"

// The command-line companion: every argument after the program name goes to RunCelTool, whose
// result is the exit code.
int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunCelTool(arguments, std::cout, std::cerr);
}
