#include "framelists/PaneCoding.h"

#include <optional>
#include <vector>

namespace {

// The selected frame of pane source as the CEL of the other pane would hold it; nothing when
// the operation's own conditions fail (it then does nothing, silently) or the codings match.
// refused: the frame would have to change coding but cannot.
std::optional<CELFrame> Recoded(const PanePair& panes, int32_t source, bool& refused)
{
    refused = false;
    if (!OperationApplies(panes, source, PaneOperation::Copy))
        return std::nullopt;
    const FrameSlotRef slot = panes.Pane(source).SelectedSlot();
    const FrameCoding coding = panes.Holder(1 - source)->CEL->Coding;
    if (slot->Frame->Coding == coding)
        return std::nullopt;
    CELFrame frame = *slot->Frame;
    if (!RecodeFrame(frame, coding)) {
        refused = true;
        return std::nullopt;
    }
    return frame;
}

// The item of pane that carries slot takes the caption of its frame as it is now.
void RelabelCarrier(PaneModel& pane, const FrameSlotRef& slot)
{
    for (int32_t j = 1; j < pane.Count(); ++j)
        if (pane.Items[static_cast<size_t>(j)].Slot == slot)
            pane.Relabel(j);
}

// Every frame of pane source as the CEL of the other pane would hold them, in order; nothing
// when the operation does nothing or no frame changes coding. refused: a frame would have to
// change coding but cannot.
std::optional<std::vector<CELFrame>> RecodedAll(const PanePair& panes, int32_t source, bool& refused)
{
    refused = false;
    if (!OperationApplies(panes, source, PaneOperation::CopyAll))
        return std::nullopt;
    const FrameCoding coding = panes.Holder(1 - source)->CEL->Coding;
    const PaneModel& from = panes.Pane(source);
    std::vector<CELFrame> frames;
    bool differs = false;
    for (int32_t k = 1; k < from.Count(); ++k) {
        const FrameSlotRef slot = from.SlotAt(k);
        frames.push_back(*slot->Frame);
        if (slot->Frame->Coding == coding)
            continue;
        if (!RecodeFrame(frames.back(), coding)) {
            refused = true;
            return std::nullopt;
        }
        differs = true;
    }
    if (!differs)
        return std::nullopt;
    return frames;
}

} // namespace

std::unique_ptr<PaneStep> CopyFrameRecodedStep(PanePair& panes, int32_t source, bool& refused)
{
    std::optional<CELFrame> frame = Recoded(panes, source, refused);
    if (refused)
        return nullptr;
    std::unique_ptr<PaneStep> step = CopyFrameStep(panes, source);
    if (!step || !frame || !step->Moved || !step->Moved->Slot)
        return step;
    // The step holds the copy's slot only, so putting the re-coded frame into it keeps
    // undo and redo exact.
    *step->Moved->Slot->Frame = std::move(*frame);
    RelabelCarrier(panes.Pane(1 - source), step->Moved->Slot);
    return step;
}

std::unique_ptr<PaneStep> MoveFrameRecodedStep(PanePair& panes, int32_t source, bool& refused)
{
    std::optional<CELFrame> frame = Recoded(panes, source, refused);
    if (refused)
        return nullptr;
    const FrameSlotRef slot = frame ? panes.Pane(source).SelectedSlot() : nullptr;
    const std::optional<CELFrame> before
        = slot ? std::optional<CELFrame>(*slot->Frame) : std::nullopt;
    std::unique_ptr<PaneStep> step = MoveFrameStep(panes, source);
    if (!step || !frame || !before)
        return step;
    *slot->Frame = *frame;
    // Undo puts the slot back into the source pane first, then its frame as it was.
    step->Changed = slot;
    step->Before = *before;
    step->After = std::move(*frame);
    step->ShowChanged = false;
    RelabelCarrier(panes.Pane(1 - source), slot);
    return step;
}

namespace {

std::unique_ptr<PaneStep> AllFramesRecodedStep(PanePair& panes, int32_t source, bool move, bool& refused)
{
    std::optional<std::vector<CELFrame>> frames = RecodedAll(panes, source, refused);
    if (refused)
        return nullptr;
    std::unique_ptr<PaneStep> step
        = move ? MoveAllFramesStep(panes, source) : CopyAllFramesStep(panes, source);
    if (!step || !frames || !step->MovedAll || step->MovedAll->Slots.size() != frames->size())
        return step;
    for (size_t k = 0; k < frames->size(); ++k) {
        const FrameSlotRef& slot = step->MovedAll->Slots[k];
        // Copies are the step's own slots, so re-coding them in place keeps undo and redo
        // exact. Moved slots are the source's: undo puts them back first, then their frames
        // as they were.
        if (move && !(*slot->Frame == (*frames)[k]))
            step->Recoded.push_back({ slot, *slot->Frame, (*frames)[k] });
        *slot->Frame = std::move((*frames)[k]);
    }
    panes.Pane(1 - source).RelabelFrom(step->MovedAll->ToFirst);
    return step;
}

} // namespace

std::unique_ptr<PaneStep> CopyAllFramesRecodedStep(PanePair& panes, int32_t source, bool& refused)
{
    return AllFramesRecodedStep(panes, source, false, refused);
}

std::unique_ptr<PaneStep> MoveAllFramesRecodedStep(PanePair& panes, int32_t source, bool& refused)
{
    return AllFramesRecodedStep(panes, source, true, refused);
}
