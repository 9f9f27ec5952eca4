#include "frames/CL2Codec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr uint8_t FirstFill = 0x80; // 80 ... BE: fill runs of 63 ... 1 pixels
constexpr uint8_t FirstLiteral = 0xBF; // BF ... FF: literal runs of 65 ... 1 pixels
constexpr uint32_t LongestTransparent = 127;
constexpr uint32_t LongestFill = 63;
constexpr uint32_t LongestLiteral = 65;

// Pixels of the run whose control byte is b (b not 0).
inline uint32_t RunPixels(uint8_t b)
{
    if (b < FirstFill)
        return b;
    if (b < FirstLiteral)
        return 191u - b;
    return 256u - b;
}

// Bytes of the run, control byte included.
inline uint64_t RunBytes(uint8_t b)
{
    if (b < FirstFill)
        return 1;
    if (b < FirstLiteral)
        return 2;
    return 1 + uint64_t { 256u - b };
}

// Header words 1 to 4 that take part in the agreement rule: not 0 and pointing inside the
// data. For each, whether a run starts at the byte it names, and after how many pixels.
struct HeaderTargets {
    std::array<bool, 5> inData {};
    std::array<uint64_t, 5> byte {};
    std::array<int64_t, 5> pixel { -1, -1, -1, -1, -1 }; // -1: no run starts there

    HeaderTargets(const std::array<uint16_t, 5>& header, uint64_t length)
    {
        for (size_t k = 1; k < 5; ++k) {
            inData[k] = header[k] >= FrameHeaderSize && header[k] < length + FrameHeaderSize;
            byte[k] = header[k] - uint64_t { FrameHeaderSize };
        }
    }

    // Block rows of width w; true when every word in the data agrees with w.
    bool Place(const std::array<uint16_t, 5>& header, uint64_t w, BlockRowSet& rows) const
    {
        rows.fill(-1);
        if (header[0] == FrameHeaderSize)
            rows[0] = 0;
        bool agrees = true;
        for (size_t k = 1; k < 5; ++k) {
            if (!inData[k])
                continue;
            if (pixel[k] >= 0 && static_cast<uint64_t>(pixel[k]) == 32 * k * w)
                rows[k] = static_cast<int32_t>(32 * k);
            else
                agrees = false;
        }
        return agrees;
    }
};

// What one scan of the runs learns: the pixel total, the longest fill or literal run, and
// where the fill and literal runs of 2 pixels or more lie (a run of one pixel cannot cross a
// row end). A width w fits when it divides the total and no such run has a row start strictly
// inside it.
struct CL2Layout {
    uint64_t total = 0;
    uint64_t longestOpaque = 0;
    std::vector<uint32_t> runStart; // pixel offset of each run of 2 pixels or more
    std::vector<uint8_t> runLength;
    // Pixel offsets where no row may start, one bit each, when that is small enough to keep;
    // a stream of long transparent runs keeps the run list alone.
    std::vector<uint64_t> inside;
    bool insideKept = false;

    bool Fits(uint64_t w) const
    {
        if (w == 0 || total % w != 0 || w < longestOpaque)
            return false;
        const uint64_t rows = total / w;
        if (insideKept && rows <= runStart.size() * 4) {
            const uint64_t* bits = inside.data();
            for (uint64_t x = w; x < total; x += w) {
                if ((bits[x >> 6] >> (x & 63)) & 1)
                    return false;
            }
            return true;
        }
        if (rows < runStart.size()) {
            // Fewer row starts than runs: find the run before each row start.
            auto from = runStart.begin();
            for (uint64_t x = w; x < total; x += w) {
                from = std::upper_bound(from, runStart.end(), static_cast<uint32_t>(x));
                if (from == runStart.begin())
                    continue;
                const size_t i = static_cast<size_t>(from - runStart.begin()) - 1;
                if (x < uint64_t { runStart[i] } + runLength[i])
                    return false;
            }
            return true;
        }
        for (size_t i = 0; i < runStart.size(); ++i) {
            if (runStart[i] % w + runLength[i] > w)
                return false;
        }
        return true;
    }
};

// Scans the runs once. Returns a diagnosis of 4 or more for unusable data, else 0xFF.
uint8_t ScanCL2(const uint8_t* data, uint64_t length, HeaderTargets& targets, CL2Layout& layout)
{
    if (length == 0)
        return DiagWidth; // no run at all: no width can fit
    // The header words name bytes in rising order in sound frames, but any order must work:
    // each run start is compared with the nearest word still ahead.
    uint64_t nextTarget = std::numeric_limits<uint64_t>::max();
    for (size_t k = 1; k < 5; ++k) {
        if (targets.inData[k])
            nextTarget = std::min(nextTarget, targets.byte[k]);
    }
    uint64_t p = 0, x = 0, longest = 0;
    layout.runStart.clear();
    layout.runLength.clear();
    while (p < length) {
        const uint8_t b = data[p];
        if (b == 0)
            return DiagNull;
        if (p >= nextTarget) {
            uint64_t ahead = std::numeric_limits<uint64_t>::max();
            for (size_t k = 1; k < 5; ++k) {
                if (!targets.inData[k])
                    continue;
                if (targets.byte[k] == p)
                    targets.pixel[k] = static_cast<int64_t>(x);
                else if (targets.byte[k] > p)
                    ahead = std::min(ahead, targets.byte[k]);
            }
            nextTarget = ahead;
        }
        const uint32_t n = RunPixels(b);
        if (b >= FirstFill) {
            if (n > longest)
                longest = n;
            if (n > 1 && x <= std::numeric_limits<uint32_t>::max()) {
                layout.runStart.push_back(static_cast<uint32_t>(x));
                layout.runLength.push_back(static_cast<uint8_t>(n));
            }
        }
        x += n;
        p += RunBytes(b);
    }
    if (p > length)
        return DiagBounds;
    // Widths, heights and pixel counts are 32-bit quantities of the frame.
    if (x > std::numeric_limits<uint32_t>::max())
        return DiagWidth;
    layout.total = x;
    layout.longestOpaque = longest;

    // A bit per pixel costs an eighth of a byte per pixel; keep it while that stays within a
    // few times the run list.
    layout.insideKept = (x + 63) / 64 * 8 <= 64 * (layout.runStart.size() + 64);
    layout.inside.clear();
    if (layout.insideKept) {
        layout.inside.assign(static_cast<size_t>((x + 63) / 64 + 1), 0);
        uint64_t* bits = layout.inside.data();
        for (size_t i = 0; i < layout.runStart.size(); ++i) {
            // Bits start + 1 ... start + n - 1: at most 64, over at most two words.
            const uint64_t from = uint64_t { layout.runStart[i] } + 1;
            const uint64_t count = layout.runLength[i] - 1u;
            const uint64_t shift = from & 63;
            const uint64_t mask = count == 64 ? ~uint64_t { 0 } : (uint64_t { 1 } << count) - 1;
            bits[from >> 6] |= mask << shift;
            if (shift != 0 && shift + count > 64)
                bits[(from >> 6) + 1] |= mask >> (64 - shift);
        }
    }
    return 0xFF;
}

// The divisors of total that are at least lowest, largest first.
std::vector<uint64_t> DivisorsFrom(uint64_t total, uint64_t lowest)
{
    std::vector<uint64_t> small, large;
    lowest = std::max<uint64_t>(lowest, 1);
    for (uint64_t i = 1; i * i <= total && i <= total / lowest; ++i) {
        if (total % i != 0)
            continue;
        if (i >= lowest)
            small.push_back(i);
        if (total / i != i)
            large.push_back(total / i);
    }
    // large falls, small rises: large, then small backwards, is the whole list falling.
    large.insert(large.end(), small.rbegin(), small.rend());
    return large;
}

// The first pixel from p on that is not transparent, or end.
inline const uint8_t* SkipTransparent(const uint8_t* p, const uint8_t* end)
{
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

inline bool ThreeEqual(const uint8_t* p, const uint8_t* end)
{
    return end - p >= 3 && p[0] == p[1] && p[0] == p[2];
}

// Codes one opaque stretch: fill runs where 3 or more equal pixels start, literal runs of the
// rest, each at most 65 pixels and cut where 3 equal pixels start.
inline uint8_t* CodeOpaque(const uint8_t* p, const uint8_t* end, uint8_t* out)
{
    while (p < end) {
        if (ThreeEqual(p, end)) {
            const uint8_t value = *p;
            const uint8_t* q = p + 3;
            while (q < end && *q == value)
                ++q;
            size_t count = static_cast<size_t>(q - p);
            for (; count > 0;) {
                const size_t n = std::min<size_t>(count, LongestFill);
                *out++ = static_cast<uint8_t>(191 - n);
                *out++ = value;
                count -= n;
            }
            p = q;
        } else {
            const uint8_t* start = p++;
            while (
                p < end && static_cast<size_t>(p - start) < LongestLiteral && !ThreeEqual(p, end))
                ++p;
            const size_t n = static_cast<size_t>(p - start);
            *out++ = static_cast<uint8_t>(256 - n);
            std::memcpy(out, start, n);
            out += n;
        }
    }
    return out;
}

inline uint8_t* FlushTransparent(uint64_t& pending, uint8_t* out)
{
    for (; pending >= LongestTransparent; pending -= LongestTransparent)
        *out++ = static_cast<uint8_t>(LongestTransparent);
    if (pending > 0)
        *out++ = static_cast<uint8_t>(pending);
    pending = 0;
    return out;
}

} // namespace

uint8_t AnalyseCL2(CELFrame& frame)
{
    const uint64_t length = std::min<uint64_t>(frame.DataLength, frame.Data.size());
    HeaderTargets targets(frame.Header, length);
    CL2Layout layout;
    const uint8_t scan = ScanCL2(frame.Data.data(), length, targets, layout);
    if (scan != 0xFF) {
        frame.Diagnosis = scan;
        return scan;
    }

    NumArray agreeing, fitting;
    std::vector<BlockRowSet> agreeingRows, fittingRows;
    for (uint64_t w : DivisorsFrom(layout.total, layout.longestOpaque)) {
        if (!layout.Fits(w))
            continue;
        BlockRowSet rows;
        const bool agrees = targets.Place(frame.Header, w, rows);
        if (agrees) {
            agreeing.push_back(static_cast<uint32_t>(w));
            agreeingRows.push_back(rows);
        }
        // Only needed when no width agrees; up to 256 tell whether the list was cut.
        if (agreeing.empty() && fitting.size() < 256) {
            fitting.push_back(static_cast<uint32_t>(w));
            fittingRows.push_back(rows);
        }
    }

    uint8_t diagnosis = DiagOK;
    NumArray widths;
    std::vector<BlockRowSet> blockRows;
    if (!agreeing.empty()) {
        widths = std::move(agreeing);
        blockRows = std::move(agreeingRows);
    } else if (!fitting.empty()) {
        widths = std::move(fitting);
        blockRows = std::move(fittingRows);
        diagnosis = DiagBlocks;
    } else {
        frame.Diagnosis = DiagWidth;
        frame.WidthCount = 0;
        return DiagWidth;
    }
    if (widths.size() > 255) {
        widths.resize(255);
        blockRows.resize(255);
        diagnosis = DiagLimit;
    }

    frame.WidthCount = static_cast<uint8_t>(widths.size());
    frame.Widths = std::move(widths);
    frame.BlockRows = std::move(blockRows);
    frame.Width = frame.Widths[0];
    frame.WidthIndex = 0;
    frame.Height = static_cast<uint32_t>(layout.total / frame.Width);
    if (diagnosis == DiagOK) {
        const auto& h = frame.Header;
        bool inconsistent = h[0] != FrameHeaderSize;
        for (size_t j = 0; j < 4; ++j) {
            if (h[j] == 0 && h[j + 1] != 0)
                inconsistent = true;
            if (h[j + 1] != 0 && h[j + 1] < h[j])
                inconsistent = true;
        }
        if (inconsistent)
            diagnosis = DiagHeader;
    }
    frame.Diagnosis = diagnosis;
    return diagnosis;
}

uint8_t CheckCL2Width(const CELFrame& frame, uint32_t w, BlockRowSet& rows)
{
    rows.fill(-1);
    if (w == 0)
        return DiagWidth;
    const uint64_t length = std::min<uint64_t>(frame.DataLength, frame.Data.size());
    HeaderTargets targets(frame.Header, length);
    uint64_t p = 0, x = 0;
    while (p < length) {
        const uint8_t b = frame.Data[static_cast<size_t>(p)];
        for (size_t k = 1; k < 5; ++k) {
            if (targets.inData[k] && targets.byte[k] == p)
                targets.pixel[k] = static_cast<int64_t>(x);
        }
        const uint32_t n = RunPixels(b);
        if (b >= FirstFill && x % w + n > w)
            return DiagWidth; // a fill or literal run crosses a row end
        x += n;
        p += RunBytes(b);
    }
    if (x == 0 || x % w != 0)
        return DiagWidth;
    return targets.Place(frame.Header, w, rows) ? DiagOK : DiagBlocks;
}

void DecodeCL2(std::span<const uint8_t> data, uint32_t width, uint32_t height, DataArray& image)
{
    const size_t total = size_t { width } * size_t { height };
    image.resize(total);
    uint8_t* out = image.data();
    const uint8_t* in = data.data();
    const size_t length = data.size();
    size_t q = 0, p = 0;
    // While a whole longest run fits both in the image and in the data, each run is written
    // with a fixed-size store of its longest length; the bytes beyond the run are written
    // again by the runs after it, or by the final fill.
    while (q + 128 <= total && p + 1 + LongestLiteral <= length) {
        const uint8_t b = in[p];
        if (b < FirstFill) {
            std::memset(out + q, TransparentIndex, 128);
            q += b;
            ++p;
        } else if (b < FirstLiteral) {
            std::memset(out + q, in[p + 1], 64);
            q += 191u - b;
            p += 2;
        } else {
            std::memcpy(out + q, in + p + 1, 65);
            const size_t n = 256u - b;
            q += n;
            p += n + 1;
        }
    }
    while (p < length && q < total) {
        const uint8_t b = in[p];
        if (b == 0) {
            ++p; // carries no pixels
        } else if (b < FirstFill) {
            const size_t n = std::min<size_t>(b, total - q);
            std::memset(out + q, TransparentIndex, n);
            q += n;
            ++p;
        } else if (b < FirstLiteral) {
            if (p + 1 >= length)
                break;
            const size_t n = std::min<size_t>(191u - b, total - q);
            std::memset(out + q, in[p + 1], n);
            q += n;
            p += 2;
        } else {
            const size_t n = 256u - b;
            const size_t copied = std::min({ n, length - p - 1, total - q });
            std::memcpy(out + q, in + p + 1, copied);
            q += copied;
            p += n + 1;
        }
    }
    if (q < total)
        std::memset(out + q, TransparentIndex, total - q);
}

void EncodeCL2(const DataArray& image, uint32_t width, uint32_t height, DataArray& data,
    std::array<uint16_t, 5>& header)
{
    header.fill(0);
    data.clear();
    const size_t w = width;
    const size_t h = height;
    if (w == 0 || h == 0 || image.size() / w < h)
        return;
    // A run of n pixels takes at most n + 1 bytes, and n + 1 <= 2n: two bytes per pixel
    // bound the output, which is coded once into scratch and copied at its true size.
    const size_t bound = 2 * w * h + 8;
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[bound]);
    uint8_t* const begin = scratch.get();
    uint8_t* out = begin;
    uint64_t pending = 0; // transparent pixels not yet coded; they gather across row ends
    for (size_t y = 0; y < h; ++y) {
        if (y % 32 == 0 && y < 160) {
            // Each header word must name a run start: the gathering is cut here.
            out = FlushTransparent(pending, out);
            header[y / 32] = static_cast<uint16_t>(static_cast<uint64_t>(out - begin) + 10);
        }
        const uint8_t* p = image.data() + y * w;
        const uint8_t* const end = p + w;
        while (p < end) {
            if (*p == TransparentIndex) {
                const uint8_t* q = SkipTransparent(p, end);
                pending += static_cast<uint64_t>(q - p);
                p = q;
            } else {
                out = FlushTransparent(pending, out);
                const void* next = std::memchr(p, TransparentIndex, static_cast<size_t>(end - p));
                const uint8_t* q = next != nullptr ? static_cast<const uint8_t*>(next) : end;
                out = CodeOpaque(p, q, out);
                p = q;
            }
        }
    }
    out = FlushTransparent(pending, out);
    data.assign(begin, out);
}
