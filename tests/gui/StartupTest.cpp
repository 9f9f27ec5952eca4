#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "app/ListWnd.h"
#include "framelists/InputWnd.h"
#include "frames/FileIO.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;

// Start-up, the settings each window reads, and the close that writes the settings file and
// keeps the unnamed CELs for the next run.
class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    // The settings file as key -> value, with every line checked for the written form.
    std::map<std::string, std::string> ReadSettings()
    {
        std::map<std::string, std::string> values;
        std::ifstream in(SettingsFileName(rig->StartDir()), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line.back() != '\r') {
                QTest::qFail("a line without CR LF", __FILE__, __LINE__);
                return {};
            }
            line.pop_back();
            size_t equals = line.find(" = ");
            if (equals == std::string::npos) {
                QTest::qFail("a line without ' = '", __FILE__, __LINE__);
                return {};
            }
            values[line.substr(0, equals)] = line.substr(equals + 3);
        }
        return values;
    }

    // A settings file as the program writes it, with the given stored CEL flags.
    void WriteSettings(const std::vector<bool>& unnamedHeaders, WindowPlacement main = {},
        WindowPlacement frame = {})
    {
        SettingsSnapshot snapshot;
        snapshot.Main = main.Width ? main : WindowPlacement { 224, 300, 183, 131 };
        snapshot.Frame = frame.Width ? frame : WindowPlacement { 200, 300, 663, 115 };
        snapshot.View = { 208, 370, 740, 143 };
        snapshot.PalLeft = 558;
        snapshot.PalTop = 118;
        snapshot.SelCol = 200;
        SettingsWriter writer;
        QVERIFY(writer.Begin(SettingsFileName(rig->StartDir()), snapshot));
        for (bool headers : unnamedHeaders)
            writer.AddUnnamed(headers);
        QVERIFY(writer.Finish());
    }

    std::string Stored(int n) { return rig->File("Unnamed/" + std::to_string(n) + ".cel"); }

private slots:
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
    }
    void cleanup() { rig.reset(); }

    void firstRunCreatesSixWindowsAtTheirDesignPlaces()
    {
        rig->Start();
        AppContext& app = rig->App();
        QCOMPARE(QApplication::applicationName(), QString("Vornix"));
        QCOMPARE(app.Main, &rig->Main());
        QCOMPARE(app.WindView, &rig->Vornix->WindView());
        QCOMPARE(app.WindPal, &rig->Vornix->WindPal());
        QCOMPARE(app.WindFrame, &rig->Frames());
        QCOMPARE(app.WindListGen, &rig->Vornix->WindListGen());
        QCOMPARE(app.WindInput, &rig->Vornix->WindInput());
        QCOMPARE(app.StartDir, rig->StartDir());
        QCOMPARE(rig->Vornix->WindListGen().windowTitle(), QString("List Generator"));
        QCOMPARE(rig->Vornix->WindInput().windowTitle(), QString("Input Dialog"));
        QVERIFY(!app.LeftCEL && !app.RightCEL);
        QCOMPARE(rig->Main().ListCEL->count(), 0);
        QCOMPARE(app.NewCELCount, 0u);
        QCOMPARE(rig->Main().pos(), QPoint(183, 131));
        QCOMPARE(rig->Frames().geometry(), QRect(663, 115, 192, 266));
        // Tool windows without buttons: the user cannot close them.
        QVERIFY(rig->Frames().windowFlags().testFlag(Qt::Tool));
        QVERIFY(!rig->Frames().windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!rig->Vornix->WindListGen().isVisible());
        QVERIFY(!rig->Vornix->WindInput().isVisible());
    }

    void theProgramTitleIsNotAddedToTheWindowCaptions()
    {
        rig->Start();
        QCOMPARE(QApplication::applicationName(), QString("Vornix"));
        QCOMPARE(rig->Main().windowTitle(), QString("CELs list"));
        // A display name set apart from the title would be appended to every caption by the
        // window system; without one the display name follows the application name.
        QApplication::setApplicationName("Probe");
        const QString display = QGuiApplication::applicationDisplayName();
        QApplication::setApplicationName("Vornix");
        QCOMPARE(display, QString("Probe"));
    }

    void settingsPlaceTheWindowsAndFixTheMainMinimumWidth()
    {
        WriteSettings({}, { 300, 320, -5, 40 }, { 260, 400, 20, 30 });
        rig->Start();
        QCOMPARE(rig->Main().size(), QSize(292, 286));
        QCOMPARE(rig->Main().pos(), QPoint(-5, 40));
        QCOMPARE(rig->Main().minimumWidth(), 292);
        QCOMPARE(rig->Main().minimumHeight(), 266);
        QCOMPARE(rig->Frames().geometry(), QRect(20, 30, 252, 366));
        QCOMPARE(rig->Frames().ListLeft->width(), 126);
    }

    void sizesBelowTheMinimumAreRaisedToIt()
    {
        WriteSettings({}, { 100, 50, 0, 0 }, { 10, 10, 0, 0 });
        rig->Start();
        QCOMPARE(rig->Main().size(), QSize(216, 266));
        QCOMPARE(rig->Frames().size(), QSize(192, 266));
    }

    void storedCELsAreReopenedUnnamed()
    {
        fs::create_directory(rig->File("Unnamed"));
        QVERIFY(WriteCEL(Stored(0), { { 4, 2, "" } }, true, false));
        QVERIFY(WriteCEL(Stored(1), { { 4, 2, "" }, { 6, 2, "" } }, false, false));
        WriteSettings({ true, false });
        rig->Start();
        QCOMPARE(ItemTexts(rig->Main().ListCEL), (QStringList { "<New> #0", "<New> #1" }));
        QCOMPARE(rig->App().NewCELCount, 2u);
        QVERIFY(rig->Main().ListCEL->selectedItems().isEmpty());
        const CELObject& first = *rig->Main().HolderAt(0)->CEL;
        const CELObject& second = *rig->Main().HolderAt(1)->CEL;
        QCOMPARE(first.FrameCount, 1u);
        QCOMPARE(first.WithHeaders, uint8_t(1));
        QCOMPARE(first.Frames[0]->Frame->Diagnosis, uint8_t(DiagOK));
        QCOMPARE(second.FrameCount, 2u);
        QCOMPARE(second.WithHeaders, uint8_t(0));
        QVERIFY(first.FileName.empty() && second.FileName.empty());
        rig->Main().BtnNewCELClick();
        QCOMPARE(rig->Main().ListCEL->item(2)->text(), QString("<New> #2"));
        // Reopened CELs are unnamed: Save refuses them.
        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnSaveCELClick();
        QCOMPARE(rig->Script.LastMessage(), QString("CEL is not assigned to a file"));
    }

    void aMissingStoredCELClosesTheGap()
    {
        fs::create_directory(rig->File("Unnamed"));
        QVERIFY(WriteCEL(Stored(1), { { 4, 2, "" }, { 6, 2, "" }, { 8, 2, "" } }, false, false));
        WriteSettings({ true, false, true }); // 2.cel is missing too
        rig->Start();
        QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { "<New> #0" });
        QCOMPARE(rig->Main().HolderAt(0)->CEL->FrameCount, 3u);
        QCOMPARE(rig->App().NewCELCount, 1u);
        QVERIFY(rig->Script.Messages.empty());
    }

    void closeWritesTheSettingsAndStoresUnnamedCELs()
    {
        rig->Start();
        TMain& main = rig->Main();
        TWindFrame& frames = rig->Frames();
        // Three unnamed CELs; the middle one stays without frames.
        for (int k = 0; k < 3; ++k)
            main.BtnNewCELClick();
        rig->SendLeft(0);
        frames.BtnLNewClick();
        frames.BtnLNewClick();
        frames.LeftPane.Items[1].Slot->Frame->Name = "one";
        frames.LeftPane.Items[2].Slot->Frame->Name = "two";
        frames.CheckLDB->setChecked(true);
        frames.CheckLHeader->setChecked(false);
        frames.BtnLFirstClick(); // the pane's order is what gets stored
        rig->SendRight(2);
        frames.BtnRNewClick();
        // A named CEL changed but not saved keeps its file.
        std::string named = rig->File("named.cel");
        QVERIFY(WriteCEL(named, { { 4, 2, "" } }, true, false));
        std::vector<uint8_t> namedBytes;
        QCOMPARE(ReadWholeFile(named, namedBytes), ReadResult::Ok);
        rig->Open(named);
        rig->Main().HolderAt(3)->CEL->Frames[0]->Frame->SetSize(2, 4);

        main.resize(300, 280);
        main.move(-7, 12);
        frames.move(400, 50);
        rig->App().View.BoundsColour = 0x123456;
        rig->App().Pal.SelectedColour = 0x90;
        main.close();

        auto settings = ReadSettings();
        QCOMPARE(settings["MainWidth"], std::string("308"));
        QCOMPARE(settings["MainHeight"], std::string("314"));
        QCOMPARE(settings["MainLeft"], std::string("-7"));
        QCOMPARE(settings["MainTop"], std::string("12"));
        QCOMPARE(settings["FrameWidth"], std::string("200"));
        QCOMPARE(settings["FrameLeft"], std::string("400"));
        QCOMPARE(settings["OffsCol"], std::to_string(0x123456));
        QCOMPARE(settings["SelCol"], std::string("144"));
        QCOMPARE(settings["UnnHH0"], std::string("0"));
        QCOMPARE(settings["UnnHH1"], std::string("1"));
        QCOMPARE(settings.count("UnnHH2"), size_t(0));
        QCOMPARE(settings["Unnamed"], std::string("2"));
        QVERIFY(fs::exists(Stored(0)));
        QVERIFY(fs::exists(Stored(0) + ".cdb"));
        QVERIFY(fs::exists(Stored(1)));
        QVERIFY(!fs::exists(Stored(2)));
        std::vector<uint8_t> after;
        QCOMPARE(ReadWholeFile(named, after), ReadResult::Ok);
        QCOMPARE(after, namedBytes);

        // The next run reopens both, with the pane's order and the flags.
        rig->Stop();
        rig->Start();
        QCOMPARE(ItemTexts(rig->Main().ListCEL), (QStringList { "<New> #0", "<New> #1" }));
        const CELObject& first = *rig->Main().HolderAt(0)->CEL;
        QCOMPARE(first.FrameCount, 2u);
        QCOMPARE(first.WithHeaders, uint8_t(0));
        QCOMPARE(first.Frames[0]->Frame->Name, std::string("two"));
        QCOMPARE(first.Frames[1]->Frame->Name, std::string("one"));
        QCOMPARE(rig->Main().HolderAt(1)->CEL->FrameCount, 1u);
        QCOMPARE(rig->Main().pos(), QPoint(-7, 12));
        QCOMPARE(rig->Main().size(), QSize(300, 280));
        QCOMPARE(rig->Frames().pos(), QPoint(400, 50));
        QCOMPARE(rig->App().View.BoundsColour, 0x123456u);
        QCOMPARE(rig->App().NewCELCount, 2u);
    }

    void aMissingStoreFolderIsCreatedAtClose()
    {
        rig->Start();
        rig->Main().BtnNewCELClick();
        rig->SendLeft(0);
        rig->Frames().BtnLNewClick();
        QVERIFY(!fs::exists(rig->File("Unnamed")));
        rig->Main().close();
        QVERIFY(fs::exists(Stored(0)));
        QCOMPARE(ReadSettings()["Unnamed"], std::string("1"));
    }

    void noStoreWithoutASettingsFile()
    {
        rig->Start();
        rig->Main().BtnNewCELClick();
        rig->SendLeft(0);
        rig->Frames().BtnLNewClick();
        // The settings file cannot be created: a folder stands in its place.
        fs::create_directory(SettingsFileName(rig->StartDir()));
        rig->Main().close();
        QVERIFY(!fs::exists(Stored(0)));
        QVERIFY(fs::is_directory(SettingsFileName(rig->StartDir())));
        // The CELs were disposed all the same.
        QCOMPARE(rig->Main().HolderAt(0)->CEL->FrameCount, 0u);
    }

    void closeWithOnlyEmptyUnnamedCELsStoresNone()
    {
        rig->Start();
        rig->Main().BtnNewCELClick();
        rig->Main().BtnNewCELClick();
        rig->Main().close();
        auto settings = ReadSettings();
        QCOMPARE(settings["Unnamed"], std::string("0"));
        QCOMPARE(settings.count("UnnHH0"), size_t(0));
        QCOMPARE(settings.size(), size_t(22));
        QVERIFY(!fs::exists(Stored(0)));
    }

    void theInputDialogFocusesItsEditAndCloseIsCancel()
    {
        rig->Start();
        TWindInput& input = rig->Vornix->WindInput();
        QCOMPARE(input.size(), QSize(298, 88));
        QCOMPARE(input.EditStr->geometry(), QRect(8, 8, 281, 21));
        QCOMPARE(input.CheckSearchDir->text(), QString("Search up (if unchecked, search down)"));
        QVERIFY(!input.CheckSearchDir->isChecked());
        for (int round = 0; round < 2; ++round) {
            input.show();
            QCOMPARE(input.focusWidget(), static_cast<QWidget*>(input.EditStr));
            input.BtnOK->setFocus();
            input.hide();
        }
        input.show();
        QSignalSpy rejected(&input, &QDialog::rejected);
        input.close();
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(input.result(), int(QDialog::Rejected));
        // Enter is OK, Escape is Cancel.
        input.show();
        QTest::keyClick(input.EditStr, Qt::Key_Escape);
        QVERIFY(!input.isVisible());
        QCOMPARE(input.result(), int(QDialog::Rejected));
        input.show();
        QTest::keyClick(input.EditStr, Qt::Key_Return);
        QVERIFY(!input.isVisible());
        QCOMPARE(input.result(), int(QDialog::Accepted));
        input.show();
        QTest::mouseClick(input.BtnOK, Qt::LeftButton);
        QVERIFY(!input.isVisible());
        QCOMPARE(input.result(), int(QDialog::Accepted));
    }

    void theListGeneratorAlwaysShowsTheChosenPageEmpty()
    {
        rig->Start();
        TWindListGen& generator = rig->Vornix->WindListGen();
        QCOMPARE(generator.PagesList->tabText(0), QString("CEL"));
        QCOMPARE(generator.PagesList->tabText(1), QString("BMP"));
        QCOMPARE(generator.CheckCELHead->text(), QString("Has Header"));
        generator.ListFiles->addItem("x.cel");
        generator.ListGenKind = 0;
        generator.show();
        QCOMPARE(generator.PagesList->currentIndex(), 0);
        QCOMPARE(generator.ListFiles->count(), 0);
        QTest::mouseClick(generator.BtnListAdd, Qt::LeftButton);
        QTest::mouseClick(generator.BtnListDelete, Qt::LeftButton);
        QCOMPARE(generator.ListFiles->count(), 0);
        generator.PagesList->setCurrentIndex(1);
        QCOMPARE(generator.PagesList->currentIndex(), 0);
        QTest::mouseClick(generator.BtnListCancel, Qt::LeftButton);
        QCOMPARE(generator.result(), int(QDialog::Rejected));
        generator.ListGenKind = 3;
        generator.show();
        QCOMPARE(generator.PagesList->currentIndex(), 1);
        QTest::mouseClick(generator.BtnListOK, Qt::LeftButton);
        QCOMPARE(generator.result(), int(QDialog::Accepted));
        QVERIFY(!generator.isVisible());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
