#include "framelists/PaneModel.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

namespace {

// A frame told apart by its size; named when name is given.
FrameSlotRef MakeSlot(uint32_t width, uint32_t height, const std::string& name = "")
{
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty();
    slot->Frame->Width = width;
    slot->Frame->Height = height;
    slot->Frame->Name = name;
    return slot;
}

std::unique_ptr<CELObject> MakeCEL(const std::vector<FrameSlotRef>& slots)
{
    auto cel = CELObject::CreateEmpty(static_cast<uint32_t>(slots.size()));
    cel->Frames = slots;
    cel->FrameCount = static_cast<uint32_t>(slots.size());
    return cel;
}

std::vector<FrameSlotRef> Slots(int count)
{
    std::vector<FrameSlotRef> slots;
    for (int k = 0; k < count; ++k)
        slots.push_back(MakeSlot(static_cast<uint32_t>(k + 1), static_cast<uint32_t>(10 + k)));
    return slots;
}

// The content rule: "<Begin>" without a slot, then item k captioned for position k - 1.
void ExpectContentRule(const PaneModel& pane, const std::vector<FrameSlotRef>& expected)
{
    ASSERT_EQ(pane.Count(), static_cast<int32_t>(expected.size()) + 1);
    EXPECT_EQ(pane.Items[0].Text, "<Begin>");
    EXPECT_EQ(pane.Items[0].Slot, nullptr);
    for (size_t k = 1; k < pane.Items.size(); ++k) {
        EXPECT_EQ(pane.Items[k].Slot, expected[k - 1]) << "item " << k;
        ASSERT_TRUE(pane.Items[k].Slot && pane.Items[k].Slot->Frame);
        EXPECT_EQ(pane.Items[k].Text,
            FrameCaption(static_cast<uint32_t>(k - 1), *pane.Items[k].Slot->Frame))
            << "item " << k;
    }
}

PaneModel Filled(const std::vector<FrameSlotRef>& slots)
{
    auto cel = MakeCEL(slots);
    PaneModel pane;
    pane.Fill(*cel);
    return pane;
}

} // namespace

TEST(PaneModelFill, ListsBeginAndOneCaptionPerFrameWithBeginSelected)
{
    auto slots = Slots(3);
    slots[1]->Frame->Name = "walk";
    PaneModel pane = Filled(slots);
    ExpectContentRule(pane, slots);
    EXPECT_EQ(pane.Items[2].Text, " walk");
    EXPECT_EQ(pane.Items[3].Text, FrameCaption(2, *slots[2]->Frame));
    EXPECT_EQ(pane.Selected, 0);
    EXPECT_EQ(pane.SelectedSlot(), nullptr);
}

TEST(PaneModelFill, CELWithoutFramesGivesBeginAloneAndClearEmpties)
{
    PaneModel pane = Filled({});
    ExpectContentRule(pane, {});
    EXPECT_EQ(pane.Selected, 0);
    pane.Clear();
    EXPECT_TRUE(pane.Empty());
    EXPECT_EQ(pane.Selected, -1);
    EXPECT_EQ(pane.SelectedSlot(), nullptr);
}

TEST(PaneModelConditions, OperationsRefuseTheirEdgeCasesAndChangeNothing)
{
    auto slots = Slots(3);
    PaneModel pane = Filled(slots);
    // "<Begin>" selected.
    EXPECT_FALSE(pane.DeleteSelected());
    EXPECT_FALSE(pane.MoveDown());
    EXPECT_FALSE(pane.MakeLast());
    EXPECT_FALSE(pane.MoveUp());
    EXPECT_FALSE(pane.MakeFirst());
    EXPECT_EQ(pane.TakeSelected(), nullptr);
    // First frame: no Up, no First.
    pane.Selected = 1;
    EXPECT_FALSE(pane.MoveUp());
    EXPECT_FALSE(pane.MakeFirst());
    // Last frame: no Down, no Last.
    pane.Selected = 3;
    EXPECT_FALSE(pane.MoveDown());
    EXPECT_FALSE(pane.MakeLast());
    ExpectContentRule(pane, slots);
    EXPECT_EQ(pane.Selected, 3);
    // An empty pane (no CEL) takes no new frame.
    PaneModel empty;
    EXPECT_FALSE(empty.NewFrame());
    EXPECT_TRUE(empty.Empty());
}

TEST(PaneModelNew, InsertsATransparentOneByOneFrameAfterTheSelection)
{
    PaneModel pane = Filled({});
    ASSERT_TRUE(pane.NewFrame());
    EXPECT_EQ(pane.Count(), 2);
    EXPECT_EQ(pane.Selected, 1);
    const CELFrame& made = *pane.SelectedSlot()->Frame;
    EXPECT_EQ(made.Width, 1u);
    EXPECT_EQ(made.Height, 1u);
    EXPECT_TRUE(made.Name.empty());
    EXPECT_EQ(pane.Items[1].Text, FrameCaption(0, made));

    auto slots = Slots(3);
    PaneModel three = Filled(slots);
    three.Selected = 2;
    ASSERT_TRUE(three.NewFrame());
    EXPECT_EQ(three.Selected, 3);
    ExpectContentRule(three, { slots[0], slots[1], three.Items[3].Slot, slots[2] });
    // The later unnamed frame shows its position raised by one.
    EXPECT_EQ(three.Items[4].Text, FrameCaption(3, *slots[2]->Frame));
}

TEST(PaneModelDelete, DestroysTheFrameAndSelectsTheFollowerOrTheNewLast)
{
    auto slots = Slots(3);
    PaneModel pane = Filled(slots);
    pane.Selected = 2;
    ASSERT_TRUE(pane.DeleteSelected());
    EXPECT_EQ(slots[1]->Frame, nullptr); // the frame is gone with its item
    EXPECT_EQ(pane.Selected, 2); // the frame that followed
    ExpectContentRule(pane, { slots[0], slots[2] });

    ASSERT_TRUE(pane.DeleteSelected()); // the last one
    EXPECT_EQ(pane.Selected, 1);
    ASSERT_TRUE(pane.DeleteSelected()); // the only one
    EXPECT_EQ(pane.Selected, 0);
    ExpectContentRule(pane, {});
}

TEST(PaneModelMoves, TakeAndInsertHandTheSameSlotBetweenPanes)
{
    auto left = Slots(2);
    auto right = Slots(2);
    PaneModel source = Filled(left);
    PaneModel destination = Filled(right);
    source.Selected = 2;
    destination.Selected = 0;
    FrameSlotRef taken = source.TakeSelected();
    ASSERT_EQ(taken, left[1]);
    ASSERT_TRUE(taken->Frame); // a move keeps the frame alive
    EXPECT_EQ(source.Selected, 1);
    destination.InsertAfterSelection(taken);
    EXPECT_EQ(destination.Selected, 1);
    ExpectContentRule(source, { left[0] });
    ExpectContentRule(destination, { left[1], right[0], right[1] });
}

TEST(PaneModelSearch, MatchesWholeNamesExactlyInOneDirectionWithoutWrapping)
{
    auto slots = Slots(6);
    slots[0]->Frame->Name = "idle";
    slots[2]->Frame->Name = "Walk";
    slots[3]->Frame->Name = "walk";
    slots[5]->Frame->Name = "walk";
    PaneModel pane = Filled(slots);
    EXPECT_EQ(pane.FindByName(0, false, "walk"), 4);
    EXPECT_EQ(pane.FindByName(4, false, "walk"), 6); // the start item is never compared
    EXPECT_EQ(pane.FindByName(6, false, "walk"), -1); // no wrap
    EXPECT_EQ(pane.FindByName(6, true, "walk"), 4);
    EXPECT_EQ(pane.FindByName(6, true, "Walk"), 3);
    EXPECT_EQ(pane.FindByName(3, true, "walk"), -1);
    EXPECT_EQ(pane.FindByName(0, false, "WALK"), -1); // case counts
    EXPECT_EQ(pane.FindByName(0, false, "wal"), -1); // no partial match
    EXPECT_EQ(pane.FindByName(0, false, " idle"), -1); // the item text is not the name
    EXPECT_EQ(pane.FindByName(2, true, "idle"), 1);
    EXPECT_EQ(pane.FindByName(1, true, "idle"), -1); // "<Begin>" and beyond never match
    EXPECT_EQ(pane.FindByName(0, false, ""), -1); // unnamed frames never match
}

// Every pane operation against a plain vector of slots with the obviously right rules.
TEST(PaneModelReference, RandomOperationSequencesKeepOrderSelectionAndCaptions)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 40; ++round) {
        auto initial = Slots(static_cast<int>(random() % 6));
        std::vector<FrameSlotRef> order = initial;
        int32_t selected = 0;
        PaneModel pane = Filled(initial);
        for (int step = 0; step < 60; ++step) {
            int32_t n = static_cast<int32_t>(order.size()) + 1;
            pane.Selected = selected = static_cast<int32_t>(random() % static_cast<uint32_t>(n));
            int operation = static_cast<int>(random() % 7);
            bool done = false;
            switch (operation) {
            case 0:
                done = pane.NewFrame();
                ASSERT_TRUE(done);
                order.insert(order.begin() + selected, pane.Items[selected + 1].Slot);
                ++selected;
                break;
            case 1:
                done = pane.DeleteSelected();
                ASSERT_EQ(done, selected >= 1);
                if (done) {
                    order.erase(order.begin() + (selected - 1));
                    if (selected > static_cast<int32_t>(order.size()))
                        --selected;
                }
                break;
            case 2:
                done = pane.MoveUp();
                ASSERT_EQ(done, selected >= 2);
                if (done) {
                    std::swap(order[selected - 1], order[selected - 2]);
                    --selected;
                }
                break;
            case 3:
                done = pane.MoveDown();
                ASSERT_EQ(done, selected >= 1 && selected < n - 1);
                if (done) {
                    std::swap(order[selected - 1], order[selected]);
                    ++selected;
                }
                break;
            case 4:
                done = pane.MakeFirst();
                ASSERT_EQ(done, selected >= 2);
                if (done) {
                    std::rotate(
                        order.begin(), order.begin() + (selected - 1), order.begin() + selected);
                    selected = 1;
                }
                break;
            case 5:
                done = pane.MakeLast();
                ASSERT_EQ(done, selected >= 1 && selected < n - 1);
                if (done) {
                    std::rotate(
                        order.begin() + (selected - 1), order.begin() + selected, order.end());
                    selected = n - 1;
                }
                break;
            default: {
                FrameSlotRef extra = MakeSlot(static_cast<uint32_t>(100 + step), 3);
                pane.InsertAfterSelection(extra);
                order.insert(order.begin() + selected, extra);
                ++selected;
                break;
            }
            }
            ASSERT_EQ(pane.Selected, selected) << "round " << round << " step " << step;
            ExpectContentRule(pane, order);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST(PaneModelRebuild, WritesTheItemOrderIntoANewObjectInTheSameHolder)
{
    auto slots = Slots(3);
    auto holder = std::make_shared<CELHolder>();
    holder->CEL = MakeCEL(slots);
    holder->CEL->FileName = "/tmp/sprites.cel";
    holder->CEL->WithHeaders = 0;
    holder->CEL->HasDatabase = 1;
    PaneModel pane = Filled(slots);
    pane.Selected = 3;
    ASSERT_TRUE(pane.MakeFirst());
    ASSERT_TRUE(pane.NewFrame());
    const CELObject* before = holder->CEL.get();
    CELHolderRef sameHolder = holder;

    RebuildCELFromPane(*holder, pane);
    ASSERT_TRUE(holder->CEL);
    EXPECT_NE(holder->CEL.get(), before);
    EXPECT_EQ(sameHolder, holder);
    const CELObject& cel = *holder->CEL;
    EXPECT_EQ(cel.FileName, "/tmp/sprites.cel");
    EXPECT_EQ(cel.WithHeaders, 0);
    EXPECT_EQ(cel.HasDatabase, 1);
    EXPECT_EQ(cel.Status, LoadOK);
    ASSERT_EQ(cel.FrameCount, 4u);
    ASSERT_EQ(cel.Frames.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(cel.Frames[k], pane.Items[k + 1].Slot);
        EXPECT_TRUE(cel.Frames[k]->Frame); // frames survive the old object's release
    }
    EXPECT_EQ(cel.Frames[0], slots[2]);
    EXPECT_EQ(pane.Selected, 2); // the list and its selection stay
}

TEST(PaneModelRebuild, AnEmptyPaneGivesACELWithoutFramesKeepingItsFlags)
{
    auto holder = std::make_shared<CELHolder>();
    holder->CEL = CELObject::CreateEmpty(0);
    holder->CEL->WithHeaders = 1;
    holder->CEL->HasDatabase = 1;
    holder->CEL->FileName = "a.cel";
    PaneModel pane = Filled({});
    RebuildCELFromPane(*holder, pane);
    EXPECT_EQ(holder->CEL->FrameCount, 0u);
    EXPECT_TRUE(holder->CEL->Frames.empty());
    EXPECT_EQ(holder->CEL->FileName, "a.cel");
    EXPECT_EQ(holder->CEL->WithHeaders, 1);
    EXPECT_EQ(holder->CEL->HasDatabase, 1);
}
