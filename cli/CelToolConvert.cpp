#include "cli/CelTool.h"

// convert: a sprite file's frames in the other coding (or the same), with its groups, order,
// names and selected widths.

int RunConvert(const ToolStreams& streams, const ConvertOptions& options)
{
    const std::string& input = options.Input;
    const std::string& output = options.Output;
    SpriteFile sprite = LoadToolSprite(input, false, false, options.From);
    if (sprite.Status != LoadOK)
        return FileError(streams, input, LoadFailureReason(sprite.Status));

    // Every frame is re-coded before anything is written: a frame that cannot be shown has no
    // picture to code, and the file is then not written at all.
    bool refused = false;
    const bool hadDatabase = sprite.Groups[0]->HasDatabase == 1;
    for (size_t g = 0; g < sprite.Groups.size(); ++g) {
        CELObject& group = *sprite.Groups[g];
        for (uint32_t i = 0; i < group.Frames.size(); ++i) {
            CELFrame* frame = group.Frames[i] ? group.Frames[i]->Frame.get() : nullptr;
            if (frame != nullptr && RecodeFrame(*frame, options.To))
                continue;
            const std::string where = sprite.Grouped
                ? "frame " + std::to_string(i) + " of group " + std::to_string(g)
                : "frame " + std::to_string(i);
            const uint8_t code = frame ? frame->Diagnosis : uint8_t { DiagWidth };
            FileError(streams, input,
                where + " cannot be shown (" + std::string(DiagnosisName(code))
                    + "), so it cannot change coding");
            refused = true;
        }
        group.Coding = options.To;
        group.WithHeaders = options.To == FrameCoding::CL2 || options.WithHeaders ? 1 : 0;
        group.HasDatabase = hadDatabase || options.Database ? 1 : 0;
    }
    if (refused)
        return FileError(streams, output, "nothing written");

    switch (SaveSpriteFile(output, sprite.GroupList(), sprite.Grouped)) {
    case SaveOK:
        streams.Out << "converted " << PrintableText(input) << " (" << CodingName(options.From)
                    << ") to " << PrintableText(output) << " (" << CodingName(options.To)
                    << "): " << FrameCount(sprite.FrameTotal()) << "\n";
        return ExitSuccess;
    case SaveCannotWriteDatabase:
        return FileError(streams, DatabaseFileName(output), "Cannot save Database");
    default:
        return FileError(streams, output, "Cannot save CEL file");
    }
}
