#pragma once

#include <cstdint>
#include <string>

#include "app/Dialogs.h"
#include "cel/CELHandler.h"
#include "palette/ColourDisplay.h"
#include "palette/PaletteModel.h"
#include "viewer/ViewerState.h"

class TMain;
class TWindView;
class TWindPal;
class TWindFrame;
class TWindListGen;
class TWindInput;
class TWindAnim;
class TWindColours;

// Window sizes in the settings file are outer sizes, as the window manager of the original
// platform measured them: the client area plus a fixed border and title bar.
constexpr int FrameExtraWidth = 8;
constexpr int FrameExtraHeight = 34;

// The state shared by the six windows for the whole run, and the windows themselves. One
// object is made at start-up and handed to every window; the windows reach each other only
// through it.
struct AppContext {
    explicit AppContext(Dialogs& dialogs, std::string startDir)
        : dialogs(dialogs), StartDir(std::move(startDir)) {}

    Dialogs& dialogs;
    std::string StartDir;       // where the settings file and the "Unnamed" store live
    uint32_t NewCELCount = 0;   // number of the next "<New> #" caption

    CELHolderRef LeftCEL;       // CEL shown in the left pane, or none
    CELHolderRef RightCEL;      // CEL shown in the right pane, or none

    ViewerState View;           // frame in view, its working image, zoom and scrolling
    PaletteModel Pal;           // palette, selected colour, pending colour operation
    ColourDisplay Colours;      // translation table shown through, colours marked as in use

    TMain* Main = nullptr;
    TWindView* WindView = nullptr;
    TWindPal* WindPal = nullptr;
    TWindFrame* WindFrame = nullptr;
    TWindListGen* WindListGen = nullptr;
    TWindInput* WindInput = nullptr;
    TWindAnim* WindAnim = nullptr; // the animation preview, shown on demand
    TWindColours* WindColours = nullptr; // translation tables and colour work, on demand
};
