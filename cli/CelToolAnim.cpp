// vornix-cel anim: the viewable frames of a sprite file as one animated GIF, as the animation
// window plays them.

#include "cli/CelTool.h"

#include <algorithm>

#include "bitmaps/GIFHandler.h"
#include "viewer/AnimationState.h"
#include "viewer/ViewerState.h"

namespace {

// One group of frames of the file and the GIF it becomes.
struct AnimGroup {
    uint32_t Number = 0;
    CELObject* Frames = nullptr; // the group's frames, in order
    std::string Target;
};

// The groups of the file that are written, each with its target. A CEL file is one group, 0,
// the file itself, written to OUT.gif; any other --group is refused.
//
// Grouped sprite files plug in here: without --group each group g of the file is written to
// OUT_<g>.gif, with --group G the group G alone to OUT.gif, and a G the file does not have is
// refused in the same way.
std::string GroupsOf(CELObject& cel, const AnimOptions& options, std::vector<AnimGroup>& groups)
{
    if (options.Group && *options.Group != 0)
        return "--group " + std::to_string(*options.Group) + " does not exist: "
            + PrintableText(options.File) + " is not a grouped file; its one group is 0";
    groups.push_back({ 0, &cel, options.Output });
    return {};
}

// Writes frames From ... To of one group (those that can be shown, each at its selected width)
// as its GIF. ExitSuccess, or the code of the error printed.
int WriteGroup(const ToolStreams& streams, const AnimOptions& options, const AnimGroup& group,
    const PaletteModel& palette)
{
    CELObject& cel = *group.Frames;
    const uint32_t count = static_cast<uint32_t>(cel.Frames.size());
    const uint32_t last = std::min(options.To.value_or(count - 1), count - 1);
    std::vector<Bitmap> pictures;
    for (uint32_t i = options.From.value_or(0); i <= last && count > 0; ++i) {
        CELFrame* frame = ViewableFrame(streams, options.File, cel, i, options.Width);
        if (!frame)
            continue;
        // As the animation window: a frame too large to show is not drawn.
        if (!AnimationState::Playable(cel.Frames[i])) {
            Warning(streams, options.File,
                "frame " + std::to_string(i) + " skipped: too large to show ("
                    + std::to_string(frame->Width) + "x" + std::to_string(frame->Height) + ")");
            continue;
        }
        Bitmap picture { frame->Width, frame->Height, {} };
        frame->DecodeImage(picture.BitmapPixels);
        pictures.push_back(std::move(picture));
    }
    if (pictures.empty())
        return FileError(streams, options.File, "no frame to animate: none can be shown");
    uint32_t width = 0, height = 0;
    GIFCanvasSize(pictures, width, height);
    const uint64_t zoomedWidth = uint64_t { width } * options.Animation.Zoom;
    const uint64_t zoomedHeight = uint64_t { height } * options.Animation.Zoom;
    if (zoomedWidth > MaxGIFSide || zoomedHeight > MaxGIFSide)
        return FileError(streams, group.Target,
            "a canvas of " + std::to_string(zoomedWidth) + " x " + std::to_string(zoomedHeight)
                + " pixels does not fit a GIF (at most 65535 a side)");
    if (WriteGIF(group.Target, pictures, palette, options.Animation) != BitmapWritten)
        return FileError(streams, group.Target, "Cannot write file");
    streams.Out << "wrote " << PrintableText(group.Target) << ": " << FrameCount(pictures.size())
                << " of " << zoomedWidth << " x " << zoomedHeight << " at "
                << options.Animation.FramesPerSecond << " frames a second\n";
    return ExitSuccess;
}

} // namespace

int RunAnim(const ToolStreams& streams, const AnimOptions& options)
{
    PaletteModel palette;
    if (int result = PreparePalette(streams, options.Palette, palette); result != ExitSuccess)
        return result;
    std::unique_ptr<CELObject> cel
        = LoadToolCEL(options.File, options.WithHeaders, options.HeadersGiven);
    if (!cel || cel->Status != LoadOK)
        return FileError(streams, options.File,
            LoadFailureReason(cel ? cel->Status : uint8_t { LoadCannotOpen }));
    const uint32_t count = static_cast<uint32_t>(cel->Frames.size());
    for (const std::optional<uint32_t>& index : { options.From, options.To })
        if (index && *index >= count)
            return UsageError(streams, "anim",
                "frame " + std::to_string(*index) + " does not exist; "
                    + PrintableText(options.File) + " has " + FrameCount(count));
    std::vector<AnimGroup> groups;
    if (std::string problem = GroupsOf(*cel, options, groups); !problem.empty())
        return UsageError(streams, "anim", problem);
    int result = ExitSuccess;
    for (const AnimGroup& group : groups)
        if (int written = WriteGroup(streams, options, group, palette); written != ExitSuccess)
            result = written;
    return result;
}
