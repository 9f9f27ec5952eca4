#include <gtest/gtest.h>

#include <random>

#include "app/CommandLine.h"
#include "app/OnScreen.h"
#include "viewer/WheelSteps.h"

namespace {
const ScreenRect FullHD { 0, 0, 1920, 1080 };
const ScreenRect RightOfIt { 1920, 0, 1280, 1024 };
} // namespace

TEST(OnScreen, ReachableWindowsStayExactlyWhereTheyAre)
{
    int32_t left = 0;
    int32_t top = 0;
    // The design places, and a window partly off the left edge with 40 pixels of title left.
    for (const ScreenRect window : { ScreenRect { 183, 131, 224, 300 },
             ScreenRect { 740, 143, 208, 370 }, ScreenRect { -184, 50, 224, 300 },
             ScreenRect { 1880, 1000, 224, 300 }, ScreenRect { 100, -25, 224, 300 } }) {
        EXPECT_TRUE(TitleReachable(window, { FullHD }));
        KeepOnScreen(window, { FullHD }, left, top);
        EXPECT_EQ(left, window.Left);
        EXPECT_EQ(top, window.Top);
    }
    // With no screens to judge by nothing moves.
    KeepOnScreen({ 5000, 5000, 200, 300 }, {}, left, top);
    EXPECT_EQ(left, 5000);
    EXPECT_EQ(top, 5000);
}

TEST(OnScreen, ATitleBarOffEveryScreenIsBroughtOntoTheNearest)
{
    int32_t left = 0;
    int32_t top = 0;
    // PalLeft = 2500 on a 1920-wide screen.
    ScreenRect palette { 2500, 118, 264, 395 };
    EXPECT_FALSE(TitleReachable(palette, { FullHD }));
    KeepOnScreen(palette, { FullHD }, left, top);
    EXPECT_EQ(left, 1920 - 264);
    EXPECT_EQ(top, 118);
    // With a second monitor to the right it was reachable all along.
    EXPECT_TRUE(TitleReachable(palette, { FullHD, RightOfIt }));

    // 39 pixels of title are not enough; 40 are.
    EXPECT_FALSE(TitleReachable({ 1881, 10, 200, 300 }, { FullHD }));
    EXPECT_TRUE(TitleReachable({ 1880, 10, 200, 300 }, { FullHD }));
    // A title bar above the top edge cannot be grabbed, even with the body on screen.
    EXPECT_FALSE(TitleReachable({ 100, -26, 200, 300 }, { FullHD }));
    KeepOnScreen({ 100, -26, 200, 300 }, { FullHD }, left, top);
    EXPECT_EQ(left, 100);
    EXPECT_EQ(top, 0);

    // A monitor that was unplugged, far to the left and below: the nearest screen wins.
    KeepOnScreen({ -3000, 2000, 200, 300 }, { FullHD, RightOfIt }, left, top);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, 1080 - 300);
    KeepOnScreen({ 4000, 500, 200, 300 }, { FullHD, RightOfIt }, left, top);
    EXPECT_EQ(left, 1920 + 1280 - 200);
    EXPECT_EQ(top, 500);

    // A window larger than the screen keeps its top left corner on it.
    KeepOnScreen({ 3000, 3000, 2500, 1500 }, { FullHD }, left, top);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(top, 0);
}

TEST(OnScreen, AWindowMovedOnScreenIsReachableFromAnyStart)
{
    std::mt19937 random(14);
    const std::vector<ScreenRect> screens = { FullHD, RightOfIt, { -1024, 200, 1024, 768 } };
    for (int k = 0; k < 2000; ++k) {
        const ScreenRect window { int32_t(random() % 20000) - 10000,
            int32_t(random() % 20000) - 10000, 50 + int32_t(random() % 2500),
            50 + int32_t(random() % 1500) };
        int32_t left = 0;
        int32_t top = 0;
        KeepOnScreen(window, screens, left, top);
        const ScreenRect moved { left, top, window.Width, window.Height };
        ASSERT_TRUE(TitleReachable(moved, screens))
            << window.Left << ", " << window.Top << " " << window.Width << " x " << window.Height;
        if (TitleReachable(window, screens)) {
            ASSERT_EQ(left, window.Left);
            ASSERT_EQ(top, window.Top);
        }
    }
}

TEST(Wheel, ANotchScrollsATenthOfTheViewArea)
{
    EXPECT_EQ(WheelScrollStep(183), 18);
    EXPECT_EQ(WheelScrollStep(1000), 100);
    EXPECT_EQ(WheelScrollStep(9), 1);
    EXPECT_EQ(WheelScrollStep(0), 1);
    // A 400 x 400 frame at 8x in the design view area: a notch moves 18 screen pixels.
    EXPECT_EQ(WheelScrollPosition(0, 3200 - 183, -1, WheelScrollStep(183)), 18);
    EXPECT_EQ(WheelScrollPosition(18, 3017, 1, 18), 0);
    EXPECT_EQ(WheelScrollPosition(10, 3017, 1, 18), 0);
    EXPECT_EQ(WheelScrollPosition(3010, 3017, -1, 18), 3017);
    EXPECT_EQ(WheelScrollPosition(5, 0, -3, 18), 0);
}

TEST(Wheel, SmallDeltasAddUpToTheNotchesOfAPlainWheel)
{
    WheelAccumulator plain;
    EXPECT_EQ(plain.Add(120), 1);
    EXPECT_EQ(plain.Add(-240), -2);
    EXPECT_EQ(plain.Add(360), 3);

    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        WheelAccumulator fine;
        int32_t notches = 0;
        int32_t total = 0;
        const int32_t sign = round % 2 ? 1 : -1;
        for (int k = 0; k < 30; ++k) {
            const int32_t delta = sign * int32_t(1 + random() % 60);
            total += delta;
            notches += fine.Add(delta);
        }
        ASSERT_EQ(notches, total / WheelNotch);
    }
    // Turning back drops what was pending instead of giving a late notch the other way.
    WheelAccumulator back;
    EXPECT_EQ(back.Add(100), 0);
    EXPECT_EQ(back.Add(-30), 0);
    EXPECT_EQ(back.Add(-90), -1);
}

TEST(Wheel, CtrlWheelZoomsWithinOneToEight)
{
    EXPECT_EQ(WheelZoom(1, 1), 2);
    EXPECT_EQ(WheelZoom(8, 1), 8);
    EXPECT_EQ(WheelZoom(2, -5), 1);
    EXPECT_EQ(WheelZoom(4, -1), 3);
}

TEST(CommandLine, FilesOptionsAndMistakes)
{
    CommandLine none = ParseCommandLine({});
    EXPECT_EQ(none.What, CommandLine::Action::Run);
    EXPECT_TRUE(none.Files.empty());

    CommandLine files = ParseCommandLine({ "a.cel", "/b/c.cel", "-", "--", "--help", "-x.cel" });
    EXPECT_EQ(files.What, CommandLine::Action::Run);
    EXPECT_EQ(files.Files,
        (std::vector<std::string> { "a.cel", "/b/c.cel", "-", "--help", "-x.cel" }));

    EXPECT_EQ(ParseCommandLine({ "a.cel", "--help" }).What, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({ "-h" }).What, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({ "--version", "a.cel" }).What, CommandLine::Action::Version);

    CommandLine wrong = ParseCommandLine({ "a.cel", "--frobnicate" });
    EXPECT_EQ(wrong.What, CommandLine::Action::Error);
    EXPECT_EQ(wrong.Problem, "unknown option '--frobnicate'");
    EXPECT_TRUE(wrong.Files.empty());
    // A mistake before --help still lets help be asked for.
    EXPECT_EQ(ParseCommandLine({ "--frobnicate", "--help" }).What, CommandLine::Action::Help);

    EXPECT_EQ(VornixVersionText("0.1"), "vornix 0.1\n");
    EXPECT_EQ(VornixHelpText().rfind("usage: vornix [FILE.cel ...]\n", 0), 0u);
}

TEST(CommandLine, RelativeNamesBecomeFullPathsFromTheStartFolder)
{
    EXPECT_EQ(AbsoluteFileName("hero.cel", "/home/u/sprites"), "/home/u/sprites/hero.cel");
    EXPECT_EQ(AbsoluteFileName("../x/./hero.cel", "/home/u/sprites"), "/home/u/x/hero.cel");
    EXPECT_EQ(AbsoluteFileName("/data/hero.cel", "/home/u"), "/data/hero.cel");
}
