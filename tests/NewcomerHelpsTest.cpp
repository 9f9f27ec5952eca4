#include <random>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/LastFolders.h"
#include "app/WindowLayout.h"
#include "cel/CELHandler.h"
#include "cel/HeaderGuess.h"

namespace {

bool Overlap(const ScreenRect& a, const ScreenRect& b)
{
    return a.Left < b.Left + b.Width && b.Left < a.Left + a.Width && a.Top < b.Top + b.Height
        && b.Top < a.Top + a.Height;
}

bool Inside(const ScreenRect& window, const ScreenRect& screen)
{
    return window.Left >= screen.Left && window.Top >= screen.Top
        && int64_t(window.Left) + window.Width <= int64_t(screen.Left) + screen.Width
        && int64_t(window.Top) + window.Height <= int64_t(screen.Top) + screen.Height;
}

} // namespace

// Random screens (some too narrow, some at negative positions) and window sizes: never an
// overlap; everything on the screen whenever the minimum widths fit; the CEL list and palette
// keep their sizes, and the frame lists and viewer fill the rest of the width and the height.
TEST(WindowLayout, SideBySideWithoutOverlapFillingTheScreen)
{
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const ScreenRect screen { int32_t(random() % 4000) - 2000, int32_t(random() % 2000) - 1000,
            int32_t(400 + random() % 3000), int32_t(200 + random() % 1500) };
        std::array<ArrangeInput, 4> windows;
        for (ArrangeInput& window : windows) {
            window.MinWidth = int32_t(150 + random() % 150);
            window.MinHeight = int32_t(150 + random() % 300);
            window.Width = window.MinWidth + int32_t(random() % 200);
            window.Height = window.MinHeight + int32_t(random() % 600);
        }
        windows[ArrangePalette].Width = windows[ArrangePalette].MinWidth;
        const std::array<ScreenRect, 4> placed = ArrangeSideBySide(screen, windows);
        for (size_t a = 0; a < 4; ++a) {
            EXPECT_GE(placed[a].Width, windows[a].MinWidth);
            EXPECT_GE(placed[a].Height, windows[a].MinHeight);
            EXPECT_EQ(placed[a].Top, screen.Top);
            for (size_t b = a + 1; b < 4; ++b)
                EXPECT_FALSE(Overlap(placed[a], placed[b])) << a << " and " << b;
        }
        EXPECT_EQ(placed[ArrangeMain].Left, screen.Left);
        EXPECT_EQ(placed[ArrangeMain].Width, windows[ArrangeMain].Width);
        EXPECT_EQ(placed[ArrangePalette].Width, windows[ArrangePalette].Width);
        const int64_t kept = int64_t(windows[ArrangeMain].Width) + windows[ArrangePalette].Width;
        const bool fits = kept + windows[ArrangeFrames].MinWidth + windows[ArrangeView].MinWidth
            <= screen.Width;
        const bool tallEnough = screen.Height >= std::max(windows[ArrangeFrames].MinHeight,
                                    windows[ArrangeView].MinHeight)
            && screen.Height >= std::max(windows[ArrangeMain].MinHeight,
                windows[ArrangePalette].MinHeight);
        if (fits && tallEnough) {
            for (const ScreenRect& window : placed)
                EXPECT_TRUE(Inside(window, screen));
            EXPECT_EQ(int64_t(placed[ArrangeView].Left) + placed[ArrangeView].Width,
                int64_t(screen.Left) + screen.Width);
            EXPECT_EQ(placed[ArrangeFrames].Height, screen.Height);
            EXPECT_EQ(placed[ArrangeView].Height, screen.Height);
            // The viewer takes the larger share, unless the frame lists need their minimum.
            if (placed[ArrangeFrames].Width > windows[ArrangeFrames].MinWidth)
                EXPECT_GE(placed[ArrangeView].Width, placed[ArrangeFrames].Width);
        }
    }
}

// Each kind of file dialog remembers its own folder; a preset with a folder of its own wins.
TEST(LastFolders, EachKindOpensWhereItWasLastUsed)
{
    LastFolders folders;
    EXPECT_EQ(folders.FolderFor("CEL file|*.cel"), "");
    EXPECT_EQ(folders.PresetName("CEL file|*.cel", "hero.cel"), "hero.cel");
    folders.Remember("CEL file|*.cel", "/mods/sprites/hero.cel");
    folders.Remember("Palette|*.pal", "/mods/palettes/town.pal");
    folders.Remember("Palette|*.pal", "bare.pal"); // no folder: nothing to remember
    const struct {
        const char* Kind;
        const char* Preset;
        const char* Folder;
        const char* Name;
    } cases[] = {
        { "CEL file|*.cel", "", "/mods/sprites", "" },
        { "CEL file|*.cel", "walk.cel", "/mods/sprites", "/mods/sprites/walk.cel" },
        { "CEL file|*.cel", "/elsewhere/walk.cel", "/mods/sprites", "/elsewhere/walk.cel" },
        { "Palette|*.pal", "", "/mods/palettes", "" },
        { "Bitmap|*.bmp|PNG image|*.png", "x.bmp", "", "x.bmp" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folders.FolderFor(c.Kind), c.Folder) << c.Kind;
        EXPECT_EQ(folders.PresetName(c.Kind, c.Preset), c.Name) << c.Kind << " " << c.Preset;
    }
}

// The Frame Headers question's default is the reading that leaves more frames viewable: a
// CEL written with Frame Headers reads best with them, one written without reads best
// without, and a file that does not load says no headers.
TEST(HeaderGuess, TheReadingWithMoreViewableFramesIsTheDefault)
{
    TempDir dir;
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        const bool headers = round % 2 == 0;
        const bool tall = round % 3 != 2; // taller than one block of 32 rows
        auto cel = CELObject::CreateEmpty(3);
        for (auto& slot : cel->Frames) {
            const uint32_t width = 8 + random() % 20;
            const uint32_t height = tall ? 40 + random() % 60 : 2 + random() % 10;
            DataArray image(size_t(width) * height, TransparentIndex);
            for (size_t k = 0; k < image.size(); k += 3)
                image[k] = uint8_t(random() % 200);
            slot = std::make_shared<FrameSlot>();
            slot->Frame = CELFrame::CreateEmpty();
            slot->Frame->SetSize(width, height);
            slot->Frame->EncodeImage(image);
        }
        cel->FileName = dir.File("sprite" + std::to_string(round) + ".cel");
        cel->WithHeaders = headers ? 1 : 0;
        ASSERT_EQ(cel->SaveToFile(), SaveOK);
        EXPECT_EQ(HeadersLeaveMoreViewable(cel->FileName), headers) << "round " << round;
    }
    EXPECT_FALSE(HeadersLeaveMoreViewable(dir.File("missing.cel")));
}
