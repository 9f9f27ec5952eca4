#include "viewer/AnimationState.h"

#include "viewer/ViewerState.h"

#include <algorithm>
#include <cstring>

namespace {
// A canvas beyond this many pixels (a frame of a million rows at 8x) is drawn at 1x, and
// beyond it at 1x too is not drawn at all, so a hostile frame cannot exhaust memory.
constexpr uint64_t MaxCanvasPixels = 64ull * 1024 * 1024;
} // namespace

void AnimationState::SetSpeed(int64_t framesPerSecond)
{
    speed = uint32_t(std::clamp<int64_t>(framesPerSecond, MinSpeed, MaxSpeed));
}

int32_t AnimationState::IntervalMilliseconds() const
{
    return int32_t((2000 + speed) / (2 * speed));
}

void AnimationState::SetZoom(int64_t value)
{
    zoom = uint8_t(std::clamp<int64_t>(value, MinZoom, MaxZoom));
}

FrameSlotRef AnimationState::Current() const
{
    if (Position < 0 || size_t(Position) >= Pass.size())
        return nullptr;
    return Pass[size_t(Position)];
}

bool AnimationState::Playable(const FrameSlotRef& slot)
{
    // A frame too large for the viewer is too large to draw here as well: a few bytes of run
    // data can stand for billions of pixels.
    return slot && slot->Frame && slot->Frame->Viewable()
        && !ViewerState::TooLargeToShow(*slot->Frame);
}

std::vector<Bitmap> AnimationState::PassPictures(const std::vector<FrameSlotRef>& paneFrames)
{
    std::vector<Bitmap> pictures;
    for (const FrameSlotRef& slot : paneFrames) {
        if (!Playable(slot))
            continue;
        const CELFrame& frame = *slot->Frame;
        Bitmap picture { frame.Width, frame.Height, {} };
        frame.DecodeImage(picture.BitmapPixels);
        if (picture.BitmapPixels.size() >= uint64_t { frame.Width } * frame.Height)
            pictures.push_back(std::move(picture));
    }
    return pictures;
}

int32_t AnimationState::NextPlayable(int32_t from) const
{
    for (int32_t k = std::max(from, 0); size_t(k) < Pass.size(); ++k)
        if (Playable(Pass[size_t(k)]))
            return k;
    return -1;
}

int32_t AnimationState::PreviousPlayable(int32_t from) const
{
    for (int32_t k = std::min(from, int32_t(Pass.size()) - 1); k >= 0; --k)
        if (Playable(Pass[size_t(k)]))
            return k;
    return -1;
}

void AnimationState::TakePass(const std::vector<FrameSlotRef>& paneFrames)
{
    Pass.clear();
    for (const FrameSlotRef& slot : paneFrames)
        if (Playable(slot))
            Pass.push_back(slot);
}

void AnimationState::Begin(const std::vector<FrameSlotRef>& paneFrames)
{
    TakePass(paneFrames);
    Position = NextPlayable(0);
}

void AnimationState::Stop()
{
    Pass.clear();
    Position = -1;
    Playing = false;
}

bool AnimationState::StepForward(const std::vector<FrameSlotRef>& paneFrames, bool wrap)
{
    const FrameSlotRef before = Current();
    const int32_t next = NextPlayable(Position + 1);
    if (next >= 0) {
        Position = next;
    } else if (wrap) {
        Begin(paneFrames);
    } else {
        // The end of a pass without looping: the last frame stays.
        Playing = false;
        if (!Playable(before))
            Position = PreviousPlayable(Position);
    }
    return Current() != before;
}

bool AnimationState::PassOverLost(const std::vector<FrameSlotRef>& paneFrames)
{
    if (!Showing() || Playable(Current()))
        return false;
    StepForward(paneFrames, true);
    if (!Showing())
        Playing = false;
    return true;
}

bool AnimationState::StepBack(const std::vector<FrameSlotRef>& paneFrames)
{
    const FrameSlotRef before = Current();
    const int32_t previous = Position > 0 ? PreviousPlayable(Position - 1) : -1;
    if (previous >= 0) {
        Position = previous;
    } else {
        TakePass(paneFrames);
        Position = PreviousPlayable(int32_t(Pass.size()) - 1);
    }
    return Current() != before;
}

bool AnimationState::Tick(const std::vector<FrameSlotRef>& paneFrames)
{
    if (!Playing)
        return false;
    return StepForward(paneFrames, Loop);
}

void AnimationState::CanvasSize(uint32_t& width, uint32_t& height) const
{
    width = 0;
    height = 0;
    for (const FrameSlotRef& slot : Pass) {
        if (!Playable(slot))
            continue;
        width = std::max(width, slot->Frame->Width);
        height = std::max(height, slot->Frame->Height);
    }
}

void AnimationState::Render(std::vector<uint8_t>& pixels, uint32_t& width, uint32_t& height) const
{
    pixels.clear();
    width = 0;
    height = 0;
    const FrameSlotRef slot = Current();
    if (!Playable(slot))
        return;
    uint32_t canvasWidth = 0;
    uint32_t canvasHeight = 0;
    CanvasSize(canvasWidth, canvasHeight);
    uint64_t z = zoom;
    if (uint64_t(canvasWidth) * canvasHeight * z * z > MaxCanvasPixels)
        z = 1;
    if (uint64_t(canvasWidth) * canvasHeight > MaxCanvasPixels)
        return;
    const CELFrame& frame = *slot->Frame;
    frame.DecodeImage(decoded);
    const uint32_t frameWidth = frame.Width;
    const uint32_t frameHeight = frame.Height;
    if (decoded.size() < size_t(frameWidth) * frameHeight)
        return;

    width = uint32_t(canvasWidth * z);
    height = uint32_t(canvasHeight * z);
    pixels.assign(size_t(width) * height, TransparentIndex);
    const size_t zoomed = size_t(frameWidth) * z;
    // Image row r (0 at the bottom) lands on canvas rows counted from the bottom, so the
    // frame's bottom left corner is the canvas's whatever their heights.
    for (uint32_t r = 0; r < frameHeight; ++r) {
        const uint8_t* source = decoded.data() + size_t(r) * frameWidth;
        const size_t firstLine = size_t(canvasHeight - 1 - r) * z;
        uint8_t* line = pixels.data() + firstLine * width;
        for (uint32_t c = 0; c < frameWidth; ++c)
            std::memset(line + size_t(c) * z, source[c], size_t(z));
        for (uint64_t k = 1; k < z; ++k)
            std::memcpy(line + size_t(k) * width, line, zoomed);
    }
}
