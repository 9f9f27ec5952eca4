#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framelists/PaneModel.h"

// The undoable steps of the frame lists, without any toolkit. Each operation below performs
// what its pane button does and returns the step that can take it back and do it again; the
// window wraps the step in an undo command. A step refers to frames through their slots, so a
// deleted or moved frame stays alive, with its identity, for as long as a step can bring it
// back. Undoing and redoing only ever restore states that the operations themselves produced.

constexpr int32_t PaneLeftIndex = 0;
constexpr int32_t PaneRightIndex = 1;

// The two panes and the CELs they show; a null holder is a pane that shows no CEL.
struct PanePair {
    std::array<PaneModel*, 2> Panes {};
    std::array<CELHolderRef, 2> Holders;

    PaneModel& Pane(int32_t k) const { return *Panes[static_cast<size_t>(k)]; }
    const CELHolderRef& Holder(int32_t k) const { return Holders[static_cast<size_t>(k)]; }
};

// What the window brings up to date after a step was done, undone or redone.
struct StepEffect {
    std::array<bool, 2> Items {}; // mirror the pane's items and selection
    std::array<bool, 2> Flags {}; // set the pane's check boxes from its CEL's flags
    int32_t ShowPane = -1; // show this pane's selection in the viewer
    bool Applied = false; // false: the panes no longer show the step's CELs; nothing changed
};

enum class ReorderKind : uint8_t { Up, Down, First, Last };

class PaneStep {
public:
    std::string Name; // "Delete", "Rename", ...

    StepEffect Undo(PanePair& panes) const;
    StepEffect Redo(PanePair& panes) const;

    // One item taken from (FromPane, FromIndex) and put at (ToPane, ToIndex); a FromIndex of
    // -1 is a frame that came into being (New, Copy), a ToIndex of -1 one that went (Delete).
    struct Relocation {
        int32_t FromPane = -1;
        int32_t FromIndex = -1;
        int32_t ToPane = -1;
        int32_t ToIndex = -1;
        FrameSlotRef Slot;
    };
    std::optional<Relocation> Moved;
    // Every frame of a pane at once (Copy all, Move all): Slots were appended, in order, to
    // ToPane from item ToFirst on. FromPane is -1 for copies; otherwise it held them as its
    // items 1 ... n, all its frames, and was left with "<Begin>" alone.
    struct Batch {
        int32_t FromPane = -1;
        int32_t ToPane = -1;
        int32_t ToFirst = -1;
        std::vector<FrameSlotRef> Slots;
    };
    std::optional<Batch> MovedAll;
    std::array<int32_t, 2> SelectedBefore { -1, -1 };
    std::array<int32_t, 2> SelectedAfter { -1, -1 };

    // A frame changed in place (Rename, width choice, Save Frame, Import).
    FrameSlotRef Changed;
    CELFrame Before;
    CELFrame After;
    bool ShowChanged = false; // show the frame again when it is its pane's selected item

    // Frames of one pane changed in place together (a translation table or a remap applied
    // to every frame); the one selected in its pane is shown again.
    struct FrameChange {
        FrameSlotRef Slot;
        CELFrame Before;
        CELFrame After;
    };
    std::vector<FrameChange> Recoded;

    // A check box of one pane.
    struct CELFlags {
        uint8_t WithHeaders = 1;
        uint8_t HasDatabase = 0;
    };
    int32_t FlagPane = -1;
    CELFlags FlagsBefore;
    CELFlags FlagsAfter;

    // The CELs the step changed, with their revisions on either side of it.
    std::array<CELHolderRef, 2> Holders;
    std::array<uint64_t, 2> RevisionBefore {};
    std::array<uint64_t, 2> RevisionAfter {};
    int32_t ShowPane = -1; // the pane the operation shows afterwards

    // Whether undoing or redoing the step shows a pane's selection again, replacing the image
    // in view.
    bool ShowsSelection() const { return Moved || MovedAll || (Changed && ShowChanged) || !Recoded.empty(); }

private:
    StepEffect Apply(PanePair& panes, bool forward) const;
    // Gives pane k its selection again (the last item when that is gone) and writes it back.
    static void RestorePane(PanePair& panes, int32_t k, int32_t selected, StepEffect& effect);
    // Puts frame into slot and relabels it in the pane carrying it, which shows it again when
    // show is set and the slot is that pane's selection.
    static void PutFrame(PanePair& panes, const FrameSlotRef& slot, const CELFrame& frame,
        bool show, StepEffect& effect);
    // The Batch part of Apply; false when the panes no longer hold what the step left.
    bool ApplyBatch(PanePair& panes, bool forward, StepEffect& effect) const;
};

// Each returns null, changing nothing, when the operation's condition fails. Delete and Move
// write the pane they take the frame from back into its CEL, as the buttons do.
std::unique_ptr<PaneStep> NewFrameStep(PanePair& panes, int32_t pane);
std::unique_ptr<PaneStep> DeleteFrameStep(PanePair& panes, int32_t pane);
std::unique_ptr<PaneStep> ReorderStep(PanePair& panes, int32_t pane, ReorderKind kind);
std::unique_ptr<PaneStep> CopyFrameStep(PanePair& panes, int32_t source);
std::unique_ptr<PaneStep> MoveFrameStep(PanePair& panes, int32_t source);

// Copy all and Move all: every frame of the source pane's CEL, in order, to the end of the
// other pane, as one step. The same rules as Copy and Move: both panes show a CEL, a copy is
// a new frame equal to its original, a moved frame keeps its identity and the source CEL is
// written back at once. Afterwards Copy all selects and shows the last copy; Move all leaves
// the source at "<Begin>" (shown, so nothing is in view from it) and selects the last moved
// frame in the destination. Null, changing nothing, when the source has no frame.
std::unique_ptr<PaneStep> CopyAllFramesStep(PanePair& panes, int32_t source);
std::unique_ptr<PaneStep> MoveAllFramesStep(PanePair& panes, int32_t source);

// The operations of the pane buttons that end by showing a pane's selection.
enum class PaneOperation : uint8_t { New, Delete, Up, Down, First, Last, Copy, Move, CopyAll, MoveAll };
// True when the operation's condition holds on pane, so that doing it now changes the panes
// (and shows a selection); false when it would do nothing.
bool OperationApplies(const PanePair& panes, int32_t pane, PaneOperation operation);

// A change already made to the frame in slot; before is the frame as it was. Null when the
// frame is unchanged or no pane carries it. showChanged: undo and redo show the frame again
// when it is its pane's selected item (width choice, Save Frame, Import; not Rename).
std::unique_ptr<PaneStep> FrameContentStep(PanePair& panes, std::string name,
    const FrameSlotRef& slot, const CELFrame& before, bool showChanged);

// Changes every frame that pane's items carry with recode, which returns false for a frame it
// left untouched because it cannot be shown; the positions (item index - 1) of those go into
// skipped. One step for all of them. Null when no frame changed, unless keepUnchanged (a step
// whose companion change outside the frames must be undoable all the same); null also when
// the pane shows no CEL.
std::unique_ptr<PaneStep> RecodePaneStep(PanePair& panes, int32_t pane, std::string name,
    const std::function<bool(CELFrame&)>& recode, std::vector<int32_t>& skipped,
    bool keepUnchanged = false);

// A change already made to the flags of the CEL of a pane; null when they are unchanged.
std::unique_ptr<PaneStep> FlagStep(
    PanePair& panes, int32_t pane, uint8_t withHeadersBefore, uint8_t hasDatabaseBefore);

// The pane whose items carry slot, or -1.
int32_t PaneCarrying(const PanePair& panes, const FrameSlotRef& slot);
