#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QListWidget>
#include <QProcess>
#include <QtTest>

#include "frames/FileIO.h"
#include "frames/FileWriteSet.h"
#include "gui/ShellFixtures.h"

namespace fs = std::filesystem;

// The real program is closed over a store of unnamed CELs and killed at each point of the
// close in turn; the next start of the program then shows exactly the CELs of the old store
// or exactly those of the new one, and the start folder holds exactly the old or the new
// files. The close runs in a child process: this program started again with the arguments
// "--close-child FOLDER POINT".

namespace {

using Tree = std::map<std::string, std::vector<uint8_t>>;

Tree ReadTree(const fs::path& root)
{
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::vector<uint8_t> bytes;
        ReadWholeFile(entry.path().string(), bytes);
        tree[fs::relative(entry.path(), root).generic_string()] = bytes;
    }
    return tree;
}

void WriteTree(const fs::path& root, const Tree& tree)
{
    for (const auto& [name, bytes] : tree) {
        fs::create_directories((root / name).parent_path());
        WriteFileAtomically((root / name).string(), bytes);
    }
}

// A CEL of count frames without a file name.
std::unique_ptr<CELObject> MakeUnnamed(uint32_t count, uint8_t seed, bool headers, bool database)
{
    auto cel = CELObject::CreateEmpty(count);
    for (uint32_t k = 0; k < count; ++k) {
        cel->Frames[k] = std::make_shared<FrameSlot>();
        cel->Frames[k]->Frame = MakeFrame(4 + (k + seed) % 4, 2 + k % 3, uint8_t(seed + k * 9),
            "f" + std::to_string(seed) + "_" + std::to_string(k));
    }
    cel->WithHeaders = headers ? 1 : 0;
    cel->HasDatabase = database ? 1 : 0;
    return cel;
}

// "New" in the CEL list window, and the new CEL then given frames.
void AddUnnamed(TMain& main, std::unique_ptr<CELObject> cel)
{
    main.BtnNewCELClick();
    main.HolderAt(main.ListCEL->count() - 1)->CEL = std::move(cel);
}

// The child: starts the program over the old store, changes the CELs as a user would, and
// closes it with the crash hook at point (0: never).
int RunCloseChild(const std::string& folder, int64_t point)
{
    ScriptedDialogs script;
    VornixApp vornix(script, folder);
    TMain& main = vornix.Main();
    if (main.ListCEL->count() != 3)
        return 2;
    CELObject& first = *main.HolderAt(0)->CEL;
    first.WithHeaders = first.WithHeaders == 1 ? 0 : 1;
    first.HasDatabase = 0;
    main.BtnNewCELClick(); // no frames: passed over
    AddUnnamed(main, MakeUnnamed(2, 40, true, true));
    AddUnnamed(main, MakeUnnamed(3, 50, false, true));
    // CELs shown in the panes are written back from them.
    main.ListCEL->setCurrentRow(1);
    main.BtnLLoadClick();
    main.ListCEL->setCurrentRow(4);
    main.BtnRLoadClick();
    FileWriteSet::SetCrashAtPointForTesting(point);
    main.close();
    return 0;
}

struct ShownCEL {
    uint8_t WithHeaders;
    uint8_t HasDatabase;
    std::vector<uint8_t> CEL;
    std::vector<uint8_t> Database;
    bool operator==(const ShownCEL&) const = default;
};

} // namespace

class CloseCrashTest : public QObject {
    Q_OBJECT

    // Starts the program in folder and returns the CELs of its list, leaving every file.
    std::vector<ShownCEL> StartAndList(const std::string& folder)
    {
        ScriptedDialogs script;
        VornixApp vornix(script, folder);
        std::vector<ShownCEL> shown;
        for (int row = 0; row < vornix.Main().ListCEL->count(); ++row) {
            const CELObject& cel = *vornix.Main().HolderAt(row)->CEL;
            shown.push_back({ cel.WithHeaders, cel.HasDatabase, cel.CELBytes(),
                cel.HasDatabase ? cel.DatabaseBytes() : std::vector<uint8_t> {} });
        }
        return shown;
    }

    // Runs the child's close over folder; true when it was killed, false when it ended.
    bool CloseInChild(const std::string& folder, int64_t point)
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
            { "--close-child", QString::fromStdString(folder), QString::number(point) });
        if (!child.waitForFinished(120000)) {
            child.kill();
            child.waitForFinished();
            QTest::qFail("the closing child hung", __FILE__, __LINE__);
            return false;
        }
        if (child.exitStatus() == QProcess::CrashExit)
            return true;
        if (child.exitCode() != 0) {
            qWarning("%s", child.readAllStandardError().constData());
            QTest::qFail("the closing child failed", __FILE__, __LINE__);
        }
        return false;
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }

    void closeKilledAnywhereReopensTheOldCELsOrTheNew()
    {
        // The old store: three CELs, with and without Frame Headers and databases.
        Tree oldTree;
        {
            QTemporaryDir dir;
            ScriptedDialogs script;
            {
                VornixApp vornix(script, dir.path().toStdString());
                AddUnnamed(vornix.Main(), MakeUnnamed(2, 1, true, true));
                AddUnnamed(vornix.Main(), MakeUnnamed(3, 2, false, true));
                AddUnnamed(vornix.Main(), MakeUnnamed(1, 3, true, false));
                vornix.Main().close();
            }
            oldTree = ReadTree(dir.path().toStdString());
            QCOMPARE(oldTree.size(), size_t(6)); // settings, 3 CELs, 2 databases
        }
        Tree newTree;
        std::vector<ShownCEL> oldCELs, newCELs;
        {
            QTemporaryDir dir;
            WriteTree(dir.path().toStdString(), oldTree);
            oldCELs = StartAndList(dir.path().toStdString());
            QCOMPARE(oldCELs.size(), size_t(3));
            QVERIFY(!CloseInChild(dir.path().toStdString(), 0));
            newTree = ReadTree(dir.path().toStdString());
            newCELs = StartAndList(dir.path().toStdString());
            QCOMPARE(newCELs.size(), size_t(5));
            QCOMPARE(ReadTree(dir.path().toStdString()), newTree);
        }
        QVERIFY(newTree != oldTree);

        int olds = 0, news = 0;
        int64_t point = 1;
        for (; point < 500; ++point) {
            QTemporaryDir dir;
            const std::string folder = dir.path().toStdString();
            WriteTree(folder, oldTree);
            const bool killed = CloseInChild(folder, point);
            const auto shown = StartAndList(folder);
            const Tree after = ReadTree(folder);
            const QByteArray where = "crash point " + QByteArray::number(qint64(point));
            if (after == oldTree) {
                ++olds;
                QVERIFY2(shown == oldCELs, where);
            } else if (after == newTree) {
                ++news;
                QVERIFY2(shown == newCELs, where);
            } else {
                QFAIL(where + ": neither the old nor the new store");
            }
            if (!killed)
                break;
        }
        QVERIFY(point > 30);
        QVERIFY(olds > 0);
        QVERIFY(news > 0);
    }
};

int main(int argc, char* argv[])
{
    if (argc == 4 && std::string(argv[1]) == "--close-child") {
        QApplication application(argc, argv);
        return RunCloseChild(argv[2], std::stoll(argv[3]));
    }
    QApplication application(argc, argv);
    CloseCrashTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CloseCrashTest.moc"
