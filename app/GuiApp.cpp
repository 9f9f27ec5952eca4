#include "app/GuiApp.h"

#include <QApplication>

#include "app/ListWnd.h"
#include "app/MainWnd.h"
#include "framelists/FrameWnd.h"
#include "framelists/InputWnd.h"
#include "palette/PalWnd.h"
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
}

VornixApp::~VornixApp()
{
    // The windows go before the state they point into; each window pointer in the context is
    // cleared as its window goes, so no late event reaches a destroyed window.
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
