#include "framelists/PaneModel.h"

#include <utility>

#include "frames/FrameName.h"

const char* const BeginCaption = "<Begin>";

FrameSlotRef PaneModel::SlotAt(int32_t index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return Items[static_cast<size_t>(index)].Slot;
}

void PaneModel::Fill(const CELObject& cel)
{
    Items.clear();
    Items.reserve(cel.Frames.size() + 1);
    Items.push_back({ BeginCaption, nullptr });
    for (const FrameSlotRef& slot : cel.Frames)
        Items.push_back({ std::string(), slot });
    RelabelFrom(1);
    Selected = 0;
}

void PaneModel::Clear()
{
    Items.clear();
    Selected = -1;
}

void PaneModel::Relabel(int32_t j)
{
    if (j < 1 || j >= Count())
        return;
    PaneItem& item = Items[static_cast<size_t>(j)];
    // A slot whose frame was taken (it cannot happen through the pane's own operations) is
    // listed by number only rather than dereferenced.
    if (item.Slot && item.Slot->Frame)
        item.Text = FrameCaption(static_cast<uint32_t>(j - 1), *item.Slot->Frame);
    else
        item.Text = std::to_string(j - 1);
}

void PaneModel::RelabelFrom(int32_t first)
{
    for (int32_t j = first < 1 ? 1 : first; j < Count(); ++j)
        Relabel(j);
}

void PaneModel::InsertSlot(int32_t p, FrameSlotRef slot)
{
    if (p < 1)
        p = 1;
    if (p > Count())
        p = Count();
    Items.insert(Items.begin() + p, PaneItem { std::string(), std::move(slot) });
    RelabelFrom(p);
}

FrameSlotRef PaneModel::RemoveItem(int32_t i)
{
    if (i < 1 || i >= Count())
        return nullptr;
    FrameSlotRef slot = std::move(Items[static_cast<size_t>(i)].Slot);
    Items.erase(Items.begin() + i);
    RelabelFrom(i);
    return slot;
}

void PaneModel::SelectAfterRemoval(int32_t i)
{
    Selected = i < Count() ? i : i - 1;
}

bool PaneModel::NewFrame(FrameCoding coding)
{
    if (Empty())
        return false;
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty(coding);
    int32_t p = Selected + 1;
    InsertSlot(p, std::move(slot));
    Selected = p;
    return true;
}

bool PaneModel::DeleteSelected()
{
    int32_t i = Selected;
    if (i < 1 || i >= Count())
        return false;
    FrameSlotRef slot = RemoveItem(i);
    if (slot)
        slot->Frame.reset();
    SelectAfterRemoval(i);
    return true;
}

bool PaneModel::MoveUp()
{
    int32_t i = Selected;
    if (i < 2 || i >= Count())
        return false;
    std::swap(Items[static_cast<size_t>(i)].Slot, Items[static_cast<size_t>(i - 1)].Slot);
    Relabel(i - 1);
    Relabel(i);
    Selected = i - 1;
    return true;
}

bool PaneModel::MoveDown()
{
    int32_t i = Selected;
    if (i < 1 || i >= Count() - 1)
        return false;
    std::swap(Items[static_cast<size_t>(i)].Slot, Items[static_cast<size_t>(i + 1)].Slot);
    Relabel(i + 1);
    Relabel(i);
    Selected = i + 1;
    return true;
}

bool PaneModel::MakeFirst()
{
    int32_t i = Selected;
    if (i < 2 || i >= Count())
        return false;
    FrameSlotRef slot = std::move(Items[static_cast<size_t>(i)].Slot);
    for (int32_t j = i; j >= 2; --j) {
        Items[static_cast<size_t>(j)].Slot = std::move(Items[static_cast<size_t>(j - 1)].Slot);
        Relabel(j);
    }
    Items[1].Slot = std::move(slot);
    Relabel(1);
    Selected = 1;
    return true;
}

bool PaneModel::MakeLast()
{
    int32_t i = Selected;
    int32_t n = Count();
    if (i < 1 || i >= n - 1)
        return false;
    FrameSlotRef slot = std::move(Items[static_cast<size_t>(i)].Slot);
    for (int32_t j = i; j <= n - 2; ++j) {
        Items[static_cast<size_t>(j)].Slot = std::move(Items[static_cast<size_t>(j + 1)].Slot);
        Relabel(j);
    }
    Items[static_cast<size_t>(n - 1)].Slot = std::move(slot);
    Relabel(n - 1);
    Selected = n - 1;
    return true;
}

FrameSlotRef PaneModel::TakeSelected()
{
    int32_t i = Selected;
    if (i < 1 || i >= Count())
        return nullptr;
    FrameSlotRef slot = RemoveItem(i);
    SelectAfterRemoval(i);
    return slot;
}

void PaneModel::InsertAfterSelection(FrameSlotRef slot)
{
    int32_t p = Selected + 1;
    InsertSlot(p, std::move(slot));
    Selected = p;
}

int32_t PaneModel::FindByName(int32_t from, bool up, const std::string& name) const
{
    auto matches = [&](int32_t j) {
        const FrameSlotRef& slot = Items[static_cast<size_t>(j)].Slot;
        return slot && slot->Frame && !slot->Frame->Name.empty()
            && NameShownAs(slot->Frame->Name, name);
    };
    if (up) {
        for (int32_t j = from - 1; j >= 1; --j)
            if (j < Count() && matches(j))
                return j;
    } else {
        for (int32_t j = from + 1 < 1 ? 1 : from + 1; j < Count(); ++j)
            if (matches(j))
                return j;
    }
    return -1;
}

void RebuildCELFromPane(CELHolder& holder, const PaneModel& pane)
{
    std::string fileName;
    uint8_t withHeaders = 1;
    uint8_t hasDatabase = 0;
    FrameCoding coding = FrameCoding::CEL;
    int32_t groupIndex = -1;
    if (holder.CEL) {
        fileName = holder.CEL->FileName;
        withHeaders = holder.CEL->WithHeaders;
        hasDatabase = holder.CEL->HasDatabase;
        coding = holder.CEL->Coding;
        groupIndex = holder.CEL->GroupIndex;
        holder.CEL->Dispose(false);
    }
    uint32_t frames = pane.Count() > 1 ? static_cast<uint32_t>(pane.Count() - 1) : 0;
    std::unique_ptr<CELObject> cel = CELObject::CreateEmpty(frames);
    cel->FileName = fileName;
    cel->WithHeaders = withHeaders;
    cel->HasDatabase = hasDatabase;
    cel->Coding = coding;
    cel->GroupIndex = groupIndex;
    cel->Frames.resize(frames);
    cel->FrameCount = frames;
    for (uint32_t k = 1; k <= frames; ++k)
        cel->Frames[k - 1] = pane.Items[k].Slot;
    holder.CEL = std::move(cel);
}
