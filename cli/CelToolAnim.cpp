// vornix-cel anim: the viewable frames of a sprite file as one animated GIF, as the animation
// window plays them.

#include "cli/CelTool.h"

#include <algorithm>
#include <filesystem>

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

// The groups of the file that are written, each with its target. A plain file is one group,
// 0, written to OUT.gif, and any other --group is refused. Of a grouped file, --group G writes
// group G alone to OUT.gif; without it each group g goes to OUT_<g>.gif.
std::string GroupsOf(SpriteFile& sprite, const AnimOptions& options, std::vector<AnimGroup>& groups)
{
    const uint32_t count = static_cast<uint32_t>(sprite.Groups.size());
    if (options.Group && *options.Group >= count)
        return "--group " + std::to_string(*options.Group) + " does not exist: "
            + PrintableText(options.File)
            + (sprite.Grouped ? " has " + std::to_string(count) + " groups"
                              : " is not a grouped file; its one group is 0");
    if (!sprite.Grouped || options.Group) {
        const uint32_t g = options.Group.value_or(0);
        groups.push_back({ g, sprite.Groups[g].get(), options.Output });
        return {};
    }
    const std::filesystem::path output(options.Output);
    for (uint32_t g = 0; g < count; ++g) {
        std::filesystem::path target = output;
        target.replace_filename(output.stem().string() + "_" + std::to_string(g)
            + output.extension().string());
        groups.push_back({ g, sprite.Groups[g].get(), target.string() });
    }
    return {};
}

// Writes frames From ... To of one group (those that can be shown, each at its selected width)
// as its GIF. ExitSuccess, or the code of the error printed.
int WriteGroup(const ToolStreams& streams, const AnimOptions& options, const AnimGroup& group,
    const PaletteModel& palette, const std::optional<TranslationTable>& translation)
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
        TranslateOutput(translation, picture.BitmapPixels);
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
    std::optional<TranslationTable> translation;
    if (int result = PrepareColours(streams, options.Palette, options.Translation, palette, translation);
        result != ExitSuccess)
        return result;
    SpriteFile sprite = LoadToolSprite(
        options.File, options.WithHeaders, options.HeadersGiven, options.Coding);
    if (sprite.Status != LoadOK)
        return FileError(streams, options.File, LoadFailureReason(sprite.Status));
    std::vector<AnimGroup> groups;
    if (std::string problem = GroupsOf(sprite, options, groups); !problem.empty())
        return UsageError(streams, "anim", problem);
    // --from and --to must name a frame of the largest group written.
    uint32_t count = 0;
    for (const AnimGroup& group : groups)
        count = std::max(count, static_cast<uint32_t>(group.Frames->Frames.size()));
    for (const std::optional<uint32_t>& index : { options.From, options.To })
        if (index && *index >= count)
            return UsageError(streams, "anim",
                "frame " + std::to_string(*index) + " does not exist; "
                    + PrintableText(options.File) + " has " + FrameCount(count));
    int result = ExitSuccess;
    for (const AnimGroup& group : groups)
        if (int written = WriteGroup(streams, options, group, palette, translation);
            written != ExitSuccess)
            result = written;
    return result;
}
