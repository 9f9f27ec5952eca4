#include "framelists/PaneCoding.h"

#include <optional>

namespace {

// The selected frame of pane source as the CEL of the other pane would hold it; nothing when
// the operation's own conditions fail (it then does nothing, silently) or the codings match.
// refused: the frame would have to change coding but cannot.
std::optional<CELFrame> Recoded(const PanePair& panes, int32_t source, bool& refused)
{
    refused = false;
    if (source != PaneLeftIndex && source != PaneRightIndex)
        return std::nullopt;
    const int32_t destination = 1 - source;
    for (int32_t k : { source, destination })
        if (!panes.Holder(k) || !panes.Holder(k)->CEL || panes.Pane(k).Empty())
            return std::nullopt;
    const FrameSlotRef slot = panes.Pane(source).SelectedSlot();
    if (!slot || !slot->Frame)
        return std::nullopt;
    const FrameCoding coding = panes.Holder(destination)->CEL->Coding;
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
