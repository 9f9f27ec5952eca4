#include <QApplication>
#include <QDir>

#include "app/GuiApp.h"
#include "app/GuiDialogs.h"

// The desktop program: six windows over one shared state, in the directory it was started
// from (its settings file and the store of unsaved CELs live there).
int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    GuiDialogs dialogs;
    VornixApp vornix(dialogs, QDir::currentPath().toStdString());
    vornix.Show();
    return application.exec();
}
