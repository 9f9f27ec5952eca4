#pragma once

// Helpers shared by the window tests of the CEL list and frame lists windows: a whole program
// over scripted dialogs in a temporary start folder, and CEL files made with the core API.

#include <memory>
#include <string>
#include <vector>

#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/AppContext.h"
#include "app/GuiApp.h"
#include "app/MainWnd.h"
#include "cel/CELHandler.h"
#include "cel/GroupedFile.h"
#include "framelists/FrameWnd.h"
#include "gui/GuiTestSupport.h"
#include "viewer/ViewerWnd.h"

// A frame of width x height pixels. Each row is a literal run over its left half, a
// transparent gap and one literal pixel at its end, so that a short literal run meets the
// next row's literal run and the row ends can be told from the data; seed varies the colours.
// A CL2 frame is coded in the CL2 runs.
inline std::unique_ptr<CELFrame> MakeFrame(uint32_t width, uint32_t height, uint8_t seed,
    const std::string& name = "", FrameCoding coding = FrameCoding::CEL)
{
    DataArray image(size_t(width) * height, TransparentIndex);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x)
            if (x < (width + 1) / 2 || x == width - 1)
                image[size_t(y) * width + x] = uint8_t((x * 7 + y * 3 + seed) % 200);
    }
    auto frame = CELFrame::CreateEmpty(coding);
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    frame->Name = name;
    return frame;
}

struct FrameShape {
    uint32_t Width;
    uint32_t Height;
    std::string Name;
};

// Writes a CEL file (and its database when withDatabase) at path; true on success.
inline bool WriteCEL(const std::string& path, const std::vector<FrameShape>& frames,
    bool withHeaders, bool withDatabase)
{
    auto cel = CELObject::CreateEmpty(uint32_t(frames.size()));
    for (size_t k = 0; k < frames.size(); ++k) {
        cel->Frames[k] = std::make_shared<FrameSlot>();
        cel->Frames[k]->Frame
            = MakeFrame(frames[k].Width, frames[k].Height, uint8_t(k * 11), frames[k].Name);
    }
    cel->FileName = path;
    cel->WithHeaders = withHeaders ? 1 : 0;
    cel->HasDatabase = withDatabase ? 1 : 0;
    return cel->SaveToFile() == SaveOK;
}

// Writes a sprite file of the given coding at path: one group of frames as a plain file, or
// several as a grouped file (with its database when withDatabase); true on success.
inline bool WriteSprite(const std::string& path, const std::vector<std::vector<FrameShape>>& groups,
    FrameCoding coding, bool withHeaders, bool withDatabase)
{
    std::vector<std::unique_ptr<CELObject>> cels;
    std::vector<const CELObject*> list;
    for (size_t g = 0; g < groups.size(); ++g) {
        auto cel = CELObject::CreateEmpty(uint32_t(groups[g].size()));
        cel->Coding = coding;
        cel->GroupIndex = groups.size() > 1 ? int32_t(g) : -1;
        cel->WithHeaders = withHeaders ? 1 : 0;
        cel->HasDatabase = withDatabase ? 1 : 0;
        for (size_t k = 0; k < groups[g].size(); ++k) {
            const FrameShape& shape = groups[g][k];
            cel->Frames[k] = std::make_shared<FrameSlot>();
            cel->Frames[k]->Frame = MakeFrame(
                shape.Width, shape.Height, uint8_t(g * 40 + k * 11), shape.Name, coding);
        }
        list.push_back(cel.get());
        cels.push_back(std::move(cel));
    }
    return SaveSpriteFile(path, list, groups.size() > 1) == SaveOK;
}

inline QStringList ItemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int k = 0; k < list->count(); ++k)
        texts << list->item(k)->text();
    return texts;
}

// The whole program in a fresh temporary start folder.
struct ShellRig {
    QTemporaryDir Dir;
    ScriptedDialogs Script;
    std::unique_ptr<VornixApp> Vornix;

    std::string StartDir() const { return Dir.path().toStdString(); }
    std::string File(const std::string& name) const { return StartDir() + "/" + name; }
    void Start() { Vornix = std::make_unique<VornixApp>(Script, StartDir()); }
    void Stop() { Vornix.reset(); }
    AppContext& App() { return Vornix->Context(); }
    TMain& Main() { return Vornix->Main(); }
    TWindFrame& Frames() { return Vornix->WindFrame(); }

    // Opens path through "Open"; answers the Frame Headers question when it is asked.
    void Open(const std::string& path, bool headersAnswer = true)
    {
        Script.FileAnswers.push_back(QString::fromStdString(path));
        Script.YesNoAnswers.push_back(headersAnswer);
        Main().BtnOpenClick();
        Script.YesNoAnswers.clear();
    }

    // Selects row of the CEL list and sends it to a pane.
    void SendLeft(int row)
    {
        Main().ListCEL->setCurrentRow(row);
        Main().BtnLLoadClick();
    }
    void SendRight(int row)
    {
        Main().ListCEL->setCurrentRow(row);
        Main().BtnRLoadClick();
    }

    // Selects a pane item the way a user does, which runs the pane's selection handler.
    void SelectLeft(int row) { Frames().ListLeft->setCurrentRow(row); }
    void SelectRight(int row) { Frames().ListRight->setCurrentRow(row); }

    QString ViewCaption() { return Vornix->WindView().windowTitle(); }
};
