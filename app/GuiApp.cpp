#include "app/GuiApp.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "app/CommandLine.h"
#include "app/ListWnd.h"
#include "app/MainWnd.h"
#include "framelists/FrameWnd.h"
#include "framelists/InputWnd.h"
#include "palette/ColoursWnd.h"
#include "palette/PalWnd.h"
#include "viewer/AnimWnd.h"
#include "viewer/ViewerWnd.h"

VornixApp::VornixApp(Dialogs& dialogs, std::string startDir)
{
    // The program's title only: a display name of its own would be appended by the window
    // system to every window caption ("CELs list - Vornix"), and the captions are fixed.
    QApplication::setApplicationName("Vornix");
    context = std::make_unique<AppContext>(dialogs, std::move(startDir));
    main = std::make_unique<TMain>(*context);
    windView = std::make_unique<TWindView>(*context);
    windPal = std::make_unique<TWindPal>(*context);
    windFrame = std::make_unique<TWindFrame>(*context);
    windListGen = std::make_unique<TWindListGen>(*context);
    windInput = std::make_unique<TWindInput>(*context);
    // Not one of the six: hidden until asked for, and never in the settings file.
    windAnim = std::make_unique<TWindAnim>(*context);
    // Shown on demand too; it adds its shortcuts to the palette window.
    windColours = std::make_unique<TWindColours>(*context);
}

VornixApp::~VornixApp()
{
    // The windows go before the state they point into; each window pointer in the context is
    // cleared as its window goes, so no late event reaches a destroyed window.
    windColours.reset();
    context->WindColours = nullptr;
    windAnim.reset();
    context->WindAnim = nullptr;
    windInput.reset();
    context->WindInput = nullptr;
    windListGen.reset();
    context->WindListGen = nullptr;
    windFrame.reset();
    context->WindFrame = nullptr;
    windPal.reset();
    context->WindPal = nullptr;
    windView.reset();
    context->WindView = nullptr;
    main.reset();
    context->Main = nullptr;
}

void VornixApp::Show()
{
    main->show();
    windView->show();
    windPal->show();
    windFrame->show();
}

void VornixApp::KeepWindowsOnScreen()
{
    std::vector<ScreenRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        screens.push_back({ area.x(), area.y(), area.width(), area.height() });
    }
    KeepWindowsOnScreen(screens);
}

void VornixApp::KeepWindowsOnScreen(const std::vector<ScreenRect>& screens)
{
    for (QWidget* window : { static_cast<QWidget*>(main.get()), static_cast<QWidget*>(windView.get()),
             static_cast<QWidget*>(windPal.get()), static_cast<QWidget*>(windFrame.get()) }) {
        const ScreenRect outer { window->x(), window->y(), window->width() + FrameExtraWidth,
            window->height() + FrameExtraHeight };
        int32_t left = outer.Left;
        int32_t top = outer.Top;
        KeepOnScreen(outer, screens, left, top);
        if (left != outer.Left || top != outer.Top)
            window->move(left, top);
    }
}

void VornixApp::OpenFiles(const std::vector<std::string>& files)
{
    for (const std::string& file : files)
        main->OpenCELFile(QString::fromStdString(AbsoluteFileName(file, context->StartDir)));
}
