#include "frames/FileIO.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t first = 0)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i * 7);
    return bytes;
}

size_t FilesIn(const std::filesystem::path& folder)
{
    size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

class FailingWrites {
public:
    explicit FailingWrites(int64_t after) { AtomicFileWriter::SetFailAfterBytesForTesting(after); }
    ~FailingWrites() { AtomicFileWriter::SetFailAfterBytesForTesting(-1); }
};

} // namespace

TEST(FileIO, WriteThenReadGivesTheSameBytes)
{
    TempDir dir;
    auto bytes = Bytes(100000);
    ASSERT_TRUE(WriteFileAtomically(dir.File("a.bin"), bytes));
    std::vector<uint8_t> back;
    ASSERT_EQ(ReadWholeFile(dir.File("a.bin"), back), ReadResult::Ok);
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(FilesIn(dir.Path()), 1u) << "no temporary file may stay behind";
}

TEST(FileIO, ReadRefusesMissingFilesFoldersAndFilesTooLarge)
{
    TempDir dir;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReadWholeFile(dir.File("missing"), bytes), ReadResult::CannotOpen);
    EXPECT_EQ(ReadWholeFile(dir.Path().string(), bytes), ReadResult::CannotOpen);
    WriteBytes(dir.File("big"), Bytes(1000));
    EXPECT_EQ(ReadWholeFile(dir.File("big"), bytes, 999), ReadResult::TooLarge);
    EXPECT_EQ(ReadWholeFile(dir.File("big"), bytes, 1000), ReadResult::Ok);
}

TEST(FileIO, FailedWriteLeavesThePreviousFileIntact)
{
    TempDir dir;
    auto old = Bytes(5000, 3);
    WriteBytes(dir.File("keep.bin"), old);
    {
        FailingWrites full(1000);
        EXPECT_FALSE(WriteFileAtomically(dir.File("keep.bin"), Bytes(5000, 9)));
    }
    EXPECT_EQ(ReadBytes(dir.File("keep.bin")), old);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(FileIO, WriterWithoutCommitChangesNothing)
{
    TempDir dir;
    auto old = Bytes(10, 1);
    WriteBytes(dir.File("f"), old);
    {
        AtomicFileWriter writer(dir.File("f"));
        ASSERT_TRUE(writer.Open());
        ASSERT_TRUE(writer.Write(Bytes(20)));
    }
    EXPECT_EQ(ReadBytes(dir.File("f")), old);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(FileIO, CannotCreateInAMissingFolderOrOverAFolder)
{
    TempDir dir;
    EXPECT_FALSE(WriteFileAtomically(dir.File("no/such/folder/f"), Bytes(4)));
    std::filesystem::create_directory(dir.Path() / "sub");
    EXPECT_FALSE(WriteFileAtomically(dir.File("sub"), Bytes(4)));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "sub"));
    EXPECT_FALSE(WriteFileAtomically("", Bytes(4)));
}

TEST(FileIO, DeleteFileIfExists)
{
    TempDir dir;
    WriteBytes(dir.File("x"), Bytes(3));
    EXPECT_TRUE(FileExists(dir.File("x")));
    EXPECT_TRUE(DeleteFileIfExists(dir.File("x")));
    EXPECT_FALSE(FileExists(dir.File("x")));
    EXPECT_TRUE(DeleteFileIfExists(dir.File("x")));
}

TEST(FileIO, ReadFileHeadTakesAtMostTheHead)
{
    TempDir dir;
    auto bytes = Bytes(1000);
    WriteBytes(dir.File("f"), bytes);
    std::vector<uint8_t> head;
    ASSERT_EQ(ReadFileHead(dir.File("f"), head, 10), ReadResult::Ok);
    EXPECT_EQ(head, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10));
    ASSERT_EQ(ReadFileHead(dir.File("f"), head, 5000), ReadResult::Ok);
    EXPECT_EQ(head, bytes);
    EXPECT_EQ(ReadFileHead(dir.File("missing"), head, 10), ReadResult::CannotOpen);
}
