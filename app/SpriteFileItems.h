#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cel/CELHandler.h"

// How the CEL list holds sprite files, without any toolkit. A plain CEL or CL2 file is one
// list item; a grouped file is one item per group, each a CELObject of its own with the
// file's path as FileName and its position as GroupIndex. The groups of one file are told
// apart from other items by that path: the list never holds two files of one name.

// The caption of a list item: the path, followed by " [g]" for group g of a grouped file.
std::string SpriteItemCaption(const std::string& path, int32_t groupIndex);

// The positions in cels of the items of the file of cels[k], in group order: k alone for a
// file of its own or an unnamed CEL; every group of its grouped file otherwise. Null entries
// are never part of a file; an empty result when cels[k] is null or k is out of range.
std::vector<size_t> ItemsOfFile(std::span<const CELObject* const> cels, size_t k);

// A frame that cannot change coding, named for a message: its group (-1 for a file of its
// own), its position and its name; Others counts the further frames that cannot either.
struct ConversionRefusal {
    int32_t Group = -1;
    uint32_t Frame = 0;
    std::string Name;
    size_t Others = 0;
};

// "Cannot convert: frame #3 "walk" of group 1 cannot be shown (and 2 more)", as it applies.
std::string ConversionRefusalText(const ConversionRefusal& refusal);

// Puts every frame of cels into coding, each re-coded from its image at its selected width
// (RecodeFrame; names, order and widths stay), and sets each CEL's Coding, with Frame Headers
// (WithHeaders 1). All or nothing: when a frame cannot be re-coded, nothing changes and the
// refusal names the first such frame in group order. Frames already in coding stay as they are.
std::optional<ConversionRefusal> ConvertSpriteFile(
    std::span<CELObject* const> cels, FrameCoding coding);
