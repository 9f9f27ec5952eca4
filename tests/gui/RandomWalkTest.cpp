#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>

#include "app/ListWnd.h"
#include "app/SpriteFileItems.h"
#include "viewer/AnimWnd.h"
#include "bitmaps/BMPHandler.h"
#include "bitmaps/GIFHandler.h"
#include "frames/FrameName.h"
#include "framelists/InputWnd.h"
#include "frames/FrameName.h"
#include "gui/ShellFixtures.h"
#include "palette/ColoursWnd.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "viewer/AnimWnd.h"
#include "viewer/GuiViewSurface.h"

namespace fs = std::filesystem;

// A seeded random walk through the six real windows: every step is one user action (a click,
// a key, a mouse stroke, a typed text, a dialog answered at random from prepared answers),
// and after every step the rules that hold between the windows, the panes, the CELs and the
// viewer are checked. A save that reports success is read back from disk, and a close and
// restart must reopen the unnamed CELs as they were.
//
// CI walks FixedSteps steps from FixedSeed. VORNIX_WALK_STEPS=N walks N steps, and
// VORNIX_WALK_SEED=S starts from seed S ("random" takes a fresh one); a failure prints the
// seed, the step and the last actions, so that the walk can be replayed exactly.

namespace {

constexpr uint64_t FixedSeed = 15;
constexpr uint64_t FixedSteps = 5000;
constexpr size_t LogLength = 40;

// How a name or caption shows in a list or title.
QString Shown(const std::string& text)
{
    return QString::fromStdString(NameForDisplay(text));
}

std::string Quoted(const QString& text)
{
    std::string s = text.toStdString();
    if (s.size() > 40)
        s = s.substr(0, 37) + "...";
    return "\"" + s + "\"";
}

// The frame as a stored file keeps it, for comparing what was saved with what is read back;
// with its picture at its selected width, for a save that changed the coding.
struct StoredFrame {
    DataArray Data;
    std::array<uint16_t, 5> Header {};
    std::string Name;
    uint32_t Width = 0;
    uint8_t WidthCount = 0;
    uint8_t WidthIndex = 0;
    DataArray Pixels;

    static StoredFrame Of(const CELFrame& frame)
    {
        StoredFrame stored { frame.Data, frame.Header, frame.Name, frame.Width, frame.WidthCount,
            frame.WidthIndex, {} };
        if (frame.Viewable())
            frame.DecodeImage(stored.Pixels);
        return stored;
    }
};

struct StoredCEL {
    std::vector<StoredFrame> Frames;
    bool WithHeaders = false;
    bool WithDatabase = false;
    // The file is written in another coding than the frames were shown in ("Save as" to a
    // name of the other coding): the pictures must come back, not the bytes.
    bool Converted = false;
};

// Empty when cel holds the frames of expected as a file written with its flags gives them
// back: the same data, the Frame Headers when they were written, and the names and chosen
// widths when the database was written. A frame's height is not compared: it follows from
// the width choices made on the way (Width x Height divided by the new width), which a file
// does not record.
std::string CompareStored(const CELObject& cel, const StoredCEL& expected)
{
    std::ostringstream out;
    if (cel.Status != LoadOK) {
        out << "read back with Status " << int(cel.Status);
        return out.str();
    }
    if (cel.FrameCount != expected.Frames.size() || cel.Frames.size() != expected.Frames.size()) {
        out << "read back " << cel.FrameCount << " frames, " << expected.Frames.size()
            << " were shown";
        return out.str();
    }
    if (expected.WithDatabase && (cel.WithHeaders != 0) != expected.WithHeaders)
        return "the Frame Header flag did not come back";
    for (size_t k = 0; k < expected.Frames.size(); ++k) {
        const StoredFrame& want = expected.Frames[k];
        if (!cel.Frames[k] || !cel.Frames[k]->Frame)
            return "frame " + std::to_string(k) + " has no slot";
        const CELFrame& got = *cel.Frames[k]->Frame;
        std::string at = "frame " + std::to_string(k) + ": ";
        if (got.Coding != cel.Coding)
            return at + "it is not of its file's coding";
        if (expected.Converted) {
            // The picture at the width shown: the width is one of the new candidates.
            CELFrame atWidth = got;
            const auto begin = atWidth.Widths.begin();
            const auto found = std::find(begin, begin + atWidth.WidthCount, want.Width);
            DataArray pixels;
            if (found != begin + atWidth.WidthCount && atWidth.Viewable()
                && atWidth.SelectWidth(uint32_t(found - begin)))
                atWidth.DecodeImage(pixels);
            if (pixels != want.Pixels || pixels.empty())
                return at + "the converted frame does not show the picture shown";
        } else if (got.Data != want.Data) {
            return at + "data differs";
        }
        if (expected.WithHeaders && !expected.Converted && got.Header != want.Header)
            return at + "Frame Header differs";
        if (expected.WithDatabase) {
            if (got.Name != want.Name)
                return at + "name \"" + got.Name + "\" instead of \"" + want.Name + "\"";
            // A converted frame has other candidates: its width, not its position, counts.
            if (want.WidthCount >= 1
                && ((got.WidthIndex != want.WidthIndex && !expected.Converted)
                    || got.Width != want.Width))
                return at + "width " + std::to_string(got.Width) + " instead of "
                    + std::to_string(want.Width);
        } else if (!got.Name.empty()) {
            return at + "a name came back without a database";
        }
    }
    return {};
}

uint64_t EnvNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    return std::strtoull(text, nullptr, 10);
}

// The walk's seed: VORNIX_WALK_SEED, a fresh one for "random", FixedSeed without it.
uint64_t WalkSeed()
{
    const char* text = std::getenv("VORNIX_WALK_SEED");
    if (text && std::string(text) == "random") {
        std::random_device device;
        return (uint64_t(device()) << 32) ^ device();
    }
    return EnvNumber("VORNIX_WALK_SEED", FixedSeed);
}

class Walker;

// One kind of user action. Enabled says whether a user could take it now (null: always);
// Run takes it, preparing the answers of any dialog it opens. New kinds are added to the
// table in Walker::AddActions, one entry each.
struct WalkAction {
    std::string Name;
    int Weight = 1;
    std::function<bool(Walker&)> Enabled;
    std::function<void(Walker&)> Run;
    uint64_t Taken = 0;
};

enum class FileKind {
    OpenCEL,
    SaveCEL,
    OpenBitmap,
    SaveBitmap,
    SaveGIF,
    OpenPalette,
    OpenTable,
    SaveTable,
    ImportPalette,
    ExportPalette,
};

class Walker {
public:
    explicit Walker(uint64_t seed)
        : seed(seed)
        , random(seed)
    {
    }

    uint64_t seed;
    std::mt19937_64 random;
    std::unique_ptr<ShellRig> rig = std::make_unique<ShellRig>();
    std::vector<WalkAction> actions;
    std::deque<std::string> log;
    uint64_t step = 0;
    std::string failure;

    // What the walk reached, so that a test can tell a walk that did something from one that
    // only bounced off disabled buttons.
    uint64_t verifiedSaves = 0;
    uint64_t verifiedGroupedSaves = 0;
    uint64_t verifiedCL2Saves = 0;
    uint64_t verifiedConversions = 0;
    uint64_t restarts = 0;
    uint64_t reopenedCELs = 0;

    // The mouse button held down in the viewer, if any; while it is held the pointer is
    // grabbed by the image, so the only actions are moves and the release.
    Qt::MouseButton held = Qt::NoButton;

    // The viewer caption is written when a frame is shown; a rename reaches it only at the
    // next showing. The frame and name last seen in the caption allow for that.
    FrameSlotRef captionSlot;
    std::string captionName;

    // Until a palette is first applied (loaded or a colour edited) the surface keeps the
    // colours it started with; from then on it shows the palette.
    bool paletteApplied = false;
    // Whether the last file dialog prepared was answered with a file (not cancelled).
    bool lastFileAnswered = false;

    // Prepared files and answers.
    std::string scratch;
    std::vector<std::string> celFiles, saveNames, bitmapFiles, bitmapSaveNames, paletteFiles;
    std::vector<std::string> gifSaveNames;
    std::vector<std::string> tableFiles, tableSaveNames, importFiles, exportNames;
    std::vector<QString> texts;

    TMain& Main() { return rig->Main(); }
    TWindFrame& Frames() { return rig->Frames(); }
    TWindView& View() { return rig->Vornix->WindView(); }
    TWindPal& Pal() { return rig->Vornix->WindPal(); }
    TWindColours& Colours() { return rig->Vornix->WindColours(); }
    AppContext& App() { return rig->App(); }
    ScriptedDialogs& Script() { return rig->Script; }

    uint64_t Below(uint64_t n) { return n == 0 ? 0 : random() % n; }
    bool Chance(uint64_t inN) { return Below(inN) == 0; }
    int Between(int low, int high) { return low + int(Below(uint64_t(high - low + 1))); }
    template <typename T> const T& Pick(const std::vector<T>& from)
    {
        return from[size_t(Below(from.size()))];
    }

    void Note(const std::string& text)
    {
        if (!log.empty())
            log.back() += " " + text;
    }

    bool Prepare();
    void AddActions();
    void Start();
    void TakeStep();
    std::string Walk(uint64_t steps);
    std::string Report() const;

    // Dialog answers, chosen at random from the prepared ones.
    void AnswerFile(FileKind kind);
    void AnswerYesNo() { Script().YesNoAnswers.push_back(Chance(2)); }
    bool AnswerColour(); // true when a colour is chosen
    void AnswerInput(const std::vector<std::string>& names);
    QString RandomText(const std::vector<std::string>& names);

    // Mouse and keys, as a user gives them.
    void ClickRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {});
    void KeyInList(QWidget* widget);
    void TypeInto(QLineEdit* edit, const QString& text);
    QPoint ViewPoint(bool allowOutside);

    // Saves and restarts, each checked against what the windows showed.
    StoredCEL ShownFrames(const CELHolderRef& holder);
    // What both panes and the viewer show, for telling an undo followed by a redo from the
    // state before it.
    std::string PanesAndView(bool withImage);
    void UndoThenRedo(QAction* undo, QAction* redo, const char* where);
    // Everything a question's Cancel must leave as it was: the panes, their selections and
    // width lists, the image in view, the CEL list and its marks.
    std::string Everything();
    // The questions about unsaved work get random answers; after the step, a Cancel must
    // have changed nothing and a Yes to the viewer's question must have stored its image.
    void PrepareUnsavedAnswers();
    void CheckUnsavedAnswers(const std::string& before, size_t questionsBefore);
    std::deque<Answer> unsavedAnswers; // the answers prepared for this step, in order
    FrameSlotRef editedSlot; // the frame in view with unstored edits before the step
    DataArray editedImage;
    uint64_t cancelsChecked = 0;
    uint64_t storesChecked = 0;
    // False when the window refused the drag.
    bool DropFiles(QWidget* target, const std::vector<std::string>& files);
    void SaveAndVerify(bool saveAs);
    void CloseAndRestart();

    // The rules; the first broken one goes into failure.
    void Expect(bool ok, const std::string& what)
    {
        if (!ok && failure.empty())
            failure = what;
    }
    void CheckInvariants();
    void CheckPane(const char* side, QListWidget* list, const PaneModel& pane,
        const CELHolderRef& cel, QComboBox* combo, QCheckBox* header, QCheckBox* database);
    void CheckSlots();
    void CheckViewer();
    void CheckPalette();
    void CheckColours();
    void CheckCELList();
    void CheckAnimation();
};

bool Walker::Prepare()
{
    if (!rig->Dir.isValid())
        return false;
    scratch = rig->StartDir() + "/scratch";
    fs::create_directories(scratch + "/blocked.cel.cdb");
    const std::string s = scratch + "/";
    bool ok = true;
    ok &= WriteCEL(s + "hero.cel",
        { { 24, 14, "stand" }, { 30, 20, "walk" }, { 6, 3, "" }, { 40, 30, "" } }, true, true);
    // The large frame needs the scroll bars from 4x zoom on.
    ok &= WriteCEL(s + "plain.cel", { { 4, 2, "" }, { 32, 18, "" }, { 60, 34, "" } }, false, false);
    ok &= WriteCEL(s + "Grüße €.cel", { { 25, 25, "Café" }, { 3, 7, "ウォーク" } }, true, true);
    ok &= WriteCEL(s + "blocked.cel", { { 7, 3, "" } }, true, false);
    // One frame of ten one-pixel runs (widths 10, 5, 3, 2, 2, 1, ...), a frame that cannot be
    // shown (a control byte 0) and an ordinary one.
    {
        auto cel = CELObject::CreateEmpty(3);
        const std::vector<DataArray> data
            = { { 1, 0x90, 0xFF, 1, 0x91, 0xFF, 1, 0x92, 0xFF, 1, 0x93, 0xFF, 1, 0x94, 0xFF },
                  { 2, 0x90, 0x91, 0, 0xFF }, {} };
        for (size_t k = 0; k < 3; ++k) {
            cel->Frames[k] = std::make_shared<FrameSlot>();
            if (k == 2) {
                cel->Frames[k]->Frame = MakeFrame(9, 4, 77);
                continue;
            }
            cel->Frames[k]->Frame = CELFrame::CreateEmpty();
            cel->Frames[k]->Frame->Data = data[k];
            cel->Frames[k]->Frame->DataLength = uint32_t(data[k].size());
            cel->Frames[k]->Frame->AnalyseData();
        }
        cel->FileName = s + "runs.cel";
        cel->WithHeaders = 0;
        ok &= cel->SaveToFile() == SaveOK;
    }
    {
        std::ofstream garbage(s + "garbage.cel", std::ios::binary);
        garbage << "not a CEL file at all";
    }
    // A CL2 without a database (its widths chosen by the common-width rule), a grouped CL2
    // with one, and a grouped CEL without.
    ok &= WriteSprite(s + "walk.cl2", { { { 12, 40, "" }, { 5, 3, "" }, { 16, 8, "" } } },
        FrameCoding::CL2, true, false);
    ok &= WriteSprite(s + "unit.cl2",
        { { { 10, 36, "n" }, { 6, 4, "" } }, { { 8, 3, "" } }, { { 7, 7, "e" }, { 4, 40, "" } } },
        FrameCoding::CL2, true, true);
    ok &= WriteSprite(s + "dirs.cel", { { { 9, 5, "" } }, { { 6, 6, "" }, { 20, 34, "" } } },
        FrameCoding::CEL, true, false);
    celFiles = { s + "hero.cel", s + "plain.cel", s + "Grüße €.cel", s + "blocked.cel",
        s + "runs.cel", s + "garbage.cel", s + "missing.cel", s + "saved.cel", s + "walk.cl2",
        s + "unit.cl2", s + "dirs.cel", s + "saved.cl2" };
    saveNames = { s + "saved.cel", s + "other.cel", s + "hero.cel", s + "Grüße €.cel",
        s + "blocked.cel", s + "no folder/x.cel", scratch, s + std::string(252, 'c') + ".cel",
        s + "saved.cl2", s + "other.CL2", s + "unit.cl2", s + "dirs.cel" };

    PaletteModel palette;
    for (size_t n = 0; n < 256; ++n)
        palette.Palette[n] = uint32_t(n * 0x010305u) & 0xFFFFFFu;
    Bitmap picture;
    picture.BitmapWidth = 7;
    picture.BitmapHeight = 5;
    for (uint32_t k = 0; k < 35; ++k)
        picture.BitmapPixels.push_back(k % 6 == 0 ? TransparentIndex : uint8_t(0x80 + k));
    ok &= WriteBitmap(s + "small8.bmp", picture, palette, 8) == BitmapWritten;
    picture.BitmapWidth = 5;
    picture.BitmapHeight = 7;
    ok &= WriteBitmap(s + "tall24.bmp", picture, palette, 24) == BitmapWritten;
    const Bitmap tall = picture;
    picture.BitmapWidth = 7;
    picture.BitmapHeight = 5;
    ok &= WriteGIF(s + "walk.gif", std::vector<Bitmap> { picture, tall }, palette, {})
        == BitmapWritten;
    bitmapFiles = { s + "small8.bmp", s + "tall24.bmp", s + "hero.cel", s + "missing.bmp",
        s + "export.bmp", s + "walk.gif", s + "saved.gif" };
    bitmapSaveNames = { s + "export.bmp", s + "no folder/x.bmp", scratch };
    gifSaveNames = { s + "saved.gif", s + "export.bmp", s + "no folder/x.gif", scratch };

    {
        std::ofstream pal(s + "game.pal", std::ios::binary);
        for (int n = 0; n < 768; ++n)
            pal.put(char((n * 37) & 0xFF));
        std::ofstream shortPal(s + "short.pal", std::ios::binary);
        shortPal << "too short";
    }
    paletteFiles = { s + "game.pal", s + "short.pal", s + "missing.pal", s + "saved.pal",
        s + "パレット.pal", s + "no folder/p.pal", s + std::string(255, 'p') + ".pal", "" };

    {
        std::ofstream table(s + "swap.trn", std::ios::binary);
        for (int n = 0; n < 256; ++n)
            table.put(char(n < 0x80 ? n : 0x80 + (0x7F - (n - 0x80) + 0x55) % 0x80));
        std::ofstream shortTable(s + "short.trn", std::ios::binary);
        shortTable << std::string(255, 'x');
        std::ofstream gimp(s + "game.gpl", std::ios::binary);
        gimp << "GIMP Palette\nName: game\n# comment\n";
        for (int n = 0; n < 200; ++n)
            gimp << (n * 3) % 256 << " " << (n * 5) % 256 << " " << (255 - n) << " c" << n << "\n";
    }
    tableFiles = { s + "swap.trn", s + "short.trn", s + "missing.trn", s + "saved.trn" };
    tableSaveNames = { s + "saved.trn", s + "no folder/x.trn" };
    importFiles = { s + "game.gpl", s + "game.pal", s + "short.pal", s + "small8.bmp",
        s + "hero.cel", s + "missing.pal", s + "export.gpl", s + "export.act" };
    exportNames = { s + "export.gpl", s + "export.pal", s + "export.act", s + "no folder/x.gpl" };

    texts = { "", "a", QString(255, QChar('n')), QString(256, QChar('n')), "Café", "ウォーク",
        QString(255, QChar(0xE9)), "<Begin>", " stand" };
    return ok;
}

void Walker::Start()
{
    rig->Start();
    rig->Vornix->Show();
    held = Qt::NoButton;
    captionSlot = nullptr;
    captionName.clear();
    PaletteModel probe;
    paletteApplied = LoadPaletteFile(Pal().EditPalFile->text().toStdString(), probe)
        == PaletteFileResult::Done;
}

void Walker::AnswerFile(FileKind kind)
{
    lastFileAnswered = false;
    if (Chance(8)) {
        Script().FileAnswers.push_back(std::nullopt);
        Note("(cancelled)");
        return;
    }
    const std::vector<std::string>* pool = &celFiles;
    switch (kind) {
    case FileKind::OpenCEL:
        pool = &celFiles;
        break;
    case FileKind::SaveCEL:
        pool = &saveNames;
        break;
    case FileKind::OpenBitmap:
        pool = &bitmapFiles;
        break;
    case FileKind::SaveBitmap:
        pool = &bitmapSaveNames;
        break;
    case FileKind::SaveGIF:
        pool = &gifSaveNames;
        break;
    case FileKind::OpenPalette:
        pool = &paletteFiles;
        break;
    case FileKind::OpenTable:
        pool = &tableFiles;
        break;
    case FileKind::SaveTable:
        pool = &tableSaveNames;
        break;
    case FileKind::ImportPalette:
        pool = &importFiles;
        break;
    case FileKind::ExportPalette:
        pool = &exportNames;
        break;
    }
    const std::string& name = Pick(*pool);
    lastFileAnswered = true;
    Script().FileAnswers.push_back(QString::fromStdString(name));
    Note("(" + Quoted(QString::fromStdString(name.substr(std::min(name.size(), scratch.size()))))
        + ")");
}

bool Walker::AnswerColour()
{
    if (Chance(4)) {
        Script().ColourAnswers.push_back(std::nullopt);
        Note("(cancelled)");
        return false;
    }
    const std::vector<uint32_t> colours = { 0, 0xFFFFFF, 0x123456, 0xFF00FF };
    uint32_t colour = Chance(2) ? Pick(colours) : uint32_t(random() & 0xFFFFFF);
    Script().ColourAnswers.push_back(colour);
    Note("(colour " + std::to_string(colour) + ")");
    return true;
}

QString Walker::RandomText(const std::vector<std::string>& names)
{
    if (!names.empty() && Chance(3))
        return QString::fromStdString(Pick(names));
    return Pick(texts);
}

// The input dialog (Rename, Search) or the list generator (Merge), closed with OK or Cancel.
void Walker::AnswerInput(const std::vector<std::string>& names)
{
    const QString text = RandomText(names);
    const bool accept = !Chance(5);
    const bool toggleDirection = Chance(3);
    Note("(" + Quoted(text) + (accept ? ", OK" : ", Cancel") + ")");
    Script().ModalAnswers.push_back([=](QDialog& dialog) {
        if (auto* input = qobject_cast<TWindInput*>(&dialog)) {
            input->EditStr->setText(text);
            if (toggleDirection && input->CheckSearchDir->isEnabled())
                QTest::mouseClick(input->CheckSearchDir, Qt::LeftButton);
        }
        return accept ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
}

void Walker::ClickRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers)
{
    if (row < 0 || row >= list->count())
        return;
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    Note("row " + std::to_string(row));
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(item).center());
}

void Walker::KeyInList(QWidget* widget)
{
    static const Qt::Key keys[]
        = { Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown };
    const Qt::Key key = keys[Below(std::size(keys))];
    Note("key " + std::to_string(int(key)));
    QTest::keyClick(widget, key);
}

void Walker::TypeInto(QLineEdit* edit, const QString& text)
{
    Note(Quoted(text));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // One key event carrying the whole text, as an input method delivers it: the per-key
    // helpers know only ASCII.
    if (!text.isEmpty())
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, text, Qt::NoModifier);
}

// A point of the image control, now and then beyond its edges (moves report those too).
QPoint Walker::ViewPoint(bool allowOutside)
{
    const ViewSurface& surface = *View().ImgView;
    const int margin = allowOutside ? 4 : 0;
    QPoint p(Between(-margin, std::max(surface.width() - 1, 0) + margin),
        Between(-margin, std::max(surface.height() - 1, 0) + margin));
    Note("at " + std::to_string(p.x()) + "," + std::to_string(p.y()));
    return p;
}

// The frames a CEL would be written with now: those its pane shows, or its own table.
StoredCEL Walker::ShownFrames(const CELHolderRef& holder)
{
    StoredCEL shown;
    if (!holder || !holder->CEL)
        return shown;
    shown.WithHeaders = holder->CEL->StoredWithHeaders();
    shown.WithDatabase = holder->CEL->HasDatabase == 1;
    const PaneModel* pane = nullptr;
    if (holder == App().LeftCEL)
        pane = &Frames().LeftPane;
    else if (holder == App().RightCEL)
        pane = &Frames().RightPane;
    if (pane) {
        for (int32_t k = 1; k < pane->Count(); ++k) {
            const FrameSlotRef& slot = pane->Items[size_t(k)].Slot;
            if (slot && slot->Frame)
                shown.Frames.push_back(StoredFrame::Of(*slot->Frame));
        }
    } else {
        for (const FrameSlotRef& slot : holder->CEL->Frames)
            if (slot && slot->Frame)
                shown.Frames.push_back(StoredFrame::Of(*slot->Frame));
    }
    return shown;
}

// "Save" or "Save as"; a save that shows no message has written the CEL, and the file must
// then give back the frames the pane showed.
std::string Walker::PanesAndView(bool withImage)
{
    std::ostringstream out;
    for (QListWidget* list : { Frames().ListLeft, Frames().ListRight }) {
        out << "[";
        for (int row = 0; row < list->count(); ++row)
            out << list->item(row)->text().toStdString() << "|";
        out << "]";
    }
    for (const PaneModel* pane : { &Frames().LeftPane, &Frames().RightPane })
        for (size_t k = 1; k < pane->Count(); ++k) {
            const FrameSlotRef slot = pane->SlotAt(k);
            if (!slot || !slot->Frame) {
                out << "(none)";
                continue;
            }
            const CELFrame& f = *slot->Frame;
            out << "(" << f.Name << "," << f.Width << "x" << f.Height << "," << f.Data.size() << ","
                << std::hash<std::string>()(std::string(f.Data.begin(), f.Data.end())) << ","
                << int(f.WidthIndex) << ")";
        }
    // The selection and the working image only for a step of the viewer: a step of the frame
    // lists selects the item it changed, as the operation did, and showing it discards the
    // unsaved edits of the image, as a click on another frame does.
    const ViewerState& v = App().View;
    if (withImage)
        out << " selected " << Frames().ListLeft->currentRow() << "," << Frames().ListRight->currentRow()
            << " view " << v.ImageWidth << "x" << v.ImageHeight << " "
            << std::hash<std::string>()(std::string(v.FrameImage.begin(), v.FrameImage.end()));
    // Not the CEL's frame table: an operation may leave it behind the pane until the next
    // rebuild, and a redo may rebuild it sooner.
    for (const CELHolderRef& cel : { App().LeftCEL, App().RightCEL })
        out << " " << (cel ? (cel->Changed() ? "changed" : "saved") : "none");
    return out.str();
}

// Undo followed by redo gives back exactly what was shown before.
void Walker::UndoThenRedo(QAction* undo, QAction* redo, const char* where)
{
    if (!undo->isEnabled())
        return;
    Note(undo->text().toStdString());
    const bool withImage = undo == View().ActUndo;
    const std::string before = PanesAndView(withImage);
    const bool frames = undo == Frames().ActUndo;
    const int index = frames ? Frames().FrameHistory->index() : View().ImageHistory->index();
    undo->trigger();
    CheckInvariants();
    // The viewer's question about unstored edits was answered Cancel (nothing happened) or
    // Yes (the store became the newest step, and nothing was undone).
    if (index <= (frames ? Frames().FrameHistory->index() : View().ImageHistory->index()))
        return;
    Expect(redo->isEnabled(), std::string("after an undo in ") + where + " redo is not offered");
    redo->trigger();
    const std::string after = PanesAndView(withImage);
    Expect(before == after,
        std::string("undo then redo in ") + where + " did not give back the state: " + before
            + " became " + after);
}

bool Walker::DropFiles(QWidget* target, const std::vector<std::string>& files)
{
    QList<QUrl> urls;
    for (const std::string& file : files)
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file)));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        Note("(refused)");
        return false;
    }
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return true;
}

// "Save" or "Save as"; a save that shows no message has written the CEL's whole file (every
// group of a grouped file), and the file must then give back the frames the panes showed.
void Walker::SaveAndVerify(bool saveAs)
{
    const bool selected = !Main().ListCEL->selectedItems().isEmpty();
    const CELHolderRef holder = Main().HolderAt(Main().ListCEL->currentRow());
    const std::vector<CELHolderRef> file = Main().FileHolders(holder);
    std::vector<StoredCEL> shown;
    for (const CELHolderRef& member : file)
        shown.push_back(ShownFrames(member));
    const FrameCoding coding = holder && holder->CEL ? holder->CEL->Coding : FrameCoding::CEL;
    bool cancelled = false;
    if (saveAs) {
        AnswerFile(FileKind::SaveCEL);
        cancelled = !Script().FileAnswers.back().has_value();
        QTest::mouseClick(Main().BtnSaveAsCEL, Qt::LeftButton);
    } else {
        QTest::mouseClick(Main().BtnSaveCEL, Qt::LeftButton);
    }
    if (!Script().Messages.empty())
        Note("-> " + Quoted(Script().LastMessage()));
    if (!selected || !holder || !holder->CEL || cancelled || holder->CEL->FileName.empty()
        || !Script().Messages.empty())
        return;
    const std::string& path = holder->CEL->FileName;
    const bool grouped = holder->CEL->GroupIndex >= 0;
    Expect(CodingFromName(path) == holder->CEL->Coding,
        "a CEL was saved in another coding than its name says");
    // A conversion writes a CEL with Frame Headers, as a CL2 always is.
    const bool converted = holder->CEL->Coding != coding;
    for (StoredCEL& group : shown) {
        group.Converted = converted;
        group.WithHeaders = group.WithHeaders || converted;
    }
    SpriteFile disk = LoadSpriteFile(path, shown.front().WithHeaders);
    Expect(disk.Status == LoadOK && disk.Grouped == grouped && disk.Groups.size() == file.size(),
        "a saved file read back with Status " + std::to_string(disk.Status) + " and "
            + std::to_string(disk.Groups.size()) + " groups, " + std::to_string(file.size())
            + " were shown");
    for (size_t g = 0; g < file.size() && g < disk.Groups.size(); ++g) {
        const std::string difference = CompareStored(*disk.Groups[g], shown[g]);
        Expect(difference.empty(),
            "a save that reported success did not give back the frames shown (group "
                + std::to_string(g) + "): " + difference);
        Expect(!file[g]->Changed(), "a saved CEL is still marked as changed");
    }
    ++verifiedSaves;
    verifiedGroupedSaves += grouped ? 1 : 0;
    verifiedCL2Saves += holder->CEL->Coding == FrameCoding::CL2 ? 1 : 0;
    verifiedConversions += converted ? 1 : 0;
    Note("-> read back");
}

void Walker::CloseAndRestart()
{
    // The questions first, as the close asks them; a Cancel keeps the program open.
    std::set<CELHolder*> unsaved;
    for (int row = 0; row < Main().ListCEL->count(); ++row)
        if (const CELHolderRef holder = Main().HolderAt(row); holder && holder->Changed())
            unsaved.insert(holder.get());
    if (!Main().ConfirmCloseProgram()) {
        Note("(kept open)");
        return;
    }
    // What Yes saved must read back as the CEL showed it.
    for (int row = 0; row < Main().ListCEL->count(); ++row) {
        const CELHolderRef holder = Main().HolderAt(row);
        if (!holder || !holder->CEL || holder->CEL->FileName.empty() || holder->Changed()
            || !unsaved.count(holder.get()))
            continue;
        const StoredCEL shown = ShownFrames(holder);
        auto disk = CELObject::CreateFromFile(holder->CEL->FileName, shown.WithHeaders);
        if (disk->Status == LoadOK) {
            const std::string difference = CompareStored(*disk, shown);
            Expect(difference.empty(), "a CEL saved at close reads back unlike it was: "
                    + difference);
        }
    }
    std::vector<StoredCEL> stored;
    for (int row = 0; row < Main().ListCEL->count(); ++row) {
        const CELHolderRef holder = Main().HolderAt(row);
        if (!holder || !holder->CEL || !holder->CEL->FileName.empty())
            continue;
        StoredCEL shown = ShownFrames(holder);
        if (!shown.Frames.empty())
            stored.push_back(std::move(shown));
    }
    Note(std::to_string(stored.size()) + " unnamed");
    // Named CELs whose changes were kept unsaved are asked about again: No.
    Script().CancelAnswers.assign(size_t(Main().ListCEL->count()) + 1, Answer::No);
    Expect(Main().close(), "the program did not close after its questions were answered");
    Script().CancelAnswers.clear();
    rig->Stop();
    Start();
    ++restarts;
    TMain& main = Main();
    Expect(main.ListCEL->count() == int(stored.size()),
        "after a restart " + std::to_string(main.ListCEL->count()) + " CELs are listed, "
            + std::to_string(stored.size()) + " were stored");
    Expect(App().NewCELCount == stored.size(), "NewCELCount after a restart");
    for (size_t n = 0; n < stored.size() && n < size_t(main.ListCEL->count()); ++n) {
        const int row = int(n);
        Expect(main.ListCEL->item(row)->text() == QString("<New> #%1").arg(n),
            "caption of a reopened CEL");
        const CELHolderRef holder = main.HolderAt(row);
        Expect(holder && holder->CEL && holder->CEL->FileName.empty(), "a reopened CEL is unnamed");
        if (holder && holder->CEL) {
            const std::string difference = CompareStored(*holder->CEL, stored[n]);
            Expect(difference.empty(),
                "unnamed CEL " + std::to_string(n) + " reopened unlike it was: " + difference);
        }
    }
    reopenedCELs += stored.size();
}

void Walker::AddActions()
{
    auto add = [this](std::string name, int weight, std::function<void(Walker&)> run,
                   std::function<bool(Walker&)> enabled = nullptr) {
        actions.push_back({ std::move(name), weight, std::move(enabled), std::move(run), 0 });
    };
    auto click = [](QWidget* (*widget)(Walker&)) {
        return [widget](Walker& w) { QTest::mouseClick(widget(w), Qt::LeftButton); };
    };
    auto hasCELs = [](Walker& w) { return w.Main().ListCEL->count() > 0; };

    // The CEL list window.
    add("Open", 5, [](Walker& w) {
        w.AnswerFile(FileKind::OpenCEL);
        w.AnswerYesNo();
        QTest::mouseClick(w.Main().BtnOpen, Qt::LeftButton);
    });
    add("New", 3, click([](Walker& w) -> QWidget* { return w.Main().BtnNewCEL; }));
    add("Use Left", 4, click([](Walker& w) -> QWidget* { return w.Main().BtnLLoad; }));
    add("Use Right", 4, click([](Walker& w) -> QWidget* { return w.Main().BtnRLoad; }));
    add("Save", 3, [](Walker& w) { w.SaveAndVerify(false); });
    add("Save as", 3, [](Walker& w) { w.SaveAndVerify(true); });
    add("Close", 2, [](Walker& w) {
        // A Yes to the question about an unnamed CEL's changes runs "Save as".
        w.AnswerFile(FileKind::SaveCEL);
        QTest::mouseClick(w.Main().BtnClose, Qt::LeftButton);
    });
    add("Merge", 1, [](Walker& w) {
        w.AnswerInput({});
        QTest::mouseClick(w.Main().BtnMerge, Qt::LeftButton);
    });
    add("Import CEL", 1, click([](Walker& w) -> QWidget* { return w.Main().BtnImpCEL; }));
    add("Export CEL", 1, click([](Walker& w) -> QWidget* { return w.Main().BtnExpCEL; }));
    add(
        "Click CEL list", 6,
        [](Walker& w) {
            w.ClickRow(w.Main().ListCEL, int(w.Below(uint64_t(w.Main().ListCEL->count()))));
        },
        hasCELs);
    add(
        "Key in CEL list", 2, [](Walker& w) { w.KeyInList(w.Main().ListCEL); }, hasCELs);
    add("Close and restart", 1, [](Walker& w) { w.CloseAndRestart(); });

    // The frame lists window, both panes.
    struct PaneControls {
        const char* Side;
        QListWidget* (*List)(Walker&);
        const PaneModel& (*Pane)(Walker&);
        QComboBox* (*Combo)(Walker&);
    };
    const PaneControls panes[] = {
        { "left", [](Walker& w) { return w.Frames().ListLeft; },
            [](Walker& w) -> const PaneModel& { return w.Frames().LeftPane; },
            [](Walker& w) { return w.Frames().ComboLSelW; } },
        { "right", [](Walker& w) { return w.Frames().ListRight; },
            [](Walker& w) -> const PaneModel& { return w.Frames().RightPane; },
            [](Walker& w) { return w.Frames().ComboRSelW; } },
    };
    for (const PaneControls& pane : panes) {
        const std::string side = pane.Side;
        auto list = pane.List;
        auto model = pane.Pane;
        auto filled = [list](Walker& w) { return list(w)->count() > 0; };
        add(
            "Click " + side + " list", 8,
            [list](Walker& w) { w.ClickRow(list(w), int(w.Below(uint64_t(list(w)->count())))); },
            filled);
        add(
            "Key in " + side + " list", 2, [list](Walker& w) { w.KeyInList(list(w)); }, filled);
        add(
            "Ctrl+click in " + side + " list", 1,
            [list](Walker& w) { w.ClickRow(list(w), list(w)->currentRow(), Qt::ControlModifier); },
            filled);
        add(
            "Click below the " + side + " items", 1,
            [list](Walker& w) {
                QListWidget* l = list(w);
                const QRect last = l->visualItemRect(l->item(l->count() - 1));
                const QPoint below(4, last.bottom() + 4);
                w.Note("at " + std::to_string(below.y()));
                if (below.y() < l->viewport()->height())
                    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, below);
            },
            filled);
        auto combo = pane.Combo;
        add(
            "Width " + side, 8, [combo](Walker& w) { w.KeyInList(combo(w)); },
            [combo](Walker& w) { return combo(w)->count() > 0; });
        auto names = [model](Walker& w) {
            std::vector<std::string> found;
            for (const PaneItem& item : model(w).Items)
                if (item.Slot && item.Slot->Frame && !item.Slot->Frame->Name.empty())
                    found.push_back(item.Slot->Frame->Name);
            return found;
        };
        const bool left = side == "left";
        add("Rename " + side, 2, [names, left](Walker& w) {
            w.AnswerInput(names(w));
            TWindFrame& f = w.Frames();
            QTest::mouseClick(left ? f.BtnLRename : f.BtnRRename, Qt::LeftButton);
        });
        add("Search " + side, 2, [names, left](Walker& w) {
            w.AnswerInput(names(w));
            TWindFrame& f = w.Frames();
            QTest::mouseClick(left ? f.BtnLSearch : f.BtnRSearch, Qt::LeftButton);
        });
    }
    struct Button {
        const char* Name;
        int Weight;
        QPushButton* TWindFrame::*Control;
    };
    const Button buttons[] = {
        { "Left New", 2, &TWindFrame::BtnLNew },
        { "Right New", 2, &TWindFrame::BtnRNew },
        { "Left Delete", 3, &TWindFrame::BtnLDelete },
        { "Right Delete", 3, &TWindFrame::BtnRDelete },
        { "Left Up", 2, &TWindFrame::BtnLUp },
        { "Right Up", 2, &TWindFrame::BtnRUp },
        { "Left Down", 2, &TWindFrame::BtnLDown },
        { "Right Down", 2, &TWindFrame::BtnRDown },
        { "Left First", 2, &TWindFrame::BtnLFirst },
        { "Right First", 2, &TWindFrame::BtnRFirst },
        { "Left Last", 2, &TWindFrame::BtnLLast },
        { "Right Last", 2, &TWindFrame::BtnRLast },
        { "Left Copy", 3, &TWindFrame::BtnLCopy },
        { "Right Copy", 3, &TWindFrame::BtnRCopy },
        { "Left Move", 3, &TWindFrame::BtnLMove },
        { "Right Move", 3, &TWindFrame::BtnRMove },
        { "Left Copy All", 1, &TWindFrame::BtnLCopyAll },
        { "Right Copy All", 1, &TWindFrame::BtnRCopyAll },
        { "Left Move All", 1, &TWindFrame::BtnLMoveAll },
        { "Right Move All", 1, &TWindFrame::BtnRMoveAll },
    };
    for (const Button& button : buttons) {
        auto control = button.Control;
        add(button.Name, button.Weight,
            [control](Walker& w) { QTest::mouseClick(w.Frames().*control, Qt::LeftButton); });
    }
    const std::pair<const char*, QCheckBox * TWindFrame::*> boxes[] = {
        { "Left Frame Headers", &TWindFrame::CheckLHeader },
        { "Left Save Database", &TWindFrame::CheckLDB },
        { "Right Frame Headers", &TWindFrame::CheckRHeader },
        { "Right Save Database", &TWindFrame::CheckRDB },
    };
    for (const auto& [name, control] : boxes) {
        auto box = control;
        add(name, 2, [box](Walker& w) { QTest::mouseClick(w.Frames().*box, Qt::LeftButton); });
    }

    // The viewer.
    add("Zoom", 6, [](Walker& w) {
        if (w.Chance(2)) {
            // Half the choices magnify a lot, so that frames outgrow the view area.
            const int index = int(w.Chance(2) ? 4 + w.Below(4) : w.Below(8));
            w.Note("to " + std::to_string(index));
            w.View().ComboZoom->setCurrentIndex(index);
        } else {
            w.KeyInList(w.View().ComboZoom);
        }
    });
    for (bool horizontal : { true, false }) {
        add(horizontal ? "Scroll across" : "Scroll up and down", 12, [horizontal](Walker& w) {
            QScrollBar* bar = horizontal ? w.View().ScrViewH : w.View().ScrViewV;
            // A disabled bar takes no clicks.
            if (!bar->isEnabled()) {
                w.Note("(disabled)");
                return;
            }
            static const QAbstractSlider::SliderAction moves[]
                = { QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
                      QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderToMinimum,
                      QAbstractSlider::SliderToMaximum };
            if (w.Chance(2)) {
                const int value = w.Between(0, bar->maximum());
                w.Note("to " + std::to_string(value));
                bar->setValue(value);
            } else {
                bar->triggerAction(moves[w.Below(std::size(moves))]);
            }
        });
    }
    auto canPress = [](Walker& w) {
        return w.held == Qt::NoButton && !w.View().ImgView->isHidden()
            && w.View().ImgView->width() > 0 && w.View().ImgView->height() > 0;
    };
    add(
        "Press in view", 14,
        [](Walker& w) {
            static const Qt::MouseButton buttons[]
                = { Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton };
            const Qt::MouseButton button = buttons[w.Below(std::size(buttons))];
            w.Note(button == Qt::LeftButton     ? "left"
                    : button == Qt::RightButton ? "right"
                                                : "middle");
            const QPoint at = w.ViewPoint(false);
            w.held = button;
            QTest::mousePress(w.View().ImgView, button, {}, at);
        },
        canPress);
    add(
        "Move in view", 14,
        [](Walker& w) { QTest::mouseMove(w.View().ImgView, w.ViewPoint(true)); },
        [](Walker& w) { return !w.View().ImgView->isHidden(); });
    add(
        "Release in view", 10,
        [](Walker& w) {
            const Qt::MouseButton button = w.held;
            w.held = Qt::NoButton;
            QTest::mouseRelease(w.View().ImgView, button, {}, w.ViewPoint(true));
        },
        [](Walker& w) { return w.held != Qt::NoButton; });
    const std::pair<const char*, QPushButton * TWindView::*> shifts[] = {
        { "Shift up", &TWindView::BtnUp },
        { "Shift down", &TWindView::BtnDown },
        { "Shift left", &TWindView::BtnLeft },
        { "Shift right", &TWindView::BtnRight },
    };
    for (const auto& [name, control] : shifts) {
        auto button = control;
        add(name, 1, [button](Walker& w) { QTest::mouseClick(w.View().*button, Qt::LeftButton); });
    }
    for (bool width : { true, false }) {
        add(width ? "Type width" : "Type height", 2, [width](Walker& w) {
            const ViewerState& v = w.App().View;
            const std::vector<QString> sizes = { "", "0", "1", "12a", "500", "99999999999", "120",
                "200", QString::number(w.Between(1, 40)),
                QString::number(width ? v.ImageWidth : v.ImageHeight),
                QString::number((width ? v.ImageWidth : v.ImageHeight) + 1) };
            w.TypeInto(width ? w.View().EditFrWidth : w.View().EditFrHeight, w.Pick(sizes));
        });
    }
    // The user drags the window's border; the toolkit keeps its minimum size.
    add("Size viewer window", 2, [](Walker& w) {
        const QSize size(w.Between(150, 420), w.Between(300, 560));
        w.Note(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        w.View().resize(size);
    });
    add("Size frames window", 1, [](Walker& w) {
        const QSize size(w.Between(150, 420), w.Between(250, 520));
        w.Note(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        w.Frames().resize(size);
    });
    add("Resize", 2, click([](Walker& w) -> QWidget* { return w.View().BtnResize; }));
    add("Save Frame", 4, click([](Walker& w) -> QWidget* { return w.View().BtnSaveFrame; }));
    add("Import bitmap", 2, [](Walker& w) {
        if (w.App().View.HasFrame())
            w.AnswerFile(FileKind::OpenBitmap);
        QTest::mouseClick(w.View().BtnImpFr, Qt::LeftButton);
    });
    add("Export bitmap", 1, [](Walker& w) {
        if (w.App().View.HasFrame())
            w.AnswerFile(FileKind::SaveBitmap);
        QTest::mouseClick(w.View().BtnExpFr, Qt::LeftButton);
    });
    add("Bits per pixel", 1, [](Walker& w) { w.KeyInList(w.View().ComboBPP); });
    add("View bounds", 1, click([](Walker& w) -> QWidget* { return w.View().CheckOffs; }));
    add("Bounds colour", 1, [](Walker& w) {
        w.AnswerColour();
        QTest::mouseClick(w.View().ImgOffs, Qt::LeftButton);
    });

    // The palette window.
    auto cell = [](Walker& w) {
        // Half the picks go to the free colours 7F ... FF, which the reserved-colour rule
        // lets through.
        const uint8_t n = w.Chance(2) ? uint8_t(0x7F + w.Below(0x81)) : uint8_t(w.Below(256));
        w.Note("cell " + std::to_string(n));
        return w.Pal().PalCells[n];
    };
    add("Edit colour", 1, [cell](Walker& w) {
        ColourCell* target = cell(w);
        if (w.AnswerColour())
            w.paletteApplied = true;
        QTest::mouseClick(target, Qt::LeftButton);
    });
    add("Pick colour", 5, [cell](Walker& w) { QTest::mouseClick(cell(w), Qt::RightButton); });
    add("Middle click on colour", 1,
        [cell](Walker& w) { QTest::mouseClick(cell(w), Qt::MiddleButton); });
    add("Type palette name", 1, [](Walker& w) {
        const std::string& name = w.Pick(w.paletteFiles);
        w.TypeInto(w.Pal().EditPalFile, QString::fromStdString(name));
    });
    add("Browse palette", 1, [](Walker& w) {
        w.AnswerFile(FileKind::OpenPalette);
        QTest::mouseClick(w.Pal().BtnPalSelect, Qt::LeftButton);
    });
    add("Load palette", 1, [](Walker& w) {
        QTest::mouseClick(w.Pal().BtnPalLoad, Qt::LeftButton);
        if (w.Script().Messages.empty() && !w.Pal().EditPalFile->text().isEmpty())
            w.paletteApplied = true;
    });
    add("Save palette", 1, click([](Walker& w) -> QWidget* { return w.Pal().BtnPalSave; }));
    add("Whole palette", 2, click([](Walker& w) -> QWidget* { return w.Pal().CheckPalWhole; }));
    add("Replace", 3, click([](Walker& w) -> QWidget* { return w.Pal().BtnRepl; }));
    add("Exchange", 3, click([](Walker& w) -> QWidget* { return w.Pal().BtnExch; }));

    // Undo and redo.
    add("Undo frames", 4, [](Walker& w) { w.Frames().ActUndo->trigger(); },
        [](Walker& w) { return w.Frames().ActUndo->isEnabled(); });
    add("Redo frames", 10, [](Walker& w) { w.Frames().ActRedo->trigger(); },
        [](Walker& w) { return w.Frames().ActRedo->isEnabled(); });
    add("Undo frames from the list menu", 1, [](Walker& w) {
        QListWidget* list = w.Chance(2) ? w.Frames().ListLeft : w.Frames().ListRight;
        QMenu* menu = w.Frames().ShowListMenu(list, QPoint(4, 4));
        const QList<QAction*> entries = menu->actions();
        if (!entries.isEmpty() && entries[0]->isEnabled())
            entries[0]->trigger();
        menu->close();
    });
    add("Undo then redo frames", 2,
        [](Walker& w) { w.UndoThenRedo(w.Frames().ActUndo, w.Frames().ActRedo, "the frames"); },
        [](Walker& w) { return w.Frames().ActUndo->isEnabled(); });
    add("Undo view", 6, [](Walker& w) { w.View().ActUndo->trigger(); },
        [](Walker& w) { return w.View().ActUndo->isEnabled(); });
    add("Redo view", 30, [](Walker& w) { w.View().ActRedo->trigger(); },
        [](Walker& w) { return w.View().ActRedo->isEnabled(); });
    add("Undo then redo view", 2,
        [](Walker& w) { w.UndoThenRedo(w.View().ActUndo, w.View().ActRedo, "the viewer"); },
        [](Walker& w) { return w.View().ActUndo->isEnabled(); });

    // Drag and drop.
    add("Drop CELs", 2, [](Walker& w) {
        std::vector<std::string> files { w.Pick(w.celFiles) };
        if (w.Chance(3))
            files.push_back(w.Pick(w.celFiles));
        for (size_t n = 0; n < files.size(); ++n)
            w.AnswerYesNo();
        w.DropFiles(&w.Main(), files);
        w.Script().YesNoAnswers.clear();
    });
    add("Drop a picture on the viewer", 2,
        [](Walker& w) { w.DropFiles(&w.View(), { w.Pick(w.bitmapFiles) }); });
    add("Drop a palette", 1, [](Walker& w) {
        // A refused drop loads nothing, whatever file name the window shows.
        if (!w.DropFiles(&w.Pal(), { w.Pick(w.paletteFiles) }))
            return;
        PaletteModel probe;
        if (LoadPaletteFile(w.Pal().EditPalFile->text().toStdString(), probe)
            == PaletteFileResult::Done)
            w.paletteApplied = true;
    });

    // The colour work: translation tables, palettes of other tools, colours in use, remapping.
    auto colourButton = [](QPushButton* TWindColours::*control, FileKind kind, bool asks) {
        return [control, kind, asks](Walker& w) {
            if (asks)
                w.AnswerFile(kind);
            QTest::mouseClick(w.Colours().*control, Qt::LeftButton);
        };
    };
    add("Load table", 2, colourButton(&TWindColours::BtnTrnLoad, FileKind::OpenTable, true));
    add("Save table", 1, colourButton(&TWindColours::BtnTrnSave, FileKind::SaveTable, true));
    add("Clear table", 1, colourButton(&TWindColours::BtnTrnClear, FileKind::OpenTable, false));
    add("Edit table", 4, [](Walker& w) {
        const uint8_t n = uint8_t(w.Below(256));
        const Qt::MouseButton button = w.Chance(6) ? Qt::RightButton : Qt::LeftButton;
        w.Note("cell " + std::to_string(n) + (button == Qt::RightButton ? " right" : ""));
        QTest::mouseClick(w.Colours().TrnCells[n], button);
    });
    add("Apply table to frame", 2,
        colourButton(&TWindColours::BtnTrnFrame, FileKind::OpenTable, false));
    add("Apply table to left", 1,
        colourButton(&TWindColours::BtnTrnLeft, FileKind::OpenTable, false));
    add("Apply table to right", 1,
        colourButton(&TWindColours::BtnTrnRight, FileKind::OpenTable, false));
    add("Import palette", 1, [](Walker& w) {
        w.AnswerFile(FileKind::ImportPalette);
        QTest::mouseClick(w.Colours().BtnPalImport, Qt::LeftButton);
        if (w.Script().Messages.empty() && w.lastFileAnswered)
            w.paletteApplied = true;
    });
    add("Export palette", 1,
        colourButton(&TWindColours::BtnPalExport, FileKind::ExportPalette, true));
    add("Colours in use", 2, [](Walker& w) {
        const int index = int(w.Below(4));
        w.Note("scope " + std::to_string(index));
        w.Colours().ComboUse->setCurrentIndex(index);
        emit w.Colours().ComboUse->activated(index);
    });
    const std::pair<const char*, QPushButton * TWindColours::*> remaps[] = {
        { "Remap frame", &TWindColours::BtnRemapFrame },
        { "Remap left", &TWindColours::BtnRemapLeft },
        { "Remap right", &TWindColours::BtnRemapRight },
    };
    for (const auto& [name, control] : remaps) {
        auto button = control;
        add(name, 1, [button](Walker& w) {
            w.AnswerFile(FileKind::ImportPalette);
            const size_t dialogs = w.Script().FileDialogs.size();
            QTest::mouseClick(w.Colours().*button, Qt::LeftButton);
            // A remap that asked for a file, got one and said nothing changed the palette.
            if (w.Script().FileDialogs.size() > dialogs && w.Script().Messages.empty()
                && w.lastFileAnswered)
                w.paletteApplied = true;
        });
    }
    add("Colour menu", 1, [](Walker& w) {
        const QPoint at(w.Between(0, 255), w.Between(0, 360));
        w.Note("at " + std::to_string(at.x()) + "," + std::to_string(at.y()));
        QMenu* menu = w.Pal().ShowColourMenu(at);
        w.Expect((menu != nullptr) == (at.y() >= 256), "the colour menu opened on the grid");
        if (menu)
            menu->close();
    });

    // The animation window.
    auto animation = [](Walker& w) -> TWindAnim& { return w.rig->Vornix->WindAnim(); };
    auto playing = [animation](Walker& w) { return animation(w).isVisible(); };
    add("Play animation", 2, [](Walker& w) {
        w.Frames().PlayAnimation(w.Chance(2) ? w.Frames().ListLeft : w.Frames().ListRight);
    });
    add("Animation tick", 6, [animation](Walker& w) { animation(w).TimerTick(); }, playing);
    add("Animation back", 1,
        [animation](Walker& w) { QTest::mouseClick(animation(w).BtnBack, Qt::LeftButton); }, playing);
    add("Animation forward", 1,
        [animation](Walker& w) { QTest::mouseClick(animation(w).BtnForward, Qt::LeftButton); },
        playing);
    add("Animation play or pause", 1,
        [animation](Walker& w) { QTest::mouseClick(animation(w).BtnPlay, Qt::LeftButton); }, playing);
    add("Animation loop", 1,
        [animation](Walker& w) { QTest::mouseClick(animation(w).CheckLoop, Qt::LeftButton); }, playing);
    add("Animation zoom", 1,
        [animation](Walker& w) { animation(w).SpinZoom->setValue(w.Between(1, 8)); }, playing);
    add("Animation save as GIF", 1, [animation](Walker& w) {
        if (animation(w).BtnSaveGIF->isEnabled())
            w.AnswerFile(FileKind::SaveGIF);
        QTest::mouseClick(animation(w).BtnSaveGIF, Qt::LeftButton);
    }, playing);
    add("Close animation", 1, [animation](Walker& w) { animation(w).close(); }, playing);
}

void Walker::TakeStep()
{
    // While a button is held in the view, the pointer belongs to the image.
    std::vector<WalkAction*> open;
    uint64_t total = 0;
    for (WalkAction& action : actions) {
        if (action.Weight <= 0 || (action.Enabled && !action.Enabled(*this)))
            continue;
        if (held != Qt::NoButton && action.Name != "Move in view"
            && action.Name != "Release in view")
            continue;
        open.push_back(&action);
        total += uint64_t(action.Weight);
    }
    if (open.empty()) {
        Expect(false, "no action can be taken");
        return;
    }
    uint64_t ticket = Below(total);
    WalkAction* chosen = open.back();
    for (WalkAction* action : open) {
        if (ticket < uint64_t(action->Weight)) {
            chosen = action;
            break;
        }
        ticket -= uint64_t(action->Weight);
    }
    log.push_back(std::to_string(step) + ": " + chosen->Name);
    if (log.size() > LogLength)
        log.pop_front();
    ++chosen->Taken;
    Script().Messages.clear();
    const std::string before = Everything();
    const size_t questionsBefore = Script().Questions.size();
    PrepareUnsavedAnswers();
    chosen->Run(*this);
    CheckUnsavedAnswers(before, questionsBefore);
    if (!Script().Messages.empty() && chosen->Name != "Save" && chosen->Name != "Save as")
        Note("-> " + Quoted(Script().LastMessage()));
    Script().FileAnswers.clear();
    Script().YesNoAnswers.clear();
    Script().ColourAnswers.clear();
    Script().ModalAnswers.clear();
    Script().CancelAnswers.clear();
    CheckInvariants();
}

std::string Walker::Everything()
{
    std::ostringstream out;
    out << PanesAndView(true) << " widths " << Frames().ComboLSelW->currentIndex() << ","
        << Frames().ComboLSelW->count() << "," << Frames().ComboRSelW->currentIndex() << ","
        << Frames().ComboRSelW->count() << " title " << View().windowTitle().toStdString();
    for (int row = 0; row < Main().ListCEL->count(); ++row)
        out << " " << Main().ListCEL->item(row)->text().toStdString()
            << (Main().ListCEL->item(row)->font().bold() ? "!" : "");
    out << " current " << Main().ListCEL->currentRow();
    return out.str();
}

void Walker::PrepareUnsavedAnswers()
{
    editedSlot = View().HasUnstoredEdits() ? App().View.ViewedFrame : nullptr;
    editedImage = editedSlot ? App().View.FrameImage : DataArray();
    unsavedAnswers.clear();
    static const Answer answers[] = { Answer::Yes, Answer::No, Answer::Cancel };
    for (int k = 0; k < 3; ++k)
        unsavedAnswers.push_back(answers[Below(3)]);
    Script().CancelAnswers = unsavedAnswers;
}

void Walker::CheckUnsavedAnswers(const std::string& before, size_t questionsBefore)
{
    const auto& questions = Script().Questions;
    size_t first = questionsBefore;
    while (first < questions.size() && !questions[first].WithCancel)
        ++first;
    if (first >= questions.size())
        return;
    const Answer answer = unsavedAnswers.front();
    Note(std::string("(asked: ") + (answer == Answer::Yes ? "Yes" : answer == Answer::No ? "No" : "Cancel")
        + ")");
    Expect(questions[first].Title != "View Frame" || editedSlot,
        "the viewer asked about edits it did not have");
    // A Yes whose store was refused ("Incorrect sizes") keeps everything as a Cancel does.
    const bool refused = answer == Answer::Yes && questions[first].Title == "View Frame"
        && View().HasUnstoredEdits() && App().View.ViewedFrame == editedSlot;
    if (answer == Answer::Cancel || refused) {
        ++cancelsChecked;
        const std::string after = Everything();
        Expect(before == after, "a question answered Cancel changed " + before + " into " + after);
        return;
    }
    if (answer == Answer::Yes && questions[first].Title == "View Frame" && editedSlot
        && editedSlot->Frame) {
        ++storesChecked;
        DataArray stored;
        editedSlot->Frame->DecodeImage(stored);
        Expect(stored == editedImage, "a Yes to the viewer's question did not store its image");
    }
}

std::string Walker::Walk(uint64_t steps)
{
    AddActions();
    Start();
    CheckInvariants();
    for (step = 0; step < steps && failure.empty(); ++step)
        TakeStep();
    if (failure.empty())
        return {};
    return Report();
}

std::string Walker::Report() const
{
    std::ostringstream out;
    out << "random walk with seed " << seed << " failed at step " << (step - 1) << ": " << failure
        << "\nlast actions:\n";
    for (const std::string& line : log)
        out << "  " << line << "\n";
    out << "replay: VORNIX_WALK_SEED=" << seed << " VORNIX_WALK_STEPS=" << step
        << " RandomWalkTest\n";
    return out.str();
}

void Walker::CheckInvariants()
{
    TWindFrame& frames = Frames();
    CheckPane("left", frames.ListLeft, frames.LeftPane, App().LeftCEL, frames.ComboLSelW,
        frames.CheckLHeader, frames.CheckLDB);
    CheckPane("right", frames.ListRight, frames.RightPane, App().RightCEL, frames.ComboRSelW,
        frames.CheckRHeader, frames.CheckRDB);
    CheckCELList();
    CheckSlots();
    CheckViewer();
    CheckPalette();
    CheckColours();
    CheckAnimation();
}

void Walker::CheckPane(const char* side, QListWidget* list, const PaneModel& pane,
    const CELHolderRef& cel, QComboBox* combo, QCheckBox* header, QCheckBox* database)
{
    const std::string at = std::string("the ") + side + " pane ";
    if (!cel) {
        Expect(pane.Empty() && list->count() == 0, at + "shows no CEL but has items");
        Expect(list->toolTip().isEmpty(), at + "shows no CEL but has a hint");
        Expect(combo->count() == 0, at + "shows no CEL but has widths");
        Expect(!header->isChecked() && !database->isChecked(),
            at + "shows no CEL but has a box checked");
        return;
    }
    Expect(cel->CEL != nullptr, at + "shows a disposed CEL");
    Expect(list->count() == pane.Count(), at + "list and model differ in length");
    if (pane.Empty() || list->count() != pane.Count()) {
        Expect(false, at + "shows a CEL without \"<Begin>\"");
        return;
    }
    Expect(pane.Items[0].Text == BeginCaption && !pane.Items[0].Slot
            && list->item(0)->text() == "<Begin>",
        at + "item 0 is not \"<Begin>\"");
    const QList<QListWidgetItem*> selected = list->selectedItems();
    Expect(pane.Selected >= 0 && pane.Selected < pane.Count(), at + "has no selected item");
    Expect(selected.size() == 1, at + "has " + std::to_string(selected.size()) + " selected items");
    Expect(list->currentRow() == pane.Selected
            && (selected.size() != 1 || selected[0] == list->item(pane.Selected)),
        at + "selects another item than its model");
    for (int32_t k = 1; k < pane.Count(); ++k) {
        const FrameSlotRef& slot = pane.Items[size_t(k)].Slot;
        if (!slot || !slot->Frame) {
            Expect(false, at + "item " + std::to_string(k) + " carries no frame");
            continue;
        }
        Expect(!cel->CEL || slot->Frame->Coding == cel->CEL->Coding,
            at + "item " + std::to_string(k) + " carries a frame of another coding than its CEL");
        const std::string caption = FrameCaption(uint32_t(k - 1), *slot->Frame);
        Expect(pane.Items[size_t(k)].Text == caption && list->item(k)->text() == Shown(caption),
            at + "item " + std::to_string(k) + " reads " + Quoted(list->item(k)->text())
                + ", not the caption " + Quoted(Shown(caption)));
    }
    if (cel->CEL) {
        Expect(list->toolTip() == Shown(cel->CEL->FileName), at + "hint is not the CEL's file");
        Expect(header->isChecked() == (cel->CEL->WithHeaders != 0),
            at + "Frame Headers box differs from the CEL");
        Expect(header->isEnabled() == (cel->CEL->Coding == FrameCoding::CEL),
            at + "Frame Headers box can be changed for a CL2, or not for a CEL");
        Expect(database->isChecked() == (cel->CEL->HasDatabase != 0),
            at + "database box differs from the CEL");
    }
}

void Walker::CheckAnimation()
{
    TWindAnim& anim = rig->Vornix->WindAnim();
    const AnimationState& state = anim.State;
    const bool left = anim.PlaysLeftPane();
    const CELHolderRef& cel = left ? App().LeftCEL : App().RightCEL;
    if (!anim.isVisible()) {
        Expect(!anim.Timer->isActive(), "the hidden animation window still plays");
        return;
    }
    if (!state.Showing())
        return;
    Expect(cel != nullptr, "the animation shows a frame of a pane that shows no CEL");
    const FrameSlotRef current = state.Current();
    Expect(current && AnimationState::Playable(current),
        std::string("the animation of the ") + (left ? "left" : "right")
            + " pane shows a frame that cannot be shown ("
            + (!current ? "no slot" : !current->Frame ? "its frame is gone" : "not viewable") + ")");
    Expect(anim.Timer->isActive() == state.Playing, "the animation timer runs unlike its state");
    Expect(anim.BtnPlay->text() == (state.Playing ? "Pause" : "Play"),
        "the play button says " + Quoted(anim.BtnPlay->text()));
}

void Walker::CheckCELList()
{
    TMain& main = Main();
    Expect(!main.HolderAt(main.ListCEL->count()), "the CEL list has more CELs than items");
    std::set<CELHolder*> listed;
    for (int row = 0; row < main.ListCEL->count(); ++row) {
        const CELHolderRef holder = main.HolderAt(row);
        if (!holder || !holder->CEL) {
            Expect(false, "CEL list item " + std::to_string(row) + " holds no CEL");
            continue;
        }
        Expect(listed.insert(holder.get()).second, "a CEL holder is listed twice");
        // The groups of a file are saved together: each is marked while any has changes.
        const std::vector<CELHolderRef> file = main.FileHolders(holder);
        bool changed = false;
        for (const CELHolderRef& member : file)
            changed = changed || member->Changed();
        Expect(main.ListCEL->item(row)->font().bold() == changed,
            "CEL list item " + std::to_string(row) + " is marked unlike its unsaved changes");
        const QString caption = main.ListCEL->item(row)->text();
        const CELObject& cel = *holder->CEL;
        if (cel.FileName.empty())
            Expect(caption.startsWith("<New> #") && cel.Coding == FrameCoding::CEL
                    && cel.GroupIndex < 0,
                "an unnamed CEL is captioned " + Quoted(caption));
        else
            Expect(caption == Shown(SpriteItemCaption(cel.FileName, cel.GroupIndex)),
                "a named CEL is captioned " + Quoted(caption));
        Expect(cel.FileName.empty() || cel.Coding == CodingFromName(cel.FileName),
            "a CEL's coding is not the one its name says");
        // One file: its groups numbered 0, 1, ... in order, with one coding and one pair of flags.
        for (size_t g = 0; g < file.size() && cel.GroupIndex >= 0; ++g) {
            const CELObject& group = *file[g]->CEL;
            Expect(group.GroupIndex == int32_t(g) && group.Coding == cel.Coding
                    && group.WithHeaders == cel.WithHeaders && group.HasDatabase == cel.HasDatabase,
                "the groups of " + Quoted(caption) + " differ in number, coding or flags");
        }
    }
    Expect(main.ListCEL->selectedItems().size() <= 1, "the CEL list selects several items");
    const CELHolderRef& left = App().LeftCEL;
    const CELHolderRef& right = App().RightCEL;
    Expect(!left || listed.count(left.get()), "LeftCEL is not a listed CEL");
    Expect(!right || listed.count(right.get()), "RightCEL is not a listed CEL");
    Expect(!left || left != right, "LeftCEL and RightCEL are the same CEL");
}

// A frame slot is carried by at most one item of one pane, and a CEL's table shares its slots
// with no other CEL and with no pane but its own.
void Walker::CheckSlots()
{
    std::map<FrameSlot*, const char*> carried;
    for (const auto& [side, pane] :
        { std::pair { "left", &Frames().LeftPane }, std::pair { "right", &Frames().RightPane } }) {
        for (const PaneItem& item : pane->Items) {
            if (!item.Slot)
                continue;
            Expect(carried.emplace(item.Slot.get(), side).second,
                std::string("a frame slot is carried twice, again in the ") + side + " pane");
        }
    }
    std::set<FrameSlot*> tabled;
    for (int row = 0; row < Main().ListCEL->count(); ++row) {
        const CELHolderRef holder = Main().HolderAt(row);
        if (!holder || !holder->CEL)
            continue;
        const CELObject& cel = *holder->CEL;
        Expect(cel.Frames.size() == cel.FrameCount, "a CEL's table differs from its FrameCount");
        const char* own = holder == App().LeftCEL ? "left"
            : holder == App().RightCEL            ? "right"
                                                  : nullptr;
        for (const FrameSlotRef& slot : cel.Frames) {
            if (!slot || !slot->Frame) {
                Expect(false, "a CEL's table holds an empty slot");
                continue;
            }
            Expect(tabled.insert(slot.get()).second, "two CEL tables hold one frame slot");
            auto found = carried.find(slot.get());
            Expect(found == carried.end() || (own && std::string(found->second) == own),
                "a frame of a CEL's table is carried by another pane");
        }
    }
}

void Walker::CheckViewer()
{
    const ViewerState& v = App().View;
    TWindView& view = View();
    QString title = view.windowTitle();
    // The mark of unstored edits ends the caption exactly while there are such edits.
    const bool marked = title.endsWith(" *");
    Expect(marked == view.HasUnstoredEdits(),
        "the viewer reads " + Quoted(title) + (view.HasUnstoredEdits() ? " without" : " with")
            + " the mark of unstored edits");
    if (marked)
        title.chop(2);
    if (!v.HasFrame()) {
        Expect(title == "View Frame", "no frame in view, but the viewer reads " + Quoted(title));
        Expect(view.ImgView->isHidden(), "no frame in view, but the image is shown");
        Expect(!view.ScrViewH->isEnabled() && !view.ScrViewV->isEnabled(),
            "no frame in view, but a scroll bar is enabled");
        captionSlot = nullptr;
        return;
    }
    const PaneModel& left = Frames().LeftPane;
    const PaneModel& right = Frames().RightPane;
    const PaneModel* pane = v.ViewedFrame == left.SelectedSlot() ? &left
        : v.ViewedFrame == right.SelectedSlot()                  ? &right
                                                                 : nullptr;
    Expect(pane != nullptr, "the frame in view is not the selected frame of a pane");
    Expect(v.ViewedFrame->Frame && v.ViewedFrame->Frame->Viewable(),
        "the frame in view cannot be shown");
    Expect(uint64_t(v.FrameImage.size()) == uint64_t(v.ImageWidth) * v.ImageHeight,
        "FrameImage holds " + std::to_string(v.FrameImage.size()) + " bytes for "
            + std::to_string(v.ImageWidth) + " x " + std::to_string(v.ImageHeight));
    if (pane && v.ViewedFrame->Frame) {
        const QString suffix = pane == &left ? " (L)" : " (R)";
        auto caption = [&](const std::string& name) {
            return name.empty() ? QString("View Frame: #%1").arg(pane->Selected - 1) + suffix
                                : "View Frame: " + Shown(name) + suffix;
        };
        const std::string& name = v.ViewedFrame->Frame->Name;
        if (title == caption(name)) {
            captionSlot = v.ViewedFrame;
            captionName = name;
        } else {
            Expect(captionSlot == v.ViewedFrame && title == caption(captionName),
                "the viewer reads " + Quoted(title) + " for the frame in view, "
                    + Quoted(caption(name)));
        }
    }
    // The image shows FrameImage at the zoom and scroll positions of the window.
    Expect(!view.ImgView->isHidden(), "a frame is in view but the image is hidden");
    Expect(v.Zoom == view.ComboZoom->currentIndex() + 1, "the zoom differs from its list");
    Expect(view.ScrViewH->value() == v.ScrollH && view.ScrViewV->value() == v.ScrollV,
        "the scroll bars differ from the scroll positions");
    const QImage& surface = view.ImgView->Surface;
    if (v.SurfaceWidth <= 0 || v.SurfaceHeight <= 0 || !failure.empty())
        return;
    if (surface.size() != QSize(v.SurfaceWidth, v.SurfaceHeight)
        || surface.format() != QImage::Format_Indexed8) {
        Expect(false, "the surface is not of the size laid out");
        return;
    }
    const int zoom = int(v.ZoomFactor());
    for (int y = 0; y < surface.height(); ++y) {
        const uchar* line = surface.constScanLine(y);
        const int row = int(v.ImageHeight) - 1 - (v.ScrollV + y) / zoom;
        for (int x = 0; x < surface.width(); ++x) {
            const int column = (v.ScrollH + x) / zoom;
            if (!v.InImage(column, row)) {
                Expect(false, "the surface reaches beyond the image");
                return;
            }
            if (line[x] != v.PixelAt(column, row)) {
                Expect(false,
                    "the surface does not show FrameImage at " + std::to_string(x) + ","
                        + std::to_string(y));
                return;
            }
        }
    }
    const QVector<QRgb> table = surface.colorTable();
    Expect(table.size() == 256, "the surface has no full colour table");
    for (int i = 0; i < table.size() && i < 256 && paletteApplied; ++i) {
        const uint8_t shown = App().Colours.ShownIndex(uint8_t(i));
        if (QColor(table[i]).rgb() != ColourCell::ToQColor(App().Pal.Palette[shown]).rgb()) {
            Expect(false, "the surface shows colour " + std::to_string(i) + " unlike the palette");
            break;
        }
    }
}

void Walker::CheckPalette()
{
    const PaletteModel& p = App().Pal;
    TWindPal& pal = Pal();
    Expect(!(pal.BtnRepl->isChecked() && pal.BtnExch->isChecked()),
        "Replace and Exchange are both down");
    Expect((p.PendingColourOp == OpReplace) == pal.BtnRepl->isChecked()
            && (p.PendingColourOp == OpExchange) == pal.BtnExch->isChecked(),
        "the pending colour operation differs from its buttons");
    Expect(App().View.HasFrame() || p.PendingColourOp == OpNone,
        "a colour operation is pending with no frame in view");
    Expect(p.WholePalette == pal.CheckPalWhole->isChecked(),
        "the whole-palette option differs from its box");
    for (int n = 0; n < 256; ++n) {
        const uint32_t outline = pal.PalCells[size_t(n)]->Outline();
        if (outline != (n == p.SelectedColour ? 255u : 0u)) {
            Expect(false, "colour cell " + std::to_string(n) + " has the wrong outline");
            break;
        }
    }
}

// The cells show the palette through the translation table, the Colours window shows the
// table, and the marks are exactly the colours in use of their scope.
void Walker::CheckColours()
{
    const ColourDisplay& shown = App().Colours;
    const PaletteModel& p = App().Pal;
    for (int n = 0; n < 256 && shown.TableLoaded; ++n) {
        const ColourCell& cell = *Pal().PalCells[size_t(n)];
        if (cell.Fill() != p.Palette[shown.ShownIndex(uint8_t(n))]
            || cell.toolTip().toStdString()
                != DisplayCellHint(uint8_t(n), p.Palette[size_t(n)], shown)) {
            Expect(false, "colour cell " + std::to_string(n) + " is not shown through the table");
            break;
        }
    }
    for (int n = 0; n < 256; ++n) {
        const ColourCell& cell = *Colours().TrnCells[size_t(n)];
        const bool translated = shown.Translated(uint8_t(n));
        if (cell.Outline() != (n == shown.EditEntry ? 255u : 0u)
            || cell.Fill() != p.Palette[size_t(n)] || cell.Inset().has_value() != translated
            || (translated && *cell.Inset() != p.Palette[shown.ShownIndex(uint8_t(n))])) {
            Expect(false, "table cell " + std::to_string(n) + " differs from the table");
            break;
        }
    }
    std::array<bool, 256> used {};
    auto add = [&used](const DataArray& image) {
        for (uint8_t pixel : image)
            used[pixel] = true;
    };
    switch (shown.UseScope) {
    case ColourUseScope::None:
        break;
    case ColourUseScope::Frame:
        if (App().View.HasFrame())
            add(App().View.FrameImage);
        break;
    case ColourUseScope::LeftPane:
    case ColourUseScope::RightPane: {
        const PaneModel& pane
            = shown.UseScope == ColourUseScope::LeftPane ? Frames().LeftPane : Frames().RightPane;
        for (int32_t k = 1; k < pane.Count(); ++k) {
            const FrameSlotRef slot = pane.SlotAt(k);
            if (!slot || !slot->Frame || !slot->Frame->Viewable()
                || ViewerState::TooLargeToShow(*slot->Frame))
                continue;
            DataArray image;
            slot->Frame->DecodeImage(image);
            add(image);
        }
        break;
    }
    }
    used[255] = false;
    uint32_t count = 0;
    for (int n = 0; n < 256; ++n) {
        count += used[size_t(n)] ? 1 : 0;
        if (Pal().PalCells[size_t(n)]->Marked() != used[size_t(n)]) {
            Expect(false, "colour cell " + std::to_string(n) + " is marked unlike its use");
            break;
        }
    }
    Expect(shown.UsedCount == count, "the count of colours in use is wrong");
    Expect(Colours().ComboUse->currentIndex() == int(shown.UseScope),
        "the colours-in-use list differs from what is marked");
}

} // namespace

class RandomWalkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QuietOffscreenRaise(); }

    void walkKeepsEveryRule();
    void regressionWalks();
    void theRulesCatchBrokenState();
};

// Walks that once broke a rule, each up to the step that broke it. A change to the table of
// actions changes where a seed leads; the mend's own test stays the guard.
void RandomWalkTest::regressionWalks()
{
    struct Known {
        uint64_t Seed;
        uint64_t Steps;
        const char* Broke;
    };
    const Known known[] = {
        { 7566622066522951067ull, 5805,
            "Close of a CEL whose frame a redone Move had taken out of the animated pane left "
            "the animation showing the destroyed frame" },
        { 11788356156043910628ull, 1828,
            "A refused palette drop was counted as a palette applied when the name field "
            "held a palette file: the walk then expected the palette's colours on the "
            "surface, which still showed its grey ramp" },
    };
    for (const Known& walk : known) {
        Walker walker(walk.Seed);
        QVERIFY(walker.Prepare());
        const std::string report = walker.Walk(walk.Steps);
        QVERIFY2(report.empty(), (std::string(walk.Broke) + ": " + report).c_str());
    }
}

// The fixed walk of CI, or the one the environment asks for.
void RandomWalkTest::walkKeepsEveryRule()
{
    const uint64_t seed = WalkSeed();
    const uint64_t steps = EnvNumber("VORNIX_WALK_STEPS", FixedSteps);
    std::printf("random walk: seed %" PRIu64 ", %" PRIu64 " steps\n", seed, steps);
    std::fflush(stdout);
    Walker walker(seed);
    QVERIFY(walker.Prepare());
    const std::string report = walker.Walk(steps);
    if (!report.empty()) {
        std::fprintf(stderr, "%s", report.c_str());
        QFAIL(report.c_str());
    }
    // The walk went everywhere: every action was taken, saves were read back and unnamed
    // CELs came back after restarts.
    if (seed == FixedSeed && steps == FixedSteps) {
        for (const WalkAction& action : walker.actions)
            if (action.Weight > 0)
                QVERIFY2(action.Taken > 0, action.Name.c_str());
        QVERIFY(walker.verifiedSaves >= 5);
        QVERIFY(walker.verifiedGroupedSaves >= 1);
        QVERIFY(walker.verifiedCL2Saves >= 1);
        QVERIFY(walker.verifiedConversions >= 1);
        QVERIFY(walker.restarts >= 5);
        // The questions about unsaved work were answered both ways that are checked.
        QVERIFY(walker.cancelsChecked >= 5);
        QVERIFY(walker.storesChecked >= 5);
        QVERIFY(walker.reopenedCELs >= 1);
    }
    if (std::getenv("VORNIX_WALK_COUNTS"))
        for (const WalkAction& action : walker.actions)
            std::printf("  %-28s %" PRIu64 "\n", action.Name.c_str(), action.Taken);
    std::printf("random walk: %" PRIu64 " saves read back (%" PRIu64 " grouped, %" PRIu64
                " CL2, %" PRIu64 " converted), %" PRIu64 " restarts, %" PRIu64
                " unnamed CELs reopened, %" PRIu64 " questions cancelled, %" PRIu64
                " edits stored by a Yes\n",
        walker.verifiedSaves, walker.verifiedGroupedSaves, walker.verifiedCL2Saves,
        walker.verifiedConversions, walker.restarts, walker.reopenedCELs, walker.cancelsChecked,
        walker.storesChecked);
}

// Each rule, broken on purpose in a running program, is reported.
void RandomWalkTest::theRulesCatchBrokenState()
{
    auto broken = [](const std::function<void(Walker&)>& breakIt) {
        Walker walker(1);
        walker.Prepare();
        walker.Start();
        walker.Script().FileAnswers.push_back(QString::fromStdString(walker.scratch + "/hero.cel"));
        QTest::mouseClick(walker.Main().BtnOpen, Qt::LeftButton);
        walker.ClickRow(walker.Main().ListCEL, 0);
        QTest::mouseClick(walker.Main().BtnLLoad, Qt::LeftButton);
        walker.ClickRow(walker.Frames().ListLeft, 2);
        walker.CheckInvariants();
        const std::string before = walker.failure;
        breakIt(walker);
        walker.CheckInvariants();
        return std::pair { before, walker.failure };
    };
    const std::vector<std::pair<const char*, std::function<void(Walker&)>>> breaks = {
        { "stale caption", [](Walker& w) { w.Frames().ListLeft->item(1)->setText("0, 1x1"); } },
        { "no selection",
            [](Walker& w) {
                // Past the guard that puts the selection back.
                QItemSelectionModel* model = w.Frames().ListLeft->selectionModel();
                const QSignalBlocker quiet(model);
                model->clearSelection();
            } },
        { "slot twice",
            [](Walker& w) {
                w.Frames().LeftPane.Items[3].Slot = w.Frames().LeftPane.Items[1].Slot;
            } },
        { "foreign frame in view",
            [](Walker& w) { w.App().View.ViewedFrame = w.Frames().LeftPane.Items[1].Slot; } },
        { "short image", [](Walker& w) { w.App().View.FrameImage.pop_back(); } },
        { "wrong caption", [](Walker& w) { w.View().setWindowTitle("View Frame: #5 (L)"); } },
        { "both panes", [](Walker& w) { w.App().RightCEL = w.App().LeftCEL; } },
        { "stale surface", [](Walker& w) { w.App().View.FrameImage[0] ^= 1; } },
        { "pending without button", [](Walker& w) { w.App().Pal.PendingColourOp = OpReplace; } },
        { "stray mark", [](Walker& w) { w.Pal().PalCells[0x90]->SetMarked(true); } },
        { "table not shown",
            [](Walker& w) {
                w.App().Colours.TableLoaded = true;
                w.App().Colours.Table[0x90] = 0x10;
            } },
        { "chosen entry without outline", [](Walker& w) { w.App().Colours.EditEntry = 3; } },
    };
    for (const auto& [name, breakIt] : breaks) {
        const auto [before, after] = broken(breakIt);
        QVERIFY2(before.empty(), (std::string(name) + ": " + before).c_str());
        QVERIFY2(!after.empty(), name);
    }

    // A save whose file does not give back the frames shown is caught.
    StoredCEL shown;
    shown.Frames.push_back(StoredFrame::Of(*MakeFrame(4, 2, 1, "a")));
    shown.WithDatabase = true;
    shown.WithHeaders = true;
    auto cel = CELObject::CreateEmpty(1);
    cel->Frames[0] = std::make_shared<FrameSlot>();
    cel->Frames[0]->Frame = MakeFrame(4, 2, 1, "a");
    QVERIFY(CompareStored(*cel, shown).empty());
    cel->Frames[0]->Frame->Name = "b";
    QVERIFY(!CompareStored(*cel, shown).empty());
    cel->Frames[0]->Frame = MakeFrame(4, 2, 2, "a");
    QVERIFY(!CompareStored(*cel, shown).empty());
    cel->Status = LoadBadOffsets;
    QVERIFY(!CompareStored(*cel, shown).empty());
}

QTEST_MAIN(RandomWalkTest)
#include "RandomWalkTest.moc"
