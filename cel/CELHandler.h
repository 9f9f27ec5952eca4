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

// The coding of the file at path: CL2 when its name ends in ".cl2" in any case, else CEL.
FrameCoding CodingFromName(const std::string& path);

class CELObject {
public:
    uint32_t FrameCount = 0;
    uint8_t Status = LoadOK;
    std::vector<FrameSlotRef> Frames;
    std::string FileName;
    uint8_t WithHeaders = 1;
    uint8_t HasDatabase = 0;
    // The coding of every frame of the file. A CL2 is always stored with Frame Headers: it is
    // loaded with WithHeaders 1, and written with them and a database flag byte of 1 whatever
    // WithHeaders holds.
    FrameCoding Coding = FrameCoding::CEL;
    // The position of this CEL in its grouped file (cel/GroupedFile.h), -1 for a file of its
    // own. A group is saved only with the whole file: SaveToFile refuses it.
    int32_t GroupIndex = -1;

    static std::unique_ptr<CELObject> CreateEmpty(uint32_t count);
    // Reads path and, when present, path + ".cdb". Check Status: on anything but LoadOK the
    // object holds no frames. Without a coding, it follows the name (CodingFromName).
    static std::unique_ptr<CELObject> CreateFromFile(const std::string& path,
                                                     bool defaultWithHeaders);
    static std::unique_ptr<CELObject> CreateFromFile(const std::string& path,
                                                     bool defaultWithHeaders, FrameCoding coding);

    // Parses a CEL held in memory; database is null when there is no ".cdb". Sets Coding. For
    // a CL2 without a database, a frame with several candidate widths selects the width that
    // most of the viewable frames with a single candidate have (SelectCommonWidth).
    uint8_t LoadFromBytes(std::span<const uint8_t> cel, const std::vector<uint8_t>* database,
                          bool defaultWithHeaders, FrameCoding coding = FrameCoding::CEL);
    // The same with the Frame Header flag decided by the caller (withHeaders becomes
    // WithHeaders; a CL2 takes 1 whatever it is) and a database whose flag byte is
    // databaseBytes[0] (its value is not used): the groups of a grouped file share one flag,
    // and their databases lie one after another. Sets databaseUsed to the bytes of
    // databaseBytes this CEL's database took, flag byte included.
    uint8_t LoadFromBytes(std::span<const uint8_t> cel, bool hasDatabase,
                          std::span<const uint8_t> databaseBytes, uint8_t withHeaders,
                          FrameCoding coding, size_t& databaseUsed);
    // The bytes of the CEL file and of its database as SaveToFile writes them.
    std::vector<uint8_t> CELBytes() const;
    std::vector<uint8_t> DatabaseBytes() const;
    // Whether the frames are written with Frame Headers: always for a CL2.
    bool StoredWithHeaders() const { return Coding == FrameCoding::CL2 || WithHeaders == 1; }

    // Never writes a CEL that CreateFromFile would refuse: a CEL that is not Readable gives
    // SaveCannotWriteCEL before anything is written, and the file on disk stays as it was.
    // A group of a grouped file (GroupIndex 0 or more) also gives SaveCannotWriteCEL: its
    // file is written whole by SaveSpriteFile.
    uint8_t SaveToFile();
    // True when every frame has data and is of the CEL's coding, so the CEL file written
    // would load again with the same frames.
    bool Readable() const;
    // With freeFrames every frame is destroyed and its slot emptied; without, slots and
    // frames stay alive for whoever else refers to them.
    void Dispose(bool freeFrames);
    void ClearFileName() { FileName.clear(); }
};

std::string DatabaseFileName(const std::string& celPath);  // path + ".cdb"

// "An error occured (status 4: bad offset table)": the load status with what it means, as the
// command-line tool and the Python module report it.
std::string LoadFailureReason(uint8_t status);

// Little-endian 32-bit numbers of the CEL and grouped file layouts; at + 4 must lie inside bytes.
uint32_t ReadWord32(std::span<const uint8_t> bytes, uint64_t at);
void AppendWord32(std::vector<uint8_t>& out, uint32_t value);

// The Frame Header flag a load takes: the database's first byte, or the default without one.
uint8_t DatabaseFlag(const std::vector<uint8_t>* database, bool defaultWithHeaders);

// How many frame records of a database can matter to loading cel: its frame count, or fewer
// when the file is too short for that many frames. A database longer than 1 + 257 bytes per
// such frame need not be read whole.
uint64_t DatabaseFramesBound(std::span<const uint8_t> cel);

// The status that loading bytes as a CEL file would give from its count and offset table
// alone (LoadOK, LoadNoFrames, LoadTooShort or LoadBadOffsets), without reading the frames.
uint8_t CELLayoutStatus(std::span<const uint8_t> bytes, bool withHeaders);

// The rule for CL2 files read without a database: every viewable frame with a single
// candidate width votes for it; each frame with several candidates selects the width with
// the most votes (on a tie the one met first in frame order) when it is among its candidates,
// and its first candidate otherwise. cels are taken in order as one file.
void SelectCommonWidth(std::span<CELObject* const> cels);

// A cell holding one CELObject; the CEL list item and LeftCEL / RightCEL share it, and a
// write-back from a pane puts a new CELObject into the same holder.
struct CELHolder {
    std::unique_ptr<CELObject> CEL;

    // Which version of the CEL's frames, order, names, widths and flags the holder carries.
    // Every change takes a number never used before and an undo gives an earlier one back, so
    // the CEL differs from what was last written exactly when the two numbers differ. The
    // holder, not the CELObject, keeps them: a write-back replaces the object.
    uint64_t Revision = 0;
    uint64_t SavedRevision = 0;

    bool Changed() const { return Revision != SavedRevision; }
    // A new version; returns its number.
    uint64_t MarkChanged() { return Revision = ++lastRevision; }
    // What the holder carries now is what the files hold.
    void MarkSaved() { SavedRevision = Revision; }

private:
    uint64_t lastRevision = 0;
};
using CELHolderRef = std::shared_ptr<CELHolder>;
