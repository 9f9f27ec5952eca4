#include <gtest/gtest.h>

#include <random>
#include <set>

#include "TestSupport.h"
#include "viewer/ViewerState.h"

namespace {

// The rule pixel by pixel, with nothing precomputed.
uint8_t ReferenceSurfacePixel(const ViewerState& viewer, int32_t x, int32_t y)
{
    const uint32_t row = viewer.ImageHeight - 1 - (viewer.ScrollV + y) / viewer.Zoom;
    const uint32_t column = (viewer.ScrollH + x) / viewer.Zoom;
    return viewer.FrameImage[row * viewer.ImageWidth + column];
}

} // namespace

TEST(ViewerLayout, LargeImageIsCutToTheViewAreaAndScrolls)
{
    ViewerState viewer = ViewerWith(126, 160, 1);
    viewer.Zoom = 8;
    viewer.ViewAreaWidth = 183;
    viewer.ViewAreaHeight = 108;
    viewer.Relayout();
    EXPECT_EQ(viewer.SurfaceWidth, 183);
    EXPECT_EQ(viewer.SurfaceHeight, 108);
    EXPECT_EQ(viewer.ScrollHMax, 825);
    EXPECT_EQ(viewer.ScrollVMax, 1172);
    EXPECT_TRUE(viewer.ScrollHEnabled);
    EXPECT_TRUE(viewer.ScrollVEnabled);

    // Positions beyond a new maximum come down to it.
    viewer.ScrollH = 800;
    viewer.ScrollV = 1100;
    viewer.Zoom = 2;
    viewer.Relayout();
    EXPECT_EQ(viewer.SurfaceWidth, 183);
    EXPECT_EQ(viewer.ScrollHMax, 252 - 183);
    EXPECT_EQ(viewer.ScrollH, 252 - 183);
    EXPECT_EQ(viewer.ScrollVMax, 320 - 108);
    EXPECT_EQ(viewer.ScrollV, 320 - 108);
}

TEST(ViewerLayout, SmallImageFitsExactlyWithoutScrolling)
{
    ViewerState viewer = ViewerWith(20, 13, 2);
    viewer.Zoom = 3;
    viewer.ViewAreaWidth = 183;
    viewer.ViewAreaHeight = 39; // exactly the magnified height: no scrolling either
    viewer.ScrollH = 40;
    viewer.Relayout();
    EXPECT_EQ(viewer.SurfaceWidth, 60);
    EXPECT_EQ(viewer.SurfaceHeight, 39);
    EXPECT_FALSE(viewer.ScrollHEnabled);
    EXPECT_FALSE(viewer.ScrollVEnabled);
    EXPECT_EQ(viewer.ScrollHMax, 0);
    EXPECT_EQ(viewer.ScrollVMax, 0);
    EXPECT_EQ(viewer.ScrollH, 0);

    viewer.ClearLayout();
    EXPECT_EQ(viewer.ScrollHMax, 0);
    EXPECT_EQ(viewer.ScrollVMax, 0);
    EXPECT_FALSE(viewer.ScrollHEnabled);
    EXPECT_FALSE(viewer.ScrollVEnabled);
}

TEST(ViewerRendering, FillMatchesThePixelRuleOnRandomImagesZoomsAndScrolls)
{
    std::mt19937 random(4242);
    for (int round = 0; round < 300; ++round) {
        ViewerState viewer = ViewerWith(1 + random() % 90, 1 + random() % 90, random());
        viewer.Zoom = static_cast<uint8_t>(1 + random() % 8);
        viewer.ViewAreaWidth = 1 + random() % 200;
        viewer.ViewAreaHeight = 1 + random() % 200;
        viewer.Relayout();
        viewer.ScrollH = viewer.ScrollHMax == 0 ? 0 : random() % (viewer.ScrollHMax + 1);
        viewer.ScrollV = viewer.ScrollVMax == 0 ? 0 : random() % (viewer.ScrollVMax + 1);
        if (round % 5 == 0) { // the far corner, where an off-by-one would read past the image
            viewer.ScrollH = viewer.ScrollHMax;
            viewer.ScrollV = viewer.ScrollVMax;
        }
        const int32_t stride = viewer.SurfaceWidth + 3;
        std::vector<uint8_t> surface(size_t(stride) * viewer.SurfaceHeight, 0xA5);
        viewer.FillSurface(surface.data(), stride);
        for (int32_t y = 0; y < viewer.SurfaceHeight; ++y) {
            for (int32_t x = 0; x < viewer.SurfaceWidth; ++x) {
                ASSERT_EQ(surface[y * stride + x], ReferenceSurfacePixel(viewer, x, y))
                    << "round " << round << " at " << x << "," << y;
                // The mouse mapping names the pixel that is shown there.
                ASSERT_EQ(
                    surface[y * stride + x], viewer.PixelAt(viewer.ColumnAt(x), viewer.RowAt(y)));
            }
            for (int32_t x = viewer.SurfaceWidth; x < stride; ++x)
                ASSERT_EQ(surface[y * stride + x], 0xA5) << "wrote past the row";
        }
    }
}

TEST(ViewerRendering, TopOfThePictureIsAtTheTopOfTheSurface)
{
    ViewerState viewer;
    viewer.ImageWidth = 2;
    viewer.ImageHeight = 2;
    viewer.FrameImage = { 1, 2, 3, 4 }; // bottom row 1 2, top row 3 4
    viewer.Zoom = 2;
    viewer.ViewAreaWidth = viewer.ViewAreaHeight = 100;
    viewer.Relayout();
    std::vector<uint8_t> surface(16);
    viewer.FillSurface(surface.data(), 4);
    EXPECT_EQ(surface, (std::vector<uint8_t> { 3, 3, 4, 4, 3, 3, 4, 4, 1, 1, 2, 2, 1, 1, 2, 2 }));
}

TEST(ViewerRendering, StaleLayoutNeverReadsOutsideTheImage)
{
    ViewerState viewer = ViewerWith(50, 50, 3);
    viewer.Zoom = 1;
    viewer.ViewAreaWidth = viewer.ViewAreaHeight = 40;
    viewer.Relayout();
    viewer.ScrollH = viewer.ScrollV = 10;
    // The image shrinks without a relayout: the part beyond it shows transparent.
    ASSERT_TRUE(viewer.ResizeImage(20, 20));
    std::vector<uint8_t> surface(40 * 40, 0);
    viewer.FillSurface(surface.data(), 40);
    EXPECT_EQ(surface[0], viewer.PixelAt(10, 9));
    EXPECT_EQ(surface[15], TransparentIndex);
    EXPECT_EQ(surface[39 * 40], TransparentIndex);
}

TEST(ViewerBounds, LinesSitOnTheLowestScreenLineOfTheirRowAndOnlyInView)
{
    ViewerState viewer = ViewerWith(10, 40, 4);
    viewer.Zoom = 2;
    viewer.ViewAreaWidth = 100;
    viewer.ViewAreaHeight = 50;
    viewer.Relayout(); // a 20 x 50 surface over 20 x 80, scrolled 0 ... 30
    ASSERT_EQ(viewer.SurfaceHeight, 50);
    ASSERT_EQ(viewer.ScrollVMax, 30);
    const BlockRowSet rows { 0, 10, -1, 30, 39 };

    // Scrolled to the bottom: row 0 on the last surface line, its label lifted to 15 pixels
    // above the edge; rows 30 and 39 are above the visible part.
    viewer.ScrollV = 30;
    std::vector<BoundLine> lines = viewer.BoundLines(rows);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Block, 0);
    EXPECT_EQ(lines[0].Y, 49);
    EXPECT_EQ(lines[0].LabelTop, 35);
    EXPECT_EQ(lines[1].Block, 1);
    EXPECT_EQ(lines[1].Y, 29);
    EXPECT_EQ(lines[1].LabelTop, 29);

    // At the top: the bottom rows are below the surface.
    viewer.ScrollV = 0;
    lines = viewer.BoundLines(rows);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Block, 3);
    EXPECT_EQ(lines[0].Y, 19);
    EXPECT_EQ(lines[1].Block, 4);
    EXPECT_EQ(lines[1].Y, 1);
    EXPECT_EQ(lines[1].LabelTop, 1);

    // Every line reported is inside the surface, at every scroll position.
    for (int32_t scroll = 0; scroll <= 30; ++scroll) {
        viewer.ScrollV = scroll;
        for (const BoundLine& line : viewer.BoundLines({ 0, 1, 2, 20, 39 })) {
            EXPECT_GE(line.Y, 0);
            EXPECT_LT(line.Y, viewer.SurfaceHeight);
            // The line is the last surface row that shows its image row.
            EXPECT_EQ(viewer.RowAt(line.Y), (BlockRowSet { 0, 1, 2, 20, 39 }[line.Block]));
            if (line.Y + 1 < viewer.SurfaceHeight)
                EXPECT_NE(viewer.RowAt(line.Y + 1), viewer.RowAt(line.Y));
        }
    }
    EXPECT_TRUE(viewer.BoundLines({ -1, -1, -1, -1, -1 }).empty());
}

TEST(ViewerResize, KeepsTheTopLeftCornerAndFillsTheRestWithTransparent)
{
    ViewerState viewer;
    viewer.ImageWidth = 4;
    viewer.ImageHeight = 3;
    // Row 0 (bottom) first.
    viewer.FrameImage = { 0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23 };
    ASSERT_TRUE(viewer.ResizeImage(2, 5));
    EXPECT_EQ(viewer.ImageWidth, 2u);
    EXPECT_EQ(viewer.ImageHeight, 5u);
    EXPECT_EQ(viewer.FrameImage, (DataArray { 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 10, 11, 20, 21 }));
}

TEST(ViewerResize, RandomSizesAgainstTheCornerRule)
{
    std::mt19937 random(8);
    for (int round = 0; round < 200; ++round) {
        ViewerState viewer = ViewerWith(1 + random() % 30, 1 + random() % 30, random());
        const ViewerState before = viewer;
        const uint32_t width = 1 + random() % 30, height = 1 + random() % 30;
        ASSERT_TRUE(viewer.ResizeImage(width, height));
        ASSERT_EQ(viewer.FrameImage.size(), size_t(width) * height);
        // Counted from the top row down, as the picture is seen.
        for (uint32_t fromTop = 0; fromTop < height; ++fromTop) {
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t expected = TransparentIndex;
                if (fromTop < before.ImageHeight && x < before.ImageWidth)
                    expected = before.PixelAt(x, before.ImageHeight - 1 - fromTop);
                ASSERT_EQ(viewer.PixelAt(x, height - 1 - fromTop), expected);
            }
        }
    }
}

TEST(ViewerResize, RefusedSizesChangeNothing)
{
    ViewerState viewer = ViewerWith(4, 3, 5);
    const DataArray image = viewer.FrameImage;
    for (auto [width, height] : std::vector<std::pair<uint32_t, uint32_t>> { { 0, 5 }, { 5, 0 },
             { 0, 0 }, { 16385, 1 }, { 1, 16385 }, { 16384, 16384 }, { 0xFFFFFFFF, 2 } }) {
        EXPECT_FALSE(viewer.ResizeImage(width, height)) << width << "x" << height;
        EXPECT_EQ(viewer.ImageWidth, 4u);
        EXPECT_EQ(viewer.ImageHeight, 3u);
        EXPECT_EQ(viewer.FrameImage, image);
    }
    EXPECT_TRUE(viewer.ResizeImage(500, 160)); // larger than the hints say is still fine
    EXPECT_TRUE(viewer.ResizeImage(16384, 4096));
    EXPECT_EQ(viewer.FrameImage.size(), size_t(16384) * 4096);

    ViewerState empty;
    ASSERT_TRUE(empty.ResizeImage(3, 2));
    EXPECT_EQ(empty.FrameImage, DataArray(6, TransparentIndex));
}

TEST(ViewerMouse, SurfacePointsMapToImageColumnsAndRowsFromTheBottom)
{
    ViewerState viewer = ViewerWith(126, 160, 6);
    viewer.Zoom = 8;
    viewer.ScrollH = 825;
    viewer.ScrollV = 0;
    EXPECT_EQ(viewer.ColumnAt(0), 103);
    EXPECT_EQ(viewer.ColumnAt(182), 125);
    EXPECT_EQ(viewer.RowAt(0), 159);
    EXPECT_EQ(viewer.RowAt(7), 159);
    EXPECT_EQ(viewer.RowAt(8), 158);
    viewer.ScrollV = 1172;
    EXPECT_EQ(viewer.RowAt(107), 0);
    EXPECT_TRUE(viewer.InImage(125, 0));
    EXPECT_FALSE(viewer.InImage(126, 0));
    EXPECT_FALSE(viewer.InImage(0, 160));
    EXPECT_FALSE(viewer.InImage(-1, 3));
}

TEST(ViewerStroke, MinorCoordinateIsTruncatedFromTheStart)
{
    auto strokePixels = [](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        ViewerState viewer;
        viewer.ImageWidth = viewer.ImageHeight = 8;
        viewer.FrameImage.assign(64, 0);
        viewer.DrawStroke(x0, y0, x1, y1, 1);
        std::set<std::pair<int, int>> set;
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 8; ++column)
                if (viewer.PixelAt(column, row) == 1)
                    set.insert({ column, row });
        return set;
    };
    using Points = std::set<std::pair<int, int>>;
    EXPECT_EQ(strokePixels(0, 0, 3, 1), (Points { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 1 } }));
    EXPECT_EQ(strokePixels(3, 1, 0, 0), (Points { { 3, 1 }, { 2, 1 }, { 1, 1 }, { 0, 0 } }));
    EXPECT_EQ(strokePixels(1, 0, 0, 3), (Points { { 1, 0 }, { 1, 1 }, { 1, 2 }, { 0, 3 } }));
    EXPECT_EQ(strokePixels(2, 2, 5, 5), (Points { { 2, 2 }, { 3, 3 }, { 4, 4 }, { 5, 5 } }));
    EXPECT_EQ(strokePixels(5, 2, 2, 5), (Points { { 5, 2 }, { 4, 3 }, { 3, 4 }, { 2, 5 } }));
    EXPECT_EQ(strokePixels(4, 4, 4, 4), (Points { { 4, 4 } }));
}

TEST(ViewerStroke, RandomStrokesAreConnectedAndIncludeBothEnds)
{
    std::mt19937 random(31);
    for (int round = 0; round < 300; ++round) {
        ViewerState viewer;
        viewer.ImageWidth = viewer.ImageHeight = 40;
        viewer.FrameImage.assign(1600, 0);
        const int32_t x0 = random() % 40, y0 = random() % 40;
        const int32_t x1 = random() % 40, y1 = random() % 40;
        viewer.DrawStroke(x0, y0, x1, y1, 9);
        EXPECT_EQ(viewer.PixelAt(x0, y0), 9);
        EXPECT_EQ(viewer.PixelAt(x1, y1), 9);
        // One pixel per step of the longer side, one per column (or row) of it.
        const int32_t steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        EXPECT_EQ(std::count(viewer.FrameImage.begin(), viewer.FrameImage.end(), 9), steps + 1);
        // Within the box spanned by the two ends.
        for (int32_t row = 0; row < 40; ++row)
            for (int32_t column = 0; column < 40; ++column)
                if (viewer.PixelAt(column, row) == 9) {
                    EXPECT_GE(column, std::min(x0, x1));
                    EXPECT_LE(column, std::max(x0, x1));
                    EXPECT_GE(row, std::min(y0, y1));
                    EXPECT_LE(row, std::max(y0, y1));
                }
    }
}

TEST(ViewerStroke, PointsOutsideTheImageAreIgnored)
{
    ViewerState viewer = ViewerWith(3, 3, 7);
    const DataArray image = viewer.FrameImage;
    viewer.PutPixel(3, 0, 1);
    viewer.PutPixel(0, -1, 1);
    viewer.DrawStroke(5, 5, 9, 9, 1);
    EXPECT_EQ(viewer.FrameImage, image);
    viewer.DrawStroke(-2, 1, 4, 1, 0x42);
    EXPECT_EQ(viewer.PixelAt(0, 1), 0x42);
    EXPECT_EQ(viewer.PixelAt(2, 1), 0x42);
}

TEST(ViewerShift, RotationsMoveThePictureAsSeenOnScreen)
{
    ViewerState viewer;
    viewer.ImageWidth = 3;
    viewer.ImageHeight = 2;
    viewer.FrameImage = { 1, 2, 3, 4, 5, 6 }; // bottom 1 2 3, top 4 5 6
    viewer.ShiftUp(); // the top row wraps to the bottom
    EXPECT_EQ(viewer.FrameImage, (DataArray { 4, 5, 6, 1, 2, 3 }));
    viewer.FrameImage = { 1, 2, 3, 4, 5, 6 };
    viewer.ShiftLeft();
    EXPECT_EQ(viewer.FrameImage, (DataArray { 2, 3, 1, 5, 6, 4 }));
    viewer.FrameImage = { 1, 2, 3, 4, 5, 6 };
    viewer.ShiftRight();
    EXPECT_EQ(viewer.FrameImage, (DataArray { 3, 1, 2, 6, 4, 5 }));

    viewer.ImageWidth = 2;
    viewer.ImageHeight = 3;
    viewer.FrameImage = { 1, 2, 3, 4, 5, 6 }; // rows 1 2 / 3 4 / 5 6 from the bottom
    viewer.ShiftDown(); // the bottom row wraps to the top
    EXPECT_EQ(viewer.FrameImage, (DataArray { 3, 4, 5, 6, 1, 2 }));
    viewer.ShiftUp();
    EXPECT_EQ(viewer.FrameImage, (DataArray { 1, 2, 3, 4, 5, 6 }));
}

TEST(ViewerShift, RandomImagesAgainstThePixelRuleAndUndoing)
{
    std::mt19937 random(12);
    for (int round = 0; round < 100; ++round) {
        ViewerState viewer = ViewerWith(1 + random() % 12, 1 + random() % 12, random());
        const ViewerState before = viewer;
        const int32_t w = viewer.ImageWidth, h = viewer.ImageHeight;
        viewer.ShiftUp();
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                ASSERT_EQ(viewer.PixelAt(c, (r + 1) % h), before.PixelAt(c, r));
        viewer = before;
        viewer.ShiftRight();
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                ASSERT_EQ(viewer.PixelAt((c + 1) % w, r), before.PixelAt(c, r));

        viewer = before;
        for (int i = 0; i < 4; ++i)
            viewer.ShiftLeft();
        for (int i = 0; i < 4; ++i)
            viewer.ShiftRight();
        EXPECT_EQ(viewer.FrameImage, before.FrameImage);
        for (int i = 0; i < 4; ++i)
            viewer.ShiftDown();
        for (int i = 0; i < 4; ++i)
            viewer.ShiftUp();
        EXPECT_EQ(viewer.FrameImage, before.FrameImage);
        // h shifts down go all the way round.
        for (int32_t i = 0; i < h; ++i)
            viewer.ShiftDown();
        EXPECT_EQ(viewer.FrameImage, before.FrameImage);
    }

    ViewerState oneRow = ViewerWith(5, 1, 13);
    const DataArray row = oneRow.FrameImage;
    oneRow.ShiftUp();
    EXPECT_EQ(oneRow.FrameImage, row);
    oneRow.ShiftDown();
    EXPECT_EQ(oneRow.FrameImage, row);
    ViewerState oneColumn = ViewerWith(1, 5, 14);
    const DataArray column = oneColumn.FrameImage;
    oneColumn.ShiftLeft();
    EXPECT_EQ(oneColumn.FrameImage, column);
    oneColumn.ShiftRight();
    EXPECT_EQ(oneColumn.FrameImage, column);
}

// The frames the lists refuse to decode are exactly the sizes the viewer refuses to hold.
TEST(ViewerLimits, RegressionHugeFrameWasDecodedIntoGigabytes)
{
    auto frame = CELFrame::CreateEmpty();
    struct Case {
        uint32_t Width;
        uint32_t Height;
    };
    const Case cases[] = { { 1, 1 }, { 16384, 1 }, { 16385, 1 }, { 1, 16384 }, { 1, 16385 },
        { 16384, 4096 }, { 16384, 4097 }, { 8192, 8192 }, { 8192, 8193 }, { 4294967295u, 1 },
        { 65536, 65536 }, { 4096, 16384 } };
    for (const Case& c : cases) {
        frame->Width = c.Width;
        frame->Height = c.Height;
        ViewerState view = ViewerWith(2, 2, 1);
        EXPECT_EQ(ViewerState::TooLargeToShow(*frame), !view.ResizeImage(c.Width, c.Height))
            << c.Width << "x" << c.Height;
    }
    frame->Width = 16385;
    frame->Height = 1;
    EXPECT_TRUE(ViewerState::TooLargeToShow(*frame));
    frame->Width = 16384;
    frame->Height = 4096;
    EXPECT_FALSE(ViewerState::TooLargeToShow(*frame));
}
