#include "viewer/ImageHistory.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

ImageSnapshotRef Snapshot(size_t bytes, uint8_t fill = 1)
{
    auto snapshot = std::make_shared<ImageSnapshot>();
    snapshot->FrameImage.assign(bytes, fill);
    snapshot->ImageWidth = uint32_t(bytes);
    snapshot->ImageHeight = 1;
    return snapshot;
}

// n steps in a row, each one's image after being the next one's image before, as the viewer
// makes them.
std::vector<ImageStep> Chain(size_t n, size_t bytes)
{
    std::vector<ImageStep> steps;
    ImageSnapshotRef previous = Snapshot(bytes);
    for (size_t k = 0; k < n; ++k) {
        ImageSnapshotRef next = Snapshot(bytes, uint8_t(k));
        steps.push_back({ "Stroke", previous, next });
        previous = next;
    }
    return steps;
}

std::vector<const ImageStep*> Pointers(const std::vector<ImageStep>& steps)
{
    std::vector<const ImageStep*> pointers;
    for (const ImageStep& step : steps)
        pointers.push_back(&step);
    return pointers;
}

TEST(ImageHistory, ASnapshotRestoresImageSizesAndSaysWhetherTheSizeChanged)
{
    ViewerState view = ViewerWith(4, 3, 7);
    const ImageSnapshotRef before = TakeSnapshot(view, "4", "3");
    view.ShiftLeft();
    EXPECT_FALSE(RestoreSnapshot(view, *before));
    EXPECT_EQ(view.FrameImage, before->FrameImage);
    ASSERT_TRUE(view.ResizeImage(2, 5));
    EXPECT_TRUE(RestoreSnapshot(view, *before));
    EXPECT_EQ(view.ImageWidth, 4u);
    EXPECT_EQ(view.ImageHeight, 3u);
    EXPECT_EQ(view.FrameImage, before->FrameImage);
    EXPECT_EQ(before->WidthText, "4");
}

TEST(ImageHistory, SharedImagesAreCountedOnce)
{
    const std::vector<ImageStep> steps = Chain(10, 1000);
    EXPECT_EQ(HistoryBytes(Pointers(steps)), 11u * 1000);
    EXPECT_EQ(HistoryBytes({}), 0u);
}

TEST(ImageHistory, SmallImagesKeepFarMoreThanTheLeastNumberOfSteps)
{
    // 126 x 160, the largest frame of the format's hints.
    const std::vector<ImageStep> steps = Chain(ImageHistoryLimits::MinSteps + 50, 126 * 160);
    ImageHistoryLimits limits;
    EXPECT_EQ(OldestStepsToDrop(Pointers(steps), limits), 0u);
    limits.MaxSteps = 120;
    EXPECT_EQ(OldestStepsToDrop(Pointers(steps), limits), 30u);
}

TEST(ImageHistory, TheOldestStepsGoWhenTheImagesPassTheByteLimit)
{
    // 100 steps of 1 MB images hold 101 MB; 64 MB stay, 64 images: the newest 63 steps.
    const std::vector<ImageStep> steps = Chain(100, 1024 * 1024);
    const std::vector<const ImageStep*> all = Pointers(steps);
    const ImageHistoryLimits limits;
    const size_t drop = OldestStepsToDrop(all, limits);
    EXPECT_EQ(drop, 37u);
    const std::span<const ImageStep* const> kept(all.data() + drop, all.size() - drop);
    EXPECT_LE(HistoryBytes(kept), limits.MaxBytes);
    // One step more would not fit.
    const std::span<const ImageStep* const> more(all.data() + drop - 1, all.size() - drop + 1);
    EXPECT_GT(HistoryBytes(more), limits.MaxBytes);
}

TEST(ImageHistory, AStepLargerThanTheWholeLimitEmptiesTheHistory)
{
    ImageHistoryLimits limits;
    limits.MaxBytes = 1000;
    std::vector<ImageStep> steps = Chain(3, 100);
    steps.push_back({ "Resize", steps.back().After, Snapshot(950) });
    EXPECT_EQ(OldestStepsToDrop(Pointers(steps), limits), 4u);
}

} // namespace
