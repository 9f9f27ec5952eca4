#include "framelists/PaneSteps.h"

#include <map>
#include <random>

#include <gtest/gtest.h>

namespace {

// A coded frame of width x height pixels whose literal runs end where rows end, so that it has
// several candidate widths; seed varies the pixels and name names it.
FrameSlotRef MakeSlot(uint32_t width, uint32_t height, uint32_t seed, const std::string& name = "")
{
    DataArray image(size_t(width) * height, TransparentIndex);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x + 1 < width; x += 2)
            image[size_t(y) * width + x] = uint8_t((seed * 13 + x + y * 7) % 120);
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty();
    slot->Frame->SetSize(width, height);
    slot->Frame->EncodeImage(image);
    slot->Frame->AnalyseData();
    slot->Frame->Name = name;
    return slot;
}

CELHolderRef MakeHolder(const std::vector<FrameSlotRef>& slots)
{
    auto holder = std::make_shared<CELHolder>();
    holder->CEL = CELObject::CreateEmpty(uint32_t(slots.size()));
    holder->CEL->Frames = slots;
    holder->CEL->FileName = "x.cel";
    holder->CEL->HasDatabase = 1;
    return holder;
}

// Two panes showing two CELs, as the frame lists window holds them.
struct Rig {
    PaneModel Left;
    PaneModel Right;
    PanePair Panes;

    Rig(int leftFrames, int rightFrames, uint32_t seed = 0)
    {
        std::vector<FrameSlotRef> left;
        std::vector<FrameSlotRef> right;
        for (int k = 0; k < leftFrames; ++k)
            left.push_back(MakeSlot(4 + 2 * uint32_t(k % 3), 2 + uint32_t(k % 4),
                seed + uint32_t(k), k % 2 ? "left" + std::to_string(k) : ""));
        for (int k = 0; k < rightFrames; ++k)
            right.push_back(MakeSlot(6, 1 + uint32_t(k % 3), seed + 50 + uint32_t(k),
                k % 2 ? "" : "right" + std::to_string(k)));
        Panes.Panes = { &Left, &Right };
        Panes.Holders = { MakeHolder(left), MakeHolder(right) };
        Left.Fill(*Panes.Holders[0]->CEL);
        Right.Fill(*Panes.Holders[1]->CEL);
    }
};

// What a pane shows, by value: the frames in order with the item texts, and the selection.
struct PaneContent {
    std::vector<CELFrame> Frames;
    std::vector<std::string> Texts;
    int32_t Selected;
    bool operator==(const PaneContent&) const = default;
};

PaneContent Content(const PaneModel& pane)
{
    PaneContent content { {}, {}, pane.Selected };
    for (const PaneItem& item : pane.Items) {
        content.Texts.push_back(item.Text);
        if (item.Slot)
            content.Frames.push_back(*item.Slot->Frame);
    }
    return content;
}

std::vector<FrameSlotRef> SlotsOf(const PaneModel& pane)
{
    std::vector<FrameSlotRef> slots;
    for (int32_t j = 1; j < pane.Count(); ++j)
        slots.push_back(pane.Items[size_t(j)].Slot);
    return slots;
}

// Undoing gives back exactly the panes before; redoing exactly the panes after.
void ExpectRoundTrip(
    Rig& rig, const PaneStep& step, const PaneContent& leftBefore, const PaneContent& rightBefore)
{
    const PaneContent leftAfter = Content(rig.Left);
    const PaneContent rightAfter = Content(rig.Right);
    const std::vector<FrameSlotRef> leftSlots = SlotsOf(rig.Left);
    const std::vector<FrameSlotRef> rightSlots = SlotsOf(rig.Right);
    EXPECT_TRUE(step.Undo(rig.Panes).Applied);
    EXPECT_EQ(Content(rig.Left), leftBefore);
    EXPECT_EQ(Content(rig.Right), rightBefore);
    EXPECT_TRUE(step.Redo(rig.Panes).Applied);
    EXPECT_EQ(Content(rig.Left), leftAfter);
    EXPECT_EQ(Content(rig.Right), rightAfter);
    // The frames keep their identity across undo and redo.
    EXPECT_EQ(SlotsOf(rig.Left), leftSlots);
    EXPECT_EQ(SlotsOf(rig.Right), rightSlots);
}

TEST(PaneSteps, EachStructuralStepUndoesToTheStateBeforeAndRedoesToTheStateAfter)
{
    struct Case {
        const char* Name;
        int32_t Selected;
        std::function<std::unique_ptr<PaneStep>(PanePair&)> Do;
    };
    const std::vector<Case> cases = {
        { "New", 2, [](PanePair& p) { return NewFrameStep(p, PaneLeftIndex); } },
        { "New", 0, [](PanePair& p) { return NewFrameStep(p, PaneLeftIndex); } },
        { "Delete", 3, [](PanePair& p) { return DeleteFrameStep(p, PaneLeftIndex); } },
        { "Delete", 5, [](PanePair& p) { return DeleteFrameStep(p, PaneLeftIndex); } },
        { "Up", 4, [](PanePair& p) { return ReorderStep(p, PaneLeftIndex, ReorderKind::Up); } },
        { "Down", 1, [](PanePair& p) { return ReorderStep(p, PaneLeftIndex, ReorderKind::Down); } },
        { "Make first", 5,
            [](PanePair& p) { return ReorderStep(p, PaneLeftIndex, ReorderKind::First); } },
        { "Make last", 2,
            [](PanePair& p) { return ReorderStep(p, PaneLeftIndex, ReorderKind::Last); } },
        { "Copy", 3, [](PanePair& p) { return CopyFrameStep(p, PaneLeftIndex); } },
        { "Move", 3, [](PanePair& p) { return MoveFrameStep(p, PaneLeftIndex); } },
        { "Move", 5, [](PanePair& p) { return MoveFrameStep(p, PaneLeftIndex); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(c.Selected));
        Rig rig(5, 3);
        rig.Left.Selected = c.Selected;
        rig.Right.Selected = 1;
        const PaneContent left = Content(rig.Left);
        const PaneContent right = Content(rig.Right);
        std::unique_ptr<PaneStep> step = c.Do(rig.Panes);
        ASSERT_TRUE(step);
        EXPECT_EQ(step->Name, c.Name);
        ExpectRoundTrip(rig, *step, left, right);
    }
}

TEST(PaneSteps, OperationsWhoseConditionFailsMakeNoStep)
{
    Rig rig(2, 0);
    rig.Left.Selected = 0;
    EXPECT_FALSE(DeleteFrameStep(rig.Panes, PaneLeftIndex));
    EXPECT_FALSE(ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Down));
    EXPECT_FALSE(ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Last));
    EXPECT_FALSE(CopyFrameStep(rig.Panes, PaneLeftIndex));
    rig.Left.Selected = 1;
    EXPECT_FALSE(ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Up));
    EXPECT_FALSE(ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::First));
    rig.Left.Selected = 2;
    EXPECT_FALSE(ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Down));
    rig.Panes.Holders[1] = nullptr; // the right pane shows no CEL
    rig.Right.Clear();
    EXPECT_FALSE(CopyFrameStep(rig.Panes, PaneLeftIndex));
    EXPECT_FALSE(MoveFrameStep(rig.Panes, PaneLeftIndex));
    EXPECT_FALSE(NewFrameStep(rig.Panes, PaneRightIndex));
    EXPECT_EQ(rig.Panes.Holders[0]->Revision, 0u);
    EXPECT_FALSE(rig.Panes.Holders[0]->Changed());
}

TEST(PaneSteps, ADeletedFrameStaysAliveWhileItsStepCanBringItBack)
{
    Rig rig(3, 1);
    rig.Left.Selected = 2;
    FrameSlotRef deleted = rig.Left.SelectedSlot();
    std::weak_ptr<FrameSlot> watch = deleted;
    const CELFrame frame = *deleted->Frame;
    deleted.reset();
    std::unique_ptr<PaneStep> step = DeleteFrameStep(rig.Panes, PaneLeftIndex);
    ASSERT_TRUE(step);
    // Written back at once: the table no longer has it, but the frame is whole.
    ASSERT_EQ(rig.Panes.Holders[0]->CEL->Frames.size(), 2u);
    ASSERT_FALSE(watch.expired());
    ASSERT_TRUE(watch.lock()->Frame);
    EXPECT_EQ(*watch.lock()->Frame, frame);

    step->Undo(rig.Panes);
    EXPECT_EQ(rig.Left.SelectedSlot(), watch.lock());
    EXPECT_EQ(rig.Left.Selected, 2);
    // Undo writes the CEL back as the delete did, so the table has the frame again.
    ASSERT_EQ(rig.Panes.Holders[0]->CEL->Frames.size(), 3u);
    EXPECT_EQ(rig.Panes.Holders[0]->CEL->Frames[1], watch.lock());

    step->Redo(rig.Panes);
    step.reset();
    EXPECT_TRUE(watch.expired()); // the frame goes with the last step that held it
}

TEST(PaneSteps, MoveOfOneFrameIsOneStepAcrossBothPanesAndWritesBothBack)
{
    Rig rig(3, 2);
    rig.Left.Selected = 1;
    rig.Right.Selected = 2;
    FrameSlotRef moved = rig.Left.SelectedSlot();
    std::unique_ptr<PaneStep> step = MoveFrameStep(rig.Panes, PaneLeftIndex);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->ShowPane, PaneLeftIndex);
    EXPECT_EQ(rig.Right.Items[3].Slot, moved);
    EXPECT_TRUE(rig.Panes.Holders[0]->Changed());
    EXPECT_TRUE(rig.Panes.Holders[1]->Changed());

    // The right CEL is saved with the frame, then the move is undone: its table must not keep
    // a frame that is back in the left pane.
    RebuildCELFromPane(*rig.Panes.Holders[1], rig.Right);
    ASSERT_EQ(rig.Panes.Holders[1]->CEL->Frames.size(), 3u);
    const StepEffect effect = step->Undo(rig.Panes);
    EXPECT_TRUE(effect.Items[0] && effect.Items[1]);
    EXPECT_EQ(effect.ShowPane, PaneLeftIndex);
    EXPECT_EQ(rig.Left.SelectedSlot(), moved);
    EXPECT_EQ(rig.Right.Selected, 2);
    EXPECT_EQ(rig.Panes.Holders[1]->CEL->Frames.size(), 2u);
    EXPECT_EQ(rig.Panes.Holders[0]->CEL->Frames[0], moved);
    EXPECT_FALSE(rig.Panes.Holders[0]->Changed());
    EXPECT_FALSE(rig.Panes.Holders[1]->Changed());
}

TEST(PaneSteps, AFrameContentStepGivesTheWholeFrameBackAndShowsItWhenSelected)
{
    Rig rig(2, 1);
    rig.Left.Selected = 2;
    FrameSlotRef slot = rig.Left.SelectedSlot();
    const CELFrame before = *slot->Frame;
    ASSERT_GE(before.WidthCount, 2);
    slot->Frame->SelectWidth(1);
    slot->Frame->Name = "renamed";
    rig.Left.Relabel(2);
    const CELFrame after = *slot->Frame;
    std::unique_ptr<PaneStep> step = FrameContentStep(rig.Panes, "Width", slot, before, true);
    ASSERT_TRUE(step);

    StepEffect effect = step->Undo(rig.Panes);
    EXPECT_EQ(*slot->Frame, before);
    EXPECT_EQ(rig.Left.Items[2].Text, FrameCaption(1, before));
    EXPECT_EQ(effect.ShowPane, PaneLeftIndex);
    effect = step->Redo(rig.Panes);
    EXPECT_EQ(*slot->Frame, after);
    EXPECT_EQ(rig.Left.Items[2].Text, FrameCaption(1, after));

    // Not the selected item: relabelled, not shown.
    rig.Left.Selected = 1;
    effect = step->Undo(rig.Panes);
    EXPECT_EQ(effect.ShowPane, -1);
    EXPECT_TRUE(effect.Items[0]);

    // An unchanged frame, or one no pane carries, makes no step.
    EXPECT_FALSE(FrameContentStep(rig.Panes, "Rename", slot, *slot->Frame, false));
    EXPECT_FALSE(FrameContentStep(rig.Panes, "Rename", MakeSlot(2, 2, 1), before, false));
}

TEST(PaneSteps, AFlagStepSetsTheCELsFlagsBackAndForth)
{
    Rig rig(1, 1);
    CELObject& cel = *rig.Panes.Holders[1]->CEL;
    cel.WithHeaders = 0;
    std::unique_ptr<PaneStep> step = FlagStep(rig.Panes, PaneRightIndex, 1, 1);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->Name, "Add Frame Headers");
    StepEffect effect = step->Undo(rig.Panes);
    EXPECT_TRUE(effect.Flags[1]);
    EXPECT_EQ(rig.Panes.Holders[1]->CEL->WithHeaders, 1);
    step->Redo(rig.Panes);
    EXPECT_EQ(rig.Panes.Holders[1]->CEL->WithHeaders, 0);
    EXPECT_FALSE(FlagStep(rig.Panes, PaneRightIndex, 0, 1));
    // After a write-back the new object of the same holder is the one changed.
    RebuildCELFromPane(*rig.Panes.Holders[1], rig.Right);
    step->Undo(rig.Panes);
    EXPECT_EQ(rig.Panes.Holders[1]->CEL->WithHeaders, 1);
}

TEST(PaneSteps, UndoingBackToTheSavedStateClearsTheChangeMark)
{
    Rig rig(3, 1);
    CELHolder& holder = *rig.Panes.Holders[0];
    rig.Left.Selected = 1;
    auto down = ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Down);
    ASSERT_TRUE(down);
    EXPECT_TRUE(holder.Changed());
    holder.MarkSaved();
    EXPECT_FALSE(holder.Changed());
    down->Undo(rig.Panes);
    EXPECT_TRUE(holder.Changed()); // differs from what was written
    down->Redo(rig.Panes);
    EXPECT_FALSE(holder.Changed());
    // A different change that gives the same order is still a change.
    down->Undo(rig.Panes);
    rig.Left.Selected = 1;
    auto again = ReorderStep(rig.Panes, PaneLeftIndex, ReorderKind::Down);
    ASSERT_TRUE(again);
    EXPECT_TRUE(holder.Changed());
    // The other CEL was never touched.
    EXPECT_FALSE(rig.Panes.Holders[1]->Changed());
}

TEST(PaneSteps, AStepRefusesPanesThatShowOtherCELs)
{
    Rig rig(2, 2);
    rig.Left.Selected = 1;
    auto step = DeleteFrameStep(rig.Panes, PaneLeftIndex);
    ASSERT_TRUE(step);
    const PaneContent before = Content(rig.Left);
    Rig other(2, 2);
    rig.Panes.Holders[0] = other.Panes.Holders[0];
    EXPECT_FALSE(step->Undo(rig.Panes).Applied);
    EXPECT_EQ(Content(rig.Left), before);
}

// The operations of the reference: the pane operations alone, without any step.
enum class OpKind { New, Delete, Up, Down, First, Last, Copy, Move, Rename, Width, Flag };

struct Op {
    OpKind Kind;
    int32_t Pane;
    int32_t SelectedLeft;
    int32_t SelectedRight;
    uint32_t Value; // width index, flag value, name number
    int Id;
};

// Performs op on the panes as the buttons do; false when its condition fails.
bool Perform(PanePair& panes, const Op& op)
{
    PaneModel& own = panes.Pane(op.Pane);
    PaneModel& other = panes.Pane(1 - op.Pane);
    FrameSlotRef slot = own.SelectedSlot();
    switch (op.Kind) {
    case OpKind::New:
        return own.NewFrame();
    case OpKind::Delete:
        if (!own.DeleteSelected())
            return false;
        RebuildCELFromPane(*panes.Holder(op.Pane), own);
        return true;
    case OpKind::Up:
        return own.MoveUp();
    case OpKind::Down:
        return own.MoveDown();
    case OpKind::First:
        return own.MakeFirst();
    case OpKind::Last:
        return own.MakeLast();
    case OpKind::Copy: {
        if (!slot)
            return false;
        auto copy = std::make_shared<FrameSlot>();
        copy->Frame = CELFrame::CreateCopy(*slot->Frame);
        other.InsertAfterSelection(copy);
        return true;
    }
    case OpKind::Move:
        if (!slot)
            return false;
        other.InsertAfterSelection(own.TakeSelected());
        RebuildCELFromPane(*panes.Holder(op.Pane), own);
        return true;
    case OpKind::Rename:
        if (!slot)
            return false;
        slot->Frame->Name = op.Value % 3 == 0 ? "" : "name" + std::to_string(op.Value);
        own.Relabel(own.Selected);
        return true;
    case OpKind::Width:
        if (!slot)
            return false;
        slot->Frame->SelectWidth(op.Value % std::max<uint32_t>(slot->Frame->WidthCount, 1));
        own.Relabel(own.Selected);
        return true;
    case OpKind::Flag:
        panes.Holder(op.Pane)->CEL->WithHeaders = uint8_t(op.Value & 1);
        panes.Holder(op.Pane)->CEL->HasDatabase = uint8_t((op.Value >> 1) & 1);
        return true;
    }
    return false;
}

// The same operation, made through its step.
std::unique_ptr<PaneStep> PerformWithStep(PanePair& panes, const Op& op)
{
    PaneModel& own = panes.Pane(op.Pane);
    switch (op.Kind) {
    case OpKind::New:
        return NewFrameStep(panes, op.Pane);
    case OpKind::Delete:
        return DeleteFrameStep(panes, op.Pane);
    case OpKind::Up:
        return ReorderStep(panes, op.Pane, ReorderKind::Up);
    case OpKind::Down:
        return ReorderStep(panes, op.Pane, ReorderKind::Down);
    case OpKind::First:
        return ReorderStep(panes, op.Pane, ReorderKind::First);
    case OpKind::Last:
        return ReorderStep(panes, op.Pane, ReorderKind::Last);
    case OpKind::Copy:
        return CopyFrameStep(panes, op.Pane);
    case OpKind::Move:
        return MoveFrameStep(panes, op.Pane);
    case OpKind::Rename:
    case OpKind::Width: {
        FrameSlotRef slot = own.SelectedSlot();
        if (!slot)
            return nullptr;
        const CELFrame before = *slot->Frame;
        Perform(panes, op);
        return FrameContentStep(panes, "x", slot, before, op.Kind == OpKind::Width);
    }
    case OpKind::Flag: {
        const CELObject& cel = *panes.Holder(op.Pane)->CEL;
        const uint8_t withHeaders = cel.WithHeaders;
        const uint8_t hasDatabase = cel.HasDatabase;
        Perform(panes, op);
        return FlagStep(panes, op.Pane, withHeaders, hasDatabase);
    }
    }
    return nullptr;
}

TEST(PaneSteps, RandomOperationsAndUndosMatchTheSequenceWithoutTheUndoneSteps)
{
    for (uint32_t seed : { 1u, 2u, 3u, 4u }) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        Rig rig(4, 3, seed);
        std::vector<std::pair<Op, std::unique_ptr<PaneStep>>> done;
        std::vector<std::pair<Op, std::unique_ptr<PaneStep>>> undone;
        // Which steps each CEL carries, and which it carried when last saved.
        std::array<std::vector<int>, 2> savedSteps;
        int nextId = 0;

        for (int action = 0; action < 400; ++action) {
            const uint32_t roll = random() % 100;
            if (roll < 15) { // a click in a pane: no step
                PaneModel& pane = rig.Panes.Pane(int32_t(random() % 2));
                pane.Selected = int32_t(random() % uint32_t(pane.Count()));
            } else if (roll < 30 && !done.empty()) {
                done.back().second->Undo(rig.Panes);
                undone.push_back(std::move(done.back()));
                done.pop_back();
            } else if (roll < 38 && !undone.empty()) {
                undone.back().second->Redo(rig.Panes);
                done.push_back(std::move(undone.back()));
                undone.pop_back();
            } else if (roll < 42) { // "Save" of one CEL
                const int32_t k = int32_t(random() % 2);
                RebuildCELFromPane(*rig.Panes.Holder(k), rig.Panes.Pane(k));
                rig.Panes.Holder(k)->MarkSaved();
                savedSteps[size_t(k)].clear();
                for (const auto& entry : done)
                    if (entry.second->Holders[size_t(k)])
                        savedSteps[size_t(k)].push_back(entry.first.Id);
            } else {
                Op op { OpKind(random() % 11), int32_t(random() % 2), rig.Left.Selected,
                    rig.Right.Selected, uint32_t(random() % 7), nextId++ };
                std::unique_ptr<PaneStep> step = PerformWithStep(rig.Panes, op);
                if (step) {
                    done.emplace_back(op, std::move(step));
                    undone.clear();
                }
            }

            // The reference: the same CELs, and the steps still done, one after the other.
            Rig reference(4, 3, seed);
            for (const auto& entry : done) {
                reference.Left.Selected = entry.first.SelectedLeft;
                reference.Right.Selected = entry.first.SelectedRight;
                ASSERT_TRUE(Perform(reference.Panes, entry.first));
            }
            for (int32_t k : { PaneLeftIndex, PaneRightIndex }) {
                SCOPED_TRACE("action " + std::to_string(action) + " pane " + std::to_string(k));
                PaneContent real = Content(rig.Panes.Pane(k));
                PaneContent expected = Content(reference.Panes.Pane(k));
                ASSERT_EQ(real.Frames, expected.Frames);
                ASSERT_EQ(real.Texts, expected.Texts);
                // No CEL's table holds a frame its pane does not show.
                for (const FrameSlotRef& slot : rig.Panes.Holder(k)->CEL->Frames)
                    ASSERT_GE(PaneCarrying(rig.Panes, slot), 0);
                // Written back and saved, both give the same files.
                CELHolder copy;
                copy.CEL = CELObject::CreateEmpty(0);
                copy.CEL->WithHeaders = rig.Panes.Holder(k)->CEL->WithHeaders;
                copy.CEL->HasDatabase = rig.Panes.Holder(k)->CEL->HasDatabase;
                RebuildCELFromPane(copy, rig.Panes.Pane(k));
                RebuildCELFromPane(*reference.Panes.Holder(k), reference.Panes.Pane(k));
                ASSERT_EQ(copy.CEL->CELBytes(), reference.Panes.Holder(k)->CEL->CELBytes());
                ASSERT_EQ(
                    copy.CEL->DatabaseBytes(), reference.Panes.Holder(k)->CEL->DatabaseBytes());
                // Unsaved exactly when the steps it carries are not those it was saved with.
                std::vector<int> carried;
                for (const auto& entry : done)
                    if (entry.second->Holders[size_t(k)])
                        carried.push_back(entry.first.Id);
                ASSERT_EQ(rig.Panes.Holder(k)->Changed(), carried != savedSteps[size_t(k)]);
            }
        }
    }
}

} // namespace

// Copy all and Move all against the reference of the single Copy and Move, each made with
// the destination's last item selected (so every frame lands at the end, in order): the same
// frames and captions, as one step that undoes and redoes whole, and the change marks follow.
TEST(PaneSteps, AllStepsEqualTheSingleStepsRepeatedAndAreOneStep)
{
    for (uint32_t seed = 0; seed < 12; ++seed) {
        const int leftFrames = int(seed % 5);
        const int rightFrames = int((seed / 2) % 4);
        for (bool move : { false, true }) {
            for (int32_t source : { PaneLeftIndex, PaneRightIndex }) {
                SCOPED_TRACE("seed " + std::to_string(seed) + (move ? " move" : " copy")
                    + " from " + std::to_string(source));
                Rig rig(leftFrames, rightFrames, seed);
                Rig reference(leftFrames, rightFrames, seed);
                const int32_t destination = 1 - source;
                rig.Panes.Pane(source).Selected = int32_t(seed) % rig.Panes.Pane(source).Count();
                for (int32_t k : { PaneLeftIndex, PaneRightIndex })
                    rig.Panes.Holder(k)->MarkSaved();
                const PaneContent leftBefore = Content(rig.Left);
                const PaneContent rightBefore = Content(rig.Right);
                const std::vector<FrameSlotRef> sourceSlots = SlotsOf(rig.Panes.Pane(source));
                std::unique_ptr<PaneStep> step = move ? MoveAllFramesStep(rig.Panes, source)
                                                      : CopyAllFramesStep(rig.Panes, source);
                ASSERT_EQ(step != nullptr, !sourceSlots.empty());
                if (!step)
                    continue;
                PaneModel& from = reference.Panes.Pane(source);
                PaneModel& to = reference.Panes.Pane(destination);
                const size_t count = sourceSlots.size();
                for (size_t n = 0; n < count; ++n) {
                    to.Selected = to.Count() - 1;
                    from.Selected = move ? 1 : int32_t(n + 1);
                    ASSERT_TRUE(move ? MoveFrameStep(reference.Panes, source) != nullptr
                                     : CopyFrameStep(reference.Panes, source) != nullptr);
                }
                for (int32_t k : { PaneLeftIndex, PaneRightIndex }) {
                    EXPECT_EQ(Content(rig.Panes.Pane(k)).Frames, Content(reference.Panes.Pane(k)).Frames);
                    EXPECT_EQ(Content(rig.Panes.Pane(k)).Texts, Content(reference.Panes.Pane(k)).Texts);
                }
                // Moved frames keep their identity, copies are new frames.
                const std::vector<FrameSlotRef> landed = SlotsOf(rig.Panes.Pane(destination));
                const std::vector<FrameSlotRef> tail(landed.end() - std::ptrdiff_t(count), landed.end());
                EXPECT_EQ(tail == sourceSlots, move);
                EXPECT_EQ(rig.Panes.Pane(destination).Selected, rig.Panes.Pane(destination).Count() - 1);
                if (move)
                    EXPECT_EQ(rig.Panes.Pane(source).Selected, 0);
                EXPECT_EQ(step->ShowPane, move ? source : destination);
                // The source CEL is written back by a move, at once.
                EXPECT_EQ(rig.Panes.Holder(source)->CEL->Frames.size(), move ? size_t(0) : count);
                EXPECT_TRUE(rig.Panes.Holder(destination)->Changed());
                EXPECT_EQ(rig.Panes.Holder(source)->Changed(), move);
                ExpectRoundTrip(rig, *step, leftBefore, rightBefore);
                step->Undo(rig.Panes);
                EXPECT_FALSE(rig.Panes.Holder(PaneLeftIndex)->Changed());
                EXPECT_FALSE(rig.Panes.Holder(PaneRightIndex)->Changed());
                EXPECT_EQ(rig.Panes.Holder(source)->CEL->Frames, sourceSlots);
                // A pane that no longer holds what the step left is refused, unchanged.
                rig.Panes.Pane(destination).NewFrame();
                const PaneContent changed = Content(rig.Panes.Pane(destination));
                EXPECT_FALSE(step->Redo(rig.Panes).Applied);
                EXPECT_EQ(Content(rig.Panes.Pane(destination)), changed);
            }
        }
    }
}

// OperationApplies tells beforehand, on panes of every shape and selection, exactly whether
// the operation's step will change anything.
TEST(PaneSteps, OperationAppliesExactlyWhenTheStepIsMade)
{
    const std::pair<PaneOperation, std::unique_ptr<PaneStep> (*)(PanePair&, int32_t)> steps[] = {
        { PaneOperation::New, &NewFrameStep },
        { PaneOperation::Delete, &DeleteFrameStep },
        { PaneOperation::Up, [](PanePair& p, int32_t k) { return ReorderStep(p, k, ReorderKind::Up); } },
        { PaneOperation::Down, [](PanePair& p, int32_t k) { return ReorderStep(p, k, ReorderKind::Down); } },
        { PaneOperation::First, [](PanePair& p, int32_t k) { return ReorderStep(p, k, ReorderKind::First); } },
        { PaneOperation::Last, [](PanePair& p, int32_t k) { return ReorderStep(p, k, ReorderKind::Last); } },
        { PaneOperation::Copy, &CopyFrameStep },
        { PaneOperation::Move, &MoveFrameStep },
        { PaneOperation::CopyAll, &CopyAllFramesStep },
        { PaneOperation::MoveAll, &MoveAllFramesStep },
    };
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const int leftFrames = int(random() % 4);
        const int rightFrames = int(random() % 4);
        const int32_t pane = int32_t(random() % 2);
        const bool hideOther = random() % 5 == 0;
        const auto& [operation, make] = steps[random() % std::size(steps)];
        Rig rig(leftFrames, rightFrames, uint32_t(round));
        rig.Left.Selected = int32_t(random() % uint32_t(rig.Left.Count()));
        rig.Right.Selected = int32_t(random() % uint32_t(rig.Right.Count()));
        if (hideOther) {
            rig.Panes.Pane(1 - pane).Clear();
            rig.Panes.Holders[size_t(1 - pane)] = nullptr;
        }
        const bool applies = OperationApplies(rig.Panes, pane, operation);
        const PaneContent before = Content(rig.Panes.Pane(pane));
        const bool made = make(rig.Panes, pane) != nullptr;
        SCOPED_TRACE("round " + std::to_string(round) + " operation " + std::to_string(int(operation)));
        EXPECT_EQ(applies, made);
        if (!made)
            EXPECT_EQ(Content(rig.Panes.Pane(pane)), before);
    }
}
