#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cel/CELHandler.h"

// Sprite files as a whole: a plain CEL or CL2 file, or a grouped file.
//
// A grouped file starts with a table of G 32-bit little-endian offsets (G at least 1, the first
// equal to 4 x G, strictly rising, each below the file size); group g is the bytes from its
// offset to the next one (the last one to the end of the file), and each group is itself a
// complete CEL or CL2 file of the file's coding, its offsets counting from the group's first
// byte. Its database (path + ".cdb") is the database of each group, one after another, each
// exactly as a plain file's (flag byte, then its frame records).
//
// A file is read as a plain file first. Only when that gives LoadTooShort or LoadBadOffsets,
// and the bytes form a valid group table whose every group loads with LoadOK, is it read as
// grouped; otherwise the plain status stands. One Frame Header flag (the database's first
// byte, or the caller's default) holds for every group of a CEL file; a CL2 always has Frame
// Headers. Without a database, the width rule of SelectCommonWidth covers the whole file.
//
// The windows hold one CELObject per group (their own list items); the groups of one file
// are told apart by FileName and GroupIndex and are saved together with SaveSpriteFile.

struct SpriteFile {
    // One CEL for a plain file; one per group, in file order, for a grouped file. Each group
    // has GroupIndex = its position, the file's coding, path as FileName (after
    // LoadSpriteFile) and the file's HasDatabase and WithHeaders. Empty unless Status is LoadOK.
    std::vector<std::unique_ptr<CELObject>> Groups;
    bool Grouped = false;
    FrameCoding Coding = FrameCoding::CEL;
    uint8_t Status = LoadOK; // the load status, as CELObject::Status

    // The groups in order, for GroupedFileBytes and SaveSpriteFile.
    std::vector<const CELObject*> GroupList() const;
    // Total frames of all groups.
    uint64_t FrameTotal() const;
};

// The group offsets of bytes when they start with a valid group table (see above); false,
// with offsets empty, otherwise.
bool ParseGroupTable(std::span<const uint8_t> bytes, std::vector<uint32_t>& offsets);

// Reads a sprite file held in memory; database is null when there is no ".cdb". Returns and
// stores file.Status; FileName stays empty.
uint8_t LoadSpriteBytes(std::span<const uint8_t> bytes, const std::vector<uint8_t>* database,
    bool defaultWithHeaders, FrameCoding coding, SpriteFile& file);

// Reads the file at path and, when present, path + ".cdb". Without a coding, it follows the
// name (CodingFromName). Status as CELObject::CreateFromFile (LoadCannotOpen, ...).
SpriteFile LoadSpriteFile(const std::string& path, bool defaultWithHeaders);
SpriteFile LoadSpriteFile(const std::string& path, bool defaultWithHeaders, FrameCoding coding);

// The bytes of a grouped file of groups: the group table, then each group's CELBytes. Empty
// when there is no group, a group's bytes are empty, or the file would pass 4 GB.
std::vector<uint8_t> GroupedFileBytes(std::span<const CELObject* const> groups);
// The database of a grouped file: each group's DatabaseBytes, one after another, every flag
// byte that of the first group (the flag the reader takes for all). Empty when a group's is.
std::vector<uint8_t> GroupedDatabaseBytes(std::span<const CELObject* const> groups);

// Why SaveSpriteFile would refuse groups (SaveNoFrames, SaveCannotWriteCEL), or SaveOK. A
// file is refused when its reader would not give back these groups: no group, a group
// without frames, a group that is not Readable, groups of different codings or different
// Frame Header flags, several groups while not grouped, or grouped bytes that would read as a
// plain file with the groups' Frame Header flag.
uint8_t SpriteFileProblem(std::span<const CELObject* const> groups, bool grouped);

// Writes the whole file at path from groups (as a grouped file when grouped, else the one
// group as a plain file), then its database when any group's HasDatabase is 1, or else removes
// a database left at path + ".cdb". Each file is written whole before it takes its name
// (frames/FileIO.h). Returns SaveOK, SaveNoFrames or SaveCannotWriteCEL (nothing written: the
// refusals of SpriteFileProblem, an empty path or a failed write), or SaveCannotWriteDatabase
// (the sprite file itself was written). The groups are not changed: the caller sets their
// FileName and marks them saved.
uint8_t SaveSpriteFile(
    const std::string& path, std::span<const CELObject* const> groups, bool grouped);
