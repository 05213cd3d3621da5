#pragma once

// The controls of the main window, built as plain widgets that TForm1 holds and
// wires to its handlers. Every widget's objectName() is its control name.

#include "app/form_widgets.h"

#include <QFrame>
#include <QIcon>
#include <QList>
#include <QSlider>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QButtonGroup;
class QFileDialog;
class QLabel;
class QMenu;
class QPainter;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;

namespace kv::app {

class DayView;

// Qt name filters from the platform's "description|pattern|description|pattern"
// syntax. A description's own "(...)" is replaced by the pattern; with anyCase the
// pattern also matches upper-case names, as it would on a case-blind file system.
QStringList nameFiltersFromPlatform(const QString& filter, bool anyCase);

// Keeps the name in a save dialog in step with its filter: choosing a filter
// gives the name that filter's extension (playback::suggestedExportName). The
// dialog is Qt's own, as a native one may not report the choice.
void followFilterExtension(QFileDialog* dialog);

struct Form1Controls {
    QTabWidget* PageControl = nullptr;
    QWidget* tsRecord = nullptr;
    QWidget* tsPlayback = nullptr;
    QWidget* TabSheet1 = nullptr;

    // Record page
    Panel* PanelRecord = nullptr;
    PaintBox* PaintBoxRecord = nullptr;
    Panel* PanelRecControl = nullptr;
    QProgressBar* MotionDisplayBar = nullptr;
    QSlider* MotionTriggerBar = nullptr;
    QWidget* ToolBar1 = nullptr;
    QToolButton* tBtnSelectCaptureDev = nullptr;
    QToolButton* tBtnCapturePropertys = nullptr;
    QToolButton* tBtnSelectCompressor = nullptr;
    QFrame* ToolButton10 = nullptr;
    QToolButton* tBtnRecOff = nullptr;
    QToolButton* tBtnRecOn = nullptr;
    QToolButton* tBtnRecMove = nullptr;
    QFrame* ToolButton4 = nullptr;
    QToolButton* tBtnSetup = nullptr;
    // tBtnRecOff/On/Move, exclusive; button ids are their tags (the record mode).
    QButtonGroup* RecordModeGroup = nullptr;
    PanelStatusBar* StatusBarRecord = nullptr;

    // Playback page
    Panel* PanelPlayback = nullptr;
    PaintBox* PaintBoxPlayback = nullptr;
    // The day's strip under the picture, shown with tBtnDayView.
    DayView* DayPanel = nullptr;
    Panel* PanelPlaybackControl = nullptr;
    ActivityTrackBar* TBPlayback = nullptr;
    QWidget* ToolBarPlayback = nullptr;
    QToolButton* tBtnOpenActual = nullptr;
    QToolButton* tBtnOpen = nullptr;
    QToolButton* tBtnStop = nullptr;
    QToolButton* tBtnPlay = nullptr;
    QFrame* ToolButton8 = nullptr;
    QToolButton* tBtnBack = nullptr;
    QToolButton* tBtnForward = nullptr;
    QFrame* ToolButton7 = nullptr;
    QToolButton* tBtnPrev = nullptr;
    QToolButton* tBtnNext = nullptr;
    QFrame* ToolButton12 = nullptr;
    QToolButton* tBtnSave = nullptr;
    QToolButton* tBtnPrint = nullptr;
    QToolButton* tBtnSpeed = nullptr;  // cycles 1x, 2x, 4x, 8x, 16x
    QToolButton* tBtnFilm = nullptr;   // opens the film dialog
    QToolButton* tBtnDayView = nullptr;
    // Over the playback picture while a file loads: a busy bar and Cancel.
    QFrame* PlaybackBusy = nullptr;
    QLabel* lbPlaybackBusy = nullptr;
    QProgressBar* PlaybackBusyBar = nullptr;
    QPushButton* BtnCancelLoad = nullptr;
    QPushButton* BtnQuit = nullptr;        // on the Info page
    QPushButton* BtnQuitGerman = nullptr;  // on its German cover
    PanelStatusBar* StatusBarPlayback = nullptr;

    // Info page
    QLabel* lbProductName = nullptr;
    QLabel* lbVersion = nullptr;
    QLabel* lbDescription = nullptr;
    Panel* DummyPanel = nullptr;
    Panel* PanelGerman = nullptr;
    QLabel* lbProductNameGerman = nullptr;
    QLabel* lbVersionGerman = nullptr;
    QLabel* lbDescriptionGerman = nullptr;
    // Where recordings go, with "Open folder" and the list of keys beside it;
    // the German cover has its own.
    QLabel* lbRecordFolder = nullptr;
    QPushButton* BtnOpenFolder = nullptr;
    QPushButton* BtnShortcuts = nullptr;
    QLabel* lbRecordFolderGerman = nullptr;
    QPushButton* BtnOpenFolderGerman = nullptr;
    QPushButton* BtnShortcutsGerman = nullptr;

    // Components without a window of their own
    QTimer* TimerTrackBar = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* cmShow = nullptr;
    QAction* cmClose = nullptr;
    QMenu* PopUpFilter = nullptr;
    QAction* cmShowMask = nullptr;
    QAction* cmAutoSetMask = nullptr;
    QAction* cmClearMask = nullptr;
    QFileDialog* OpenDialog = nullptr;
    QFileDialog* SaveDialog = nullptr;
    QList<QIcon> ImageListRecordE;
    QList<QIcon> ImageListPlaybackE;
};

// Creates every control of the main window as a child of form and gives form its
// fixed client size, caption and font. Timers are created stopped.
Form1Controls buildForm1Controls(QWidget* form);

}  // namespace kv::app
