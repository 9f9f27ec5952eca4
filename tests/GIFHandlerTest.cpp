#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "TestSupport.h"
#include "bitmaps/GIFHandler.h"
#include "bitmaps/ImageFiles.h"
#include "frames/FileIO.h"

namespace {

// ---- giflib's own reading of a file, with its high-level reader, image by image.

struct RawGIF {
    int Width = 0, Height = 0, Background = -1;
    std::vector<GifColorType> Table;
    std::optional<int> Loop; // from a NETSCAPE2.0 block
    std::vector<GifImageDesc> Images;
    std::vector<std::vector<uint8_t>> Rasters; // top row first, deinterlaced
    std::vector<GraphicsControlBlock> Controls;
};

RawGIF Slurp(const std::vector<uint8_t>& bytes)
{
    struct Source {
        const std::vector<uint8_t>& Bytes;
        size_t At = 0;
    } source { bytes };
    auto read = [](GifFileType* gif, GifByteType* buffer, int length) {
        auto* s = static_cast<Source*>(gif->UserData);
        const size_t n = std::min<size_t>(size_t(length), s->Bytes.size() - s->At);
        std::memcpy(buffer, s->Bytes.data() + s->At, n);
        s->At += n;
        return int(n);
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read, &error);
    RawGIF raw;
    EXPECT_TRUE(gif) << error;
    if (!gif)
        return raw;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK) << gif->Error;
    raw.Width = gif->SWidth;
    raw.Height = gif->SHeight;
    raw.Background = gif->SBackGroundColor;
    if (gif->SColorMap)
        raw.Table.assign(gif->SColorMap->Colors, gif->SColorMap->Colors + gif->SColorMap->ColorCount);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        raw.Images.push_back(image.ImageDesc);
        raw.Rasters.emplace_back(image.RasterBits,
            image.RasterBits + size_t(image.ImageDesc.Width) * image.ImageDesc.Height);
        GraphicsControlBlock control {};
        EXPECT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
        raw.Controls.push_back(control);
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            const ExtensionBlock& next = image.ExtensionBlocks[e + 1];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11
                && std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3
                && next.Bytes[0] == 1)
                raw.Loop = next.Bytes[1] | next.Bytes[2] << 8;
        }
    }
    DGifCloseFile(gif, &error);
    return raw;
}

// ---- A GIF writer of the test's own, giflib's low-level one, for frames the program never
// writes: any place, size, disposal, transparency, local colour table and interlacing.

struct TestFrame {
    int Left = 0, Top = 0, Width = 1, Height = 1;
    int Disposal = DISPOSAL_UNSPECIFIED;
    int Transparent = NO_TRANSPARENT_COLOR;
    bool Interlace = false;
    std::vector<GifColorType> Local; // empty: the global table
    std::vector<uint8_t> Pixels; // top row first
};

// A GIF89a writer of giflib's own, into bytes.
GifFileType* OpenWriter(std::vector<uint8_t>& bytes)
{
    auto write = [](GifFileType* gif, const GifByteType* data, int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
        out->insert(out->end(), data, data + length);
        return length;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, write, &error);
    EGifSetGifVersion(gif, true);
    return gif;
}

std::vector<uint8_t> MakeGIF(int width, int height, const std::vector<GifColorType>& global,
    const std::vector<TestFrame>& frames)
{
    std::vector<uint8_t> bytes;
    GifFileType* gif = OpenWriter(bytes);
    ColorMapObject* table = GifMakeMapObject(int(global.size()), global.data());
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, table), GIF_OK);
    GifFreeMapObject(table);
    for (const TestFrame& frame : frames) {
        GraphicsControlBlock control { frame.Disposal, false, 5, frame.Transparent };
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        ColorMapObject* local = frame.Local.empty()
            ? nullptr
            : GifMakeMapObject(int(frame.Local.size()), frame.Local.data());
        EXPECT_EQ(EGifPutImageDesc(gif, frame.Left, frame.Top, frame.Width, frame.Height,
                      frame.Interlace, local),
            GIF_OK);
        if (local)
            GifFreeMapObject(local);
        std::vector<int> order;
        for (int pass = 0; pass < (frame.Interlace ? 4 : 1); ++pass) {
            const int start[4] = { 0, 4, 2, 1 }, step[4] = { 8, 8, 4, 2 };
            for (int y = frame.Interlace ? start[pass] : 0; y < frame.Height;
                 y += frame.Interlace ? step[pass] : 1)
                order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> line(frame.Pixels.begin() + size_t(y) * frame.Width,
                frame.Pixels.begin() + size_t(y + 1) * frame.Width);
            EXPECT_EQ(EGifPutLine(gif, line.data(), frame.Width), GIF_OK);
        }
        // giflib 5.2 drops (without freeing) the local colour table of an image when the next
        // image has none; freed here instead.
        if (gif->Image.ColorMap) {
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
    }
    int error = 0;
    EGifCloseFile(gif, &error);
    return bytes;
}

// The file EncodeGIF writes, made with giflib's own coder (EGifPutLine) instead of ours: the
// slow, plain reference that our coder must match byte for byte.
std::vector<uint8_t> GiflibGIF(const std::vector<Bitmap>& frames, const PaletteModel& palette,
    const GIFAnimation& animation)
{
    std::vector<uint8_t> bytes;
    GifFileType* gif = OpenWriter(bytes);
    std::vector<GifColorType> colours;
    for (uint32_t colour : palette.Palette)
        colours.push_back({ GifByteType(colour), GifByteType(colour >> 8), GifByteType(colour >> 16) });
    ColorMapObject* table = GifMakeMapObject(256, colours.data());
    uint32_t width = 0, height = 0;
    GIFCanvasSize(frames, width, height);
    const uint32_t zoom = animation.Zoom;
    EGifPutScreenDesc(gif, int(width * zoom), int(height * zoom), 8, 255, table);
    GifFreeMapObject(table);
    if (animation.LoopCount >= 0) {
        const uint8_t loop[3] = { 1, uint8_t(animation.LoopCount), uint8_t(animation.LoopCount >> 8) };
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    const std::vector<uint16_t> delays = GIFDelays(frames.size(), animation.FramesPerSecond);
    for (size_t k = 0; k < frames.size(); ++k) {
        const Bitmap& frame = frames[k];
        GraphicsControlBlock control { DISPOSE_BACKGROUND, false, delays[k], 255 };
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        EGifPutImageDesc(gif, 0, int((height - frame.BitmapHeight) * zoom),
            int(frame.BitmapWidth * zoom), int(frame.BitmapHeight * zoom), false, nullptr);
        for (uint32_t y = frame.BitmapHeight * zoom; y-- > 0;) {
            std::vector<GifPixelType> line;
            for (uint32_t x = 0; x < frame.BitmapWidth * zoom; ++x)
                line.push_back(frame.BitmapPixels[size_t(y / zoom) * frame.BitmapWidth + x / zoom]);
            EGifPutLine(gif, line.data(), int(line.size()));
        }
    }
    int error = 0;
    EGifCloseFile(gif, &error);
    return bytes;
}

uint32_t ColourOf(const GifColorType& c)
{
    return uint32_t(c.Red) | uint32_t(c.Green) << 8 | uint32_t(c.Blue) << 16;
}

constexpr uint32_t Clear = 0xFF000000; // no colour: nothing drawn there

// A viewer's way, pixel by pixel, in colours: the canvas, top row first, after each frame.
std::vector<std::vector<uint32_t>> ReferenceFrames(
    int width, int height, const std::vector<GifColorType>& global, const std::vector<TestFrame>& frames)
{
    std::vector<uint32_t> canvas(size_t(width) * height, Clear);
    std::vector<std::vector<uint32_t>> shown;
    for (const TestFrame& frame : frames) {
        const std::vector<uint32_t> before = canvas;
        const auto& table = frame.Local.empty() ? global : frame.Local;
        auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < width && y < height; };
        for (int y = 0; y < frame.Height; ++y)
            for (int x = 0; x < frame.Width; ++x) {
                const int pixel = frame.Pixels[size_t(y) * frame.Width + x];
                if (pixel != frame.Transparent && inside(frame.Left + x, frame.Top + y))
                    canvas[size_t(frame.Top + y) * width + frame.Left + x] = ColourOf(table[size_t(pixel)]);
            }
        shown.push_back(canvas);
        for (int y = 0; y < frame.Height; ++y)
            for (int x = 0; x < frame.Width; ++x)
                if (inside(frame.Left + x, frame.Top + y)) {
                    const size_t at = size_t(frame.Top + y) * width + frame.Left + x;
                    if (frame.Disposal == DISPOSE_BACKGROUND)
                        canvas[at] = Clear;
                    else if (frame.Disposal == DISPOSE_PREVIOUS)
                        canvas[at] = before[at];
                }
    }
    return shown;
}

std::vector<Bitmap> ReadAll(const std::vector<uint8_t>& file, const PaletteModel& palette,
    uint8_t* result = nullptr, std::string* reason = nullptr)
{
    std::vector<Bitmap> frames;
    const uint8_t r = DecodeGIF(file, palette, [&](const Bitmap& canvas) {
        frames.push_back(canvas);
        return true;
    }, reason);
    if (result)
        *result = r;
    else
        EXPECT_EQ(r, BitmapOK) << (reason ? *reason : "");
    return frames;
}

// The frames as the animation window draws them: a canvas of the largest sides, each frame at
// its bottom left, every pixel a zoom x zoom square; top row first.
std::vector<uint8_t> Placed(const std::vector<Bitmap>& frames, size_t k, uint32_t zoom)
{
    uint32_t width = 0, height = 0;
    GIFCanvasSize(frames, width, height);
    std::vector<uint8_t> canvas(size_t(width) * height * zoom * zoom, TransparentIndex);
    const Bitmap& frame = frames[k];
    for (uint32_t y = 0; y < height * zoom; ++y)
        for (uint32_t x = 0; x < width * zoom; ++x) {
            const uint32_t row = height - 1 - y / zoom; // from the bottom
            if (x / zoom < frame.BitmapWidth && row < frame.BitmapHeight)
                canvas[size_t(y) * width * zoom + x]
                    = frame.BitmapPixels[size_t(row) * frame.BitmapWidth + x / zoom];
        }
    return canvas;
}

std::vector<uint8_t> TopFirst(const Bitmap& bitmap)
{
    std::vector<uint8_t> rows;
    for (uint32_t r = bitmap.BitmapHeight; r-- > 0;)
        rows.insert(rows.end(), bitmap.BitmapPixels.begin() + size_t(r) * bitmap.BitmapWidth,
            bitmap.BitmapPixels.begin() + size_t(r + 1) * bitmap.BitmapWidth);
    return rows;
}

} // namespace

TEST(GIFDelays, KeepPaceWithTheSpeedWithinHalfAHundredth)
{
    EXPECT_EQ(GIFDelays(6, 15), (std::vector<uint16_t> { 7, 6, 7, 7, 6, 7 }));
    EXPECT_EQ(GIFDelays(3, 1), (std::vector<uint16_t> { 100, 100, 100 }));
    for (uint32_t fps = 1; fps <= MaxGIFFramesPerSecond; ++fps) {
        const std::vector<uint16_t> delays = GIFDelays(500, fps);
        uint64_t sum = 0;
        for (size_t k = 0; k < delays.size(); ++k) {
            sum += delays[k];
            EXPECT_LE(std::fabs(double(sum) - 100.0 * double(k + 1) / fps), 0.5) << fps << " " << k;
            EXPECT_GE(delays[k], 1) << fps;
        }
    }
}

// Frames of mixed sizes written, then read back by giflib itself and by our reader.
TEST(GIFWrite, EveryFrameReadsBackToItsIndicesThroughGiflibAndOurReader)
{
    std::mt19937 random(22);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::vector<Bitmap> frames;
        const size_t count = 1 + random() % 6;
        for (size_t k = 0; k < count; ++k)
            frames.push_back(RandomBitmap(random, round % 2 ? 0 : 200, 9, 7));
        GIFAnimation animation;
        animation.Zoom = 1 + random() % MaxGIFZoom;
        animation.FramesPerSecond = 1 + random() % 60;
        animation.LoopCount = int32_t(random() % 4) - 1; // play once, for ever, 1 or 2
        if (round == 5)
            animation.LoopCount = 65535;
        if (round < 3) {
            // Noise on a large frame: the code table fills up and starts again many times.
            // Round 2 is runs of one byte, which fill it with strings of one byte repeated.
            Bitmap noise { 251, 173, DataArray(251 * 173) };
            for (uint8_t& pixel : noise.BitmapPixels)
                pixel = uint8_t(round == 0 ? random() : 250 + random() % 6);
            if (round == 2) {
                noise = { 509, 499, DataArray(509 * 499) };
                for (size_t at = 0; at < noise.BitmapPixels.size();) {
                    const size_t length = std::min<size_t>(1 + random() % 60, noise.BitmapPixels.size() - at);
                    std::fill_n(noise.BitmapPixels.begin() + long(at), length, uint8_t(random()));
                    at += length;
                }
            }
            frames.back() = noise;
            animation.Zoom = round == 2 ? 1 : 1 + uint32_t(round);
        }
        PaletteModel palette = DistinctPalette(uint32_t(round));
        palette.WholePalette = true;
        const std::vector<uint8_t> file = EncodeGIF(frames, palette, animation);
        ASSERT_FALSE(file.empty());
        EXPECT_TRUE(file == GiflibGIF(frames, palette, animation)) << "not giflib's own coding";
        EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
        EXPECT_EQ(file.back(), 0x3B); // the trailer

        uint32_t width = 0, height = 0;
        GIFCanvasSize(frames, width, height);
        const RawGIF raw = Slurp(file);
        EXPECT_EQ(raw.Width, int(width * animation.Zoom));
        EXPECT_EQ(raw.Height, int(height * animation.Zoom));
        EXPECT_EQ(raw.Background, 255);
        ASSERT_EQ(raw.Table.size(), 256u);
        for (size_t i = 0; i < 256; ++i)
            EXPECT_EQ(ColourOf(raw.Table[i]), palette.Palette[i] & 0xFFFFFF) << i;
        if (animation.LoopCount == GIFAnimation::PlayOnce)
            EXPECT_FALSE(raw.Loop);
        else
            EXPECT_EQ(raw.Loop, animation.LoopCount);
        ASSERT_EQ(raw.Images.size(), count);
        const std::vector<uint16_t> delays = GIFDelays(count, animation.FramesPerSecond);
        const std::vector<Bitmap> read = ReadAll(file, palette);
        ASSERT_EQ(read.size(), count);
        for (size_t k = 0; k < count; ++k) {
            SCOPED_TRACE(k);
            // giflib: the frame's own rectangle at the bottom left, its pixels zoomed.
            const GifImageDesc& image = raw.Images[k];
            EXPECT_EQ(image.Left, 0);
            EXPECT_EQ(image.Top + image.Height, raw.Height);
            EXPECT_EQ(image.Width, int(frames[k].BitmapWidth * animation.Zoom));
            EXPECT_EQ(image.Height, int(frames[k].BitmapHeight * animation.Zoom));
            EXPECT_EQ(raw.Controls[k].DisposalMode, DISPOSE_BACKGROUND);
            EXPECT_EQ(raw.Controls[k].TransparentColor, 255);
            EXPECT_EQ(raw.Controls[k].DelayTime, delays[k]);
            std::vector<uint8_t> whole(size_t(raw.Width) * raw.Height, TransparentIndex);
            for (int y = 0; y < image.Height; ++y)
                std::copy_n(raw.Rasters[k].begin() + size_t(y) * image.Width, image.Width,
                    whole.begin() + size_t(image.Top + y) * raw.Width);
            const std::vector<uint8_t> expected = Placed(frames, k, animation.Zoom);
            EXPECT_EQ(whole, expected);
            // Our reader: the whole canvas as a viewer shows it.
            EXPECT_EQ(TopFirst(read[k]), expected);
        }
    }
}

TEST(GIFWrite, RefusesWhatAGIFCannotHoldAndLeavesNoFile)
{
    std::mt19937 random(7);
    const std::vector<Bitmap> frames { RandomBitmap(random, 0, 5, 5) };
    const PaletteModel palette = DistinctPalette(1);
    auto with = [](uint32_t fps, uint32_t zoom, int32_t loop) {
        GIFAnimation a;
        a.FramesPerSecond = fps;
        a.Zoom = zoom;
        a.LoopCount = loop;
        return a;
    };
    for (const GIFAnimation& bad : { with(0, 1, 0), with(101, 1, 0), with(15, 0, 0),
             with(15, 9, 0), with(15, 1, -2), with(15, 1, 65536) })
        EXPECT_TRUE(EncodeGIF(frames, palette, bad).empty());
    EXPECT_TRUE(EncodeGIF({}, palette, {}).empty());
    Bitmap wide { 8192, 1, DataArray(8192, 130) };
    EXPECT_FALSE(EncodeGIF(std::vector<Bitmap> { wide }, palette, with(15, 8, 0)).size() > 0);
    EXPECT_FALSE(EncodeGIF(std::vector<Bitmap> { wide }, palette, with(15, 7, 0)).empty());
    Bitmap short_ { 3, 3, DataArray(8, 130) };
    EXPECT_TRUE(EncodeGIF(std::vector<Bitmap> { short_ }, palette, {}).empty());

    TempDir dir;
    const std::string path = dir.File("a.gif");
    WriteBytes(path, { 1, 2, 3 });
    AtomicFileWriter::SetFailAfterBytesForTesting(100); // a disk that fills up
    EXPECT_EQ(WriteGIF(path, frames, palette, {}), BitmapCannotCreate);
    AtomicFileWriter::SetFailAfterBytesForTesting(-1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t> { 1, 2, 3 }));
    EXPECT_EQ(WriteGIF(dir.File("missing/a.gif"), frames, palette, {}), BitmapCannotCreate);
    ASSERT_EQ(WriteGIF(path, frames, palette, {}), BitmapWritten);
    EXPECT_EQ(ReadBytes(path), EncodeGIF(frames, palette, {}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// GIFs the program never writes: frames anywhere (also partly beyond the canvas), each
// disposal method, transparency, local colour tables, interlacing. Each frame must read as a
// viewer composites it in colours, then matched pixel by pixel by the nearest-colour rule.
TEST(GIFRead, FramesAreCompositedAsAViewerShowsThem)
{
    std::mt19937 random(4);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const int width = 1 + int(random() % 12), height = 1 + int(random() % 10);
        auto table = [&](int size) {
            std::vector<GifColorType> colours(static_cast<size_t>(size));
            for (auto& c : colours)
                c = { GifByteType(random()), GifByteType(random()), GifByteType(random()) };
            return colours;
        };
        const std::vector<GifColorType> global = table(1 << (1 + random() % 8));
        std::vector<TestFrame> frames(1 + random() % 6);
        for (TestFrame& frame : frames) {
            frame.Left = int(random() % (width + 2));
            frame.Top = int(random() % (height + 2));
            frame.Width = 1 + int(random() % (width + 1));
            frame.Height = 1 + int(random() % (height + 1));
            frame.Disposal = int(random() % 4);
            frame.Interlace = random() % 3 == 0;
            if (random() % 3 == 0)
                frame.Local = table(1 << (1 + random() % 8));
            const int colours = int((frame.Local.empty() ? global : frame.Local).size());
            frame.Transparent = random() % 3 ? int(random() % colours) : NO_TRANSPARENT_COLOR;
            frame.Pixels.resize(size_t(frame.Width) * frame.Height);
            for (auto& p : frame.Pixels)
                p = uint8_t(random() % 2 && frame.Transparent >= 0 ? frame.Transparent : random() % colours);
        }
        const std::vector<uint8_t> file = MakeGIF(width, height, global, frames);
        const auto expected = ReferenceFrames(width, height, global, frames);
        PaletteModel palette = DistinctPalette(uint32_t(round));
        palette.WholePalette = round % 2 == 0;
        palette.Palette[255] = ColourOf(global[0]); // that colour enters as transparent
        const std::vector<Bitmap> read = ReadAll(file, palette);
        ASSERT_EQ(read.size(), frames.size());
        for (size_t k = 0; k < frames.size(); ++k) {
            ASSERT_EQ(read[k].BitmapWidth, uint32_t(width));
            ASSERT_EQ(read[k].BitmapHeight, uint32_t(height));
            const std::vector<uint8_t> indices = TopFirst(read[k]);
            for (size_t i = 0; i < indices.size(); ++i) {
                const uint32_t colour = expected[k][i];
                ASSERT_EQ(indices[i], colour == Clear ? 255 : ReferenceNearest(palette, colour))
                    << "frame " << k << " pixel " << i;
            }
        }
        // Import takes the first frame, and only that.
        Bitmap first;
        ASSERT_EQ(DecodeImageFile(file, palette, first), BitmapOK);
        EXPECT_EQ(first.BitmapPixels, read[0].BitmapPixels);
        EXPECT_EQ(DetectImageFileFormat(file), ImageFileFormat::GIF);
    }
}

// Damage anywhere is refused with a reason, also after the frames an import takes; nothing of
// it may crash or be taken for a picture.
TEST(GIFRead, DamagedFilesAreRefusedWithAReason)
{
    std::mt19937 random(9);
    std::vector<Bitmap> frames;
    for (auto [width, height] : { std::pair { 20u, 11u }, { 7u, 20u }, { 13u, 14u } }) {
        Bitmap frame { width, height, {} }; // a canvas of 20 x 20
        for (uint32_t i = 0; i < frame.BitmapWidth * frame.BitmapHeight; ++i)
            frame.BitmapPixels.push_back(uint8_t(127 + random() % 129));
        frames.push_back(frame);
    }
    const PaletteModel palette = DistinctPalette(3);
    const std::vector<uint8_t> file = EncodeGIF(frames, palette, {});
    // Every cut short of the trailer.
    for (size_t length = 0; length + 1 < file.size(); ++length) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + length);
        std::string reason;
        uint8_t result = 0;
        ReadAll(cut, palette, &result, &reason);
        EXPECT_EQ(result, BitmapUnsupported) << length;
        EXPECT_FALSE(reason.empty()) << length;
        Bitmap untouched { 1, 1, { 7 } };
        EXPECT_EQ(DecodeGIFFirstFrame(cut, palette, untouched), BitmapUnsupported);
        EXPECT_EQ(untouched.BitmapPixels, DataArray { 7 });
    }
    auto refusal = [&](std::vector<uint8_t> bytes) {
        std::string reason;
        uint8_t result = 0;
        ReadAll(bytes, palette, &result, &reason);
        EXPECT_EQ(result, BitmapUnsupported);
        return reason;
    };
    std::vector<uint8_t> bad = file;
    bad[3] = '9';
    bad[4] = '0';
    EXPECT_EQ(refusal(bad), "no \"GIF87a\" or \"GIF89a\" signature");
    // The screen descriptor's sides: 0 wide, and 65535 x 65535, far above the limit.
    bad = file;
    bad[6] = bad[7] = 0;
    EXPECT_EQ(refusal(bad), "empty canvas of 0 x 20 pixels");
    bad = file;
    bad[6] = bad[7] = bad[8] = bad[9] = 0xFF;
    EXPECT_EQ(refusal(bad), "canvas of 65535 x 65535 pixels, more than the 67108864 an import takes");
    // A trailer right after the header: no frame.
    const size_t header = 13 + 768;
    bad.assign(file.begin(), file.begin() + header);
    bad.push_back(0x3B);
    EXPECT_EQ(refusal(bad), "no frame");
    bad.back() = 0x42;
    EXPECT_EQ(refusal(bad), "unknown block 0x42 after frame 0");

    // A two-entry table and a pixel of index 2.
    TestFrame frame;
    frame.Width = 2;
    frame.Pixels = { 1, 2 };
    const std::vector<GifColorType> two { { 0, 0, 0 }, { 9, 9, 9 } };
    EXPECT_EQ(refusal(MakeGIF(2, 1, two, { frame })),
        "pixel index 2 beyond the colour table of 2 entries in frame 0");
    frame.Transparent = 2; // the transparent index needs no colour
    uint8_t result = 0;
    ReadAll(MakeGIF(2, 1, two, { frame }), palette, &result);
    EXPECT_EQ(result, BitmapOK);

    // Frames that together would exceed the limit of a read.
    const std::vector<uint8_t> many = EncodeGIF(frames, palette, {});
    GIFReadLimits limits;
    limits.TotalPixels = 3 * 20 * 20 - 1;
    std::string reason;
    EXPECT_EQ(DecodeGIF(many, palette, [](const Bitmap&) { return true; }, &reason, UINT32_MAX, limits),
        BitmapUnsupported);
    EXPECT_EQ(reason, "frames of more than 1199 pixels in all");
    limits.TotalPixels += 1;
    EXPECT_EQ(DecodeGIF(many, palette, [](const Bitmap&) { return true; }, &reason, UINT32_MAX, limits),
        BitmapOK);
}
