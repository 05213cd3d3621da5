#include "app/setup_exchange.h"
#include "dialogs/Dlgeinstellung.h"
#include "session/daily_window.h"
#include "tests/support/avi_probe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimeZone>
#include <QTimer>

#include <gtest/gtest.h>

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace kv::app;
using namespace kv::session;
using namespace kv::dialogs;
using namespace Qt::StringLiterals;

namespace {

constexpr auto Up = SpinDirection::Up;
constexpr auto Down = SpinDirection::Down;
constexpr auto None = SpinDirection::None;

// --- the step rules

TEST(SpinRules, RecInterval) {
    const SpinState ms9900{9900, 100, 100, 30000, u"ms"_s};
    const SpinState ms9800{9800, 100, 100, 10000, u"ms"_s};
    const SpinState s11{11, 1, 10, 10000, u"s"_s};
    const SpinState s10{10, 1, 10, 10000, u"s"_s};
    const SpinState toSeconds{10, 1, 10, 10000, u"s"_s};
    const SpinState toMs{10000, 100, 100, 10000, u"ms"_s};
    struct Row {
        const char* what;
        SpinState state;
        int proposed;
        SpinDirection direction;
        SpinStep expected;
    } const rows[] = {
        {"9900 ms up switches to 10 s", ms9900, 10000, Up, {false, toSeconds}},
        {"9800 ms up stays in ms", ms9800, 9900, Up, {true, ms9800}},
        {"11 s down switches to 10000 ms", s11, 10, Down, {false, toMs}},
        {"10 s down leaves the range", s10, 9, None, {true, s10}},
        {"11 s up stays in s", s11, 12, Up, {true, s11}},
        {"ms down at 10000 stays", toMs, 9900, Down, {true, toMs}},
        {"ms past the maximum",
         {30000, 100, 100, 30000, u"ms"_s},
         30100,
         None,
         {true, {30000, 100, 100, 30000, u"ms"_s}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(recIntervalStepRule(row.state, row.proposed, row.direction), row.expected);
    }
}

TEST(SpinRules, DiskSpace) {
    const SpinState mb950{950, 50, 0, 1000, u"MB"_s};
    const SpinState mb1000{1000, 50, 0, 1000, u"MB"_s};
    const SpinState gb2{2, 1, 0, 1000, u"GB"_s};
    const SpinState gb1{1, 1, 0, 1000, u"GB"_s};
    struct Row {
        const char* what;
        SpinState state;
        int proposed;
        SpinDirection direction;
        SpinStep expected;
    } const rows[] = {
        {"950 MB up switches to 1 GB", mb950, 1000, Up, {false, {1, 1, 0, 1000, u"GB"_s}}},
        {"900 MB up stays",
         {900, 50, 0, 1000, u"MB"_s},
         950,
         Up,
         {true, {900, 50, 0, 1000, u"MB"_s}}},
        {"1000 MB up leaves the range", mb1000, 1050, None, {true, mb1000}},
        {"2 GB down switches to 950 MB", gb2, 1, Down, {false, {950, 50, 0, 1000, u"MB"_s}}},
        {"1 GB down goes to 0 GB", gb1, 0, Down, {true, gb1}},
        {"2 GB up stays", gb2, 3, Up, {true, gb2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(diskSpaceStepRule(row.state, row.proposed, row.direction), row.expected);
    }
}

TEST(SpinRules, CopyInConversions) {
    const SpinState formRec{1000, 100, 100, 30000, u"ms"_s};
    const SpinState formDisk{500, 50, 0, 1000, u"MB"_s};
    struct Row {
        int interval_ms;
        SpinState shown;
        int readBack_ms;
    } const rows[] = {
        {1000, {1000, 100, 100, 30000, u"ms"_s}, 1000},
        {10000, {10000, 100, 100, 30000, u"ms"_s}, 10000},
        {10001, {10, 1, 10, 10000, u"s"_s}, 10000},
        {10500, {10, 1, 10, 10000, u"s"_s}, 10000},
        {60000, {60, 1, 10, 10000, u"s"_s}, 60000},
        {40, {100, 100, 100, 30000, u"ms"_s}, 100},
        {20000000, {10000, 1, 10, 10000, u"s"_s}, 10000000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.interval_ms);
        const SpinState shown = recIntervalSpin(row.interval_ms, formRec);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(recIntervalFromSpin(shown), row.readBack_ms);
    }
    struct DiskRow {
        int limit_MB;
        SpinState shown;
        int readBack_MB;
    } const diskRows[] = {
        {500, {500, 50, 0, 1000, u"MB"_s}, 500},         {1000, {1000, 50, 0, 1000, u"MB"_s}, 1000},
        {1001, {1, 1, 0, 1000, u"GB"_s}, 1000},          {1500, {1, 1, 0, 1000, u"GB"_s}, 1000},
        {2000000, {1000, 1, 0, 1000, u"GB"_s}, 1000000}, {-5, {0, 50, 0, 1000, u"MB"_s}, 0},
    };
    for (const auto& row : diskRows) {
        SCOPED_TRACE(row.limit_MB);
        const SpinState shown = diskSpaceSpin(row.limit_MB, formDisk);
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(diskSpaceFromSpin(shown), row.readBack_MB);
    }
}

TEST(FileFilter, WaveFilesInAnyLetterCase) {
    const QString filter = qtNameFilter(u"Audio-File (*.wav)|*.WAV"_s);
    EXPECT_TRUE(filter.startsWith(u"Audio-File ("_s)) << filter.toStdString();
    const QStringList patterns = QFileDialog(nullptr, {}, {}, filter).nameFilters();
    ASSERT_EQ(patterns.size(), 1);
    // The pattern Qt extracts from the filter's parentheses.
    const QString glob = filter.mid(filter.lastIndexOf(u'(') + 1).chopped(1);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(glob));
    for (const char* name : {"door.wav", "DOOR.WAV", "Door.Wav"}) {
        EXPECT_TRUE(re.match(QString::fromUtf8(name)).hasMatch()) << name;
    }
    for (const char* name : {"door.mp3", "door.wave", "doorwav"}) {
        EXPECT_FALSE(re.match(QString::fromUtf8(name)).hasMatch()) << name;
    }
    EXPECT_EQ(qtNameFilter(u"Images|*.bmp;*.JPG|All|*.*"_s),
              u"Images (*.[bB][mM][pP] *.[jJ][pP][gG]);;All (*.*)"_s);
}

// --- the dialog

class SetupDialog : public ::testing::Test {
  protected:
    SetupDialog() {
        dialog.fillRasEntries({});
        dialog.hideFtpPage();
    }

    // Opens the dialog on the settings and confirms or cancels it after
    // running steps, as the main window's setup button does.
    bool run(Settings& s, bool ok, const std::function<void()>& steps = {}) {
        copySettingsToSetup(s, dialog);
        dialog.open();
        if (steps) {
            steps();
        }
        if (ok) {
            dialog.BtnOK->click();
        } else {
            dialog.BtnCancel->click();
        }
        if (dialog.result() == QDialog::Accepted) {
            copySetupToSettings(dialog, s);
            return true;
        }
        return false;
    }

    // Clicks OK and answers the box that refuses it; its text, empty when none came.
    QString okRefusedWith() {
        QString told;
        kv::test::answerNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            told = box->text();
            box->accept();
        });
        dialog.BtnOK->click();
        return told;
    }

    QString recShown() const {
        return dialog.findChild<QLineEdit*>(u"edRecFrames"_s)->text() + u' ' +
               dialog.lbRecInt->text();
    }
    QString diskShown() const {
        return dialog.findChild<QLineEdit*>(u"edDiskSpace"_s)->text() + u' ' +
               dialog.lbMaxSpace->text();
    }
    static void stepUp(QSpinBox* spin) { spin->stepUp(); }
    static void stepDown(QSpinBox* spin) { spin->stepDown(); }

    TDlgSetup dialog;
};

TEST_F(SetupDialog, FormAndControls) {
    EXPECT_EQ(dialog.windowTitle(), u"Kestrelvision Setup:"_s);
    EXPECT_EQ(dialog.size(), QSize(560, 615));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_TRUE(dialog.BtnOK->isDefault());
    auto* tabs = dialog.findChild<QTabWidget*>(u"PageControl1"_s);
    ASSERT_TRUE(tabs);
    EXPECT_EQ(tabs->tabText(0), u"&Recorder"_s);
    EXPECT_EQ(tabs->tabText(1), u"&FTP"_s);
    EXPECT_TRUE(tabs->isTabVisible(0));
    EXPECT_FALSE(tabs->isTabVisible(1));

    struct Text {
        const char* name;
        const char* text;
    } const labels[] = {
        {"Label1", "&Framerate for recording:"},
        {"Label5", "Frames to record &after last movement:"},
        {"Label14", "&Maximum hard disk space:"},
        {"Label4",
         "Kestrelvision deletes the oldest video files if the currently used hard disk space "
         "exeeds this amount."},
        {"Label15", "Start:"},
        {"Label16", "Stop:"},
    };
    for (const Text& row : labels) {
        auto* label = dialog.findChild<QLabel*>(QLatin1String(row.name));
        ASSERT_TRUE(label) << row.name;
        EXPECT_EQ(label->text(), QString::fromUtf8(row.text));
    }
    for (const char* bold : {"Label1", "Label5", "Label14"}) {
        EXPECT_TRUE(dialog.findChild<QLabel*>(QLatin1String(bold))->font().bold()) << bold;
    }
    EXPECT_TRUE(dialog.cbTimer->font().bold());
    EXPECT_FALSE(dialog.findChild<QLabel*>(u"Label13"_s)->font().bold());
    EXPECT_EQ(dialog.CBShowWndOnMove->text(), u"Show programm window on movement."_s);
    EXPECT_EQ(dialog.findChild<QLabel*>(u"Label1"_s)->buddy(), dialog.UpDownRecInterval);

    // Numbers are typed; a path is chosen.
    for (const char* edit : {"edRecFrames", "edRecPostFrames", "edDiskSpace", "edMaxFTPFrames"}) {
        auto* line = dialog.findChild<QLineEdit*>(QLatin1String(edit));
        ASSERT_TRUE(line) << edit;
        EXPECT_FALSE(line->isReadOnly()) << edit;
    }
    EXPECT_TRUE(dialog.edSoundFileName->isReadOnly());
    EXPECT_EQ(dialog.edFTPPass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.UpDownRecPostFrames->minimum(), 0);
    EXPECT_EQ(dialog.UpDownRecPostFrames->maximum(), 100);
    EXPECT_EQ(dialog.UpDnMaxFTPFrames->minimum(), 10);
    EXPECT_EQ(dialog.UpDnMaxFTPFrames->maximum(), 10000);
    EXPECT_EQ(dialog.dtPickStart->displayFormat(), u"HH:mm:ss"_s);
}

TEST_F(SetupDialog, NoSeparatorsInLargeValues) {
    Settings s;
    s.RecInterval = 9900;
    copySettingsToSetup(s, dialog);
    EXPECT_EQ(recShown(), u"9900 ms"_s);
}

// What the spins show rounded is written back exactly unless the user
// changed it; a change is taken as the spin shows it.
TEST_F(SetupDialog, UntouchedValuesAreWrittenBackExactly) {
    struct Row {
        int interval_ms;
        int limit_MB;
        const char* shown;
    } const rows[] = {
        {1000, 500, "1000 ms 500 MB"},        {60000, 1000, "60 s 1000 MB"},
        {10500, 1500, "10 s 1 GB"},           {40, 2500, "100 ms 2 GB"},
        {20000000, 999999, "10000 s 999 GB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval_ms);
        Settings s;
        s.RecInterval = row.interval_ms;
        s.MaxDiskspace = row.limit_MB;
        EXPECT_TRUE(run(s, true, [&] {
            EXPECT_EQ(recShown() + u' ' + diskShown(), QString::fromUtf8(row.shown));
        }));
        EXPECT_EQ(s.RecInterval, row.interval_ms);
        EXPECT_EQ(s.MaxDiskspace, row.limit_MB);
    }
    // Stepped away and back, the spins show what they showed: still as it was.
    Settings s;
    s.RecInterval = 60500;
    s.MaxDiskspace = 2500;
    EXPECT_TRUE(run(s, true, [&] {
        stepUp(dialog.UpDownRecInterval);
        stepUp(dialog.UpDownDiskSpace);
        EXPECT_EQ(recShown() + u' ' + diskShown(), u"61 s 3 GB"_s);
        stepDown(dialog.UpDownRecInterval);
        stepDown(dialog.UpDownDiskSpace);
    }));
    EXPECT_EQ(s.RecInterval, 60500);
    EXPECT_EQ(s.MaxDiskspace, 2500);
    // Changed, the value is what the spin shows, in its unit.
    s.RecInterval = 10500;
    s.MaxDiskspace = 1500;
    EXPECT_TRUE(run(s, true, [&] {
        stepUp(dialog.UpDownRecInterval);
        stepUp(dialog.UpDownDiskSpace);
    }));
    EXPECT_EQ(s.RecInterval, 11000);
    EXPECT_EQ(s.MaxDiskspace, 2000);
    s.RecInterval = 40;
    EXPECT_TRUE(run(s, true, [&] { stepUp(dialog.UpDownRecInterval); }));
    EXPECT_EQ(s.RecInterval, 200);
    // A dialog whose values were never held writes what the spins show.
    TDlgSetup fresh;
    EXPECT_EQ(fresh.recIntervalAfterOk(10000), 10000);
    EXPECT_EQ(fresh.maxDiskspaceAfterOk(1000), 1000);
}

TEST_F(SetupDialog, IntervalUnitSwitchesWhileStepping) {
    Settings s;
    s.RecInterval = 9900;
    run(s, true, [&] {
        stepUp(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"10 s"_s);
        // At the minimum of the seconds range a step down changes nothing.
        stepDown(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"10 s"_s);
        stepUp(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"11 s"_s);
        stepDown(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"10000 ms"_s);
        stepDown(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"9900 ms"_s);
        stepUp(dialog.UpDownRecInterval);
        stepUp(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"11 s"_s);
    });
    EXPECT_EQ(s.RecInterval, 11000);
}

TEST_F(SetupDialog, KeysAndPageStepsAskTheHandlerForEachStep) {
    Settings s;
    s.RecInterval = 9500;
    copySettingsToSetup(s, dialog);
    // Ten steps up from 9500 ms: five to 10 s, then five seconds more.
    dialog.UpDownRecInterval->stepBy(10);
    EXPECT_EQ(recShown(), u"15 s"_s);
}

TEST_F(SetupDialog, DiskSpaceUnits) {
    Settings s;
    s.MaxDiskspace = 1500;
    EXPECT_TRUE(run(s, true, [&] { EXPECT_EQ(diskShown(), u"1 GB"_s); }));
    EXPECT_EQ(s.MaxDiskspace, 1500);

    // From 1 GB a step down gives 0 GB.
    s.MaxDiskspace = 1500;
    EXPECT_TRUE(run(s, true, [&] {
        stepDown(dialog.UpDownDiskSpace);
        EXPECT_EQ(diskShown(), u"0 GB"_s);
    }));
    EXPECT_EQ(s.MaxDiskspace, 0);

    s.MaxDiskspace = 2000;
    EXPECT_TRUE(run(s, true, [&] {
        stepDown(dialog.UpDownDiskSpace);
        EXPECT_EQ(diskShown(), u"950 MB"_s);
    }));
    EXPECT_EQ(s.MaxDiskspace, 950);

    EXPECT_TRUE(run(s, true, [&] {
        stepUp(dialog.UpDownDiskSpace);
        EXPECT_EQ(diskShown(), u"1 GB"_s);
        stepUp(dialog.UpDownDiskSpace);
    }));
    EXPECT_EQ(s.MaxDiskspace, 2000);
}

TEST_F(SetupDialog, PostRecFramesNeverTouchTheInterval) {
    Settings s;
    s.RecInterval = 60000;
    s.PostRecFrames = 5;
    run(s, true, [&] {
        const QString before = recShown();
        for (int i = 0; i < 3; ++i) {
            stepUp(dialog.UpDownRecPostFrames);
        }
        stepDown(dialog.UpDownRecPostFrames);
        EXPECT_EQ(recShown(), before);
        EXPECT_EQ(dialog.UpDownRecInterval->singleStep(), 1);
    });
    EXPECT_EQ(s.PostRecFrames, 7);
    EXPECT_EQ(s.RecInterval, 60000);
}

// Typed values: with or without a unit, shown in the unit they need and kept
// as typed; out of range or finer than the unit can show, OK is refused and
// names the field. A field not typed into keeps its value, however shown.
TEST_F(SetupDialog, TypedValuesWithBothUnitSwitches) {
    auto type = [&](UpDownSpin* spin, const QString& text) {
        QApplication::setActiveWindow(&dialog);
        spin->setFocus();
        spin->edit()->selectAll();
        QTest::keyClick(spin->edit(), Qt::Key_Backspace);
        QTest::keyClicks(spin->edit(), text);
        QTest::keyClick(spin, Qt::Key_Tab);  // leaving the field ends the typing
    };
    Settings s;
    s.RecInterval = 10500;  // shown as 10 s
    s.MaxDiskspace = 1500;  // shown as 1 GB
    s.PostRecFrames = 3;
    EXPECT_TRUE(run(s, true, [&] {
        type(dialog.UpDownRecPostFrames, u"42"_s);
        EXPECT_EQ(recShown() + u' ' + diskShown(), u"10 s 1 GB"_s);
    }));
    EXPECT_EQ(s.PostRecFrames, 42);
    EXPECT_EQ(s.RecInterval, 10500);
    EXPECT_EQ(s.MaxDiskspace, 1500);

    struct Row {
        const char* interval;
        const char* disk;
        const char* shown;
        int interval_ms;
        int limit_MB;
    } const rows[] = {
        {"60 s", "2 GB", "60 s 2 GB", 60000, 2000},
        {"1500", "725", "1500 ms 725 MB", 1500, 725},  // the units shown: ms and MB
        {"2.5 s", "0.5 GB", "2500 ms 500 MB", 2500, 500},
        {"45000 ms", "3000 MB", "45 s 3 GB", 45000, 3000},
        {"10000ms", "1000 mb", "10000 ms 1000 MB", 10000, 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval);
        Settings t;
        t.RecInterval = 1000;
        t.MaxDiskspace = 500;
        EXPECT_TRUE(run(t, true, [&] {
            type(dialog.UpDownRecInterval, QString::fromUtf8(row.interval));
            type(dialog.UpDownDiskSpace, QString::fromUtf8(row.disk));
            EXPECT_EQ(recShown() + u' ' + diskShown(), QString::fromUtf8(row.shown));
        }));
        EXPECT_EQ(t.RecInterval, row.interval_ms);
        EXPECT_EQ(t.MaxDiskspace, row.limit_MB);
    }

    // Typing one field leaves the other's rounded value as it was; stepping
    // after typing starts from the typed value and still switches units.
    s.RecInterval = 10500;
    s.MaxDiskspace = 1500;
    EXPECT_TRUE(run(s, true, [&] {
        type(dialog.UpDownRecInterval, u"9900 ms"_s);
        stepUp(dialog.UpDownRecInterval);
        EXPECT_EQ(recShown(), u"10 s"_s);
        EXPECT_EQ(diskShown(), u"1 GB"_s);
    }));
    EXPECT_EQ(s.RecInterval, 10000);
    EXPECT_EQ(s.MaxDiskspace, 1500);
    s.MaxDiskspace = 2000;
    EXPECT_TRUE(run(s, true, [&] {
        type(dialog.UpDownDiskSpace, u"2"_s);  // GB shown
        stepDown(dialog.UpDownDiskSpace);
        EXPECT_EQ(diskShown(), u"950 MB"_s);
    }));
    EXPECT_EQ(s.MaxDiskspace, 950);

    // Refused: out of range, finer than the unit, not a number; the text stays.
    struct Refusal {
        UpDownSpin* spin;
        const char* text;
        const char* told;
    } const refusals[] = {
        {dialog.UpDownRecInterval, "50", "from 100 ms to 10000 s"},
        {dialog.UpDownRecInterval, "20000 s", "from 100 ms to 10000 s"},
        {dialog.UpDownRecInterval, "15500 ms", "whole seconds"},
        {dialog.UpDownDiskSpace, "1500 MB", "whole GB"},
        {dialog.UpDownDiskSpace, "2 TB", "from 0 MB to 1000 GB"},
        {dialog.UpDownRecPostFrames, "", "from 0 to 100"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.text);
        Settings t = s;
        copySettingsToSetup(t, dialog);
        dialog.open();
        type(refusal.spin, QString::fromUtf8(refusal.text));
        dialog.PageControl1->setCurrentWidget(dialog.tsDetector);
        const QString told = okRefusedWith();
        EXPECT_TRUE(told.contains(QString::fromUtf8(refusal.told))) << told.toStdString();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.PageControl1->currentWidget(), dialog.tsGeneral);
        EXPECT_EQ(refusal.spin->edit()->text(), QString::fromUtf8(refusal.text).remove(u' '));
        dialog.BtnCancel->click();
    }
    QString why;
    EXPECT_FALSE(typedRecInterval(u"abc"_s, {1000, 100, 100, 30000, u"ms"_s}, &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(SetupDialog, CancelChangesNothingAndTheNextOpeningShowsTheSettings) {
    Settings s;
    s.RecInterval = 9900;
    s.MaxDiskspace = 950;
    s.SoundFileName = u"/tmp/old.wav"_s;
    const Settings before = s;
    EXPECT_FALSE(run(s, false, [&] {
        stepUp(dialog.UpDownRecInterval);
        stepUp(dialog.UpDownDiskSpace);
        dialog.cbTimer->setChecked(true);
        dialog.edSoundFileName->setText(u"/tmp/new.wav"_s);
        dialog.UpDownRecPostFrames->setValue(50);
    }));
    EXPECT_EQ(s, before);
    copySettingsToSetup(s, dialog);
    EXPECT_EQ(recShown(), u"9900 ms"_s);
    EXPECT_EQ(dialog.UpDownRecInterval->singleStep(), 100);
    EXPECT_EQ(diskShown(), u"950 MB"_s);
    EXPECT_EQ(dialog.UpDownDiskSpace->singleStep(), 50);
}

TEST_F(SetupDialog, EveryValueRoundTrips) {
    Settings s;
    s.RecInterval = 2500;
    s.PostRecFrames = 12;
    s.PreRecFrames = 7;
    s.MaxDiskspace = 750;
    s.RecUseTimer = true;
    s.RecStartTime = 0.25;
    s.RecStopTime = (23 * 3600 + 59 * 60) / 86400.0;
    s.PlaySoundOnMove = true;
    s.SoundFileName = u"/home/u/bell.WAV"_s;
    s.ShowWndOnMove = true;
    s.Detector = 1;
    s.NotifyOnMove = true;
    s.NotifyOnCamera = false;
    s.RecStartAt = 1;
    s.RecStopAt = 2;
    s.RecStartOffset = -30;
    s.RecStopOffset = 45;
    s.Latitude = u"-33.87"_s;
    s.Longitude = u"151.21"_s;
    s.IdleInterval = 300;
    s.DailyFilm = true;
    s.FilmLength = 0;
    s.FilmPace = 1;
    s.FilmDeflicker = false;
    s.FilmFormat = 1;
    s.FTPActive = true;
    s.FTPMaxFrames = 250;
    s.UseActiveOnly = true;
    s.Host = u"ftp.example.org"_s;
    s.User = u"me"_s;
    s.Pass = u"s3cret"_s;
    s.Path = u"/upload"_s;
    const Settings before = s;
    EXPECT_TRUE(run(s, true, [&] {
        EXPECT_EQ(dialog.dtPickStart->time(), QTime(6, 0));
        EXPECT_EQ(dialog.dtPickStop->time(), QTime(23, 59));
        EXPECT_EQ(dialog.edFTPPass->text(), u"s3cret"_s);
        // What the frames kept before a movement take at 640 x 480, 24 bits.
        dialog.setFrameBytes(640 * 480 * 3);
        EXPECT_EQ(dialog.lbRecPreMemory->text(), u"(6.5 MB)"_s);
    }));
    EXPECT_EQ(s, before);
}

TEST_F(SetupDialog, UploadValuesThroughTheHiddenPage) {
    Settings s;
    s.FTPMaxFrames = 5;
    s.RASEntry = u"Provider"_s;
    s.UseRAS = false;
    EXPECT_TRUE(run(s, true));
    EXPECT_EQ(s.FTPMaxFrames, 10);
    // No dial-up entries on this platform: the entry is replaced by none.
    EXPECT_EQ(s.RASEntry, QString());
    EXPECT_FALSE(dialog.CBRASEntries->isEnabled());
    EXPECT_FALSE(dialog.RBUseRAS->isEnabled());
    EXPECT_FALSE(dialog.CBUseExisting->isEnabled());
    EXPECT_TRUE(dialog.RBUseLAN->isChecked());

    s.FTPMaxFrames = 20000;
    EXPECT_TRUE(run(s, true));
    EXPECT_EQ(s.FTPMaxFrames, 10000);
}

TEST_F(SetupDialog, DialUpEntriesWhenThereAreSome) {
    dialog.fillRasEntries({u"Home"_s, u"Office"_s});
    EXPECT_TRUE(dialog.CBRASEntries->isEnabled());
    EXPECT_EQ(dialog.CBRASEntries->currentText(), u"Home"_s);
    Settings s;
    s.UseRAS = true;
    s.RASEntry = u"Office"_s;
    EXPECT_TRUE(run(s, true, [&] { EXPECT_TRUE(dialog.RBUseRAS->isChecked()); }));
    EXPECT_EQ(s.RASEntry, u"Office"_s);
    EXPECT_TRUE(s.UseRAS);
    // An unknown entry keeps the current selection.
    s.RASEntry = u"Gone"_s;
    s.UseRAS = false;
    EXPECT_TRUE(run(s, true, [&] { EXPECT_TRUE(dialog.RBUseLAN->isChecked()); }));
    EXPECT_EQ(s.RASEntry, u"Office"_s);
    EXPECT_FALSE(s.UseRAS);
}

TEST_F(SetupDialog, SoundFileChosenThenCancelled) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString chosen = dir.filePath(u"Bell.WAV"_s);
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    Settings s;
    s.SoundFileName = dir.filePath(u"old.wav"_s);
    const Settings before = s;
    QString initial;
    EXPECT_FALSE(run(s, false, [&] {
        QTimer::singleShot(0, &dialog, [&] {
            initial = dialog.OpenDialog->selectedFiles().value(0);
            dialog.OpenDialog->selectFile(chosen);
            static_cast<QDialog*>(dialog.OpenDialog)->accept();
        });
        dialog.BtnSelectFileClick();
        EXPECT_EQ(dialog.edSoundFileName->text(), chosen);
    }));
    EXPECT_EQ(initial, s.SoundFileName);
    EXPECT_EQ(s, before);

    // Cancelling the file dialog keeps the edit.
    copySettingsToSetup(s, dialog);
    QTimer::singleShot(0, &dialog, [&] { dialog.OpenDialog->reject(); });
    dialog.BtnSelectFileClick();
    EXPECT_EQ(dialog.edSoundFileName->text(), s.SoundFileName);
}

}  // namespace

namespace {

TEST(RecordWindow, EmptyWhenSwitchedOnAndStartIsStopToTheSecond) {
    struct Row {
        bool enabled;
        QTime start;
        QTime stop;
        bool empty;
    } const rows[] = {
        {true, QTime(8, 0), QTime(8, 0), true},
        {true, QTime(0, 0), QTime(0, 0), true},
        {true, QTime(8, 0, 0, 0), QTime(8, 0, 0, 400), true},  // the pickers show seconds
        {false, QTime(8, 0), QTime(8, 0), false},
        {true, QTime(8, 0), QTime(8, 0, 1), false},
        {true, QTime(22, 0), QTime(6, 0), false},  // over midnight
    };
    for (const Row& row : rows) {
        EXPECT_EQ(recordWindowIsEmpty(row.enabled, row.start, row.stop), row.empty)
            << row.start.toString(u"HH:mm:ss.zzz"_s).toStdString() << " "
            << row.stop.toString(u"HH:mm:ss.zzz"_s).toStdString();
    }
}

TEST_F(SetupDialog, AnEmptyRecordingWindowIsRefusedAndTheDialogStaysOpen) {
    Settings s;
    s.RecUseTimer = true;
    s.RecStartTime = 0.5;
    s.RecStopTime = 0.25;
    const Settings before = s;
    copySettingsToSetup(s, dialog);
    dialog.open();
    dialog.PageControl1->setCurrentWidget(dialog.tsDetector);
    dialog.dtPickStop->setTime(QTime(12, 0));
    const QString told = okRefusedWith();
    EXPECT_TRUE(told.contains(u"12:00:00"_s)) << told.toStdString();
    EXPECT_TRUE(told.contains(u"nothing would ever be recorded"_s)) << told.toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);  // not accepted
    EXPECT_EQ(dialog.PageControl1->currentWidget(), dialog.tsGeneral);

    // A stop one second later is a window; the dialog closes with it.
    dialog.dtPickStop->setTime(QTime(12, 0, 1));
    dialog.BtnOK->click();
    EXPECT_FALSE(dialog.isVisible());
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    copySetupToSettings(dialog, s);
    EXPECT_NE(s.RecStopTime, before.RecStopTime);

    // With the window switched off, equal times are no fault.
    s = before;
    EXPECT_TRUE(run(s, true, [&] {
        dialog.dtPickStop->setTime(dialog.dtPickStart->time());
        dialog.cbTimer->setChecked(false);
    }));
    EXPECT_FALSE(s.RecUseTimer);
}

// Ends anchored to the sun: the dialog shows today's times as the recorder
// will work them out, and refuses a sun end without a place.
TEST_F(SetupDialog, SunAnchoredWindowShowsTodayAndNeedsAPlace) {
    Settings s;
    s.RecUseTimer = true;
    copySettingsToSetup(s, dialog);
    dialog.open();
    dialog.CBStartAt->setCurrentIndex(1);  // at sunrise
    dialog.CBStopAt->setCurrentIndex(2);   // at sunset
    EXPECT_FALSE(dialog.dtPickStart->isEnabled());
    EXPECT_TRUE(dialog.UpDownStartOffset->isEnabled());
    const QString told = okRefusedWith();
    EXPECT_TRUE(told.contains(u"latitude"_s)) << told.toStdString();
    EXPECT_TRUE(dialog.isVisible());

    dialog.edLatitude->setText(u"52.52"_s);
    dialog.edLongitude->setText(u"13.405"_s);
    dialog.UpDownStopOffset->setValue(30);
    copySetupToSettings(dialog, s);
    const kv::session::DailyWindow today = kv::session::dailyWindow(
        kv::session::windowSettings(s), QDate::currentDate(), QTimeZone::systemTimeZone());
    EXPECT_EQ(dialog.lbWindowToday->text(),
              today.state == kv::session::WindowState::Normal ? today.dialogText : today.reason);
    EXPECT_TRUE(dialog.lbWindowToday->text().startsWith(u"today "_s) ||
                today.state != kv::session::WindowState::Normal);
    dialog.BtnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    copySetupToSettings(dialog, s);
    EXPECT_EQ(s.RecStartAt, 1);
    EXPECT_EQ(s.RecStopOffset, 30);
    EXPECT_EQ(s.Latitude, u"52.52"_s);
}

TEST_F(SetupDialog, RecordingFolderShownAndChosenWithBrowse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString videos = dir.filePath(u"Videos"_s);
    ASSERT_TRUE(QDir().mkpath(videos));
    Settings s;
    s.AVIPath = dir.path() + u"/old/"_s;
    EXPECT_TRUE(run(s, true, [&] {
        EXPECT_EQ(dialog.edAVIPath->text(), s.AVIPath);
        EXPECT_TRUE(dialog.edAVIPath->isReadOnly());
        EXPECT_EQ(dialog.BtnSelectAVIPath->text(), u"Browse..."_s);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.FolderDialog->selectFile(videos);
            static_cast<QDialog*>(dialog.FolderDialog)->accept();
        });
        dialog.BtnSelectAVIPathClick();
    }));
    // A folder, so names are made inside it and not beside it.
    EXPECT_EQ(s.AVIPath, videos + u'/');
}

}  // namespace
