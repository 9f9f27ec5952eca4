#include "app/SpriteFileItems.h"

#include <map>
#include <random>

#include <gtest/gtest.h>

#include "framelists/PaneCoding.h"

// The CEL list's handling of grouped and CL2 files without windows: which items make up a
// file, whole-file conversion between the codings, and Copy / Move between panes of different
// codings with their undo steps.

namespace {

// A frame of random pixels in coding; one in three pixels transparent, so that runs of every
// kind occur, and now and then a frame taller than 32 rows, so that the Frame Header counts.
std::unique_ptr<CELFrame> RandomFrame(std::mt19937& random, FrameCoding coding)
{
    const uint32_t width = 1 + random() % 24;
    const uint32_t height = random() % 4 == 0 ? 33 + random() % 40 : 1 + random() % 12;
    DataArray image(size_t(width) * height);
    for (uint8_t& pixel : image)
        pixel = random() % 3 == 0 ? TransparentIndex : uint8_t(random() % 6);
    auto frame = CELFrame::CreateEmpty(coding);
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    if (frame->WidthCount > 1)
        frame->SelectWidth(uint32_t(random() % frame->WidthCount));
    if (random() % 2)
        frame->Name = "f" + std::to_string(random() % 1000);
    return frame;
}

FrameSlotRef Slot(std::unique_ptr<CELFrame> frame)
{
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = std::move(frame);
    return slot;
}

std::unique_ptr<CELObject> RandomCEL(
    std::mt19937& random, FrameCoding coding, uint32_t count, int32_t group = -1)
{
    auto cel = CELObject::CreateEmpty(count);
    cel->Coding = coding;
    cel->GroupIndex = group;
    cel->FileName = "m.cel";
    for (uint32_t i = 0; i < count; ++i)
        cel->Frames[i] = Slot(RandomFrame(random, coding));
    return cel;
}

// What a frame shows: its size and the pixels at its selected width.
struct Picture {
    uint32_t Width;
    uint32_t Height;
    DataArray Pixels;
    std::string Name;
    bool operator==(const Picture&) const = default;
};

Picture Shown(const CELFrame& frame)
{
    Picture picture { frame.Width, frame.Height, {}, frame.Name };
    if (frame.Viewable())
        frame.DecodeImage(picture.Pixels);
    return picture;
}

// A frame that cannot be shown: a CEL control byte 0.
std::unique_ptr<CELFrame> BrokenFrame(const std::string& name)
{
    auto frame = CELFrame::CreateEmpty();
    frame->Data = { 2, 0x90, 0x91, 0, 0xFF };
    frame->DataLength = uint32_t(frame->Data.size());
    frame->AnalyseData();
    frame->Name = name;
    return frame;
}

} // namespace

TEST(SpriteFileItems, CaptionsAndTheItemsOfAFile)
{
    EXPECT_EQ(SpriteItemCaption("/a/m.cl2", -1), "/a/m.cl2");
    EXPECT_EQ(SpriteItemCaption("/a/m.cl2", 0), "/a/m.cl2 [0]");
    EXPECT_EQ(SpriteItemCaption("/a/m.cl2", 12), "/a/m.cl2 [12]");

    // Two grouped files whose items lie mixed in the list and out of group order, a plain
    // file, two unnamed CELs and an empty entry.
    std::vector<std::unique_ptr<CELObject>> owned;
    auto add = [&](const std::string& name, int32_t group) {
        owned.push_back(CELObject::CreateEmpty(0));
        owned.back()->FileName = name;
        owned.back()->GroupIndex = group;
    };
    add("/m.cl2", 1);
    add("/plain.cel", -1);
    add("/m.cl2", 0);
    add("/n.cel", 0);
    add("", -1);
    add("/m.cl2", 2);
    add("", -1);
    add("/n.cel", 1);
    std::vector<const CELObject*> cels;
    for (const auto& cel : owned)
        cels.push_back(cel.get());
    cels.push_back(nullptr);
    const std::vector<std::vector<size_t>> expected
        = { { 2, 0, 5 }, { 1 }, { 2, 0, 5 }, { 3, 7 }, { 4 }, { 2, 0, 5 }, { 6 }, { 3, 7 }, {} };
    for (size_t k = 0; k < cels.size(); ++k)
        EXPECT_EQ(ItemsOfFile(cels, k), expected[k]) << k;
    EXPECT_TRUE(ItemsOfFile(cels, cels.size()).empty());
}

TEST(SpriteFileItems, ConversionKeepsPicturesNamesAndWidthsBothWays)
{
    std::mt19937 random(20);
    for (int round = 0; round < 60; ++round) {
        const FrameCoding from = round % 2 ? FrameCoding::CL2 : FrameCoding::CEL;
        const FrameCoding to = round % 2 ? FrameCoding::CEL : FrameCoding::CL2;
        std::vector<std::unique_ptr<CELObject>> groups;
        const int32_t count = 1 + int32_t(random() % 3);
        for (int32_t g = 0; g < count; ++g)
            groups.push_back(RandomCEL(random, from, 1 + random() % 6, count > 1 ? g : -1));
        groups.front()->WithHeaders = 0;
        std::vector<std::vector<Picture>> before;
        std::vector<CELObject*> cels;
        for (const auto& group : groups) {
            cels.push_back(group.get());
            before.emplace_back();
            for (const FrameSlotRef& slot : group->Frames)
                before.back().push_back(Shown(*slot->Frame));
        }
        ASSERT_FALSE(ConvertSpriteFile(cels, to).has_value());
        for (size_t g = 0; g < groups.size(); ++g) {
            EXPECT_EQ(groups[g]->Coding, to);
            EXPECT_EQ(groups[g]->WithHeaders, 1);
            EXPECT_TRUE(groups[g]->Readable());
            for (size_t i = 0; i < groups[g]->Frames.size(); ++i) {
                const CELFrame& frame = *groups[g]->Frames[i]->Frame;
                EXPECT_EQ(frame.Coding, to);
                EXPECT_EQ(Shown(frame), before[g][i]) << round << " " << g << " " << i;
            }
        }
        // And back again: the same pictures.
        ASSERT_FALSE(ConvertSpriteFile(cels, from).has_value());
        for (size_t g = 0; g < groups.size(); ++g)
            for (size_t i = 0; i < groups[g]->Frames.size(); ++i)
                EXPECT_EQ(Shown(*groups[g]->Frames[i]->Frame), before[g][i]);
    }
}

TEST(SpriteFileItems, AFrameThatCannotBeShownStopsTheWholeConversion)
{
    std::mt19937 random(21);
    auto first = RandomCEL(random, FrameCoding::CEL, 3, 0);
    auto second = RandomCEL(random, FrameCoding::CEL, 4, 1);
    second->Frames[2] = Slot(BrokenFrame("walk"));
    second->Frames[3] = Slot(BrokenFrame(""));
    std::vector<CELFrame> before;
    for (const CELObject* cel : { first.get(), second.get() })
        for (const FrameSlotRef& slot : cel->Frames)
            before.push_back(*slot->Frame);
    std::vector<CELObject*> cels { first.get(), second.get() };
    const std::optional<ConversionRefusal> refusal = ConvertSpriteFile(cels, FrameCoding::CL2);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->Group, 1);
    EXPECT_EQ(refusal->Frame, 2u);
    EXPECT_EQ(refusal->Name, "walk");
    EXPECT_EQ(refusal->Others, 1u);
    EXPECT_EQ(ConversionRefusalText(*refusal),
        "Cannot convert: frame #2 \"walk\" of group 1 cannot be shown (and 1 more)");
    EXPECT_EQ(ConversionRefusalText({ -1, 0, "", 0 }), "Cannot convert: frame #0 cannot be shown");
    size_t k = 0;
    for (const CELObject* cel : { first.get(), second.get() }) {
        EXPECT_EQ(cel->Coding, FrameCoding::CEL);
        for (const FrameSlotRef& slot : cel->Frames)
            EXPECT_EQ(*slot->Frame, before[k++]);
    }
}

// Copy and Move (of one frame or of all) between a CL2 pane and a CEL pane, undone and redone
// at random: every pane holds frames of its CEL's coding only, every frame shows the picture
// it started with, and undoing everything gives back the very frames of the start.
TEST(PaneCoding, CopyAndMoveAcrossCodingsRecodeAndUndoExactly)
{
    std::mt19937 random(22);
    size_t recoded = 0;
    for (int round = 0; round < 20; ++round) {
        PaneModel left;
        PaneModel right;
        PanePair panes;
        panes.Panes = { &left, &right };
        auto holder = [&](FrameCoding coding) {
            auto made = std::make_shared<CELHolder>();
            made->CEL = RandomCEL(random, coding, 1 + random() % 5);
            return made;
        };
        panes.Holders = { holder(FrameCoding::CL2), holder(FrameCoding::CEL) };
        left.Fill(*panes.Holders[0]->CEL);
        right.Fill(*panes.Holders[1]->CEL);
        std::map<FrameSlot*, Picture> pictures;
        std::map<FrameSlot*, CELFrame> start;
        for (const PaneModel* pane : { &left, &right })
            for (int32_t j = 1; j < pane->Count(); ++j) {
                const FrameSlotRef& slot = pane->Items[size_t(j)].Slot;
                pictures.emplace(slot.get(), Shown(*slot->Frame));
                start.emplace(slot.get(), *slot->Frame);
            }

        std::vector<std::unique_ptr<PaneStep>> done;
        size_t applied = 0;
        for (int action = 0; action < 30; ++action) {
            const int32_t source = int32_t(random() % 2);
            for (PaneModel* pane : { &left, &right })
                pane->Selected = int32_t(random() % uint64_t(pane->Count()));
            const uint32_t kind = random() % 6;
            if (kind < 4) {
                std::vector<FrameSlot*> sources;
                for (int32_t j = 1; j < panes.Pane(source).Count(); ++j)
                    sources.push_back(panes.Pane(source).Items[size_t(j)].Slot.get());
                bool refused = true;
                std::unique_ptr<PaneStep> step = kind == 0
                    ? CopyFrameRecodedStep(panes, source, refused)
                    : kind == 1 ? MoveFrameRecodedStep(panes, source, refused)
                    : kind == 2 ? CopyAllFramesRecodedStep(panes, source, refused)
                                : MoveAllFramesRecodedStep(panes, source, refused);
                EXPECT_FALSE(refused);
                if (!step)
                    continue;
                ++recoded;
                // A copy shows the picture of its source (a slot of an undone step that is
                // dropped may leave its address to the copy).
                if (kind == 0)
                    pictures[step->Moved->Slot.get()]
                        = pictures.at(panes.Pane(source).SelectedSlot().get());
                if (kind == 2)
                    for (size_t k = 0; k < sources.size(); ++k)
                        pictures[step->MovedAll->Slots[k].get()] = pictures.at(sources[k]);
                done.resize(applied);
                done.push_back(std::move(step));
                ++applied;
            } else if (kind == 4 && applied > 0) {
                EXPECT_TRUE(done[--applied]->Undo(panes).Applied);
            } else if (kind == 5 && applied < done.size()) {
                EXPECT_TRUE(done[applied++]->Redo(panes).Applied);
            }
            for (int32_t k : { PaneLeftIndex, PaneRightIndex }) {
                const PaneModel& pane = panes.Pane(k);
                const FrameCoding coding = panes.Holder(k)->CEL->Coding;
                for (int32_t j = 1; j < pane.Count(); ++j) {
                    const FrameSlotRef& slot = pane.Items[size_t(j)].Slot;
                    ASSERT_EQ(slot->Frame->Coding, coding) << round << " " << action;
                    EXPECT_EQ(Shown(*slot->Frame), pictures.at(slot.get()));
                    EXPECT_EQ(
                        pane.Items[size_t(j)].Text, FrameCaption(uint32_t(j - 1), *slot->Frame));
                }
            }
        }
        while (applied > 0)
            done[--applied]->Undo(panes);
        for (const PaneModel* pane : { &left, &right })
            for (int32_t j = 1; j < pane->Count(); ++j) {
                const FrameSlotRef& slot = pane->Items[size_t(j)].Slot;
                ASSERT_TRUE(start.count(slot.get()));
                EXPECT_EQ(*slot->Frame, start.at(slot.get()));
            }
    }
    EXPECT_GT(recoded, 150u);
}
