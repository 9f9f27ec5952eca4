// One drawing step of the viewer at zoom 8 in a large window: the stroke into FrameImage, the
// redraw of the visible part into the 8-bit indexed surface, and handing the surface to Qt.
// The target is well under 4 ms a step, so that strokes follow the pointer.

#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "app/AppContext.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"
#include "viewer/ViewerWnd.h"

namespace {

// No dialog is ever shown by a drawing step.
class NoDialogs : public Dialogs {
public:
    void ShowMessage(const QString&, const QString&, MessageIcon) override { }
    bool AskYesNo(const QString&, const QString&) override { return false; }
    std::optional<QString> OpenFileName(const FileDialogOptions&) override { return {}; }
    std::optional<QString> SaveFileName(const FileDialogOptions&) override { return {}; }
    std::optional<uint32_t> ChooseColour(uint32_t) override { return {}; }
    int ExecModal(QDialog&) override { return 0; }
};

QApplication& Application()
{
    static int argc = 1;
    static char name[] = "vornix_gui_bench";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}

struct Viewer {
    QTemporaryDir dir; // no settings file: design values
    NoDialogs dialogs;
    std::unique_ptr<AppContext> app;
    std::unique_ptr<TWindView> view;
    std::unique_ptr<TWindPal> pal;

    Viewer(uint32_t width, uint32_t height)
    {
        Application();
        app = std::make_unique<AppContext>(dialogs, dir.path().toStdString());
        view = std::make_unique<TWindView>(*app);
        pal = std::make_unique<TWindPal>(*app);
        view->resize(1912, 1166); // outer 1920 x 1200
        view->show();
        // Let the offscreen window be exposed, so that repaint() really paints.
        QApplication::processEvents();
        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        app->View.ViewedFrame = slot;
        app->View.FrameImage.assign(size_t(width) * height, 0x80);
        for (size_t i = 0; i < app->View.FrameImage.size(); ++i)
            app->View.FrameImage[i] = uint8_t(0x7F + i % 128);
        app->View.ImageWidth = width;
        app->View.ImageHeight = height;
        view->ComboZoom->setCurrentIndex(7);
        view->RedrawView(true);
        view->ImgViewMouseDown(Qt::LeftButton, 4, 4);
    }
};

// The handler path: stroke, surface fill, update request.
void BM_DrawStep(benchmark::State& state)
{
    Viewer viewer(uint32_t(state.range(0)), uint32_t(state.range(1)));
    int step = 0;
    for (auto _ : state) {
        const int x = 20 + 8 * (step++ % 2);
        viewer.view->ImgViewMouseMove(Qt::LeftButton, x, 20);
    }
    state.counters["surface_px"]
        = double(viewer.app->View.SurfaceWidth) * double(viewer.app->View.SurfaceHeight);
}

// The same with the surface painted at once, as the window system would do right after.
void BM_DrawStepPainted(benchmark::State& state)
{
    Viewer viewer(uint32_t(state.range(0)), uint32_t(state.range(1)));
    int step = 0;
    for (auto _ : state) {
        const int x = 20 + 8 * (step++ % 2);
        viewer.view->ImgViewMouseMove(Qt::LeftButton, x, 20);
        viewer.view->ImgView->repaint();
    }
}

} // namespace

BENCHMARK(BM_DrawStep)->Args({ 126, 160 })->Args({ 500, 300 })->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawStepPainted)
    ->Args({ 126, 160 })
    ->Args({ 500, 300 })
    ->Unit(benchmark::kMicrosecond);
