#include "frames/CL2Codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr uint8_t FirstFill = 0x80; // 80 ... BE: fill runs of 63 ... 1 pixels
constexpr uint8_t FirstLiteral = 0xBF; // BF ... FF: literal runs of 65 ... 1 pixels
constexpr uint32_t LongestTransparent = 127;
constexpr uint32_t LongestFill = 63;
constexpr uint32_t LongestLiteral = 65;

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
struct OpaqueRun {
    uint32_t start; // pixels before the run
    uint32_t end; // start + length
};

// The run list and the bit set live in scratch space of the thread, kept from one frame to
// the next: analysis runs on every frame of every file read.
struct CL2Layout {
    uint64_t total = 0;
    uint64_t longestOpaque = 0;
    const OpaqueRun* runs = nullptr; // rising
    size_t runCount = 0;
    // Pixel offsets where no row may start, one bit each. Built once several widths are to
    // be checked, and only when it stays small beside the run list: a stream of long
    // transparent runs is checked against the list alone.
    const uint64_t* inside = nullptr;
    uint32_t checks = 0;

    static std::vector<OpaqueRun>& RunSpace()
    {
        thread_local std::vector<OpaqueRun> space;
        return space;
    }
    static std::vector<uint64_t>& InsideSpace()
    {
        thread_local std::vector<uint64_t> space;
        return space;
    }

    // Keeps the scratch space of real sprites; what a huge frame needed goes with it.
    ~CL2Layout()
    {
        constexpr size_t Kept = size_t { 1 } << 20;
        if (RunSpace().capacity() > Kept)
            std::vector<OpaqueRun>().swap(RunSpace());
        if (InsideSpace().capacity() > Kept)
            std::vector<uint64_t>().swap(InsideSpace());
    }

    void BuildInside()
    {
        std::vector<uint64_t>& space = InsideSpace();
        space.assign(static_cast<size_t>((total + 63) / 64 + 1), 0);
        uint64_t* bits = space.data();
        for (size_t i = 0; i < runCount; ++i) {
            // Bits start + 1 ... end - 1: at most 64, over at most two words.
            const uint64_t from = uint64_t { runs[i].start } + 1;
            const uint64_t count = runs[i].end - from;
            const uint64_t shift = from & 63;
            const uint64_t mask = count == 64 ? ~uint64_t { 0 } : (uint64_t { 1 } << count) - 1;
            bits[from >> 6] |= mask << shift;
            if (shift != 0 && shift + count > 64)
                bits[(from >> 6) + 1] |= mask >> (64 - shift);
        }
        inside = bits;
    }

    bool Fits(uint64_t w)
    {
        if (w == 0 || total % w != 0 || w < longestOpaque)
            return false;
        if (runCount == 0)
            return true;
        if (inside == nullptr && ++checks > 3 && total / 8 <= 64 * (runCount + 64))
            BuildInside();
        if (inside != nullptr) {
            for (uint64_t x = w; x < total; x += w) {
                if ((inside[x >> 6] >> (x & 63)) & 1)
                    return false;
            }
            return true;
        }
        const uint64_t rows = total / w;
        const OpaqueRun* at = runs;
        const OpaqueRun* const last = runs + runCount;
        if (rows * 16 < runCount) {
            // Few row starts among many runs: search for the run around each.
            for (uint64_t x = w; x < total; x += w) {
                at = std::lower_bound(at, last, x,
                    [](const OpaqueRun& run, uint64_t pixel) { return run.end <= pixel; });
                if (at == last)
                    return true;
                if (at->start < x)
                    return false;
            }
            return true;
        }
        for (uint64_t x = w; x < total; x += w) {
            while (at != last && at->end <= x)
                ++at;
            if (at == last)
                return true;
            if (at->start < x)
                return false;
        }
        return true;
    }
};

// Pixels and bytes of the run of each control byte (0 for the invalid 00).
struct RunTable {
    std::array<uint8_t, 256> pixels {};
    std::array<uint8_t, 256> bytes {};
    constexpr RunTable()
    {
        bytes[0] = 1; // so that a walk over broken data still moves on
        for (uint32_t b = 1; b < 256; ++b) {
            if (b < FirstFill) {
                pixels[b] = static_cast<uint8_t>(b);
                bytes[b] = 1;
            } else if (b < FirstLiteral) {
                pixels[b] = static_cast<uint8_t>(191 - b);
                bytes[b] = 2;
            } else {
                pixels[b] = static_cast<uint8_t>(256 - b);
                bytes[b] = static_cast<uint8_t>(257 - b);
            }
        }
    }
};
constexpr RunTable Runs;

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
    // A run of 2 pixels or more that is no transparent one takes at least 2 bytes.
    std::vector<OpaqueRun>& space = CL2Layout::RunSpace();
    if (space.size() < length / 2 + 1)
        space.resize(static_cast<size_t>(length / 2 + 1));
    OpaqueRun* out = space.data();
    uint64_t p = 0, x = 0;
    uint32_t longest = 0;
    while (p < length) {
        const uint32_t b = data[p];
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
        // Computed rather than looked up: the next position waits on it.
        const uint32_t literal = 256 - b;
        const uint32_t n = b < FirstFill ? b : (b < FirstLiteral ? 191 - b : literal);
        const uint64_t bytes = b < FirstFill ? 1 : (b < FirstLiteral ? 2 : literal + 1);
        const bool opaque = b >= FirstFill;
        if (opaque)
            longest = std::max(longest, n);
        // Stored always, kept only for opaque runs of 2 pixels or more. A total beyond 32
        // bits fails below, so the truncated offsets are never used.
        *out = { static_cast<uint32_t>(x), static_cast<uint32_t>(x + n) };
        out += opaque && n > 1;
        x += n;
        p += bytes;
    }
    if (p > length)
        return DiagBounds;
    // Widths, heights and pixel counts are 32-bit quantities of the frame.
    if (x > std::numeric_limits<uint32_t>::max())
        return DiagWidth;
    layout.total = x;
    layout.longestOpaque = longest;
    layout.runs = space.data();
    layout.runCount = static_cast<size_t>(out - space.data());
    return 0xFF;
}

// The divisors of total (below 2^32) that are at least lowest, largest first, in divisors.
// From the prime factors: sprite sizes have small ones, found after a few divisions.
void DivisorsFrom(uint32_t total, uint64_t lowest, std::vector<uint32_t>& divisors)
{
    divisors.assign(1, 1);
    uint32_t rest = total;
    auto take = [&](uint32_t prime) {
        const size_t before = divisors.size();
        uint64_t power = 1;
        while (rest % prime == 0) {
            rest /= prime;
            power *= prime;
            for (size_t i = 0; i < before; ++i)
                divisors.push_back(static_cast<uint32_t>(divisors[i] * power));
        }
    };
    take(2);
    for (uint32_t factor = 3; uint64_t { factor } * factor <= rest; factor += 2)
        take(factor);
    if (rest > 1)
        take(rest);
    std::erase_if(divisors, [&](uint32_t d) { return d < lowest; });
    std::sort(divisors.begin(), divisors.end(), std::greater<>());
}

// The high bit of each byte of v that is 0, and no other bit.
inline uint64_t ZeroBytes(uint64_t v)
{
    constexpr uint64_t Low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((v & Low7) + Low7) | v | Low7);
}

inline uint64_t Load64(const uint8_t* p)
{
    uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The scans below look at the pixels eight at a time (byte 0 the low byte, little-endian).
// They may read up to limit, the end of the image, but they answer for [p, end) alone.

// Bits of the bytes 0 ... count - 1 of a word (count 0 ... 8), as their high bits.
inline uint64_t FirstBytes(ptrdiff_t count)
{
    return count >= 8 ? ~uint64_t { 0 } : (uint64_t { 1 } << (8 * count)) - 1;
}

// The first position q in [p, end - 2) where three equal pixels start, or end.
inline const uint8_t* FindThreeEqual(const uint8_t* p, const uint8_t* end, const uint8_t* limit)
{
    for (;;) {
        const ptrdiff_t starts = end - p - 2;
        if (starts <= 0)
            return end;
        if (limit - p < 10)
            break;
        const uint64_t a = Load64(p);
        const uint64_t equal
            = ZeroBytes(a ^ Load64(p + 1)) & ZeroBytes(a ^ Load64(p + 2)) & FirstBytes(starts);
        if (equal != 0)
            return p + (std::countr_zero(equal) >> 3);
        if (starts <= 8)
            return end;
        p += 8;
    }
    for (; end - p >= 3; ++p) {
        if (p[0] == p[1] && p[0] == p[2])
            return p;
    }
    return end;
}

// The first pixel in [p, end) that is not value, or end.
inline const uint8_t* SkipEqual(
    const uint8_t* p, const uint8_t* end, const uint8_t* limit, uint8_t value)
{
    const uint64_t pattern = 0x0101010101010101ull * value;
    while (p < end && limit - p >= 8) {
        const uint64_t differ = Load64(p) ^ pattern;
        if (differ != 0)
            return std::min(end, p + (std::countr_zero(differ) >> 3));
        p += 8;
    }
    while (p < end && *p == value)
        ++p;
    return std::min(p, end);
}

// Codes one opaque stretch: fill runs where 3 or more equal pixels start, literal runs of the
// rest, each at most 65 pixels and cut where 3 equal pixels start.
inline uint8_t* CodeOpaque(const uint8_t* p, const uint8_t* end, const uint8_t* limit, uint8_t* out)
{
    while (p < end) {
        const uint8_t* equal = FindThreeEqual(p, std::min(end, p + LongestLiteral + 2), limit);
        if (equal == p) {
            const uint8_t value = *p;
            const uint8_t* q = SkipEqual(p + 3, end, limit, value);
            size_t count = static_cast<size_t>(q - p);
            p = q;
            for (; count > LongestFill; count -= LongestFill) {
                *out++ = static_cast<uint8_t>(191 - LongestFill);
                *out++ = value;
            }
            *out++ = static_cast<uint8_t>(191 - count);
            *out++ = value;
        } else {
            // A literal takes pixels up to where three equal ones start, at most 65.
            const size_t n = std::min<size_t>(static_cast<size_t>(equal - p), LongestLiteral);
            *out++ = static_cast<uint8_t>(256 - n);
            std::memcpy(out, p, n);
            out += n;
            p += n;
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

    // The widths that agree with the Frame Header first: checking agreement costs nothing,
    // and a frame of more than 32 rows has one such width. The fitting widths are only
    // needed when none agrees.
    thread_local std::vector<uint32_t> divisors;
    DivisorsFrom(static_cast<uint32_t>(layout.total), layout.longestOpaque, divisors);
    NumArray agreeing, fitting;
    std::vector<BlockRowSet> agreeingRows, fittingRows;
    BlockRowSet rows;
    for (const uint32_t w : divisors) {
        if (targets.Place(frame.Header, w, rows) && layout.Fits(w)) {
            agreeing.push_back(static_cast<uint32_t>(w));
            agreeingRows.push_back(rows);
        }
    }
    if (agreeing.empty()) {
        // Up to 256: enough to tell whether the list is cut.
        for (size_t i = 0; i < divisors.size() && fitting.size() < 256; ++i) {
            if (!layout.Fits(divisors[i]))
                continue;
            targets.Place(frame.Header, divisors[i], rows);
            fitting.push_back(static_cast<uint32_t>(divisors[i]));
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
        const uint32_t n = Runs.pixels[b];
        if (b >= FirstFill && x % w + n > w)
            return DiagWidth; // a fill or literal run crosses a row end
        x += n;
        p += Runs.bytes[b];
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
    // A run of n pixels takes at most n + 1 bytes, and n + 1 <= 2n: two bytes per pixel bound
    // the output. It is coded once into scratch space, kept for the next call when it is
    // small, then copied at its true size.
    constexpr size_t KeptScratch = size_t { 1 } << 22;
    thread_local std::vector<uint8_t> kept;
    std::vector<uint8_t> large;
    const size_t bound = 2 * w * h + 8;
    std::vector<uint8_t>& scratch = bound <= KeptScratch ? kept : large;
    if (scratch.size() < bound)
        scratch.resize(bound);
    uint8_t* const begin = scratch.data();
    uint8_t* out = begin;
    const uint8_t* const pixels = image.data();
    const uint8_t* const limit = pixels + w * h;
    uint64_t pending = 0; // transparent pixels not yet coded; they gather across row ends
    for (size_t block = 0; block * 32 < h; ++block) {
        // Rows 32 x block on; each header word must name a run start, so the gathering of
        // transparent pixels is cut at the start of rows 32, 64, 96 and 128.
        const size_t lastRow = block < 4 ? std::min(h, block * 32 + 32) : h;
        if (block < 5) {
            out = FlushTransparent(pending, out);
            header[block] = static_cast<uint16_t>(static_cast<uint64_t>(out - begin) + 10);
        }
        const uint8_t* p = pixels + block * 32 * w;
        const uint8_t* const blockEnd = pixels + lastRow * w;
        while (p < blockEnd) {
            // Transparent pixels across row ends, then the opaque stretch up to the row end.
            const uint8_t* q = SkipEqual(p, blockEnd, limit, TransparentIndex);
            pending += static_cast<uint64_t>(q - p);
            p = q;
            if (p == blockEnd)
                break;
            out = FlushTransparent(pending, out);
            const uint8_t* const rowEnd = pixels + (static_cast<size_t>(p - pixels) / w + 1) * w;
            const void* next = std::memchr(p, TransparentIndex, static_cast<size_t>(rowEnd - p));
            q = next != nullptr ? static_cast<const uint8_t*>(next) : rowEnd;
            out = CodeOpaque(p, q, limit, out);
            p = q;
        }
        if (block >= 4)
            break;
    }
    out = FlushTransparent(pending, out);
    data.assign(begin, out);
}
