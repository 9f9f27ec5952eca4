#include "cli/CelTool.h"

#include <algorithm>
#include <array>
#include <sstream>

#include <nlohmann/json.hpp>

#include "bitmaps/ImageFiles.h"
#include "frames/FileIO.h"
#include "frames/FrameName.h"

namespace {

// The candidates that are valid to show: the first WidthCount, never more than are held.
size_t ListedWidths(const CELFrame& frame)
{
    return std::min<size_t>({ frame.WidthCount, frame.Widths.size(), frame.BlockRows.size() });
}

nlohmann::ordered_json FrameJson(uint32_t index, const CELFrame& frame)
{
    size_t listed = ListedWidths(frame);
    nlohmann::ordered_json blockRows = nlohmann::ordered_json::array();
    for (size_t i = 0; i < listed; ++i)
        blockRows.push_back(frame.BlockRows[i]);
    return {
        { "index", index },
        { "name", ValidUtf8(NameForDisplay(frame.Name)) },
        { "diagnosis", frame.Diagnosis },
        { "caption", ValidUtf8(FrameCaption(index, frame)) },
        { "width", frame.Width },
        { "height", frame.Height },
        { "data_length", frame.DataLength },
        { "header", frame.Header },
        { "widths", std::vector<uint32_t>(frame.Widths.begin(), frame.Widths.begin() + listed) },
        { "width_index", frame.WidthIndex },
        { "block_rows", std::move(blockRows) },
    };
}

nlohmann::ordered_json FramesJson(const CELObject& cel)
{
    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (uint32_t i = 0; i < cel.Frames.size(); ++i) {
        const CELFrame* frame = cel.Frames[i] ? cel.Frames[i]->Frame.get() : nullptr;
        frames.push_back(frame ? FrameJson(i, *frame) : nlohmann::ordered_json(nullptr));
    }
    return frames;
}

// A grouped file lists its groups, each with its frames counted from 0, in place of the
// frames of a plain file.
void PrintJson(std::ostream& out, const std::string& file, const SpriteFile& sprite)
{
    const CELObject& first = *sprite.Groups[0];
    nlohmann::ordered_json json = {
        { "file", ValidUtf8(file) },
        { "status", sprite.Status },
        { "coding", CodingName(sprite.Coding) },
        { "with_headers", first.WithHeaders == 1 },
        { "has_database", first.HasDatabase == 1 },
    };
    if (sprite.Grouped) {
        nlohmann::ordered_json groups = nlohmann::ordered_json::array();
        for (size_t g = 0; g < sprite.Groups.size(); ++g)
            groups.push_back({ { "index", g }, { "frame_count", sprite.Groups[g]->FrameCount },
                { "frames", FramesJson(*sprite.Groups[g]) } });
        json["group_count"] = sprite.Groups.size();
        json["groups"] = std::move(groups);
    } else {
        json["frame_count"] = first.FrameCount;
        json["frames"] = FramesJson(first);
    }
    out << json.dump() << "\n";
}

std::string Padded(std::string text, size_t width, bool right = false)
{
    if (text.size() >= width)
        return text;
    std::string padding(width - text.size(), ' ');
    return right ? padding + text : text + padding;
}

void PrintFrames(std::ostream& out, const CELObject& cel)
{
    struct Row {
        std::string Index, Caption, Size, Data, Diagnosis, Widths;
    };
    std::vector<Row> rows { { "Index", "Caption", "Size", "Data", "Diagnosis", "Widths" } };
    for (uint32_t i = 0; i < cel.Frames.size(); ++i) {
        const CELFrame* frame = cel.Frames[i] ? cel.Frames[i]->Frame.get() : nullptr;
        if (!frame)
            continue;
        std::string widths;
        size_t listed = ListedWidths(*frame);
        for (size_t w = 0; w < listed; ++w) {
            if (w > 0)
                widths += " ";
            if (w == frame->WidthIndex)
                widths += "*";
            widths += std::to_string(frame->Widths[w]);
        }
        if (listed == 0)
            widths = "none";
        rows.push_back({ std::to_string(i), PrintableText(FrameCaption(i, *frame)),
            std::to_string(frame->Width) + "x" + std::to_string(frame->Height),
            std::to_string(frame->DataLength),
            std::to_string(frame->Diagnosis) + " " + std::string(DiagnosisName(frame->Diagnosis)),
            widths });
    }
    std::array<size_t, 5> width {};
    for (const Row& row : rows) {
        width[0] = std::max(width[0], row.Index.size());
        width[1] = std::max(width[1], row.Caption.size());
        width[2] = std::max(width[2], row.Size.size());
        width[3] = std::max(width[3], row.Data.size());
        width[4] = std::max(width[4], row.Diagnosis.size());
    }
    for (const Row& row : rows)
        out << Padded(row.Index, width[0], true) << "  " << Padded(row.Caption, width[1]) << "  "
            << Padded(row.Size, width[2]) << "  " << Padded(row.Data, width[3], true) << "  "
            << Padded(row.Diagnosis, width[4]) << "  " << row.Widths << "\n";
}

void PrintTable(std::ostream& out, const std::string& file, const SpriteFile& sprite, bool detected)
{
    const CELObject& first = *sprite.Groups[0];
    out << "File: " << PrintableText(file) << "\n"
        << "Coding: " << CodingName(sprite.Coding) << "\n"
        << "Frames: " << sprite.FrameTotal() << "\n";
    if (sprite.Grouped)
        out << "Groups: " << sprite.Groups.size() << "\n";
    out << "Frame Headers: " << (first.StoredWithHeaders() ? "yes" : "no")
        << (sprite.Coding == FrameCoding::CL2 ? " (always in a CL2 file)"
                : first.HasDatabase == 1      ? " (from the .cdb file)"
                : detected                    ? " (no .cdb file; more frames are viewable so)"
                                              : " (no .cdb file; as chosen)")
        << "\n"
        << "Database: " << (first.HasDatabase == 1 ? "yes" : "no") << "\n\n";
    if (!sprite.Grouped) {
        PrintFrames(out, first);
        return;
    }
    for (size_t g = 0; g < sprite.Groups.size(); ++g) {
        out << (g > 0 ? "\n" : "") << "Group " << g << ": " << FrameCount(sprite.Groups[g]->FrameCount)
            << "\n";
        PrintFrames(out, *sprite.Groups[g]);
    }
}

} // namespace

int RunInfo(const ToolStreams& streams, const InfoOptions& options)
{
    const uint32_t width = options.Width;
    const std::string& file = options.File;
    bool detected = false;
    SpriteFile sprite
        = LoadToolSprite(file, options.WithHeaders, options.HeadersGiven, options.Coding, &detected);
    const bool json = options.Json;
    if (sprite.Status != LoadOK) {
        const uint8_t status = sprite.Status;
        // A picture given by mistake is named for what it is, not as a damaged CEL file.
        std::vector<uint8_t> head;
        ImageFileFormat format = ImageFileFormat::Unknown;
        if (status != LoadCannotOpen && ReadFileHead(file, head, 8) == ReadResult::Ok)
            format = DetectImageFileFormat(head);
        if (format != ImageFileFormat::Unknown) {
            const std::string kind = format == ImageFileFormat::BMP ? "BMP" : "PNG";
            if (json)
                streams.Out << nlohmann::ordered_json {
                    { "file", ValidUtf8(file) }, { "status", status }, { "format", kind }
                }.dump() << "\n";
            return FileError(streams, file,
                "a " + kind + " picture, not a CEL file (vornix-cel build OUT.cel "
                    + PrintableText(file) + " makes a CEL of it)");
        }
        if (json)
            streams.Out << nlohmann::ordered_json {
                { "file", ValidUtf8(file) }, { "status", status }
            }.dump() << "\n";
        return FileError(streams, file, LoadFailureReason(status));
    }
    if (width != 0)
        for (auto& cel : sprite.Groups)
            for (uint32_t i = 0; i < cel->Frames.size(); ++i)
                if (cel->Frames[i] && cel->Frames[i]->Frame)
                    ChooseWidth(streams, file, i, *cel->Frames[i]->Frame, width);
    if (json)
        PrintJson(streams.Out, file, sprite);
    else
        PrintTable(streams.Out, file, sprite, detected);
    return ExitSuccess;
}
