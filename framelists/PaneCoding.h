#pragma once

#include <cstdint>
#include <memory>

#include "framelists/PaneSteps.h"

// Copy and Move between panes whose CELs differ in coding (a CEL and a CL2). The frame that
// arrives is re-coded from its image at its selected width (RecodeFrame), so that a CEL only
// ever holds frames of its own coding; its name, width choice and slot identity stay. A frame
// that cannot be shown cannot change coding: the operation is refused.

// As CopyFrameStep; when the codings differ the copy is re-coded. On a refusal refused is set
// and null returned, with nothing changed.
std::unique_ptr<PaneStep> CopyFrameRecodedStep(PanePair& panes, int32_t source, bool& refused);

// As MoveFrameStep; when the codings differ the moved frame is re-coded, and the step also
// gives the frame back its old coding when it is undone (and the new one when redone).
std::unique_ptr<PaneStep> MoveFrameRecodedStep(PanePair& panes, int32_t source, bool& refused);

// As CopyAllFramesStep and MoveAllFramesStep, by the same rules: when the codings differ each
// frame that arrives is re-coded, and a frame that cannot be shown refuses the whole operation
// (refused set, null returned, nothing changed). A moved frame gets its old coding back when
// the step is undone.
std::unique_ptr<PaneStep> CopyAllFramesRecodedStep(PanePair& panes, int32_t source, bool& refused);
std::unique_ptr<PaneStep> MoveAllFramesRecodedStep(PanePair& panes, int32_t source, bool& refused);
