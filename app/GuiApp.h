#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "app/OnScreen.h"

class Dialogs;

// The program: the shared state and the six windows, created in their fixed order (each
// finishes its creation before the next one starts, since later windows rely on earlier
// ones: the palette window redraws the viewer). Destroyed in the opposite order.
class VornixApp {
public:
    VornixApp(Dialogs& dialogs, std::string startDir);
    ~VornixApp();
    VornixApp(const VornixApp&) = delete;
    VornixApp& operator=(const VornixApp&) = delete;

    // Shows the CEL list, viewer, palette and frame lists windows.
    void Show();

    // Moves each of the four placed windows whose title bar the settings left off every
    // screen onto the nearest one; reachable windows stay exactly where they are. Without an
    // argument, the screens of the desktop (their areas free of panels).
    void KeepWindowsOnScreen();
    void KeepWindowsOnScreen(const std::vector<ScreenRect>& screens);

    // Opens each file as "Open" does for a chosen file, in order.
    void OpenFiles(const std::vector<std::string>& files);

    AppContext& Context() { return *context; }
    TMain& Main() { return *main; }
    TWindView& WindView() { return *windView; }
    TWindPal& WindPal() { return *windPal; }
    TWindFrame& WindFrame() { return *windFrame; }
    TWindListGen& WindListGen() { return *windListGen; }
    TWindInput& WindInput() { return *windInput; }
    TWindAnim& WindAnim() { return *windAnim; }
    TWindColours& WindColours() { return *windColours; }

private:
    std::unique_ptr<AppContext> context;
    std::unique_ptr<TMain> main;
    std::unique_ptr<TWindView> windView;
    std::unique_ptr<TWindPal> windPal;
    std::unique_ptr<TWindFrame> windFrame;
    std::unique_ptr<TWindListGen> windListGen;
    std::unique_ptr<TWindInput> windInput;
    std::unique_ptr<TWindAnim> windAnim;
    std::unique_ptr<TWindColours> windColours;
};
