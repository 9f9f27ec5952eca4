#pragma once

// What the tests of vornix-cel share: running the built program, and making and reading the
// CEL files it works on. Included only by files compiled with VORNIX_CEL_TOOL, its path.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "TestSupport.h"
#include "cel/CELHandler.h"

struct ToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

inline std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// shellPrefix runs first in the same shell, to set limits such as "ulimit -f 20;".
inline ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& arguments,
    const std::string& shellPrefix = {})
{
    static int runs = 0;
    std::string outFile = dir.File("stdout" + std::to_string(runs));
    std::string errFile = dir.File("stderr" + std::to_string(runs++));
    std::string command = shellPrefix + Quoted(VORNIX_CEL_TOOL);
    for (const auto& argument : arguments)
        command += " " + Quoted(argument);
    command += " >" + Quoted(outFile) + " 2>" + Quoted(errFile) + " </dev/null";
    int status = std::system(command.c_str());
    ToolRun run;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto out = ReadBytes(outFile), err = ReadBytes(errFile);
    run.Out.assign(out.begin(), out.end());
    run.Err.assign(err.begin(), err.end());
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

inline std::unique_ptr<CELFrame> EncodedFrame(
    uint32_t width, uint32_t height, const DataArray& image, std::string name = {})
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    frame->Name = std::move(name);
    return frame;
}

inline void SaveCEL(const std::string& path, std::vector<std::unique_ptr<CELFrame>> frames,
    bool withHeaders, bool database)
{
    auto cel = CELObject::CreateEmpty(static_cast<uint32_t>(frames.size()));
    for (size_t i = 0; i < frames.size(); ++i) {
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frames[i]);
    }
    cel->FileName = path;
    cel->WithHeaders = withHeaders ? 1 : 0;
    cel->HasDatabase = database ? 1 : 0;
    ASSERT_EQ(cel->SaveToFile(), SaveOK);
}

inline DataArray Decoded(const CELFrame& frame)
{
    DataArray image;
    frame.DecodeImage(image);
    return image;
}

inline std::unique_ptr<CELObject> Load(const std::string& path, bool withHeaders = false)
{
    auto cel = CELObject::CreateFromFile(path, withHeaders);
    EXPECT_EQ(cel->Status, LoadOK);
    return cel;
}
