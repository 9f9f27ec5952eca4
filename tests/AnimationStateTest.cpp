#include <gtest/gtest.h>

#include <random>

#include "viewer/AnimationState.h"

namespace {

// A frame slot holding a width x height frame of pixels drawn from seed, shown at its true
// width.
FrameSlotRef MakeSlot(uint32_t width, uint32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    DataArray image(size_t(width) * height);
    for (uint8_t& pixel : image)
        pixel = uint8_t(random() % 255);
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty();
    slot->Frame->SetSize(width, height);
    slot->Frame->EncodeImage(image);
    slot->Frame->AnalyseData();
    for (uint32_t k = 0; k < slot->Frame->WidthCount; ++k)
        if (slot->Frame->Widths[k] == width)
            slot->Frame->SelectWidth(k);
    return slot;
}

// A frame whose literal run goes past the end of its data: it cannot be shown.
FrameSlotRef BrokenSlot()
{
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty();
    slot->Frame->Data = { 0x05, 1, 2 };
    slot->Frame->DataLength = 3;
    slot->Frame->AnalyseData();
    return slot;
}

// The picture rule pixel by pixel: canvas pixel (x, y), y counted from the top, shows the
// frame's pixel when it lies over the frame placed at the bottom left corner.
uint8_t ReferencePixel(const CELFrame& frame, const DataArray& image, uint32_t canvasHeight,
    uint32_t zoom, uint32_t x, uint32_t y)
{
    const uint32_t column = x / zoom;
    const uint32_t rowFromBottom = canvasHeight - 1 - y / zoom;
    if (column >= frame.Width || rowFromBottom >= frame.Height)
        return TransparentIndex;
    return image[size_t(rowFromBottom) * frame.Width + column];
}

} // namespace

TEST(AnimationSequence, PlaysThePaneInOrderPassingOverFramesThatCannotBeShown)
{
    const std::vector<FrameSlotRef> pane
        = { MakeSlot(4, 3, 1), BrokenSlot(), MakeSlot(5, 2, 2), MakeSlot(3, 3, 3) };
    ASSERT_TRUE(pane[0]->Frame->Viewable());
    ASSERT_FALSE(pane[1]->Frame->Viewable());
    AnimationState state;
    state.Begin(pane);
    ASSERT_EQ(state.Pass.size(), 3u);
    EXPECT_EQ(state.Current(), pane[0]);
    state.Playing = true;
    EXPECT_TRUE(state.Tick(pane));
    EXPECT_EQ(state.Current(), pane[2]);
    EXPECT_TRUE(state.Tick(pane));
    EXPECT_EQ(state.Current(), pane[3]);
    // Looping: after the last frame the first comes again.
    EXPECT_TRUE(state.Tick(pane));
    EXPECT_EQ(state.Current(), pane[0]);
    EXPECT_TRUE(state.Playing);
}

TEST(AnimationSequence, WithoutLoopTheTimerStopsOnTheLastFrameAndAStepByHandWraps)
{
    const std::vector<FrameSlotRef> pane = { MakeSlot(4, 3, 1), MakeSlot(5, 2, 2) };
    AnimationState state;
    state.Loop = false;
    state.Begin(pane);
    state.Playing = true;
    EXPECT_TRUE(state.Tick(pane));
    EXPECT_EQ(state.Current(), pane[1]);
    EXPECT_FALSE(state.Tick(pane));
    EXPECT_EQ(state.Current(), pane[1]);
    EXPECT_FALSE(state.Playing);
    // A paused player does not move on a tick.
    EXPECT_FALSE(state.Tick(pane));
    EXPECT_TRUE(state.StepForward(pane, true));
    EXPECT_EQ(state.Current(), pane[0]);
}

TEST(AnimationSequence, StepBackFromTheFirstFrameShowsTheLast)
{
    const std::vector<FrameSlotRef> pane = { MakeSlot(4, 3, 1), MakeSlot(5, 2, 2), BrokenSlot() };
    AnimationState state;
    state.Begin(pane);
    EXPECT_TRUE(state.StepBack(pane));
    EXPECT_EQ(state.Current(), pane[1]);
    EXPECT_TRUE(state.StepBack(pane));
    EXPECT_EQ(state.Current(), pane[0]);
}

TEST(AnimationSequence, FollowsThePaneFromTheNextPass)
{
    std::vector<FrameSlotRef> pane = { MakeSlot(4, 3, 1), MakeSlot(5, 2, 2), MakeSlot(3, 3, 3) };
    AnimationState state;
    state.Begin(pane);
    state.Playing = true;
    // A frame added and the order changed in the pane: this pass goes on as it began.
    const FrameSlotRef added = MakeSlot(2, 2, 4);
    pane = { pane[2], added, pane[1], pane[0] };
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[2]); // the second frame of the first order
    // A frame deleted from the pane meanwhile is passed over at once.
    pane[0]->Frame.reset();
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[1]) << "the next pass begins, in the new order";
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[2]);
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[3]);
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[1]);
    EXPECT_EQ(state.Pass.size(), 3u);
}

TEST(AnimationSequence, AnEmptyPaneShowsNothing)
{
    AnimationState state;
    state.Begin({});
    EXPECT_FALSE(state.Showing());
    EXPECT_FALSE(state.StepForward({}, true));
    EXPECT_FALSE(state.StepBack({}));
    state.Begin({ BrokenSlot() });
    EXPECT_FALSE(state.Showing());
    std::vector<uint8_t> pixels { 1, 2, 3 };
    uint32_t width = 9;
    uint32_t height = 9;
    state.Render(pixels, width, height);
    EXPECT_TRUE(pixels.empty());
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);

    // Frames that arrive later are found by the next step.
    const std::vector<FrameSlotRef> pane = { MakeSlot(4, 3, 1) };
    EXPECT_TRUE(state.StepForward(pane, true));
    EXPECT_EQ(state.Current(), pane[0]);
    state.Stop();
    EXPECT_FALSE(state.Showing());
    EXPECT_TRUE(state.Pass.empty());
}

TEST(AnimationSpeed, SpeedAndZoomStayInTheirRangesAndTheIntervalIsRounded)
{
    AnimationState state;
    EXPECT_EQ(state.Speed(), 15u);
    EXPECT_EQ(state.IntervalMilliseconds(), 67);
    state.SetSpeed(0);
    EXPECT_EQ(state.Speed(), 1u);
    EXPECT_EQ(state.IntervalMilliseconds(), 1000);
    state.SetSpeed(61);
    EXPECT_EQ(state.Speed(), 60u);
    EXPECT_EQ(state.IntervalMilliseconds(), 17);
    state.SetSpeed(-5);
    EXPECT_EQ(state.Speed(), 1u);
    state.SetSpeed(24);
    EXPECT_EQ(state.IntervalMilliseconds(), 42);
    state.SetZoom(0);
    EXPECT_EQ(state.Zoom(), 1);
    state.SetZoom(9);
    EXPECT_EQ(state.Zoom(), 8);
}

TEST(AnimationPicture, FramesOfDifferentSizesShareTheirBottomLeftCorner)
{
    std::mt19937 random(77);
    for (int round = 0; round < 40; ++round) {
        std::vector<FrameSlotRef> pane;
        const int count = 1 + int(random() % 4);
        for (int k = 0; k < count; ++k)
            pane.push_back(MakeSlot(1 + random() % 20, 1 + random() % 20, uint32_t(random())));
        AnimationState state;
        state.SetZoom(1 + random() % 8);
        state.Begin(pane);
        uint32_t canvasWidth = 0;
        uint32_t canvasHeight = 0;
        state.CanvasSize(canvasWidth, canvasHeight);
        for (int k = 0; k < count; ++k) {
            const CELFrame& frame = *state.Current()->Frame;
            DataArray image;
            frame.DecodeImage(image);
            std::vector<uint8_t> pixels;
            uint32_t width = 0;
            uint32_t height = 0;
            state.Render(pixels, width, height);
            const uint32_t zoom = state.Zoom();
            ASSERT_EQ(width, canvasWidth * zoom);
            ASSERT_EQ(height, canvasHeight * zoom);
            ASSERT_EQ(pixels.size(), size_t(width) * height);
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    ASSERT_EQ(pixels[size_t(y) * width + x],
                        ReferencePixel(frame, image, canvasHeight, zoom, x, y))
                        << "round " << round << " frame " << k << " at " << x << ", " << y;
            state.StepForward(pane, true);
        }
    }
}

TEST(AnimationPicture, TheCanvasIsTheLargestWidthAndHeightOfThePass)
{
    const std::vector<FrameSlotRef> pane = { MakeSlot(10, 3, 1), BrokenSlot(), MakeSlot(4, 7, 2) };
    AnimationState state;
    state.Begin(pane);
    uint32_t width = 0;
    uint32_t height = 0;
    state.CanvasSize(width, height);
    EXPECT_EQ(width, 10u);
    EXPECT_EQ(height, 7u);
}

TEST(AnimationPicture, AHugeCanvasIsDrawnWithoutMagnifying)
{
    const std::vector<FrameSlotRef> pane = { MakeSlot(3000, 3000, 5) };
    AnimationState state;
    state.SetZoom(8);
    state.Begin(pane);
    std::vector<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    state.Render(pixels, width, height);
    EXPECT_EQ(width, 3000u);
    EXPECT_EQ(height, 3000u);
    EXPECT_EQ(pixels.size(), size_t(3000) * 3000);
}

TEST(AnimationSequence, RegressionFrameTooLargeForTheViewerWasDrawnIntoAHugeCanvas)
{
    // 20,000 pixels on a side: more than the viewer shows, so the animation passes over it
    // like a frame that cannot be shown, and the canvas is that of the others.
    const std::vector<FrameSlotRef> pane = { MakeSlot(20000, 1, 1), MakeSlot(4, 3, 2) };
    ASSERT_TRUE(pane[0]->Frame->Viewable());
    ASSERT_EQ(pane[0]->Frame->Width, 20000u);
    AnimationState state;
    state.Begin(pane);
    EXPECT_FALSE(AnimationState::Playable(pane[0]));
    EXPECT_EQ(state.Current(), pane[1]);
    uint32_t width = 0;
    uint32_t height = 0;
    state.CanvasSize(width, height);
    EXPECT_EQ(width, 4u);
    EXPECT_EQ(height, 3u);
    state.Tick(pane);
    EXPECT_EQ(state.Current(), pane[1]);
}

TEST(AnimationSequence, RegressionAFrameDestroyedInViewStayedShown)
{
    // A frame moved out of the pane stays in the pass until the next one; when its CEL is
    // closed the frame is destroyed and the animation passes over it at once.
    std::vector<FrameSlotRef> pane = { MakeSlot(4, 3, 1), MakeSlot(5, 2, 2), MakeSlot(3, 3, 3) };
    AnimationState state;
    state.Begin(pane);
    state.Playing = true;
    state.Tick(pane);
    const FrameSlotRef moved = pane[1];
    ASSERT_EQ(state.Current(), moved);
    pane.erase(pane.begin() + 1);
    EXPECT_FALSE(state.PassOverLost(pane)); // still whole: nothing to do
    moved->Frame.reset();
    EXPECT_TRUE(state.PassOverLost(pane));
    EXPECT_EQ(state.Current(), pane[1]);
    EXPECT_TRUE(state.Playing);

    // The last frame gone: the next pass starts from the pane; with none left nothing shows.
    state.Tick(pane);
    ASSERT_EQ(state.Current(), pane[0]);
    for (const FrameSlotRef& slot : pane)
        slot->Frame.reset();
    EXPECT_TRUE(state.PassOverLost(pane));
    EXPECT_FALSE(state.Showing());
    EXPECT_FALSE(state.Playing);
}
