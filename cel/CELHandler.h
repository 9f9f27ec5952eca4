#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "frames/FrameHandler.h"

// A frame lives in its slot; the CEL's table, the frame-list items and the viewer refer to
// the slot, so a frame keeps its identity while it moves. Two references name the same frame
// exactly when they point at the same slot.
struct FrameSlot {
    std::unique_ptr<CELFrame> Frame;
};
using FrameSlotRef = std::shared_ptr<FrameSlot>;

// Load status of CreateFromFile.
enum : uint8_t {
    LoadOK = 0,
    LoadNoFrames = 1,
    LoadCannotOpen = 2,
    LoadTooShort = 3,
    LoadBadOffsets = 4,
};

// Result of SaveToFile.
enum : uint8_t {
    SaveOK = 0,
    SaveNoFrames = 1,
    SaveCannotWriteCEL = 2,
    SaveCannotWriteDatabase = 5,
};

class CELObject {
public:
    uint32_t FrameCount = 0;
    uint8_t Status = LoadOK;
    std::vector<FrameSlotRef> Frames;
    std::string FileName;
    uint8_t WithHeaders = 1;
    uint8_t HasDatabase = 0;

    static std::unique_ptr<CELObject> CreateEmpty(uint32_t count);
    // Reads path and, when present, path + ".cdb". Check Status: on anything but LoadOK the
    // object holds no frames.
    static std::unique_ptr<CELObject> CreateFromFile(const std::string& path,
                                                     bool defaultWithHeaders);

    // Parses a CEL held in memory; database is null when there is no ".cdb".
    uint8_t LoadFromBytes(std::span<const uint8_t> cel, const std::vector<uint8_t>* database,
                          bool defaultWithHeaders);
    // The bytes of the CEL file and of its database as SaveToFile writes them.
    std::vector<uint8_t> CELBytes() const;
    std::vector<uint8_t> DatabaseBytes() const;

    // Never writes a CEL that CreateFromFile would refuse: a CEL that is not Readable gives
    // SaveCannotWriteCEL before anything is written, and the file on disk stays as it was.
    uint8_t SaveToFile();
    // True when every frame has data, so the CEL file written would load again.
    bool Readable() const;
    // With freeFrames every frame is destroyed and its slot emptied; without, slots and
    // frames stay alive for whoever else refers to them.
    void Dispose(bool freeFrames);
    void ClearFileName() { FileName.clear(); }
};

std::string DatabaseFileName(const std::string& celPath);  // path + ".cdb"

// A cell holding one CELObject; the CEL list item and LeftCEL / RightCEL share it, and a
// write-back from a pane puts a new CELObject into the same holder.
struct CELHolder {
    std::unique_ptr<CELObject> CEL;
};
using CELHolderRef = std::shared_ptr<CELHolder>;
