#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>

#include "app/CommandLine.h"
#include "app/GuiApp.h"
#include "app/GuiDialogs.h"

// The desktop program: six windows over one shared state, in the directory it was started
// from (its settings file and the store of unsaved CELs live there). Files named on the
// command line open after start-up, as "Open" opens a chosen file.
int main(int argc, char* argv[])
{
    // --help and --version answer before the toolkit starts, so they work without a display.
    const CommandLine asked = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (asked.What == CommandLine::Action::Help) {
        std::cout << VornixHelpText();
        return 0;
    }
    if (asked.What == CommandLine::Action::Version) {
        std::cout << VornixVersionText(VORNIX_VERSION);
        return 0;
    }

    QApplication application(argc, argv);
    // The toolkit took its own options (-platform, -style, ...) out of argv.
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.What == CommandLine::Action::Error) {
        std::cerr << "vornix: " << line.Problem << "\nusage: vornix [FILE.cel ...]\n";
        return 2;
    }
    GuiDialogs dialogs;
    VornixApp vornix(dialogs, QDir::currentPath().toStdString());
    vornix.KeepWindowsOnScreen();
    vornix.Show();
    vornix.OpenFiles(line.Files);
    return application.exec();
}
