#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cel/CELHandler.h"

// The toolkit-free state of one frame-list pane. Item 0 is "<Begin>" and carries no frame;
// item k carries the slot of the frame at position k - 1 and is captioned FrameCaption(k - 1).
// While a CEL is shown the pane, not the CEL's Frames table, says which frames the CEL has
// and in which order; RebuildCELFromPane writes it back. The window mirrors Items into its
// list widget after each change.

extern const char* const BeginCaption; // "<Begin>"

struct PaneItem {
    std::string Text;
    FrameSlotRef Slot; // null for "<Begin>"
};

class PaneModel {
public:
    std::vector<PaneItem> Items;
    int32_t Selected = -1; // -1 only while the pane shows no CEL

    int32_t Count() const { return static_cast<int32_t>(Items.size()); }
    bool Empty() const { return Items.empty(); }
    FrameSlotRef SlotAt(int32_t index) const;
    FrameSlotRef SelectedSlot() const { return SlotAt(Selected); }

    // "<Begin>" and one item per entry of the CEL's table, "<Begin>" selected.
    void Fill(const CELObject& cel);
    void Clear();

    // Item j's text becomes the caption of its frame at position j - 1.
    void Relabel(int32_t j);
    void RelabelFrom(int32_t first);

    // Inserts slot at item p (1 <= p <= Count()); later items move down and are relabelled.
    void InsertSlot(int32_t p, FrameSlotRef slot);
    // Removes item i (i >= 1) and returns its slot; later items are relabelled.
    FrameSlotRef RemoveItem(int32_t i);

    // The operations of the pane buttons. Each returns false, changing nothing, when its
    // condition on the selection fails; on true the selection is the item to show.
    // A 1 x 1 transparent frame after the selection, in the coding of the pane's CEL.
    bool NewFrame(FrameCoding coding = FrameCoding::CEL);
    bool DeleteSelected(); // destroys the frame and frees its slot
    bool MoveUp();
    bool MoveDown();
    bool MakeFirst();
    bool MakeLast();
    // Takes the selected frame out of the pane for a Move; null when "<Begin>" is selected.
    FrameSlotRef TakeSelected();
    // Puts slot right after the selection and selects it (destination of Copy and Move).
    void InsertAfterSelection(FrameSlotRef slot);

    // Index of the nearest item in the given direction from `from` (not included) whose
    // frame's Name, as shown, equals name exactly; -1 when none. Never wraps, never tests
    // "<Begin>".
    int32_t FindByName(int32_t from, bool up, const std::string& name) const;

private:
    // After item i was removed: the item that followed it, or the new last item.
    void SelectAfterRemoval(int32_t i);
};

// Puts into holder a new CELObject whose table is the pane's item order; FileName,
// WithHeaders, HasDatabase, Coding and GroupIndex carry over. The old object is disposed without
// its frames, which the pane's items keep alive. The holder itself stays the same.
void RebuildCELFromPane(CELHolder& holder, const PaneModel& pane);
