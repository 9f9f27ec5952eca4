#pragma once

#include <cstdint>
#include <vector>

#include "bitmaps/BMPHandler.h"
#include "cel/CELHandler.h"
#include "frames/FrameHandler.h"

// The toolkit-free state of the animation preview: which frames of a pane it plays, which one
// is shown, and how it steps. It refers to frames through their slots, as the pane does, so a
// frame edited, given another width or deleted while it plays is seen at once; frames added
// or reordered in the pane reach it when its next pass starts (each pass takes the pane's
// order anew).
class AnimationState {
public:
    static constexpr uint32_t MinSpeed = 1;
    static constexpr uint32_t MaxSpeed = 60;
    static constexpr uint32_t DefaultSpeed = 15;
    static constexpr uint8_t MinZoom = 1;
    static constexpr uint8_t MaxZoom = 8;

    // The frames of this pass, in pane order, each viewable when the pass began.
    std::vector<FrameSlotRef> Pass;
    // Index into Pass of the frame shown; -1 when nothing is shown.
    int32_t Position = -1;
    bool Playing = false;
    bool Loop = true;

    uint32_t Speed() const { return speed; }
    // Frames per second, brought into 1 ... 60.
    void SetSpeed(int64_t framesPerSecond);
    // Milliseconds between two frames at the current speed, rounded to the nearest.
    int32_t IntervalMilliseconds() const;

    uint8_t Zoom() const { return zoom; }
    void SetZoom(int64_t value); // brought into 1 ... 8

    bool Showing() const { return Position >= 0; }
    // The frame shown, or null when nothing is shown.
    FrameSlotRef Current() const;

    // Starts a pass over paneFrames (the pane's items after "<Begin>") at its first viewable
    // frame; nothing is shown when it has none. Playing is left as it was.
    void Begin(const std::vector<FrameSlotRef>& paneFrames);
    // Nothing shown, nothing playing, no pass.
    void Stop();

    // One frame on. Past the last frame of the pass a new pass is taken from paneFrames and
    // shown from its start; without Loop the player pauses on the last frame instead (when
    // wrap is false, as for a timer tick) and a step by hand wraps all the same. Frames of the
    // pass that stopped being viewable are passed over. Returns true when another frame is
    // shown than before.
    bool StepForward(const std::vector<FrameSlotRef>& paneFrames, bool wrap);
    // One frame back; before the first frame of the pass, the last frame of a new pass.
    bool StepBack(const std::vector<FrameSlotRef>& paneFrames);
    // A frame in view that can no longer be shown (its CEL was closed, so the frame is gone)
    // is passed over at once, as the next tick would pass over it; nothing is shown when no
    // frame is left. True when the frame shown changed.
    bool PassOverLost(const std::vector<FrameSlotRef>& paneFrames);
    // What a timer tick does while playing: StepForward without wrapping when Loop is off.
    bool Tick(const std::vector<FrameSlotRef>& paneFrames);

    // Size of the picture the pass is drawn on: the largest width and the largest height of
    // the frames of the pass that are still viewable (0 x 0 for none).
    void CanvasSize(uint32_t& width, uint32_t& height) const;

    // Draws the frame shown, magnified by Zoom, into an image of palette indices of
    // (canvas width x Zoom) x (canvas height x Zoom) pixels, top row first (as a screen
    // surface wants it). Every frame sits with its bottom left corner on the canvas's bottom
    // left corner; the rest is the transparent index. Empty when nothing is shown.
    void Render(std::vector<uint8_t>& pixels, uint32_t& width, uint32_t& height) const;

    // Whether the frame of slot is drawn: viewable, and not too large for the viewer.
    static bool Playable(const FrameSlotRef& slot);

    // The pictures a pass over paneFrames plays, in order: each playable frame decoded at its
    // selected width, row 0 the bottom row. This is what an animation file is written from.
    static std::vector<Bitmap> PassPictures(const std::vector<FrameSlotRef>& paneFrames);

private:
    // The first playable index of Pass at or after from (or before, going down); -1 for none.
    int32_t NextPlayable(int32_t from) const;
    int32_t PreviousPlayable(int32_t from) const;
    void TakePass(const std::vector<FrameSlotRef>& paneFrames);

    uint32_t speed = DefaultSpeed;
    uint8_t zoom = 2;
    mutable DataArray decoded; // scratch image of the frame shown, reused between renders
};
