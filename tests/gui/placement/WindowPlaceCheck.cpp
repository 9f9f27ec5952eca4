#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>
#include <QTemporaryDir>

#include "app/GuiApp.h"
#include "app/MainWnd.h"
#include "framelists/FrameWnd.h"
#include "palette/PalWnd.h"
#include "settings/Settings.h"
#include "viewer/ViewerWnd.h"

// Run by PlacementTest.sh on an X server, with or without a window manager: the four windows
// are placed, the program is closed and started again several times, and every window must
// come back exactly where it was closed, its stored place unchanged from one restart to the
// next. Exit code 0 when they do, 1 with the first difference otherwise.

namespace {

// No question may be asked: nothing is opened.
class NoDialogs : public Dialogs {
public:
    void ShowMessage(const QString& text, const QString&, MessageIcon) override { Unexpected(text); }
    bool AskYesNo(const QString& text, const QString&) override { return Unexpected(text); }
    std::optional<QString> OpenFileName(const FileDialogOptions& o) override
    {
        Unexpected(o.Title);
        return std::nullopt;
    }
    std::optional<QString> SaveFileName(const FileDialogOptions& o) override
    {
        Unexpected(o.Title);
        return std::nullopt;
    }
    std::optional<uint32_t> ChooseColour(uint32_t) override { return std::nullopt; }
    int ExecModal(QDialog&) override { return 0; }
    bool Unexpected(const QString& what)
    {
        std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(what));
        std::exit(1);
    }
};

std::vector<QWidget*> Windows(VornixApp& vornix)
{
    return { &vornix.Main(), &vornix.WindView(), &vornix.WindPal(), &vornix.WindFrame() };
}

const char* const Names[] = { "CELs list", "View Frame", "Palette", "Frames list" };

// Shown, and framed by the window manager when one is expected.
bool Settled(VornixApp& vornix, bool framed)
{
    for (QWidget* window : Windows(vornix)) {
        if (!QTest::qWaitForWindowExposed(window, 10000))
            return false;
        if (framed
            && !QTest::qWaitFor([window] { return window->frameGeometry() != window->geometry(); },
                10000))
            return false;
    }
    return true;
}

std::vector<QPoint> FramePositions(VornixApp& vornix)
{
    std::vector<QPoint> places;
    for (QWidget* window : Windows(vornix))
        places.push_back(window->frameGeometry().topLeft());
    return places;
}

// The stored left and top of each window, in the order of Windows.
std::vector<QPoint> StoredPositions(const std::string& startDir)
{
    MainSettings main;
    ViewerSettings view;
    PaletteSettings palette;
    WindowPlacement frames;
    const std::string file = SettingsFileName(startDir);
    if (!ReadMainSettings(file, main) || !ReadViewerSettings(file, view)
        || !ReadPaletteSettings(file, palette) || !ReadFrameSettings(file, frames))
        return {};
    return { { main.Placement.Left, main.Placement.Top },
        { view.Placement.Left, view.Placement.Top }, { palette.Left, palette.Top },
        { frames.Left, frames.Top } };
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "%s\n", what.c_str());
    return 1;
}

std::string Point(const QPoint& p)
{
    return std::to_string(p.x()) + "," + std::to_string(p.y());
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const bool framed = argc > 1 && std::string(argv[1]) == "framed";
    const int restarts = argc > 2 ? std::atoi(argv[2]) : 3;
    QTemporaryDir dir;
    const std::string startDir = dir.path().toStdString();
    NoDialogs dialogs;

    // First start: the design places; then the user drags every window somewhere else.
    auto vornix = std::make_unique<VornixApp>(dialogs, startDir);
    vornix->Show();
    if (!Settled(*vornix, framed))
        return Fail("the windows were not shown (and framed) in time");
    const std::vector<QPoint> dragged { { 40, 60 }, { 900, 90 }, { 500, 400 }, { 1100, 500 } };
    for (size_t k = 0; k < dragged.size(); ++k)
        Windows(*vornix)[k]->move(dragged[k]);
    if (!QTest::qWaitFor([&] { return FramePositions(*vornix) == dragged; }, 10000))
        return Fail("the windows did not go where they were moved");

    std::vector<QPoint> closedAt = FramePositions(*vornix);
    std::vector<QPoint> storedBefore;
    for (int run = 1; run <= restarts; ++run) {
        vornix->Main().close();
        vornix.reset();
        const std::vector<QPoint> stored = StoredPositions(startDir);
        if (stored.size() != closedAt.size())
            return Fail("no settings file was written");
        for (size_t k = 0; k < stored.size(); ++k) {
            if (stored[k] != closedAt[k])
                return Fail(std::string(Names[k]) + " was closed at " + Point(closedAt[k])
                    + " but stored as " + Point(stored[k]));
            if (!storedBefore.empty() && stored[k] != storedBefore[k])
                return Fail(std::string(Names[k]) + " crept from " + Point(storedBefore[k])
                    + " to " + Point(stored[k]) + " at restart " + std::to_string(run));
        }
        storedBefore = stored;

        vornix = std::make_unique<VornixApp>(dialogs, startDir);
        vornix->Show();
        if (!Settled(*vornix, framed))
            return Fail("the windows were not shown (and framed) in time after a restart");
        const std::vector<QPoint> shownAt = FramePositions(*vornix);
        for (size_t k = 0; k < shownAt.size(); ++k)
            if (shownAt[k] != closedAt[k])
                return Fail(std::string(Names[k]) + " came back at " + Point(shownAt[k])
                    + ", it was closed at " + Point(closedAt[k]) + " (restart "
                    + std::to_string(run) + ")");
        closedAt = shownAt;
    }
    std::printf("%d restarts %s: every window came back where it was closed\n", restarts,
        framed ? "under a window manager" : "without a window manager");
    vornix->Main().close();
    return 0;
}
