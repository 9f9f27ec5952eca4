#include "cel/HeaderGuess.h"

#include <algorithm>
#include <memory>

#include "cel/CELHandler.h"

namespace {
// Viewable frames of the file read one way; -1 when it does not load.
long ViewableFrames(const std::string& fileName, bool withHeaders)
{
    std::unique_ptr<CELObject> cel = CELObject::CreateFromFile(fileName, withHeaders);
    if (!cel)
        return -1;
    if (cel->Status != LoadOK) {
        cel->Dispose(true);
        return -1;
    }
    const long count = long(std::count_if(cel->Frames.begin(), cel->Frames.end(),
        [](const FrameSlotRef& slot) { return slot && slot->Frame && slot->Frame->Viewable(); }));
    cel->Dispose(true);
    return count;
}
} // namespace

bool HeadersLeaveMoreViewable(const std::string& fileName)
{
    return ViewableFrames(fileName, true) > ViewableFrames(fileName, false);
}
