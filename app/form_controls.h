#pragma once

// The controls of the main window, built as plain widgets that TForm1 holds and
// wires to its handlers. Every widget's objectName() is its control name.

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

// A panel with a bevel and a centred caption. An optional client widget fills the
// inside of the bevel whenever the panel is resized.
class Panel : public QFrame {
    Q_OBJECT
  public:
    explicit Panel(QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    QWidget* clientWidget() const { return client_; }
    void setClientWidget(QWidget* client);

  Q_SIGNALS:
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString caption_;
    QWidget* client_ = nullptr;
};

// A surface its owner paints into. With a paint hook installed the widget is
// opaque: the hook draws every pixel, so the background is not erased first.
// Without one it draws nothing and its parent shows through.
class PaintBox : public QWidget {
    Q_OBJECT
  public:
    using PaintHook = std::function<void(QPainter&)>;

    explicit PaintBox(QWidget* parent = nullptr);

    void setPaintHook(PaintHook hook);
    bool hasPaintHook() const { return static_cast<bool>(hook_); }

    // Opened at the cursor on a right click.
    QMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    PaintHook hook_;
    QMenu* popupMenu_ = nullptr;
};

// The playback position track bar with the recording's activity drawn behind
// it: the motion of every frame as a thin graph, the trigger as a line and
// the frames recorded because something moved shaded. A click beside the
// handle jumps there, not a page on.
class ActivityTrackBar : public QSlider {
    Q_OBJECT
  public:
    explicit ActivityTrackBar(QWidget* parent = nullptr);

    // One value per frame; moving marks the frames recorded by movement.
    // Empty vectors clear it.
    void setActivity(std::vector<int> motion, std::vector<bool> moving, int trigger);
    int activityFrames() const { return int(motion_.size()); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // Where the handle's centre runs: from left, span pixels.
    struct Track {
        int left;
        int span;
    };
    Track track() const;
    // The x of a value's centre, and the value at an x, along the groove.
    int xOf(const Track& t, int value) const;
    int valueAt(int x) const;

    std::vector<int> motion_;
    std::vector<bool> moving_;
    int trigger_ = 0;
};

// A status bar of fixed-width text panels addressed by index, or, built without
// widths, one simple text across the whole bar. Its panels use its whole height,
// so a text keeps its descenders in a bar of 19 pixels.
class PanelStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit PanelStatusBar(const QList<int>& panelWidths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);

    bool isSimple() const { return simple_; }
    QString simpleText() const { return panelText(0); }
    void setSimpleText(const QString& text) { setPanelText(0, text); }

  private:
    QList<QLabel*> panels_;
    bool simple_ = false;
};

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
