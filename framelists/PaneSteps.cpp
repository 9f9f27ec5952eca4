#include "framelists/PaneSteps.h"

#include <utility>

namespace {

size_t At(int32_t k)
{
    return static_cast<size_t>(k);
}

bool ValidPane(int32_t k)
{
    return k == PaneLeftIndex || k == PaneRightIndex;
}

// Records that the step changed the CEL of pane k: its revision before, and a new one after.
// Called once the operation itself is done.
void Touch(PaneStep& step, const PanePair& panes, int32_t k)
{
    CELHolder& holder = *panes.Holder(k);
    step.Holders[At(k)] = panes.Holder(k);
    step.RevisionBefore[At(k)] = holder.Revision;
    step.RevisionAfter[At(k)] = holder.MarkChanged();
}

std::unique_ptr<PaneStep> MakeStep(const char* name, const PanePair& panes)
{
    auto step = std::make_unique<PaneStep>();
    step->Name = name;
    for (int32_t k : { PaneLeftIndex, PaneRightIndex })
        step->SelectedBefore[At(k)] = panes.Pane(k).Selected;
    return step;
}

void NoteSelectionAfter(PaneStep& step, const PanePair& panes)
{
    for (int32_t k : { PaneLeftIndex, PaneRightIndex })
        step.SelectedAfter[At(k)] = panes.Pane(k).Selected;
}

bool Shows(const PanePair& panes, int32_t k)
{
    return ValidPane(k) && panes.Holder(k) && panes.Holder(k)->CEL && !panes.Pane(k).Empty();
}

} // namespace

int32_t PaneCarrying(const PanePair& panes, const FrameSlotRef& slot)
{
    if (!slot)
        return -1;
    for (int32_t k : { PaneLeftIndex, PaneRightIndex })
        if (panes.Pane(k).SelectedSlot() == slot)
            return k;
    for (int32_t k : { PaneLeftIndex, PaneRightIndex }) {
        const PaneModel& pane = panes.Pane(k);
        for (int32_t j = 1; j < pane.Count(); ++j)
            if (pane.Items[At(j)].Slot == slot)
                return k;
    }
    return -1;
}

StepEffect PaneStep::Undo(PanePair& panes) const
{
    return Apply(panes, false);
}

StepEffect PaneStep::Redo(PanePair& panes) const
{
    return Apply(panes, true);
}

StepEffect PaneStep::Apply(PanePair& panes, bool forward) const
{
    StepEffect effect;
    // The history is emptied whenever a pane gets another CEL; this only guards against a
    // step outliving that rule.
    for (int32_t k : { PaneLeftIndex, PaneRightIndex })
        if (Holders[At(k)] && (Holders[At(k)] != panes.Holder(k) || !Holders[At(k)]->CEL))
            return effect;

    if (Moved) {
        const Relocation& m = *Moved;
        const int32_t takePane = forward ? m.FromPane : m.ToPane;
        const int32_t takeIndex = forward ? m.FromIndex : m.ToIndex;
        const int32_t putPane = forward ? m.ToPane : m.FromPane;
        const int32_t putIndex = forward ? m.ToIndex : m.FromIndex;
        if (takeIndex >= 0 && panes.Pane(takePane).SlotAt(takeIndex) != m.Slot)
            return effect;
        if (takeIndex >= 0)
            panes.Pane(takePane).RemoveItem(takeIndex);
        if (putIndex >= 0)
            panes.Pane(putPane).InsertSlot(putIndex, m.Slot);
        const std::array<int32_t, 2>& selected = forward ? SelectedAfter : SelectedBefore;
        for (int32_t k : { m.FromPane, m.ToPane }) {
            if (!ValidPane(k) || (k == m.ToPane && k == m.FromPane && effect.Items[At(k)]))
                continue;
            RestorePane(panes, k, selected[At(k)], effect);
        }
        effect.ShowPane = ShowPane;
    }

    if (MovedAll && !ApplyBatch(panes, forward, effect))
        return effect;

    if (Changed)
        PutFrame(panes, Changed, forward ? After : Before, ShowChanged, effect);
    for (const FrameChange& change : Recoded)
        PutFrame(panes, change.Slot, forward ? change.After : change.Before, true, effect);

    if (ValidPane(FlagPane)) {
        const CELFlags& flags = forward ? FlagsAfter : FlagsBefore;
        CELObject& cel = *panes.Holder(FlagPane)->CEL;
        cel.WithHeaders = flags.WithHeaders;
        cel.HasDatabase = flags.HasDatabase;
        effect.Flags[At(FlagPane)] = true;
    }

    for (int32_t k : { PaneLeftIndex, PaneRightIndex })
        if (Holders[At(k)])
            Holders[At(k)]->Revision = forward ? RevisionAfter[At(k)] : RevisionBefore[At(k)];
    effect.Applied = true;
    return effect;
}

bool PaneStep::ApplyBatch(PanePair& panes, bool forward, StepEffect& effect) const
{
    const Batch& batch = *MovedAll;
    PaneModel& to = panes.Pane(batch.ToPane);
    const size_t first = At(batch.ToFirst);
    auto holds = [](const PaneModel& pane, size_t from, const std::vector<FrameSlotRef>& slots) {
        if (pane.Items.size() != from + slots.size())
            return false;
        for (size_t k = 0; k < slots.size(); ++k)
            if (pane.Items[from + k].Slot != slots[k])
                return false;
        return true;
    };
    if (forward) {
        if (to.Items.size() != first)
            return false;
        if (ValidPane(batch.FromPane)) {
            PaneModel& from = panes.Pane(batch.FromPane);
            if (!holds(from, 1, batch.Slots))
                return false;
            from.Items.resize(1);
        }
        for (const FrameSlotRef& slot : batch.Slots)
            to.Items.push_back({ std::string(), slot });
        to.RelabelFrom(batch.ToFirst);
    } else {
        if (!holds(to, first, batch.Slots))
            return false;
        to.Items.resize(first);
        if (ValidPane(batch.FromPane)) {
            PaneModel& from = panes.Pane(batch.FromPane);
            if (from.Items.size() != 1)
                return false;
            for (const FrameSlotRef& slot : batch.Slots)
                from.Items.push_back({ std::string(), slot });
            from.RelabelFrom(1);
        }
    }
    const std::array<int32_t, 2>& selected = forward ? SelectedAfter : SelectedBefore;
    for (int32_t k : { batch.FromPane, batch.ToPane })
        if (ValidPane(k))
            RestorePane(panes, k, selected[At(k)], effect);
    effect.ShowPane = ShowPane;
    return true;
}

void PaneStep::RestorePane(PanePair& panes, int32_t k, int32_t selected, StepEffect& effect)
{
    PaneModel& pane = panes.Pane(k);
    pane.Selected = selected;
    if (pane.Selected < 0 || pane.Selected >= pane.Count())
        pane.Selected = pane.Count() - 1;
    // A pane that lost or gained a frame through undo or redo is written back at once, so
    // that no CEL's table keeps a frame its pane no longer shows.
    RebuildCELFromPane(*panes.Holder(k), pane);
    effect.Items[At(k)] = true;
}

void PaneStep::PutFrame(PanePair& panes, const FrameSlotRef& slot, const CELFrame& frame,
    bool show, StepEffect& effect)
{
    if (slot->Frame)
        *slot->Frame = frame;
    else
        slot->Frame = std::make_unique<CELFrame>(frame);
    const int32_t k = PaneCarrying(panes, slot);
    if (k < 0)
        return;
    PaneModel& pane = panes.Pane(k);
    for (int32_t j = 1; j < pane.Count(); ++j)
        if (pane.Items[At(j)].Slot == slot)
            pane.Relabel(j);
    effect.Items[At(k)] = true;
    if (show && pane.SelectedSlot() == slot)
        effect.ShowPane = k;
}

std::unique_ptr<PaneStep> NewFrameStep(PanePair& panes, int32_t pane)
{
    if (!Shows(panes, pane))
        return nullptr;
    auto step = MakeStep("New", panes);
    PaneModel& model = panes.Pane(pane);
    if (!model.NewFrame(panes.Holder(pane)->CEL->Coding))
        return nullptr;
    step->Moved = PaneStep::Relocation { -1, -1, pane, model.Selected, model.SelectedSlot() };
    NoteSelectionAfter(*step, panes);
    step->ShowPane = pane;
    Touch(*step, panes, pane);
    return step;
}

std::unique_ptr<PaneStep> DeleteFrameStep(PanePair& panes, int32_t pane)
{
    if (!Shows(panes, pane))
        return nullptr;
    auto step = MakeStep("Delete", panes);
    PaneModel& model = panes.Pane(pane);
    const int32_t i = model.Selected;
    // The frame is not destroyed: the step keeps it, and it goes when the step goes.
    FrameSlotRef slot = model.TakeSelected();
    if (!slot)
        return nullptr;
    RebuildCELFromPane(*panes.Holder(pane), model);
    step->Moved = PaneStep::Relocation { pane, i, -1, -1, std::move(slot) };
    NoteSelectionAfter(*step, panes);
    step->ShowPane = pane;
    Touch(*step, panes, pane);
    return step;
}

std::unique_ptr<PaneStep> ReorderStep(PanePair& panes, int32_t pane, ReorderKind kind)
{
    if (!Shows(panes, pane))
        return nullptr;
    static const char* const names[] = { "Up", "Down", "Make first", "Make last" };
    auto step = MakeStep(names[static_cast<size_t>(kind)], panes);
    PaneModel& model = panes.Pane(pane);
    const int32_t i = model.Selected;
    FrameSlotRef slot = model.SelectedSlot();
    bool done = false;
    switch (kind) {
    case ReorderKind::Up:
        done = model.MoveUp();
        break;
    case ReorderKind::Down:
        done = model.MoveDown();
        break;
    case ReorderKind::First:
        done = model.MakeFirst();
        break;
    case ReorderKind::Last:
        done = model.MakeLast();
        break;
    }
    if (!done)
        return nullptr;
    // Every reordering takes the frame out at i and puts it in where it is now selected.
    step->Moved = PaneStep::Relocation { pane, i, pane, model.Selected, std::move(slot) };
    NoteSelectionAfter(*step, panes);
    step->ShowPane = pane;
    Touch(*step, panes, pane);
    return step;
}

std::unique_ptr<PaneStep> CopyFrameStep(PanePair& panes, int32_t source)
{
    const int32_t destination = 1 - source;
    if (!Shows(panes, source) || !Shows(panes, destination))
        return nullptr;
    FrameSlotRef slot = panes.Pane(source).SelectedSlot();
    if (!slot || !slot->Frame)
        return nullptr;
    auto step = MakeStep("Copy", panes);
    auto copy = std::make_shared<FrameSlot>();
    copy->Frame = CELFrame::CreateCopy(*slot->Frame);
    PaneModel& target = panes.Pane(destination);
    target.InsertAfterSelection(copy);
    step->Moved = PaneStep::Relocation { -1, -1, destination, target.Selected, std::move(copy) };
    NoteSelectionAfter(*step, panes);
    step->ShowPane = destination;
    Touch(*step, panes, destination);
    return step;
}

std::unique_ptr<PaneStep> MoveFrameStep(PanePair& panes, int32_t source)
{
    const int32_t destination = 1 - source;
    if (!Shows(panes, source) || !Shows(panes, destination))
        return nullptr;
    PaneModel& from = panes.Pane(source);
    if (from.Selected < 1)
        return nullptr;
    auto step = MakeStep("Move", panes);
    const int32_t i = from.Selected;
    FrameSlotRef slot = from.TakeSelected();
    if (!slot)
        return nullptr;
    PaneModel& target = panes.Pane(destination);
    target.InsertAfterSelection(slot);
    RebuildCELFromPane(*panes.Holder(source), from);
    step->Moved = PaneStep::Relocation { source, i, destination, target.Selected, std::move(slot) };
    NoteSelectionAfter(*step, panes);
    step->ShowPane = source;
    Touch(*step, panes, source);
    Touch(*step, panes, destination);
    return step;
}

std::unique_ptr<PaneStep> FrameContentStep(PanePair& panes, std::string name,
    const FrameSlotRef& slot, const CELFrame& before, bool showChanged)
{
    const int32_t k = PaneCarrying(panes, slot);
    if (k < 0 || !slot->Frame || !panes.Holder(k) || *slot->Frame == before)
        return nullptr;
    auto step = MakeStep("", panes);
    step->Name = std::move(name);
    step->Changed = slot;
    step->Before = before;
    step->After = *slot->Frame;
    step->ShowChanged = showChanged;
    NoteSelectionAfter(*step, panes);
    Touch(*step, panes, k);
    return step;
}

std::unique_ptr<PaneStep> RecodePaneStep(PanePair& panes, int32_t pane, std::string name,
    const std::function<bool(CELFrame&)>& recode, std::vector<int32_t>& skipped, bool keepUnchanged)
{
    skipped.clear();
    if (!Shows(panes, pane))
        return nullptr;
    auto step = MakeStep("", panes);
    step->Name = std::move(name);
    PaneModel& model = panes.Pane(pane);
    for (int32_t j = 1; j < model.Count(); ++j) {
        const FrameSlotRef& slot = model.Items[At(j)].Slot;
        if (!slot || !slot->Frame)
            continue;
        CELFrame before = *slot->Frame;
        if (!recode(*slot->Frame)) {
            skipped.push_back(j - 1);
            continue;
        }
        if (*slot->Frame == before)
            continue;
        model.Relabel(j);
        step->Recoded.push_back({ slot, std::move(before), *slot->Frame });
    }
    if (step->Recoded.empty() && !keepUnchanged)
        return nullptr;
    NoteSelectionAfter(*step, panes);
    if (!step->Recoded.empty())
        Touch(*step, panes, pane);
    return step;
}

std::unique_ptr<PaneStep> FlagStep(
    PanePair& panes, int32_t pane, uint8_t withHeadersBefore, uint8_t hasDatabaseBefore)
{
    if (!ValidPane(pane) || !panes.Holder(pane) || !panes.Holder(pane)->CEL)
        return nullptr;
    const CELObject& cel = *panes.Holder(pane)->CEL;
    if (cel.WithHeaders == withHeadersBefore && cel.HasDatabase == hasDatabaseBefore)
        return nullptr;
    auto step = MakeStep(
        cel.WithHeaders != withHeadersBefore ? "Add Frame Headers" : "Save Database", panes);
    step->FlagPane = pane;
    step->FlagsBefore = { withHeadersBefore, hasDatabaseBefore };
    step->FlagsAfter = { cel.WithHeaders, cel.HasDatabase };
    NoteSelectionAfter(*step, panes);
    Touch(*step, panes, pane);
    return step;
}

namespace {

// "Copy all" and "Move all": every frame of the source after its first item goes to the end of
// the other pane, as a copy or as itself, in one step.
std::unique_ptr<PaneStep> AllFramesStep(PanePair& panes, int32_t source, bool move)
{
    if (!OperationApplies(panes, source, move ? PaneOperation::MoveAll : PaneOperation::CopyAll))
        return nullptr;
    const int32_t destination = 1 - source;
    auto step = MakeStep(move ? "Move all" : "Copy all", panes);
    PaneModel& from = panes.Pane(source);
    PaneModel& target = panes.Pane(destination);
    PaneStep::Batch batch { move ? source : -1, destination, target.Count(), {} };
    for (int32_t k = 1; k < from.Count(); ++k) {
        FrameSlotRef slot = from.SlotAt(k);
        if (!move) {
            slot = std::make_shared<FrameSlot>();
            slot->Frame = CELFrame::CreateCopy(*from.SlotAt(k)->Frame);
        }
        batch.Slots.push_back(slot);
        target.Items.push_back({ std::string(), std::move(slot) });
    }
    if (move) {
        from.Items.resize(1);
        from.Selected = 0;
    }
    target.RelabelFrom(batch.ToFirst);
    target.Selected = target.Count() - 1;
    if (move)
        RebuildCELFromPane(*panes.Holder(source), from);
    step->MovedAll = std::move(batch);
    NoteSelectionAfter(*step, panes);
    step->ShowPane = move ? source : destination;
    if (move)
        Touch(*step, panes, source);
    Touch(*step, panes, destination);
    return step;
}

} // namespace

std::unique_ptr<PaneStep> CopyAllFramesStep(PanePair& panes, int32_t source)
{
    return AllFramesStep(panes, source, false);
}

std::unique_ptr<PaneStep> MoveAllFramesStep(PanePair& panes, int32_t source)
{
    return AllFramesStep(panes, source, true);
}

bool OperationApplies(const PanePair& panes, int32_t pane, PaneOperation operation)
{
    if (!Shows(panes, pane))
        return false;
    const PaneModel& model = panes.Pane(pane);
    const int32_t i = model.Selected;
    const int32_t n = model.Count();
    const bool other = Shows(panes, 1 - pane);
    switch (operation) {
    case PaneOperation::New:
        return true;
    case PaneOperation::Delete:
        return i >= 1 && i < n;
    case PaneOperation::Up:
    case PaneOperation::First:
        return i >= 2 && i < n;
    case PaneOperation::Down:
    case PaneOperation::Last:
        return i >= 1 && i < n - 1;
    case PaneOperation::Copy:
        return other && model.SelectedSlot() && model.SelectedSlot()->Frame;
    case PaneOperation::Move:
        return other && i >= 1 && i < n;
    case PaneOperation::CopyAll: {
        if (!other || n < 2)
            return false;
        for (int32_t k = 1; k < n; ++k)
            if (!model.SlotAt(k) || !model.SlotAt(k)->Frame)
                return false;
        return true;
    }
    case PaneOperation::MoveAll:
        return other && n >= 2;
    }
    return false;
}
