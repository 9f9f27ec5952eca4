#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "frames/CL2Codec.h"
#include "frames/FrameHandler.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Header = std::array<uint16_t, 5>;

std::unique_ptr<CELFrame> CL2Frame(const Bytes& data, Header header = { 10, 0, 0, 0, 0 })
{
    auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
    frame->Data = data;
    frame->DataLength = static_cast<uint32_t>(data.size());
    frame->Header = header;
    return frame;
}

// ---- Slow, obviously right references ------------------------------------------------------

struct Run {
    uint64_t byte; // position of the control byte
    uint64_t pixel; // pixels before the run
    uint32_t length;
    bool opaque; // fill or literal
};

// The runs of sound data, or false for a zero control byte or a run past the end.
bool ReferenceRuns(const Bytes& data, std::vector<Run>& runs, uint8_t& fault)
{
    runs.clear();
    uint64_t p = 0, x = 0;
    while (p < data.size()) {
        const uint8_t b = data[p];
        if (b == 0) {
            fault = DiagNull;
            return false;
        }
        Run run { p, x, 0, b >= 0x80 };
        if (b <= 0x7F) {
            run.length = b;
            p += 1;
        } else if (b <= 0xBE) {
            run.length = 191 - b;
            p += 2;
        } else {
            run.length = 256 - b;
            p += 1 + run.length;
        }
        x += run.length;
        runs.push_back(run);
    }
    if (p > data.size()) {
        fault = DiagBounds;
        return false;
    }
    return true;
}

// Every width from T down to 1 walked over every run; the header words checked by searching
// the runs for the byte each names.
uint8_t ReferenceAnalyse(CELFrame& f)
{
    std::vector<Run> runs;
    uint8_t fault = 0;
    if (f.Data.empty()) {
        f.Diagnosis = DiagWidth;
        return DiagWidth;
    }
    if (!ReferenceRuns(f.Data, runs, fault)) {
        f.Diagnosis = fault;
        return fault;
    }
    const uint64_t total = runs.back().pixel + runs.back().length;
    std::vector<uint32_t> agreeing, fitting;
    std::vector<BlockRowSet> agreeingRows, fittingRows;
    for (uint64_t w = total; w >= 1; --w) {
        if (total % w != 0)
            continue;
        bool fits = true;
        for (const Run& run : runs) {
            for (uint64_t x = run.pixel + 1; x < run.pixel + run.length && run.opaque; ++x)
                fits = fits && x % w != 0;
        }
        if (!fits)
            continue;
        BlockRowSet rows { f.Header[0] == 10 ? 0 : -1, -1, -1, -1, -1 };
        bool agrees = true;
        for (uint32_t k = 1; k < 5; ++k) {
            const uint64_t word = f.Header[k];
            if (word == 0 || word < 10 || word >= f.Data.size() + 10)
                continue;
            bool found = false;
            for (const Run& run : runs)
                found = found || (run.byte == word - 10 && run.pixel == 32 * k * w);
            if (found)
                rows[k] = static_cast<int32_t>(32 * k);
            else
                agrees = false;
        }
        fitting.push_back(static_cast<uint32_t>(w));
        fittingRows.push_back(rows);
        if (agrees) {
            agreeing.push_back(static_cast<uint32_t>(w));
            agreeingRows.push_back(rows);
        }
    }
    uint8_t code = DiagOK;
    if (agreeing.empty()) {
        agreeing = fitting;
        agreeingRows = fittingRows;
        code = DiagBlocks;
    }
    if (agreeing.size() > 255) {
        agreeing.resize(255);
        agreeingRows.resize(255);
        code = DiagLimit;
    }
    f.Widths = agreeing;
    f.BlockRows = agreeingRows;
    f.WidthCount = static_cast<uint8_t>(agreeing.size());
    f.Width = agreeing[0];
    f.WidthIndex = 0;
    f.Height = static_cast<uint32_t>(total / f.Width);
    const Header& h = f.Header;
    if (code == DiagOK) {
        bool bad = h[0] != 10;
        for (int j = 0; j < 4; ++j)
            bad = bad || (h[j] == 0 && h[j + 1] != 0) || (h[j + 1] != 0 && h[j + 1] < h[j]);
        if (bad)
            code = DiagHeader;
    }
    f.Diagnosis = code;
    return code;
}

// The encoder as the format describes it, pixel by pixel.
void ReferenceEncode(
    const Bytes& image, uint32_t width, uint32_t height, Bytes& data, Header& header)
{
    data.clear();
    header.fill(0);
    uint32_t pending = 0;
    auto flush = [&] {
        while (pending > 0) {
            const uint32_t n = std::min<uint32_t>(pending, 127);
            data.push_back(static_cast<uint8_t>(n));
            pending -= n;
        }
    };
    for (uint32_t y = 0; y < height; ++y) {
        if (y % 32 == 0 && y < 160) {
            flush();
            header[y / 32] = static_cast<uint16_t>(data.size() + 10);
        }
        const uint8_t* row = image.data() + size_t { y } * width;
        uint32_t x = 0;
        while (x < width) {
            if (row[x] == 255) {
                ++pending;
                ++x;
                continue;
            }
            flush();
            uint32_t end = x;
            while (end < width && row[end] != 255)
                ++end;
            auto threeEqual = [&](uint32_t i) {
                return i + 2 < end && row[i] == row[i + 1] && row[i] == row[i + 2];
            };
            while (x < end) {
                if (threeEqual(x)) {
                    uint32_t count = 0;
                    const uint8_t value = row[x];
                    while (x < end && row[x] == value) {
                        ++count;
                        ++x;
                    }
                    while (count > 0) {
                        const uint32_t n = std::min<uint32_t>(count, 63);
                        data.push_back(static_cast<uint8_t>(191 - n));
                        data.push_back(value);
                        count -= n;
                    }
                } else {
                    Bytes literal { row[x++] };
                    while (x < end && literal.size() < 65 && !threeEqual(x))
                        literal.push_back(row[x++]);
                    data.push_back(static_cast<uint8_t>(256 - literal.size()));
                    data.insert(data.end(), literal.begin(), literal.end());
                }
            }
        }
    }
    flush();
}

// Pictures like sprites: patches of one colour, stretches of noise and transparent margins.
Bytes RandomImage(std::mt19937& random, uint32_t width, uint32_t height)
{
    Bytes image(size_t { width } * height);
    uint8_t value = 0;
    uint32_t left = 0;
    const uint32_t mode = random() % 3;
    for (auto& pixel : image) {
        if (left == 0) {
            left = 1 + random() % (mode == 0 ? 4 : 80);
            const uint32_t kind = random() % 3;
            value = kind == 0 ? 255 : static_cast<uint8_t>(random() % (kind == 1 ? 3 : 255));
        }
        --left;
        pixel = random() % 7 == 0 && value != 255 ? static_cast<uint8_t>(random() % 255) : value;
    }
    return image;
}

// Random run sequences, including ones no encoder writes, with random Frame Header words.
Bytes RandomRuns(std::mt19937& random, size_t runs)
{
    Bytes data;
    for (size_t i = 0; i < runs; ++i) {
        const uint32_t kind = random() % 3;
        if (kind == 0) {
            data.push_back(static_cast<uint8_t>(1 + random() % (random() % 2 ? 3 : 127)));
        } else if (kind == 1) {
            data.push_back(static_cast<uint8_t>(0x80 + random() % 63));
            data.push_back(static_cast<uint8_t>(random()));
        } else {
            const uint32_t n = 1 + random() % (random() % 2 ? 3 : 65);
            data.push_back(static_cast<uint8_t>(256 - n));
            for (uint32_t j = 0; j < n; ++j)
                data.push_back(static_cast<uint8_t>(random()));
        }
    }
    return data;
}

void ExpectSameAnalysis(const CELFrame& fast, const CELFrame& slow)
{
    ASSERT_EQ(fast.Diagnosis, slow.Diagnosis);
    if (fast.Diagnosis >= DiagWidth)
        return;
    ASSERT_EQ(fast.WidthCount, slow.WidthCount);
    for (uint32_t i = 0; i < fast.WidthCount; ++i) {
        EXPECT_EQ(fast.Widths[i], slow.Widths[i]) << i;
        EXPECT_EQ(fast.BlockRows[i], slow.BlockRows[i]) << i;
    }
    EXPECT_EQ(fast.Width, slow.Width);
    EXPECT_EQ(fast.Height, slow.Height);
    EXPECT_EQ(fast.WidthIndex, 0);
}

} // namespace

TEST(CL2Codec, ExamplesOfTheFormat)
{
    struct Case {
        uint32_t width, height;
        Bytes image;
        Bytes data;
    };
    const Case cases[] = {
        { 4, 1, Bytes(4, 9), { 0xBB, 0x09 } },
        { 300, 1, Bytes(300, 255), { 0x7F, 0x7F, 0x2E } },
        { 64, 1, Bytes(64, 5), { 0x80, 0x05, 0xBE, 0x05 } },
        { 3, 2, { 5, 255, 255, 255, 6, 7 }, { 0xFF, 0x05, 0x03, 0xFE, 0x06, 0x07 } },
        // A literal stops where 3 equal pixels start; 2 equal pixels stay in it.
        { 7, 1, { 1, 2, 2, 3, 3, 3, 4 }, { 0xFD, 1, 2, 2, 0xBC, 3, 0xFF, 4 } },
        // Literal runs hold 65 pixels at most.
        { 66, 1,
            [] {
                Bytes b;
                for (int i = 0; i < 66; ++i)
                    b.push_back(static_cast<uint8_t>(i % 2));
                return b;
            }(),
            [] {
                Bytes d { 0xBF };
                for (int i = 0; i < 65; ++i)
                    d.push_back(static_cast<uint8_t>(i % 2));
                d.push_back(0xFF);
                d.push_back(1);
                return d;
            }() },
    };
    for (const Case& c : cases) {
        auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
        frame->SetSize(c.width, c.height);
        frame->EncodeImage(c.image);
        EXPECT_EQ(frame->Data, c.data);
        EXPECT_EQ(frame->DataLength, c.data.size());
        EXPECT_EQ(frame->Header, (Header { 10, 0, 0, 0, 0 }));
        Bytes decoded;
        DecodeCL2(c.data, c.width, c.height, decoded);
        EXPECT_EQ(decoded, c.image);
    }
}

TEST(CL2Codec, EmptyFrameIsOneTransparentPixel)
{
    auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
    EXPECT_EQ(frame->Data, (Bytes { 0x01 }));
    EXPECT_EQ(frame->Header, (Header { 10, 0, 0, 0, 0 }));
    auto analysed = CELFrame::CreateCopy(*frame);
    EXPECT_EQ(analysed->AnalyseData(), DiagOK);
    EXPECT_EQ(*analysed, *frame);
    Bytes image;
    frame->DecodeImage(image);
    EXPECT_EQ(image, (Bytes { 255 }));
}

// Header words 1 to 4 name the start of rows 32 ... 128; the transparent pixels gathered
// across row ends are cut there, and only there.
TEST(CL2Codec, FrameHeaderAndGatheringOverBlocksOfRows)
{
    for (uint32_t height : { 32u, 33u, 64u, 65u, 200u }) {
        SCOPED_TRACE(height);
        Bytes image(size_t { 2 } * height, 255);
        auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
        frame->SetSize(2, height);
        frame->EncodeImage(image);
        Bytes expected;
        Header header {};
        for (uint32_t block = 0; block * 32 < height && block < 5; ++block) {
            header[block] = static_cast<uint16_t>(expected.size() + 10);
            uint32_t pixels = 2 * std::min(32u, height - block * 32);
            if (block == 4)
                pixels = 2 * (height - 128);
            for (; pixels > 0; pixels -= std::min(pixels, 127u))
                expected.push_back(static_cast<uint8_t>(std::min(pixels, 127u)));
        }
        EXPECT_EQ(frame->Data, expected);
        EXPECT_EQ(frame->Header, header);
        EXPECT_EQ(frame->AnalyseData(), DiagOK);
        // 33 rows or more with word 1 set: the true width alone.
        if (height > 32) {
            EXPECT_EQ(frame->WidthCount, 1);
            EXPECT_EQ(frame->Width, 2u);
        }
    }
}

TEST(CL2Codec, EncoderAgreesWithReferenceAndRoundTrips)
{
    std::mt19937 random(20);
    for (int i = 0; i < 400; ++i) {
        const uint32_t width = 1 + random() % (i % 4 == 0 ? 300 : 40);
        const uint32_t height = 1 + random() % (i % 5 == 0 ? 170 : 40);
        const Bytes image = RandomImage(random, width, height);
        auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        Bytes data;
        Header header;
        ReferenceEncode(image, width, height, data, header);
        ASSERT_EQ(frame->Data, data) << width << "x" << height;
        ASSERT_EQ(frame->Header, header);

        auto slow = CELFrame::CreateCopy(*frame);
        ASSERT_LT(frame->AnalyseData(), DiagWidth);
        ReferenceAnalyse(*slow);
        ExpectSameAnalysis(*frame, *slow);
        const auto found = std::find(frame->Widths.begin(), frame->Widths.end(), width);
        ASSERT_NE(found, frame->Widths.end());
        if (height > 32)
            EXPECT_EQ(frame->WidthCount, 1);
        ASSERT_TRUE(frame->SelectWidth(static_cast<uint32_t>(found - frame->Widths.begin())));
        EXPECT_EQ(frame->Height, height);
        Bytes decoded;
        frame->DecodeImage(decoded);
        ASSERT_EQ(decoded, image);
    }
}

// Random runs, some not as the encoder writes them, and Frame Headers that agree, point
// between runs, past the data or fall: the width search must match the slow one exactly,
// and CheckWidth must give each listed width's code and block rows.
TEST(CL2Codec, WidthSearchAgreesWithReferenceOnRandomRuns)
{
    std::mt19937 random(2020);
    for (int i = 0; i < 1500; ++i) {
        Bytes data = RandomRuns(random, 1 + random() % (i % 3 == 0 ? 6 : 60));
        Header header { 10, 0, 0, 0, 0 };
        const uint32_t headerKind = random() % 4;
        for (uint32_t k = 1; k < 5 && headerKind > 0; ++k) {
            if (random() % 2)
                header[k] = static_cast<uint16_t>(random() % (data.size() + 14));
        }
        if (headerKind == 3)
            header[0] = static_cast<uint16_t>(random() % 12);
        if (random() % 20 == 0)
            data[random() % data.size()] = 0;
        if (random() % 20 == 0)
            data.pop_back();
        auto fast = CL2Frame(data, header);
        auto slow = CL2Frame(data, header);
        const uint8_t code = fast->AnalyseData();
        ReferenceAnalyse(*slow);
        ASSERT_NO_FATAL_FAILURE(ExpectSameAnalysis(*fast, *slow)) << "case " << i;
        if (code >= DiagWidth)
            continue;
        for (uint32_t j = 0; j < fast->WidthCount; ++j) {
            BlockRowSet rows;
            const uint8_t check = fast->CheckWidth(fast->Widths[j], rows);
            EXPECT_EQ(check, code == DiagBlocks ? DiagBlocks : DiagOK);
            EXPECT_EQ(rows, fast->BlockRows[j]);
        }
        // Any width that is no candidate does not fit, or only fits without agreeing.
        for (uint32_t w = 1; w <= 70; ++w) {
            BlockRowSet rows;
            const bool listed
                = std::count(fast->Widths.begin(), fast->Widths.begin() + fast->WidthCount, w) > 0;
            const uint8_t check = fast->CheckWidth(w, rows);
            if (!listed && code != DiagLimit)
                EXPECT_TRUE(check == DiagWidth || (check == DiagBlocks && code != DiagBlocks));
        }
    }
}

TEST(CL2Codec, DiagnosesOfBrokenData)
{
    struct Case {
        Bytes data;
        Header header;
        uint8_t code;
    };
    const Case cases[] = {
        { { 0x05, 0x00, 0x05 }, { 10 }, DiagNull },
        { { 0xFC, 1, 2 }, { 10 }, DiagBounds }, // a literal of 4 with 2 bytes
        { { 0x05, 0x80 }, { 10 }, DiagBounds }, // a fill without its index
        { {}, { 10 }, DiagWidth }, { { 0x04 }, { 0, 0, 0, 0, 0 }, DiagHeader },
        { { 0x04 }, { 10, 0, 11, 0, 0 }, DiagHeader }, // word 2 is past the data: ignored
        { { 0x02, 0x02 }, { 10, 11, 0, 0, 0 }, DiagBlocks }, // row 32 cannot start at byte 1
        { { 0x02, 0x02 }, { 10, 12, 0, 0, 0 }, DiagOK }, // word 1 past the data
    };
    for (const Case& c : cases) {
        auto frame = CL2Frame(c.data, c.header);
        const auto before = CELFrame::CreateCopy(*frame);
        EXPECT_EQ(frame->AnalyseData(), c.code);
        if (c.code > DiagWidth) {
            frame->Diagnosis = before->Diagnosis;
            EXPECT_EQ(*frame, *before) << "a broken frame changes only its diagnosis";
        }
    }
    // Decoding never leaves the image, whatever the bytes.
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        Bytes data(random() % 40);
        for (auto& byte : data)
            byte = static_cast<uint8_t>(random());
        const uint32_t width = 1 + random() % 20, height = random() % 20;
        Bytes image;
        DecodeCL2(data, width, height, image);
        EXPECT_EQ(image.size(), size_t { width } * height);
    }
}

TEST(CL2Codec, ManyDivisorsAreCutAt255)
{
    // 720720 transparent pixels in one row: 240 divisors, all fitting; 1081080 has 256.
    for (uint32_t total : { 720720u, 1081080u }) {
        Bytes data(total / 127, 127);
        data.push_back(static_cast<uint8_t>(total % 127));
        auto frame = CL2Frame(data);
        auto slow = CL2Frame(data);
        frame->AnalyseData();
        ReferenceAnalyse(*slow);
        ExpectSameAnalysis(*frame, *slow);
        EXPECT_EQ(frame->Diagnosis, total == 1081080u ? DiagLimit : DiagOK);
    }
}

TEST(RecodeFrame, BetweenCodingsKeepsPixelsWidthAndName)
{
    std::mt19937 random(5);
    for (int i = 0; i < 100; ++i) {
        const uint32_t width = 1 + random() % 90, height = 1 + random() % 90;
        const Bytes image = RandomImage(random, width, height);
        auto frame = CELFrame::CreateEmpty(i % 2 ? FrameCoding::CL2 : FrameCoding::CEL);
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        frame->AnalyseData();
        const auto at = std::find(frame->Widths.begin(), frame->Widths.end(), width);
        ASSERT_NE(at, frame->Widths.end());
        frame->SelectWidth(static_cast<uint32_t>(at - frame->Widths.begin()));
        frame->Name = "walk";
        const FrameCoding other = i % 2 ? FrameCoding::CEL : FrameCoding::CL2;
        ASSERT_TRUE(RecodeFrame(*frame, other));
        EXPECT_EQ(frame->Coding, other);
        EXPECT_EQ(frame->Name, "walk");
        EXPECT_EQ(frame->Width, width);
        EXPECT_EQ(frame->Height, height);
        Bytes decoded;
        frame->DecodeImage(decoded);
        EXPECT_EQ(decoded, image);
        // Coding it back gives the bytes the encoder writes for the picture.
        auto direct = CELFrame::CreateEmpty(i % 2 ? FrameCoding::CL2 : FrameCoding::CEL);
        direct->SetSize(width, height);
        direct->EncodeImage(image);
        ASSERT_TRUE(RecodeFrame(*frame, direct->Coding));
        EXPECT_EQ(frame->Data, direct->Data);
        EXPECT_TRUE(RecodeFrame(*frame, direct->Coding)) << "same coding: nothing to do";
    }
    auto broken = CL2Frame({ 0x00 });
    broken->AnalyseData();
    const auto before = CELFrame::CreateCopy(*broken);
    EXPECT_FALSE(RecodeFrame(*broken, FrameCoding::CEL));
    EXPECT_EQ(*broken, *before);
}
