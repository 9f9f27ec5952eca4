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
