#include "frames/FrameHandler.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "frames/CL2Codec.h"
#include "frames/CommVar.h"
#include "frames/FrameName.h"

namespace {

constexpr int FullTransparentRun = 128;
constexpr int FullLiteralRun = 127;

inline int8_t Control(uint8_t byte)
{
    return static_cast<int8_t>(byte);
}

// Both negative (transparent) or both positive (literal); a zero byte is of neither kind.
inline bool SameKind(int8_t a, int8_t b)
{
    return (a < 0 && b < 0) || (a > 0 && b > 0);
}

inline bool IsFull(int8_t c)
{
    return c < 0 ? -c == FullTransparentRun : c == FullLiteralRun;
}

// The first pixel from p on that is not transparent, or end: eight at a time while they are
// all transparent (a word of 255s is all ones).
inline const uint8_t* SkipTransparent(const uint8_t* p, const uint8_t* end)
{
    static_assert(TransparentIndex == 0xFF);
    while (end - p >= 8) {
        uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        if (word != ~uint64_t { 0 })
            break;
        p += 8;
    }
    while (p < end && *p == TransparentIndex)
        ++p;
    return p;
}

// Cuts a row of width pixels into its stretches, alternately transparent and not, and hands
// each to its coder in order: transparent(count) or literal(first pixel, count). The sizing
// and the coding pass of EncodeImage share it, so they cannot disagree about the stretches.
template <typename Transparent, typename Literal>
inline void ForEachStretch(
    const uint8_t* row, size_t width, Transparent&& transparent, Literal&& literal)
{
    const uint8_t* const end = row + width;
    const uint8_t* p = row;
    while (p < end) {
        const uint8_t* start = p;
        if (*p == TransparentIndex) {
            p = SkipTransparent(p, end);
            transparent(static_cast<size_t>(p - start));
        } else {
            const void* next = std::memchr(p, TransparentIndex, static_cast<size_t>(end - p));
            p = next != nullptr ? static_cast<const uint8_t*>(next) : end;
            literal(start, static_cast<size_t>(p - start));
        }
    }
}

uint64_t Gcd64(uint64_t a, uint64_t b)
{
    while (b != 0) {
        uint64_t rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// What one pass over the runs learns about the data. The detection rests on two properties
// of the coding: no run crosses a row end, and within a row a new run of the same kind starts
// only when the previous one is full. So a run that is not full and is followed by a run of
// the same kind ends a row ("forced row end").
struct RunLayout {
    uint64_t rowGcd = 0; // G: gcd of the stretches between forced row ends and the tail
    uint64_t total = 0; // T: pixels of the whole stream
    uint64_t longest = 0; // M: longest run
    uint64_t forcedGcd = 0; // gcd of the pixel offsets of all forced row ends (0: none)
    // Runs whose control byte lies where a 16-bit Frame Header word can point: pixel offset
    // and byte position of each, rising. Row starts further on lie beyond every word.
    std::vector<uint32_t> runPixel;
    std::vector<uint32_t> runByte;
    // Where the runs start, kept in whichever form is smaller: a bit per pixel (bit x set: a
    // run starts at pixel offset x), or, for streams of long runs, the rising list of start
    // offsets. A hostile frame of full transparent runs would otherwise need 16 bytes of
    // bits per byte of data.
    std::vector<uint64_t> startBits;
    std::vector<uint32_t> startList;
    bool startsListed = false;
};

constexpr uint64_t HeaderReach = 65536; // byte positions a header word can name

// Scans the runs once. Returns a diagnosis of 4 or more when the data is unusable, else
// 0xFF with layout filled. The early returns are those of the frame's analysis, in the same
// order, so that the code of a broken frame does not depend on how its widths are searched.
uint8_t ScanRuns(const uint8_t* data, uint64_t length, RunLayout& layout)
{
    if (length == 0)
        return DiagWidth; // no run at all: no width can fit
    uint64_t g = 0, s = 0, m = 0, t = 0, forced = 0, runs = 0;
    uint64_t p = 0;
    layout.runPixel.clear();
    layout.runByte.clear();
    while (p < length) {
        const int8_t c = Control(data[p]);
        if (c == 0)
            return DiagNull;
        const uint64_t n = c < 0 ? static_cast<uint64_t>(-c) : static_cast<uint64_t>(c);
        if (p < HeaderReach) {
            layout.runPixel.push_back(static_cast<uint32_t>(t + s));
            layout.runByte.push_back(static_cast<uint32_t>(p));
        }
        s += n;
        ++runs;
        if (n > m)
            m = n;
        const uint64_t next = c < 0 ? p + 1 : p + n + 1;
        if (!IsFull(c) && next < length && SameKind(Control(data[next]), c)) {
            g = Gcd64(g, s);
            t += s;
            s = 0;
            forced = Gcd64(forced, t);
        }
        p = next;
        if (g > 0 && m > g)
            return DiagWidth;
    }
    if (p > length)
        return DiagBounds;
    t += s;
    g = Gcd64(g, s);
    // Widths, heights and pixel counts are 32-bit quantities of the frame; a stream longer
    // than that cannot be shown at any width.
    if (t > std::numeric_limits<uint32_t>::max())
        return DiagWidth;
    if (m > g)
        return DiagWidth;
    layout.rowGcd = g;
    layout.total = t;
    layout.longest = m;
    layout.forcedGcd = forced;

    // Second pass, over sound data only: note where every run starts.
    layout.startsListed = (t + 63) / 64 * 8 > runs * 4;
    layout.startBits.clear();
    layout.startList.clear();
    uint64_t* bits = nullptr;
    if (layout.startsListed) {
        layout.startList.reserve(static_cast<size_t>(runs));
    } else {
        layout.startBits.assign(static_cast<size_t>((t + 63) / 64), 0);
        bits = layout.startBits.data();
    }
    uint64_t x = 0;
    for (p = 0; p < length;) {
        if (bits)
            bits[x >> 6] |= uint64_t { 1 } << (x & 63);
        else
            layout.startList.push_back(static_cast<uint32_t>(x));
        const int8_t c = Control(data[p]);
        if (c < 0) {
            x += static_cast<uint64_t>(-c);
            ++p;
        } else {
            x += static_cast<uint64_t>(c);
            p += static_cast<uint64_t>(c) + 1;
        }
    }
    return 0xFF;
}

// Same outcome as CELFrame::CheckWidth, without walking every run: w fits exactly when every
// forced row end falls on a multiple of w and every multiple of w inside the stream is the
// start of a run. The Frame Header words are then placed by searching the row starts.
uint8_t FastCheckWidth(
    const RunLayout& layout, const std::array<uint16_t, 5>& header, uint64_t w, BlockRowSet& rows)
{
    rows.fill(-1);
    if (w == 0 || layout.forcedGcd % w != 0)
        return DiagWidth;
    if (layout.startsListed) {
        // The multiples rise, so each search starts where the last one ended.
        const auto& starts = layout.startList;
        auto from = starts.begin();
        for (uint64_t x = w; x < layout.total; x += w) {
            from = std::lower_bound(from, starts.end(), x);
            if (from == starts.end() || *from != x)
                return DiagWidth;
        }
    } else {
        const uint64_t* bits = layout.startBits.data();
        for (uint64_t x = w; x < layout.total; x += w) {
            if (!((bits[x >> 6] >> (x & 63)) & 1))
                return DiagWidth;
        }
    }

    const uint64_t rowCount = (layout.total + w - 1) / w;
    const auto& runPixel = layout.runPixel;
    // Header value of the row start of row r: its byte position plus the header's 10 bytes.
    // Rows beyond the recorded runs start past every word's reach.
    auto rowValue = [&](uint64_t r) -> uint64_t {
        const uint64_t x = r * w;
        const auto it = std::lower_bound(runPixel.begin(), runPixel.end(), x);
        if (it == runPixel.end())
            return HeaderReach + FrameHeaderSize;
        return uint64_t { layout.runByte[static_cast<size_t>(it - runPixel.begin())] }
        + FrameHeaderSize;
    };

    uint8_t result = 0;
    size_t j = 0;
    uint64_t row = 0;
    while (j < 5 && row < rowCount) {
        // Rows whose value is below word j leave it waiting; find the first that reaches it.
        uint64_t low = row, high = rowCount;
        while (low < high) {
            const uint64_t middle = low + (high - low) / 2;
            if (rowValue(middle) >= header[j])
                high = middle;
            else
                low = middle + 1;
        }
        if (low == rowCount)
            break; // the word points beyond the last row start: it keeps -1, no code
        row = low;
        const uint64_t value = rowValue(row);
        if (header[j] < value) {
            if (header[j] != 0)
                result = DiagBlocks;
            while (j < 5 && header[j] < value)
                rows[j++] = -1;
        }
        if (j < 5 && header[j] == value)
            rows[j++] = static_cast<int32_t>(row);
        ++row;
    }
    return result;
}

constexpr const char* DiagnosisSuffix[] = {
    "",
    ", !Header",
    ", !Limit",
    ", !Blocks",
    ", #Width",
    ", #Null",
    ", #Bounds",
};

} // namespace

std::unique_ptr<CELFrame> CELFrame::CreateEmpty()
{
    return std::make_unique<CELFrame>();
}

std::unique_ptr<CELFrame> CELFrame::CreateEmpty(FrameCoding coding)
{
    auto frame = std::make_unique<CELFrame>();
    if (coding == FrameCoding::CL2) {
        frame->Coding = FrameCoding::CL2;
        frame->Data = { 0x01 };
        frame->Header = { static_cast<uint16_t>(FrameHeaderSize), 0, 0, 0, 0 };
        frame->BlockRows = { BlockRowSet { 0, -1, -1, -1, -1 } };
    }
    return frame;
}

std::unique_ptr<CELFrame> CELFrame::CreateCopy(const CELFrame& source)
{
    auto copy = std::make_unique<CELFrame>();
    copy->Coding = source.Coding;
    copy->Diagnosis = source.Diagnosis;
    copy->Header = source.Header;
    copy->Width = source.Width;
    copy->Height = source.Height;
    const size_t length = std::min<size_t>(source.DataLength, source.Data.size());
    copy->Data.assign(source.Data.begin(), source.Data.begin() + static_cast<ptrdiff_t>(length));
    copy->DataLength = static_cast<uint32_t>(length);
    copy->WidthCount = source.WidthCount;
    copy->WidthIndex = source.WidthIndex;
    copy->Widths.clear();
    copy->BlockRows.clear();
    const size_t listed
        = std::min({ size_t { source.WidthCount }, source.Widths.size(), source.BlockRows.size() });
    copy->Widths.assign(
        source.Widths.begin(), source.Widths.begin() + static_cast<ptrdiff_t>(listed));
    copy->BlockRows.assign(
        source.BlockRows.begin(), source.BlockRows.begin() + static_cast<ptrdiff_t>(listed));
    copy->WidthCount = static_cast<uint8_t>(listed);
    copy->Name = source.Name;
    return copy;
}

void CELFrame::SetSize(uint32_t width, uint32_t height)
{
    Width = width;
    Height = height;
}

void CELFrame::DecodeImage(DataArray& image) const
{
    if (Coding == FrameCoding::CL2) {
        DecodeCL2(std::span<const uint8_t>(Data.data(), std::min<size_t>(DataLength, Data.size())),
            Width, Height, image);
        return;
    }
    const size_t total = size_t { Width } * size_t { Height };
    image.resize(total);
    uint8_t* out = image.data();
    const uint8_t* data = Data.data();
    const size_t length = std::min<size_t>(DataLength, Data.size());
    size_t q = 0;
    size_t p = 0;
    // The pixel stream is cut at Width x Height: a short last row, a stream that runs on, or
    // a broken literal run can never write past the image.
    while (p < length && q < total) {
        const int8_t c = Control(data[p]);
        if (c < 0) {
            const size_t n = std::min<size_t>(static_cast<size_t>(-c), total - q);
            std::memset(out + q, TransparentIndex, n);
            q += n;
            ++p;
        } else if (c > 0) {
            const size_t n = static_cast<size_t>(c);
            const size_t available = std::min(n, length - p - 1);
            const size_t copied = std::min(available, total - q);
            std::memcpy(out + q, data + p + 1, copied);
            q += copied;
            p += n + 1;
        } else {
            ++p; // a zero control byte carries no pixels
        }
    }
    if (q < total)
        std::memset(out + q, TransparentIndex, total - q);
}

void CELFrame::EncodeImage(const DataArray& image)
{
    if (Coding == FrameCoding::CL2) {
        EncodeCL2(image, Width, Height, Data, Header);
        if (Data.size() > std::numeric_limits<uint32_t>::max()) {
            Header.fill(0);
            Data.clear();
        }
        DataLength = static_cast<uint32_t>(Data.size());
        return;
    }
    Header.fill(0);
    const size_t width = Width;
    const size_t height = Height;
    if (width == 0 || height == 0 || image.size() / width < height) {
        // Nothing to code: no data rather than a guess.
        Data.clear();
        DataLength = 0;
        return;
    }

    // Sizing pass: the exact length first, so that Data is allocated once.
    uint64_t size = 0;
    for (size_t y = 0; y < height; ++y) {
        if (y % 32 == 0 && y < 160)
            Header[y / 32] = static_cast<uint16_t>(size + FrameHeaderSize);
        ForEachStretch(
            image.data() + y * width, width, [&](size_t count) { size += (count + 127) / 128; },
            [&](const uint8_t*, size_t count) { size += count + (count + 126) / 127; });
    }
    if (size > std::numeric_limits<uint32_t>::max()) {
        Header.fill(0);
        Data.clear();
        DataLength = 0;
        return;
    }

    Data.resize(static_cast<size_t>(size));
    DataLength = static_cast<uint32_t>(size);
    uint8_t* out = Data.data();
    for (size_t y = 0; y < height; ++y) {
        ForEachStretch(
            image.data() + y * width, width,
            [&](size_t count) {
                for (; count >= 128; count -= 128)
                    *out++ = 0x80;
                if (count > 0)
                    *out++ = static_cast<uint8_t>(256 - count);
            },
            [&](const uint8_t* pixels, size_t count) {
                while (count > 0) {
                    const size_t n = std::min<size_t>(count, FullLiteralRun);
                    *out++ = static_cast<uint8_t>(n);
                    std::memcpy(out, pixels, n);
                    out += n;
                    pixels += n;
                    count -= n;
                }
            });
    }
}

uint8_t CELFrame::CheckWidth(uint32_t w, BlockRowSet& widthBlockRows) const
{
    if (Coding == FrameCoding::CL2)
        return CheckCL2Width(*this, w, widthBlockRows);
    widthBlockRows.fill(-1);
    const uint64_t length = std::min<uint64_t>(DataLength, Data.size());
    uint64_t p = 0;
    int32_t row = 0;
    size_t j = 0;
    uint64_t filled = w; // so that the first run starts a row
    uint8_t result = 0;
    while (p < length) {
        if (filled == w) {
            filled = 0;
            if (j < 5 && Header[j] < p + FrameHeaderSize) {
                if (Header[j] != 0)
                    result = DiagBlocks;
                while (j < 5 && Header[j] < p + FrameHeaderSize)
                    widthBlockRows[j++] = -1;
            }
            if (j < 5 && Header[j] == p + FrameHeaderSize)
                widthBlockRows[j++] = row;
            ++row;
        }
        const int8_t c = Control(Data[static_cast<size_t>(p)]);
        filled += AbsoluteValue(c);
        if (filled > w)
            return DiagWidth; // a run crosses a row end
        const uint64_t next = c < 0 ? p + 1 : p + static_cast<uint64_t>(c) + 1;
        if (!IsFull(c) && next < length && SameKind(Control(Data[static_cast<size_t>(next)]), c)
            && filled < w)
            return DiagWidth; // a row would have to end inside the width
        p = next;
    }
    return result;
}

uint8_t CELFrame::AnalyseData()
{
    if (Coding == FrameCoding::CL2)
        return AnalyseCL2(*this);
    RunLayout layout;
    const uint64_t length = std::min<uint64_t>(DataLength, Data.size());
    const uint8_t scan = ScanRuns(Data.data(), length, layout);
    if (scan != 0xFF) {
        Diagnosis = scan;
        return Diagnosis;
    }

    NumArray widths;
    std::vector<BlockRowSet> blockRows;
    uint8_t lowest = 0xFF;
    uint8_t diagnosis = 0xFF;
    uint32_t count = 0;
    uint64_t lastWidth = 0;
    uint8_t lastResult = DiagWidth;
    BlockRowSet lastRows {};
    // Every k is tried in turn and a repeated G div k is listed again: the frame database
    // stores a position in this list, so its order and repetitions must never change. A
    // repeated width is checked once and its result reused.
    for (uint64_t k = 1;; ++k) {
        const uint64_t w = layout.rowGcd / k;
        if (w < layout.longest)
            break;
        if (w != lastWidth) {
            lastResult = FastCheckWidth(layout, Header, w, lastRows);
            lastWidth = w;
        }
        if (lastResult < DiagWidth) {
            if (count == 255) {
                diagnosis = DiagLimit;
                break;
            }
            widths.push_back(static_cast<uint32_t>(w));
            blockRows.push_back(lastRows);
            ++count;
        }
        if (lastResult < lowest) {
            lowest = lastResult;
            diagnosis = lastResult;
        }
    }
    Diagnosis = diagnosis;
    if (count == 0) {
        // No width fits: the old list and size stay, but none of it may be used.
        WidthCount = 0;
        return Diagnosis;
    }

    Widths = std::move(widths);
    BlockRows = std::move(blockRows);
    WidthCount = static_cast<uint8_t>(count);
    Width = Widths[0];
    WidthIndex = 0;
    Height = static_cast<uint32_t>(layout.total / Width);
    if (Diagnosis != DiagOK)
        return Diagnosis;

    bool inconsistent = Header[0] != 0 && Header[0] != FrameHeaderSize;
    for (size_t j = 0; j < 4; ++j) {
        if (Header[j] == 0 && Header[j + 1] != 0)
            inconsistent = true;
        if (Header[j + 1] != 0 && Header[j + 1] < Header[j])
            inconsistent = true;
    }
    // The words count the header's 10 bytes, so the last one is past the frame only when it
    // reaches the end of the data plus those 10 bytes.
    if (Header[4] >= uint64_t { DataLength } + FrameHeaderSize)
        inconsistent = true;
    if (inconsistent)
        Diagnosis = DiagHeader;
    return Diagnosis;
}

bool CELFrame::SelectWidth(uint32_t index)
{
    if (index >= WidthCount || index >= Widths.size() || Widths[index] == 0)
        return false;
    // The height follows from the current size, not from the pixel total.
    Height = static_cast<uint32_t>((uint64_t { Width } * Height) / Widths[index]);
    Width = Widths[index];
    WidthIndex = static_cast<uint8_t>(index);
    return true;
}

bool CELFrame::SelectCandidateWidth(uint32_t width)
{
    for (uint32_t i = 0; i < WidthCount && i < Widths.size(); ++i)
        if (Widths[i] == width)
            return SelectWidth(i);
    return false;
}

void CELFrame::GetBlockRows(BlockRowSet& rows) const
{
    if (WidthIndex < WidthCount && WidthIndex < BlockRows.size())
        rows = BlockRows[WidthIndex];
    else
        rows.fill(-1);
}

uint8_t CELFrame::LoadData(std::span<const uint8_t> bytes, bool withHeader)
{
    Header.fill(0);
    if (withHeader) {
        const size_t headerBytes = std::min<size_t>(bytes.size(), FrameHeaderSize);
        for (size_t word = 0; word < 5 && 2 * word + 1 < headerBytes; ++word)
            Header[word] = static_cast<uint16_t>(bytes[2 * word] | (bytes[2 * word + 1] << 8));
        bytes = bytes.subspan(headerBytes);
    }
    Data.assign(bytes.begin(), bytes.end());
    DataLength = static_cast<uint32_t>(Data.size());
    Diagnosis = AnalyseData();
    return Diagnosis;
}

void CELFrame::SaveData(std::vector<uint8_t>& out, bool withHeader) const
{
    if (withHeader) {
        for (uint16_t word : Header) {
            out.push_back(static_cast<uint8_t>(word & 0xFF));
            out.push_back(static_cast<uint8_t>(word >> 8));
        }
    }
    const size_t length = std::min<size_t>(DataLength, Data.size());
    out.insert(out.end(), Data.begin(), Data.begin() + static_cast<ptrdiff_t>(length));
}

bool RecodeFrame(CELFrame& frame, FrameCoding coding)
{
    if (frame.Coding == coding)
        return true;
    if (!frame.Viewable() || frame.Width == 0 || frame.Height == 0)
        return false;
    DataArray image;
    frame.DecodeImage(image);
    CELFrame recoded;
    recoded.Coding = coding;
    recoded.SetSize(frame.Width, frame.Height);
    recoded.EncodeImage(image);
    recoded.AnalyseData();
    if (!recoded.Viewable() || !recoded.SelectCandidateWidth(frame.Width))
        return false;
    recoded.Name = std::move(frame.Name);
    frame = std::move(recoded);
    return true;
}

std::string_view DiagnosisName(uint8_t code)
{
    static constexpr std::array<std::string_view, 7> names { "DiagOK", "DiagHeader", "DiagLimit",
        "DiagBlocks", "DiagWidth", "DiagNull", "DiagBounds" };
    return code < names.size() ? names[code] : "DiagUnknown";
}

const char* CodingName(FrameCoding coding)
{
    return coding == FrameCoding::CL2 ? "cl2" : "cel";
}

std::string FrameCaption(uint32_t number, const CELFrame& frame)
{
    if (!frame.Name.empty())
        return " " + NameForDisplay(frame.Name);
    std::string caption = std::to_string(number) + ", " + std::to_string(frame.Width) + "x"
        + std::to_string(frame.Height);
    if (frame.Diagnosis < std::size(DiagnosisSuffix))
        caption += DiagnosisSuffix[frame.Diagnosis];
    return caption;
}
