#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "frames/CommVar.h"
#include "frames/FrameHandler.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<CELFrame> FrameWithData(const Bytes& data, std::array<uint16_t, 5> header = {})
{
    auto frame = CELFrame::CreateEmpty();
    frame->Data = data;
    frame->DataLength = static_cast<uint32_t>(data.size());
    frame->Header = header;
    return frame;
}

// ---- Slow, obviously right references -------------------------------------------------------

bool SameKind(int8_t a, int8_t b)
{
    return (a < 0 && b < 0) || (a > 0 && b > 0);
}
bool Full(int8_t c)
{
    return c < 0 ? c == -128 : c == 127;
}

// The analysis exactly as written for the format: one scan for G, M and T, then CheckWidth
// over the whole data for every k. Sums are kept in 64 bits and a stream of more pixels than
// a 32-bit count holds is refused, as the library does.
uint8_t ReferenceAnalyse(CELFrame& f)
{
    const uint64_t length = f.Data.size();
    if (length == 0) {
        f.Diagnosis = DiagWidth;
        return f.Diagnosis;
    }
    uint64_t g = 0, s = 0, m = 0, t = 0, p = 0;
    while (p < length) {
        const auto c = static_cast<int8_t>(f.Data[p]);
        if (c == 0) {
            f.Diagnosis = DiagNull;
            return f.Diagnosis;
        }
        const uint64_t n = AbsoluteValue(c);
        s += n;
        m = std::max(m, n);
        const uint64_t next = c < 0 ? p + 1 : p + n + 1;
        if (!Full(c) && next < length && SameKind(static_cast<int8_t>(f.Data[next]), c)) {
            g = std::gcd(g, s);
            t += s;
            s = 0;
        }
        p = next;
        if (g > 0 && m > g) {
            f.Diagnosis = DiagWidth;
            return f.Diagnosis;
        }
    }
    if (p > length) {
        f.Diagnosis = DiagBounds;
        return f.Diagnosis;
    }
    t += s;
    g = std::gcd(g, s);
    if (t > UINT32_MAX || m > g) {
        f.Diagnosis = DiagWidth;
        return f.Diagnosis;
    }
    std::vector<uint32_t> widths;
    std::vector<BlockRowSet> rows;
    uint8_t lowest = 255;
    for (uint64_t k = 1; g / k >= m; ++k) {
        const auto w = static_cast<uint32_t>(g / k);
        BlockRowSet scratch;
        const uint8_t r = f.CheckWidth(w, scratch);
        if (r < 4) {
            if (widths.size() == 255) {
                f.Diagnosis = DiagLimit;
                break;
            }
            widths.push_back(w);
            rows.push_back(scratch);
        }
        if (r < lowest) {
            lowest = r;
            f.Diagnosis = r;
        }
    }
    f.WidthCount = static_cast<uint8_t>(widths.size());
    if (widths.empty())
        return f.Diagnosis;
    f.Widths = widths;
    f.BlockRows = rows;
    f.Width = widths[0];
    f.WidthIndex = 0;
    f.Height = static_cast<uint32_t>(t / f.Width);
    if (f.Diagnosis != DiagOK)
        return f.Diagnosis;
    const auto& h = f.Header;
    bool bad = h[0] != 0 && h[0] != 10;
    for (int j = 0; j < 4; ++j)
        bad = bad || (h[j] == 0 && h[j + 1] != 0) || (h[j + 1] != 0 && h[j + 1] < h[j]);
    bad = bad || h[4] >= uint64_t { f.DataLength } + 10;
    if (bad)
        f.Diagnosis = DiagHeader;
    return f.Diagnosis;
}

// Decoding with every bound checked pixel by pixel.
Bytes ReferenceDecode(const CELFrame& f)
{
    const size_t total = size_t { f.Width } * f.Height;
    Bytes stream;
    for (size_t p = 0; p < f.Data.size();) {
        const auto c = static_cast<int8_t>(f.Data[p]);
        if (c < 0) {
            stream.insert(stream.end(), static_cast<size_t>(-c), 255);
            p += 1;
        } else {
            for (int i = 1; i <= c && p + i < f.Data.size(); ++i)
                stream.push_back(f.Data[p + i]);
            p += static_cast<size_t>(c) + 1;
        }
    }
    stream.resize(total, 255);
    return stream;
}

// Encoding pixel by pixel with the counters of the format's description: a transparent
// control byte counts down from 0 until it reaches -128, a literal run grows while the next
// pixel is in the row, opaque, and the run is below 127.
Bytes ReferenceEncode(const Bytes& image, uint32_t width, uint32_t height)
{
    Bytes out;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = image.data() + size_t { y } * width;
        uint32_t x = 0;
        while (x < width) {
            if (row[x] == 255) {
                int control = 0;
                while (x < width && row[x] == 255) {
                    if (control == -128) {
                        out.push_back(0x80);
                        control = 0;
                    }
                    --control;
                    ++x;
                }
                out.push_back(static_cast<uint8_t>(control & 0xFF));
            } else {
                uint32_t n = 1;
                while (x + n < width && n < 127 && row[x + n] != 255)
                    ++n;
                out.push_back(static_cast<uint8_t>(n));
                out.insert(out.end(), row + x, row + x + n);
                x += n;
            }
        }
    }
    return out;
}

void ExpectSameAnalysis(
    const CELFrame& fast, const CELFrame& reference, uint8_t fastCode, uint8_t referenceCode)
{
    ASSERT_EQ(fastCode, referenceCode);
    ASSERT_EQ(fast.Diagnosis, reference.Diagnosis);
    ASSERT_EQ(fast.WidthCount, reference.WidthCount);
    ASSERT_EQ(fast.Width, reference.Width);
    ASSERT_EQ(fast.Height, reference.Height);
    ASSERT_EQ(fast.WidthIndex, reference.WidthIndex);
    ASSERT_GE(fast.Widths.size(), fast.WidthCount);
    ASSERT_GE(fast.BlockRows.size(), fast.WidthCount);
    for (size_t i = 0; i < fast.WidthCount; ++i) {
        ASSERT_EQ(fast.Widths[i], reference.Widths[i]) << "width " << i;
        ASSERT_EQ(fast.BlockRows[i], reference.BlockRows[i]) << "block rows " << i;
    }
}

// Analyses the data both ways, starting from the same earlier state, and compares every field.
void CompareWithReference(const Bytes& data, const std::array<uint16_t, 5>& header)
{
    auto fast = FrameWithData(data, header);
    fast->Width = 7;
    fast->Height = 9;
    fast->WidthCount = 2;
    fast->WidthIndex = 1;
    fast->Widths = { 9, 7 };
    fast->BlockRows = { BlockRowSet { 1, 2, 3, 4, 5 }, BlockRowSet { 5, 4, 3, 2, 1 } };
    auto reference = CELFrame::CreateCopy(*fast);
    const uint8_t fastCode = fast->AnalyseData();
    const uint8_t referenceCode = ReferenceAnalyse(*reference);
    SCOPED_TRACE(::testing::Message()
        << "data length " << data.size() << ", header " << header[0] << ' ' << header[1] << ' '
        << header[2] << ' ' << header[3] << ' ' << header[4]);
    ExpectSameAnalysis(*fast, *reference, fastCode, referenceCode);
}

Bytes RandomImage(std::mt19937& random, uint32_t width, uint32_t height, int transparentPercent)
{
    Bytes image(size_t { width } * height);
    // Stretches rather than independent pixels, so that long runs occur too.
    size_t i = 0;
    while (i < image.size()) {
        const bool transparent = static_cast<int>(random() % 100) < transparentPercent;
        const size_t stretch = 1 + random() % (random() % 4 == 0 ? 300 : 12);
        for (size_t k = 0; k < stretch && i < image.size(); ++k, ++i)
            image[i] = transparent ? 255 : static_cast<uint8_t>(random() % 255);
    }
    return image;
}

// Appends one run of n pixels of the given kind.
void AppendRun(Bytes& data, bool transparent, uint32_t n, std::mt19937& random)
{
    if (transparent) {
        data.push_back(static_cast<uint8_t>(256 - n));
    } else {
        data.push_back(static_cast<uint8_t>(n));
        for (uint32_t i = 0; i < n; ++i)
            data.push_back(static_cast<uint8_t>(random() % 256));
    }
}

uint32_t RandomRunLength(std::mt19937& random, bool transparent)
{
    const uint32_t full = transparent ? 128 : 127;
    switch (random() % 6) {
    case 0:
        return full;
    case 1:
        return full - random() % 3;
    case 2:
        return 1;
    default:
        return 1 + random() % 6;
    }
}

// Runs of random kinds and lengths, with no row structure at all.
Bytes RandomRuns(std::mt19937& random, size_t runs)
{
    Bytes data;
    for (size_t i = 0; i < runs; ++i) {
        const bool transparent = random() % 2 == 0;
        AppendRun(data, transparent, RandomRunLength(random, transparent), random);
    }
    return data;
}

// Rows of width w, each cut into runs of random kinds (two same-kind runs may follow each
// other inside a row, which then no width but a row end explains). Row starts are recorded.
Bytes RandomRows(std::mt19937& random, uint32_t w, uint32_t rows, std::vector<uint32_t>& starts)
{
    Bytes data;
    for (uint32_t r = 0; r < rows; ++r) {
        starts.push_back(static_cast<uint32_t>(data.size()));
        uint32_t left = w;
        // A shorter last row now and then.
        if (r + 1 == rows && random() % 3 == 0)
            left = 1 + random() % w;
        while (left > 0) {
            const bool transparent = random() % 2 == 0;
            const uint32_t n = std::min(left, RandomRunLength(random, transparent));
            AppendRun(data, transparent, n, random);
            left -= n;
        }
    }
    return data;
}

std::array<uint16_t, 5> RandomHeader(
    std::mt19937& random, const std::vector<uint32_t>& starts, size_t dataLength)
{
    std::array<uint16_t, 5> header {};
    switch (random() % 5) {
    case 0:
        break; // stored without Frame Header
    case 1: // the words an encoder would write for rows 0, 32, 64, ...
    case 2: // ... or for some other row spacing
    {
        const size_t step = random() % 2 == 0 ? 32 : 1 + random() % 8;
        for (size_t j = 0; j < 5 && j * step < starts.size(); ++j)
            header[j] = static_cast<uint16_t>(starts[j * step] + 10);
        if (random() % 2 == 0) // one word disturbed
            header[random() % 5] += static_cast<uint16_t>(random() % 3) - 1;
        break;
    }
    case 3: // row starts picked at random, in any order
        for (auto& word : header)
            word
                = starts.empty() ? 0 : static_cast<uint16_t>(starts[random() % starts.size()] + 10);
        break;
    default:
        for (auto& word : header)
            word = static_cast<uint16_t>(random() % (dataLength + 20));
        break;
    }
    return header;
}

std::vector<uint32_t> EncodedRowStarts(const Bytes& image, uint32_t width, uint32_t height)
{
    std::vector<uint32_t> starts;
    for (uint32_t y = 0; y < height; ++y) {
        Bytes head(image.begin(), image.begin() + static_cast<ptrdiff_t>(size_t { y } * width));
        starts.push_back(static_cast<uint32_t>(ReferenceEncode(head, width, y).size()));
    }
    return starts;
}

} // namespace

// ---- Frame record ---------------------------------------------------------------------------

TEST(CELFrameRecord, CreateEmptyIsOneTransparentPixel)
{
    auto frame = CELFrame::CreateEmpty();
    EXPECT_EQ(frame->Diagnosis, DiagOK);
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> {}));
    EXPECT_EQ(frame->Width, 1u);
    EXPECT_EQ(frame->Height, 1u);
    EXPECT_EQ(frame->DataLength, 1u);
    EXPECT_EQ(frame->Data, Bytes { 0xFF });
    EXPECT_EQ(frame->WidthCount, 1);
    EXPECT_EQ(frame->WidthIndex, 0);
    EXPECT_EQ(frame->Widths, NumArray { 1 });
    ASSERT_EQ(frame->BlockRows.size(), 1u);
    EXPECT_EQ(frame->BlockRows[0], (BlockRowSet { -1, -1, -1, -1, -1 }));
    EXPECT_TRUE(frame->Name.empty());
    EXPECT_EQ(FrameCaption(3, *frame), "3, 1x1");
    Bytes image;
    frame->DecodeImage(image);
    EXPECT_EQ(image, Bytes { 255 });
}

TEST(CELFrameRecord, CreateCopyIsDeepAndCopiesListedWidthsOnly)
{
    auto source = FrameWithData({ 0x01, 0x05, 0xFF, 0x01, 0x06 }, { 10, 0, 0, 0, 0 });
    source->AnalyseData();
    source->SelectWidth(1);
    source->Name = "Walk";
    source->Widths.push_back(77); // beyond WidthCount: not copied
    auto copy = CELFrame::CreateCopy(*source);
    EXPECT_EQ(copy->Diagnosis, source->Diagnosis);
    EXPECT_EQ(copy->Header, source->Header);
    EXPECT_EQ(copy->Width, source->Width);
    EXPECT_EQ(copy->Height, source->Height);
    EXPECT_EQ(copy->Data, source->Data);
    EXPECT_EQ(copy->DataLength, source->DataLength);
    EXPECT_EQ(copy->WidthCount, source->WidthCount);
    EXPECT_EQ(copy->WidthIndex, 1);
    EXPECT_EQ(copy->Widths, (NumArray { 3, 1, 1 }));
    EXPECT_EQ(copy->BlockRows.size(), 3u);
    EXPECT_EQ(copy->Name, "Walk");
    copy->Data[0] = 0x7F;
    copy->Name = "Run";
    EXPECT_EQ(source->Data[0], 0x01);
    EXPECT_EQ(source->Name, "Walk");

    source->WidthCount = 0;
    auto none = CELFrame::CreateCopy(*source);
    EXPECT_EQ(none->WidthCount, 0);
    EXPECT_TRUE(none->Widths.empty());
    EXPECT_TRUE(none->BlockRows.empty());
}

TEST(CELFrameRecord, SetSizeChangesOnlyTheSize)
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(64, 32);
    EXPECT_EQ(frame->Width, 64u);
    EXPECT_EQ(frame->Height, 32u);
    EXPECT_EQ(frame->Widths, NumArray { 1 });
    EXPECT_EQ(frame->Data, Bytes { 0xFF });
}

// ---- Decoding -------------------------------------------------------------------------------

TEST(DecodeImage, ExamplesOfTheFormat)
{
    auto one = FrameWithData({ 0xFF });
    Bytes image;
    one->DecodeImage(image);
    EXPECT_EQ(image, Bytes { 255 });

    auto mixed = FrameWithData({ 0x02, 0x07, 0x08, 0x80 });
    mixed->SetSize(130, 1);
    mixed->DecodeImage(image);
    Bytes expected { 7, 8 };
    expected.insert(expected.end(), 128, 255);
    EXPECT_EQ(image, expected);

    auto rows = FrameWithData({ 0x03, 5, 6, 7, 0x03, 8, 9, 10 });
    rows->SetSize(3, 2);
    rows->DecodeImage(image);
    EXPECT_EQ(image, (Bytes { 5, 6, 7, 8, 9, 10 }));
}

TEST(DecodeImage, ShortLastRowIsDroppedExactly)
{
    // Ten one-pixel runs; width 3 is a candidate and leaves a last row of one pixel.
    Bytes data;
    for (uint8_t i = 0; i < 5; ++i) {
        data.push_back(0x01);
        data.push_back(static_cast<uint8_t>(i + 1));
        data.push_back(0xFF);
    }
    auto frame = FrameWithData(data);
    ASSERT_EQ(frame->AnalyseData(), DiagOK);
    ASSERT_TRUE(frame->SelectWidth(2));
    ASSERT_EQ(frame->Width, 3u);
    ASSERT_EQ(frame->Height, 3u);
    Bytes image(100, 0x42);
    frame->DecodeImage(image);
    EXPECT_EQ(image, (Bytes { 1, 255, 2, 255, 3, 255, 4, 255, 5 }));
}

TEST(DecodeImage, NeverWritesPastTheImageForBrokenData)
{
    // Frames that are not viewable, decoded anyway with arbitrary sizes: the image is exactly
    // Width x Height and holds the stream's first pixels. AddressSanitizer guards the bounds.
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes data(1 + random() % 60);
        for (auto& byte : data)
            byte = static_cast<uint8_t>(random() % 4 == 0 ? random() % 3 * 0x7F : random());
        auto frame = FrameWithData(data);
        const uint32_t width = random() % 40;
        frame->SetSize(width, random() % 40);
        Bytes image(random() % 50, 0x11);
        frame->DecodeImage(image);
        ASSERT_EQ(image, ReferenceDecode(*frame)) << "round " << round;
    }
}

// ---- Encoding -------------------------------------------------------------------------------

TEST(EncodeImage, ExamplesOfTheFormat)
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(1, 1);
    frame->EncodeImage({ 255 });
    EXPECT_EQ(frame->Data, Bytes { 0xFF });
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> { 10, 0, 0, 0, 0 }));

    frame->SetSize(3, 2);
    frame->EncodeImage({ 5, 255, 255, 255, 6, 7 });
    EXPECT_EQ(frame->Data, (Bytes { 0x01, 0x05, 0xFE, 0xFF, 0x02, 0x06, 0x07 }));
    EXPECT_EQ(frame->DataLength, 7u);
}

TEST(EncodeImage, RunLengthLimits)
{
    auto frame = CELFrame::CreateEmpty();
    auto encodeRow = [&](const Bytes& row) {
        frame->SetSize(static_cast<uint32_t>(row.size()), 1);
        frame->EncodeImage(row);
        return frame->Data;
    };
    EXPECT_EQ(encodeRow(Bytes(128, 255)), Bytes { 0x80 });
    EXPECT_EQ(encodeRow(Bytes(129, 255)), (Bytes { 0x80, 0xFF }));
    EXPECT_EQ(encodeRow(Bytes(300, 255)), (Bytes { 0x80, 0x80, 0xD4 }));

    Bytes opaque127(127, 9);
    Bytes expected127 { 0x7F };
    expected127.insert(expected127.end(), 127, 9);
    EXPECT_EQ(encodeRow(opaque127), expected127);

    Bytes opaque300(300);
    for (size_t i = 0; i < opaque300.size(); ++i)
        opaque300[i] = static_cast<uint8_t>(i % 200);
    const Bytes data = encodeRow(opaque300);
    ASSERT_EQ(data.size(), 303u);
    EXPECT_EQ(data[0], 0x7F);
    EXPECT_EQ(data[128], 0x7F);
    EXPECT_EQ(data[256], 0x2E);
    EXPECT_EQ(
        Bytes(data.begin() + 257, data.end()), Bytes(opaque300.begin() + 254, opaque300.end()));

    Bytes opaque128(128, 3);
    const Bytes split = encodeRow(opaque128);
    ASSERT_EQ(split.size(), 130u);
    EXPECT_EQ(split[0], 0x7F);
    EXPECT_EQ(split[128], 0x01);
}

TEST(EncodeImage, FrameHeaderPointsAtBlocksOf32Rows)
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(2, 40);
    frame->EncodeImage(Bytes(80, 4));
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> { 10, 106, 0, 0, 0 }));

    frame->SetSize(2, 200);
    frame->EncodeImage(Bytes(400, 4));
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> { 10, 106, 202, 298, 394 }));

    // Exactly 32 rows: no second block.
    frame->SetSize(2, 32);
    frame->EncodeImage(Bytes(64, 4));
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> { 10, 0, 0, 0, 0 }));

    // Offsets beyond 16 bits are kept modulo 65536: rows of 2000 opaque pixels take 2016 bytes.
    frame->SetSize(2000, 70);
    frame->EncodeImage(Bytes(140000, 1));
    EXPECT_EQ(frame->Header[1], 32 * 2016 + 10);
    EXPECT_EQ(frame->Header[2], (64 * 2016 + 10) % 65536);
    EXPECT_EQ(frame->Header[3], 0);
}

TEST(EncodeImage, ZeroSideOrShortImageGivesNoData)
{
    auto frame = CELFrame::CreateEmpty();
    frame->Header = { 10, 20, 0, 0, 0 };
    frame->SetSize(0, 5);
    frame->EncodeImage({});
    EXPECT_EQ(frame->DataLength, 0u);
    EXPECT_TRUE(frame->Data.empty());
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> {}));

    frame->SetSize(4, 4);
    frame->EncodeImage(Bytes(15, 1));
    EXPECT_EQ(frame->DataLength, 0u);

    // Analysing no data reads nothing and finds no width; the earlier size stays.
    frame->SetSize(4, 4);
    EXPECT_EQ(frame->AnalyseData(), DiagWidth);
    EXPECT_EQ(frame->Width, 4u);
    EXPECT_EQ(frame->Height, 4u);
    EXPECT_EQ(FrameCaption(0, *frame), "0, 4x4, #Width");
}

TEST(EncodeImage, AgreesWithPixelByPixelEncoderOnRandomImages)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 400; ++round) {
        const uint32_t width = 1 + random() % (round % 4 == 0 ? 400 : 40);
        const uint32_t height = 1 + random() % 80;
        const int percent = static_cast<int>(random() % 101);
        const Bytes image = RandomImage(random, width, height, percent);
        auto frame = CELFrame::CreateEmpty();
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        ASSERT_EQ(frame->Data, ReferenceEncode(image, width, height)) << width << 'x' << height;
        ASSERT_EQ(frame->DataLength, frame->Data.size());
        const auto starts = EncodedRowStarts(image, width, std::min<uint32_t>(height, 129));
        for (uint32_t j = 0; j < 5; ++j) {
            const uint16_t expected
                = 32 * j < height ? static_cast<uint16_t>(starts[32 * j] + 10) : 0;
            ASSERT_EQ(frame->Header[j], expected) << "word " << j;
        }
    }
}

// ---- Round trip: encode, analyse, select the width, decode ----------------------------------

TEST(FrameRoundTrip, RandomImagesComeBackAtTheirWidth)
{
    std::mt19937 random(31337);
    int listed = 0;
    for (int round = 0; round < 500; ++round) {
        const uint32_t width = 1 + random() % (round % 5 == 0 ? 300 : 48);
        const uint32_t height = 1 + random() % (round % 7 == 0 ? 200 : 40);
        const int percent = static_cast<int>(random() % 101);
        const Bytes image = RandomImage(random, width, height, percent);
        auto frame = CELFrame::CreateEmpty();
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        const uint8_t code = frame->AnalyseData();
        ASSERT_LT(code, DiagWidth) << width << 'x' << height;
        const auto at
            = std::find(frame->Widths.begin(), frame->Widths.begin() + frame->WidthCount, width);
        if (at == frame->Widths.begin() + frame->WidthCount) {
            // Only a list cut at 255 entries can miss the image's own width.
            ASSERT_EQ(code, DiagLimit) << width << 'x' << height;
            continue;
        }
        ++listed;
        // The encoder's own Frame Header meets the row starts and is consistent, also when the
        // rows from 128 on take fewer bytes than the header itself.
        ASSERT_NE(code, DiagBlocks);
        ASSERT_NE(code, DiagHeader);
        ASSERT_TRUE(frame->SelectWidth(static_cast<uint32_t>(at - frame->Widths.begin())));
        ASSERT_EQ(frame->Height, height);
        BlockRowSet rows;
        frame->GetBlockRows(rows);
        for (uint32_t j = 0; j < 5; ++j)
            ASSERT_EQ(rows[j], 32 * j < height ? static_cast<int32_t>(32 * j) : -1);
        Bytes decoded;
        frame->DecodeImage(decoded);
        ASSERT_EQ(decoded, image) << width << 'x' << height;
    }
    EXPECT_GT(listed, 400);
}

// ---- Width detection: examples --------------------------------------------------------------

TEST(AnalyseData, SingleRunAndPlainImage)
{
    auto one = FrameWithData({ 0xFF });
    EXPECT_EQ(one->AnalyseData(), DiagOK);
    EXPECT_EQ(one->Widths, NumArray { 1 });
    EXPECT_EQ(one->Height, 1u);

    auto plain = FrameWithData({ 4, 1, 2, 3, 4, 4, 5, 6, 7, 8 });
    EXPECT_EQ(plain->AnalyseData(), DiagOK);
    EXPECT_EQ(plain->WidthCount, 1);
    EXPECT_EQ(plain->Widths, NumArray { 4 });
    EXPECT_EQ(plain->Width, 4u);
    EXPECT_EQ(plain->Height, 2u);
}

TEST(AnalyseData, RepeatedWidthsAreListedAgain)
{
    Bytes data;
    for (int i = 0; i < 5; ++i)
        data.insert(data.end(), { 0x01, 0x33, 0xFF });
    auto frame = FrameWithData(data);
    EXPECT_EQ(frame->AnalyseData(), DiagOK);
    EXPECT_EQ(frame->WidthCount, 10);
    EXPECT_EQ(frame->Widths, (NumArray { 10, 5, 3, 2, 2, 1, 1, 1, 1, 1 }));
    EXPECT_EQ(frame->Width, 10u);
    EXPECT_EQ(frame->Height, 1u);
    EXPECT_EQ(frame->BlockRows.size(), 10u);
}

TEST(AnalyseData, WidthsMustMeetEveryForcedRowEnd)
{
    // Twenty one-pixel runs of alternating kinds, except that runs 9 and 10 are both
    // transparent: a row must end at pixel 10. G = 10, and 3 fits every run but not that end.
    Bytes data;
    for (int i = 0; i < 20; ++i) {
        const bool transparent = i < 10 ? i % 2 == 1 : i % 2 == 0;
        if (transparent)
            data.push_back(0xFF);
        else
            data.insert(data.end(), { 0x01, static_cast<uint8_t>(i) });
    }
    auto frame = FrameWithData(data);
    EXPECT_EQ(frame->AnalyseData(), DiagOK);
    EXPECT_EQ(frame->Widths, (NumArray { 10, 5, 2, 2, 1, 1, 1, 1, 1 }));
    EXPECT_EQ(frame->Height, 2u);
}

TEST(AnalyseData, BrokenDataLeavesTheFrameButItsDiagnosis)
{
    auto nullByte = FrameWithData({ 0x02, 0x00, 0x05, 0x00, 0xFF });
    nullByte->SetSize(5, 6);
    EXPECT_EQ(nullByte->AnalyseData(), DiagNull);
    EXPECT_EQ(nullByte->Width, 5u);
    EXPECT_EQ(nullByte->Height, 6u);
    EXPECT_EQ(nullByte->Widths, NumArray { 1 });
    EXPECT_EQ(FrameCaption(4, *nullByte), "4, 5x6, #Null");

    auto zeroPixel = FrameWithData({ 0x02, 0x00, 0x00, 0xFE }); // zeros inside a literal run
    EXPECT_EQ(zeroPixel->AnalyseData(), DiagOK);

    auto bounds = FrameWithData({ 0x05, 0x01, 0x02 });
    EXPECT_EQ(bounds->AnalyseData(), DiagBounds);
    EXPECT_EQ(bounds->Width, 1u);
    EXPECT_FALSE(bounds->Viewable());

    // Two forced row ends 3 pixels apart and a run of 5: no width fits.
    auto noWidth = FrameWithData({ 0xFD, 0xFB, 0xFD });
    EXPECT_EQ(noWidth->AnalyseData(), DiagWidth);
    EXPECT_EQ(noWidth->WidthCount, 1); // an early verdict changes nothing else

    // G = 2 and M = 2, but the transparent run covers pixel 2: the search lists nothing, so
    // WidthCount is 0 while the old list and size stay.
    auto searched = FrameWithData({ 0x01, 0x0A, 0xFE, 0x01, 0x0B, 0x02, 0x0C, 0x0D });
    searched->SetSize(6, 1);
    EXPECT_EQ(searched->AnalyseData(), DiagWidth);
    EXPECT_EQ(searched->WidthCount, 0);
    EXPECT_EQ(searched->Widths, NumArray { 1 });
    EXPECT_EQ(searched->Width, 6u);
    EXPECT_FALSE(searched->SelectWidth(0));
}

TEST(AnalyseData, StreamBeyond32BitPixelCountFindsNoWidth)
{
    // 2^25 + 1 full transparent runs hold more pixels than a 32-bit count; a wrapped total
    // would make up a small width.
    auto frame = FrameWithData(Bytes((size_t { 1 } << 25) + 1, 0x80));
    EXPECT_EQ(frame->AnalyseData(), DiagWidth);
}

TEST(AnalyseData, FrameHeaderWordsAndBlockRows)
{
    // Rows of one literal pixel (2 bytes each): a row starts at every even byte.
    Bytes rows2;
    for (int i = 0; i < 60; ++i)
        rows2.insert(rows2.end(), { 0x01, static_cast<uint8_t>(i + 1) });

    auto ok = FrameWithData(rows2, { 10, 0, 0, 0, 0 });
    EXPECT_EQ(ok->AnalyseData(), DiagOK);
    EXPECT_EQ(ok->Widths, NumArray { 1 });
    EXPECT_EQ(ok->BlockRows[0], (BlockRowSet { 0, -1, -1, -1, -1 }));

    auto row20 = FrameWithData(rows2, { 10, 50, 0, 0, 0 });
    EXPECT_EQ(row20->AnalyseData(), DiagOK);
    BlockRowSet got;
    row20->GetBlockRows(got);
    EXPECT_EQ(got, (BlockRowSet { 0, 20, -1, -1, -1 }));

    auto between = FrameWithData(rows2, { 10, 51, 0, 0, 0 });
    EXPECT_EQ(between->AnalyseData(), DiagBlocks);
    EXPECT_EQ(FrameCaption(1, *between), "1, 1x60, !Blocks");

    auto zeroFirst = FrameWithData(rows2, { 0, 50, 0, 0, 0 });
    EXPECT_EQ(zeroFirst->AnalyseData(), DiagHeader);
    EXPECT_EQ(zeroFirst->BlockRows[0], (BlockRowSet { -1, 20, -1, -1, -1 }));

    auto beyond = FrameWithData(rows2, { 10, 500, 0, 0, 0 }); // points past the last row start
    EXPECT_EQ(beyond->AnalyseData(), DiagOK);
    EXPECT_EQ(beyond->BlockRows[0], (BlockRowSet { 0, -1, -1, -1, -1 }));

    // The words count the 10 header bytes: 130 is the end of this frame's 120 data bytes.
    auto lastWord = FrameWithData(rows2, { 10, 20, 30, 40, 130 });
    EXPECT_EQ(lastWord->AnalyseData(), DiagHeader);
    auto lastRowWord = FrameWithData(rows2, { 10, 20, 30, 40, 128 }); // the last row's start
    EXPECT_EQ(lastRowWord->AnalyseData(), DiagOK);
    EXPECT_EQ(lastRowWord->BlockRows[0], (BlockRowSet { 0, 5, 10, 15, 59 }));
    auto lastWordInside = FrameWithData(rows2, { 10, 20, 30, 40, 118 });
    EXPECT_EQ(lastWordInside->AnalyseData(), DiagOK);
    EXPECT_EQ(lastWordInside->BlockRows[0], (BlockRowSet { 0, 5, 10, 15, 54 }));

    auto descending = FrameWithData(rows2, { 10, 30, 30, 20, 0 });
    EXPECT_EQ(descending->AnalyseData(), DiagBlocks); // 30, 30 equal is fine; 20 is passed

    // A first word other than 10 that still meets a row start is placed, then judged.
    auto notTen = FrameWithData(rows2, { 12, 0, 0, 0, 0 });
    EXPECT_EQ(notTen->AnalyseData(), DiagHeader);
    EXPECT_EQ(notTen->BlockRows[0], (BlockRowSet { 1, -1, -1, -1, -1 }));
    auto oddFirst = FrameWithData(rows2, { 11, 0, 0, 0, 0 });
    EXPECT_EQ(oddFirst->AnalyseData(), DiagBlocks);

    // Rows of 10 bytes (a literal run of 9): the word 20 is passed after 30 was placed.
    Bytes rows10;
    for (int i = 0; i < 8; ++i) {
        rows10.push_back(9);
        rows10.insert(rows10.end(), 9, static_cast<uint8_t>(i + 1));
    }
    auto passed = FrameWithData(rows10, { 10, 30, 20, 0, 0 });
    EXPECT_EQ(passed->AnalyseData(), DiagBlocks);
    EXPECT_EQ(passed->Widths, NumArray { 9 });
    EXPECT_EQ(passed->BlockRows[0], (BlockRowSet { 0, 2, -1, -1, -1 }));
}

TEST(AnalyseData, MoreThan255WidthsAreCut)
{
    Bytes data;
    for (int i = 0; i < 150; ++i)
        data.insert(data.end(), { 0x01, 0x10, 0xFF });
    auto frame = FrameWithData(data);
    EXPECT_EQ(frame->AnalyseData(), DiagLimit);
    ASSERT_EQ(frame->WidthCount, 255);
    ASSERT_EQ(frame->Widths.size(), 255u);
    for (uint32_t k = 1; k <= 255; ++k)
        ASSERT_EQ(frame->Widths[k - 1], 300 / k);
    EXPECT_EQ(FrameCaption(0, *frame), "0, 300x1, !Limit");
    EXPECT_TRUE(frame->Viewable());
}

// ---- Width detection: fast search against the reference -------------------------------------

TEST(AnalyseDataReference, EncodedImagesWithAllKindsOfHeaders)
{
    std::mt19937 random(11);
    for (int round = 0; round < 600; ++round) {
        const uint32_t width = 1 + random() % (round % 6 == 0 ? 260 : 24);
        const uint32_t height = 1 + random() % 70;
        const int percent = static_cast<int>(random() % 101);
        const Bytes image = RandomImage(random, width, height, percent);
        auto frame = CELFrame::CreateEmpty();
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        const auto starts = EncodedRowStarts(image, width, height);
        auto header
            = random() % 3 == 0 ? frame->Header : RandomHeader(random, starts, frame->Data.size());
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(frame->Data, header)) << "round " << round;
    }
}

TEST(AnalyseDataReference, RandomRowsAndRandomRuns)
{
    std::mt19937 random(12);
    for (int round = 0; round < 2500; ++round) {
        std::vector<uint32_t> starts;
        Bytes data;
        switch (round % 3) {
        case 0:
            data = RandomRuns(random, 1 + random() % 60);
            break;
        default: {
            const uint32_t w = 1 + random() % (random() % 4 == 0 ? 300 : 12);
            data = RandomRows(random, w, 1 + random() % 50, starts);
            break;
        }
        }
        const auto header = RandomHeader(random, starts, data.size());
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(data, header)) << "round " << round;
    }
}

TEST(AnalyseDataReference, TinyRunsGiveManyCandidates)
{
    // One-pixel runs of alternating kinds admit nearly every width; a few longer runs and
    // same-kind pairs remove some of them.
    std::mt19937 random(13);
    for (int round = 0; round < 300; ++round) {
        Bytes data;
        const size_t runs = 20 + random() % 500;
        // Few same-kind pairs leave G large, so that many widths are tried against them.
        const uint32_t keepKind = round % 2 == 0 ? 8 : 150;
        bool transparent = false;
        for (size_t i = 0; i < runs; ++i) {
            if (random() % keepKind != 0)
                transparent = !transparent;
            // Every third round only one-pixel runs: then each width meets every run, and
            // only the forced row ends decide.
            const uint32_t n = round % 3 != 2 && random() % 16 == 0 ? 2 + random() % 3 : 1;
            AppendRun(data, transparent, n, random);
        }
        std::vector<uint32_t> starts;
        for (uint32_t p = 0; p < data.size(); p += 1 + random() % 9)
            starts.push_back(p);
        const auto header = RandomHeader(random, starts, data.size());
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(data, header)) << "round " << round;
    }
}

TEST(AnalyseDataReference, LongDataWithHeaderWordsEverywhere)
{
    // Frames longer than a header word can reach: words still meet the row starts below
    // 65536, and everything after lies beyond them.
    std::mt19937 random(15);
    for (int round = 0; round < 12; ++round) {
        const uint32_t width = 1500 + random() % 1500;
        const uint32_t height = 60 + random() % 30;
        const int percent = static_cast<int>(random() % 20);
        const Bytes image = RandomImage(random, width, height, percent);
        auto frame = CELFrame::CreateEmpty();
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        ASSERT_GT(frame->Data.size(), 65536u);
        const auto starts = EncodedRowStarts(image, width, height);
        std::array<uint16_t, 5> header { 10, 0, 0, 0, 0 };
        for (size_t j = 1; j < 5; ++j) {
            const uint32_t start = starts[random() % starts.size()];
            header[j] = static_cast<uint16_t>(start < 65526 ? start + 10 : random());
        }
        std::sort(header.begin(), header.end());
        if (round % 3 == 0)
            header = frame->Header;
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(frame->Data, header)) << "round " << round;
    }
}

TEST(AnalyseDataReference, RandomBytes)
{
    std::mt19937 random(14);
    for (int round = 0; round < 3000; ++round) {
        Bytes data(1 + random() % 40);
        for (auto& byte : data)
            byte = static_cast<uint8_t>(random() % 5 == 0 ? 0xFF : random());
        std::array<uint16_t, 5> header {};
        for (auto& word : header)
            word = static_cast<uint16_t>(random() % 3 == 0 ? 0 : random() % 60);
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(data, header)) << "round " << round;
    }
}

// ---- Selection, block rows, captions --------------------------------------------------------

TEST(SelectWidth, MovesOnlyTheSelectionAndKeepsThePixelCount)
{
    Bytes data;
    for (int i = 0; i < 6; ++i)
        data.insert(data.end(), { 0x01, 0x20, 0xFF });
    auto frame = FrameWithData(data);
    ASSERT_EQ(frame->AnalyseData(), DiagOK);
    ASSERT_EQ(frame->Widths, (NumArray { 12, 6, 4, 3, 2, 2, 1, 1, 1, 1, 1, 1 }));

    EXPECT_FALSE(frame->SelectWidth(frame->WidthCount));
    EXPECT_EQ(frame->Width, 12u);
    EXPECT_EQ(frame->Height, 1u);
    EXPECT_EQ(frame->WidthIndex, 0);

    EXPECT_TRUE(frame->SelectWidth(2));
    EXPECT_EQ(frame->Width, 4u);
    EXPECT_EQ(frame->Height, 3u);
    EXPECT_EQ(frame->WidthIndex, 2);
    EXPECT_TRUE(frame->SelectWidth(1));
    EXPECT_EQ(frame->Width, 6u);
    EXPECT_EQ(frame->Height, 2u);

    // The height is derived from the current size, not from the pixel total.
    frame->SetSize(5, 5);
    EXPECT_TRUE(frame->SelectWidth(3));
    EXPECT_EQ(frame->Width, 3u);
    EXPECT_EQ(frame->Height, 8u);
}

TEST(FrameCaption, NumberSizeAndSuffixOrName)
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(64, 32);
    EXPECT_EQ(FrameCaption(12, *frame), "12, 64x32");
    const char* suffixes[]
        = { "", ", !Header", ", !Limit", ", !Blocks", ", #Width", ", #Null", ", #Bounds" };
    for (uint8_t code = 0; code < 7; ++code) {
        frame->Diagnosis = code;
        EXPECT_EQ(FrameCaption(12, *frame), std::string("12, 64x32") + suffixes[code]);
        EXPECT_EQ(frame->Viewable(), code < 4);
    }
    frame->Name = "Walk";
    EXPECT_EQ(FrameCaption(12, *frame), " Walk");
}

// ---- Inside a CEL file ----------------------------------------------------------------------

TEST(FrameData, LoadAndSaveWithAndWithoutHeader)
{
    const Bytes stored { 0x0A, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 0x01, 0x05, 0x01, 0x06 };
    auto frame = CELFrame::CreateEmpty();
    EXPECT_EQ(frame->LoadData(stored, true), DiagOK);
    EXPECT_EQ(frame->Header, (std::array<uint16_t, 5> { 10, 12, 0, 0, 0 }));
    EXPECT_EQ(frame->Data, (Bytes { 0x01, 0x05, 0x01, 0x06 }));
    EXPECT_EQ(frame->DataLength, 4u);
    EXPECT_EQ(frame->Widths, NumArray { 1 });
    EXPECT_EQ(frame->BlockRows[0], (BlockRowSet { 0, 1, -1, -1, -1 }));
    Bytes out { 0x99 };
    frame->SaveData(out, true);
    EXPECT_EQ(Bytes(out.begin() + 1, out.end()), stored);
    out.clear();
    frame->SaveData(out, false);
    EXPECT_EQ(out, (Bytes { 0x01, 0x05, 0x01, 0x06 }));

    auto bare = CELFrame::CreateEmpty();
    bare->Header = { 1, 2, 3, 4, 5 };
    EXPECT_EQ(bare->LoadData(stored, false), DiagBounds);
    EXPECT_EQ(bare->Header, (std::array<uint16_t, 5> {}));
    EXPECT_EQ(bare->DataLength, stored.size());
}

// Regression: rows from 128 on that took fewer bytes than the header itself made the encoder's
// own Frame Header look inconsistent (", !Header" on a sound frame).
TEST(AnalyseData, ShortTailAfterRow128KeepsTheEncodersHeaderConsistent)
{
    const uint32_t width = 4, height = 130;
    DataArray image(width * height, 7);
    std::fill(image.begin() + 128 * width, image.end(), TransparentIndex); // 1 byte per row
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    ASSERT_EQ(frame->DataLength, 128u * 5 + 2);
    EXPECT_EQ(frame->Header[4], 10 + 128u * 5);
    EXPECT_EQ(frame->AnalyseData(), DiagOK);
    EXPECT_EQ(FrameCaption(0, *frame), "0, 4x130");
}

// Streams of long runs (mostly full ones) keep their run starts as a list rather than a bit
// per pixel; the search must give the same widths, block rows and codes either way.
TEST(AnalyseDataReference, LongRunsGiveTheSameResultAsShortOnes)
{
    std::mt19937 random(17);
    for (int round = 0; round < 400; ++round) {
        Bytes data;
        const size_t runs = 1 + random() % 300;
        bool transparent = random() % 2 == 0;
        for (size_t i = 0; i < runs; ++i) {
            const uint32_t full = transparent ? 128 : 127;
            // Mostly full runs of one kind in a row, so that G stays large and many widths are
            // tried; now and then a short run or a change of kind.
            const uint32_t n = random() % 6 == 0 ? 1 + random() % full : full;
            AppendRun(data, transparent, n, random);
            if (random() % 5 == 0)
                transparent = !transparent;
        }
        std::vector<uint32_t> starts;
        for (uint32_t p = 0; p < data.size(); p += 1 + random() % 200)
            starts.push_back(p);
        const auto header = RandomHeader(random, starts, data.size());
        ASSERT_NO_FATAL_FAILURE(CompareWithReference(data, header)) << "round " << round;
    }
}
