#include "app/form_controls.h"

#include "app/day_view.h"
#include "playback/frame_export.h"

#include <QAction>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

// Resources of a static library are only registered when something asks for
// them; the macro must not be used inside a namespace.
static void initFormIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace kv::app {

namespace {

Q_LOGGING_CATEGORY(lcControls, "kv.app.controls", QtInfoMsg)

constexpr int kToolButtonWidth = 23;
constexpr int kToolButtonHeight = 22;
constexpr int kSeparatorWidth = 20;

// Keeps a cover as large as the page it sits on. While the cover is shown the
// widgets it replaces are hidden, so no background has to match the page's.
class PageCover : public QObject {
  public:
    PageCover(QWidget* page, QWidget* cover, QList<QWidget*> replaced)
        : QObject(cover), page_(page), cover_(cover), replaced_(std::move(replaced)) {
        page->installEventFilter(this);
        cover->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == page_ && event->type() == QEvent::Resize) {
            cover_->resize(page_->size());
        } else if (watched == cover_ && (event->type() == QEvent::ShowToParent ||
                                         event->type() == QEvent::HideToParent)) {
            for (QWidget* w : replaced_) {
                w->setVisible(cover_->isHidden());
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* page_;
    QWidget* cover_;
    QList<QWidget*> replaced_;
};

QList<QIcon> loadIcons(std::initializer_list<const char*> names) {
    QList<QIcon> icons;
    for (const char* name : names) {
        const QString path =
            QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg");
        QIcon icon(path);
        if (icon.pixmap(16, 16).isNull()) {
            qCWarning(lcControls) << "tool button image" << path
                                  << "cannot be drawn; is the Qt SVG icon engine installed?";
        }
        icons.append(icon);
    }
    return icons;
}

// Lays tool buttons out left to right as the platform's tool bar does: buttons
// 23 pixels apart, separators 20 pixels wide.
class ToolBarFiller {
  public:
    explicit ToolBarFiller(QWidget* bar) : bar_(bar) {}

    QToolButton* button(const char* name, const QString& hint, const QIcon& icon) {
        auto* b = new QToolButton(bar_);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(x_, 0, kToolButtonWidth, kToolButtonHeight);
        x_ += kToolButtonWidth;
        return b;
    }

    QFrame* separator(const char* name) {
        auto* s = new QFrame(bar_);
        s->setObjectName(QLatin1String(name));
        s->setFrameShape(QFrame::VLine);
        s->setFrameShadow(QFrame::Sunken);
        s->setGeometry(x_, 0, kSeparatorWidth, kToolButtonHeight);
        x_ += kSeparatorWidth;
        return s;
    }

  private:
    QWidget* bar_;
    int x_ = 0;
};

// "Marked" buttons stay framed while the others are flat until hovered.
void markButton(QToolButton* button) {
    button->setAutoRaise(false);
    button->setProperty("marked", true);
}

Panel* makePanel(QWidget* parent, const char* name, QFrame::Shadow bevel, int bevelWidth) {
    auto* p = new Panel(parent);
    p->setObjectName(QLatin1String(name));
    if (bevelWidth > 0) {
        p->setFrameStyle(QFrame::Panel | bevel);
        p->setLineWidth(bevelWidth);
    }
    return p;
}

QTimer* makeTimer(QObject* parent, const char* name, int interval_ms) {
    auto* t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval_ms);
    return t;
}

QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption, bool checkable) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    return a;
}

QSlider* makeTrackBar(QWidget* parent, const char* name) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QLatin1String(name));
    s->setTickPosition(QSlider::NoTicks);
    return s;
}

// The panel aligned to the bottom of a page and the status bar beneath it follow
// the page's width and bottom edge; everything else on the page sits where it is put.
void alignToBottom(QWidget* page, QWidget* controlPanel, QWidget* statusBar) {
    controlPanel->setFixedHeight(46);
    statusBar->setFixedHeight(19);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    layout->addWidget(controlPanel);
    layout->addWidget(statusBar);
}

QLabel* addInfoText(QVBoxLayout* layout, const char* name, const QString& text, bool bold) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.5);
        label->setFont(font);
    }
    layout->addWidget(label);
    return label;
}

QVBoxLayout* infoLayout(QWidget* on) {
    auto* layout = new QVBoxLayout(on);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    return layout;
}

struct FolderRow {
    QLabel* caption;
    QLabel* folder;
    QPushButton* open;
    QPushButton* shortcuts;
};

// The recording folder, whole (it wraps after any separator), and two buttons.
FolderRow addFolderRow(QVBoxLayout* layout, const QString& suffix) {
    auto name = [&suffix](const char* base) { return QLatin1String(base) + suffix; };
    auto* caption = new QLabel(QCoreApplication::translate("Form1", "Recordings are kept in"));
    caption->setObjectName(name("lbRecordFolderCaption"));
    auto* folder = new QLabel;
    folder->setObjectName(name("lbRecordFolder"));
    folder->setWordWrap(true);
    folder->setTextFormat(Qt::PlainText);
    QFont bold = folder->font();
    bold.setBold(true);
    folder->setFont(bold);
    auto* open = new QPushButton(QCoreApplication::translate("Form1", "&Open folder"));
    open->setObjectName(name("BtnOpenFolder"));
    open->setToolTip(
        QCoreApplication::translate("Form1", "Show the recordings in the file manager"));
    auto* shortcuts = new QPushButton(QCoreApplication::translate("Form1", "&Keyboard shortcuts"));
    shortcuts->setObjectName(name("BtnShortcuts"));
    shortcuts->setToolTip(QCoreApplication::translate("Form1", "Every key of the window (Ctrl+?)"));
    auto* row = new QHBoxLayout;
    row->addWidget(open);
    row->addWidget(shortcuts);
    row->addStretch(1);
    layout->addSpacing(8);
    layout->addWidget(caption);
    layout->addWidget(folder);
    layout->addLayout(row);
    return {caption, folder, open, shortcuts};
}

QString versionText() {
    return QCoreApplication::translate("Form1", "Version %1").arg(QStringLiteral(KV_VERSION));
}

QFileDialog* makeFileDialog(QWidget* form, const char* name, const QString& filter, bool anyCase) {
    auto* d = new QFileDialog(form);
    d->setObjectName(QLatin1String(name));
    d->setNameFilters(nameFiltersFromPlatform(filter, anyCase));
    return d;
}

void buildRecordPage(Form1Controls& c, QWidget* page) {
    c.PanelRecord = makePanel(page, "PanelRecord", QFrame::Sunken, 2);
    c.PanelRecord->setCaption(QCoreApplication::translate("Form1", "Record off"));
    c.PanelRecord->setGeometry(6, 8, 324, 244);

    c.PaintBoxRecord = new PaintBox(c.PanelRecord);
    c.PaintBoxRecord->setObjectName(QStringLiteral("PaintBoxRecord"));
    c.PaintBoxRecord->setPopupMenu(c.PopUpFilter);
    c.PanelRecord->setClientWidget(c.PaintBoxRecord);

    c.PanelRecControl = makePanel(page, "PanelRecControl", QFrame::Plain, 0);

    c.MotionDisplayBar = new QProgressBar(c.PanelRecControl);
    c.MotionDisplayBar->setObjectName(QStringLiteral("MotionDisplayBar"));
    c.MotionDisplayBar->setRange(0, 30000);
    c.MotionDisplayBar->setValue(0);
    c.MotionDisplayBar->setTextVisible(false);
    c.MotionDisplayBar->setToolTip(QCoreApplication::translate("Form1", "Current movement"));
    c.MotionDisplayBar->setGeometry(6, 2, 324, 7);

    c.MotionTriggerBar = makeTrackBar(c.PanelRecControl, "MotionTriggerBar");
    c.MotionTriggerBar->setRange(0, 30000);
    c.MotionTriggerBar->setSingleStep(100);
    c.MotionTriggerBar->setPageStep(500);
    c.MotionTriggerBar->setValue(1500);
    c.MotionTriggerBar->setToolTip(
        QCoreApplication::translate("Form1", "Trigger for recording on movement."));
    c.MotionTriggerBar->setGeometry(1, 8, 334, 14);

    c.ToolBar1 = new QWidget(c.PanelRecControl);
    c.ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    c.ToolBar1->setGeometry(6, 24, 272, 22);

    const QList<QIcon>& images = c.ImageListRecordE;
    ToolBarFiller bar(c.ToolBar1);
    c.tBtnSelectCaptureDev =
        bar.button("tBtnSelectCaptureDev",
                   QCoreApplication::translate("Form1", "Select capture device"), images[0]);
    c.tBtnCapturePropertys =
        bar.button("tBtnCapturePropertys",
                   QCoreApplication::translate("Form1", "Properties capture device"), images[1]);
    c.tBtnSelectCompressor =
        bar.button("tBtnSelectCompressor",
                   QCoreApplication::translate("Form1", "Select compressor"), images[2]);
    c.ToolButton10 = bar.separator("ToolButton10");
    c.tBtnRecOff =
        bar.button("tBtnRecOff", QCoreApplication::translate("Form1", "Record OFF"), images[3]);
    c.tBtnRecOn =
        bar.button("tBtnRecOn", QCoreApplication::translate("Form1", "Record On"), images[4]);
    c.tBtnRecMove = bar.button(
        "tBtnRecMove", QCoreApplication::translate("Form1", "Record on movement"), images[5]);
    c.ToolButton4 = bar.separator("ToolButton4");
    c.tBtnSetup = bar.button(
        "tBtnSetup", QCoreApplication::translate("Form1", "Setup Kestrelvision"), images[6]);

    c.tBtnCapturePropertys->setEnabled(false);
    c.tBtnSelectCompressor->setEnabled(false);
    // Its right click opens the compressor's own settings.
    c.tBtnSelectCompressor->setContextMenuPolicy(Qt::CustomContextMenu);

    c.RecordModeGroup = new QButtonGroup(page);
    c.RecordModeGroup->setObjectName(QStringLiteral("RecordModeGroup"));
    c.RecordModeGroup->setExclusive(true);
    int tag = 0;
    for (QToolButton* b : {c.tBtnRecOff, c.tBtnRecOn, c.tBtnRecMove}) {
        b->setCheckable(true);
        b->setEnabled(false);
        b->setProperty("tag", tag);
        c.RecordModeGroup->addButton(b, tag);
        ++tag;
    }

    // The file and its frames, as wide as they need; what the recorder does.
    c.StatusBarRecord = new PanelStatusBar({-1, 0}, page);
    c.StatusBarRecord->setObjectName(QStringLiteral("StatusBarRecord"));

    alignToBottom(page, c.PanelRecControl, c.StatusBarRecord);
}

void buildPlaybackPage(Form1Controls& c, QWidget* page) {
    c.PanelPlayback = makePanel(page, "PanelPlayback", QFrame::Sunken, 2);
    c.PanelPlayback->setCaption(QCoreApplication::translate("Form1", "Playback"));
    c.PanelPlayback->setGeometry(6, 8, 324, 244);

    c.PaintBoxPlayback = new PaintBox(c.PanelPlayback);
    c.PaintBoxPlayback->setObjectName(QStringLiteral("PaintBoxPlayback"));
    c.PanelPlayback->setClientWidget(c.PaintBoxPlayback);

    // Shown in the middle of the picture while a file loads; a slow disk may
    // take any time, so the user can give up.
    c.PlaybackBusy = new QFrame(c.PaintBoxPlayback);
    c.PlaybackBusy->setObjectName(QStringLiteral("PlaybackBusy"));
    c.PlaybackBusy->setFrameStyle(QFrame::Panel | QFrame::Raised);
    c.PlaybackBusy->setAutoFillBackground(true);
    auto* busy = new QVBoxLayout(c.PlaybackBusy);
    c.lbPlaybackBusy = new QLabel(QCoreApplication::translate("Form1", "Loading..."));
    c.lbPlaybackBusy->setObjectName(QStringLiteral("lbPlaybackBusy"));
    c.lbPlaybackBusy->setAlignment(Qt::AlignCenter);
    c.PlaybackBusyBar = new QProgressBar;
    c.PlaybackBusyBar->setObjectName(QStringLiteral("PlaybackBusyBar"));
    c.PlaybackBusyBar->setRange(0, 0);  // no end known: the bar runs to and fro
    c.PlaybackBusyBar->setTextVisible(false);
    c.PlaybackBusyBar->setFixedSize(160, 12);
    c.BtnCancelLoad = new QPushButton(QCoreApplication::translate("Form1", "Cancel"));
    c.BtnCancelLoad->setObjectName(QStringLiteral("BtnCancelLoad"));
    busy->addWidget(c.lbPlaybackBusy);
    busy->addWidget(c.PlaybackBusyBar, 0, Qt::AlignCenter);
    busy->addWidget(c.BtnCancelLoad, 0, Qt::AlignCenter);
    auto* centre = new QGridLayout(c.PaintBoxPlayback);
    centre->addWidget(c.PlaybackBusy, 0, 0, Qt::AlignCenter);
    c.PlaybackBusy->hide();

    // Placed with the picture's panel by the window's layout, when shown.
    c.DayPanel = new DayView(page);
    c.DayPanel->hide();

    c.PanelPlaybackControl = makePanel(page, "PanelPlaybackControl", QFrame::Plain, 0);

    // The platform's track bar starts at 0..10; loading a file sets the frame count.
    c.TBPlayback = new ActivityTrackBar(c.PanelPlaybackControl);
    c.TBPlayback->setObjectName(QStringLiteral("TBPlayback"));
    c.TBPlayback->setRange(0, 10);
    c.TBPlayback->setPageStep(10);
    c.TBPlayback->setGeometry(1, 1, 333, 21);

    c.ToolBarPlayback = new QWidget(c.PanelPlaybackControl);
    c.ToolBarPlayback->setObjectName(QStringLiteral("ToolBarPlayback"));
    c.ToolBarPlayback->setGeometry(6, 24, 329, 22);

    const QList<QIcon>& images = c.ImageListPlaybackE;
    ToolBarFiller bar(c.ToolBarPlayback);
    c.tBtnOpenActual =
        bar.button("tBtnOpenActual", QCoreApplication::translate("Form1", "Open current recording"),
                   images[0]);
    c.tBtnOpen =
        bar.button("tBtnOpen", QCoreApplication::translate("Form1", "Open recording"), images[1]);
    c.tBtnStop = bar.button("tBtnStop", QCoreApplication::translate("Form1", "Stop"), images[2]);
    c.tBtnPlay = bar.button("tBtnPlay", QCoreApplication::translate("Form1", "Play"), images[3]);
    c.ToolButton8 = bar.separator("ToolButton8");
    c.tBtnBack =
        bar.button("tBtnBack", QCoreApplication::translate("Form1", "Previous frame"), images[4]);
    c.tBtnForward =
        bar.button("tBtnForward", QCoreApplication::translate("Form1", "Next frame"), images[5]);
    c.ToolButton7 = bar.separator("ToolButton7");
    c.tBtnPrev =
        bar.button("tBtnPrev", QCoreApplication::translate("Form1", "Previous file"), images[6]);
    c.tBtnNext =
        bar.button("tBtnNext", QCoreApplication::translate("Form1", "Next file"), images[7]);
    c.ToolButton12 = bar.separator("ToolButton12");
    c.tBtnSave = bar.button(
        "tBtnSave", QCoreApplication::translate("Form1", "Save current frame as image"), images[8]);
    c.tBtnPrint = bar.button(
        "tBtnPrint", QCoreApplication::translate("Form1", "Print current frame"), images[9]);
    // The play speed, in the room left at the end of the bar.
    c.tBtnSpeed = bar.button(
        "tBtnSpeed", QCoreApplication::translate("Form1", "Play speed (keys + and -)"), QIcon());
    c.tBtnSpeed->setToolButtonStyle(Qt::ToolButtonTextOnly);
    c.tBtnSpeed->setText(QStringLiteral("1x"));
    QFont small = c.tBtnSpeed->font();
    small.setPointSize(7);
    c.tBtnSpeed->setFont(small);
    markButton(c.tBtnStop);
    markButton(c.tBtnPlay);

    // The file and its frames; the shown frame and when it was taken.
    c.StatusBarPlayback = new PanelStatusBar({-1, 0}, page);
    c.StatusBarPlayback->setObjectName(QStringLiteral("StatusBarPlayback"));

    alignToBottom(page, c.PanelPlaybackControl, c.StatusBarPlayback);
}

void buildInfoPage(Form1Controls& c, QWidget* page) {
    QVBoxLayout* english = infoLayout(page);
    c.lbProductName = addInfoText(english, "lbProductName", QStringLiteral("Kestrelvision"), true);
    c.lbVersion = addInfoText(english, "lbVersion", versionText(), false);
    c.lbDescription =
        addInfoText(english, "lbDescription",
                    QCoreApplication::translate("Form1",
                                                "Kestrelvision records quick motion pictures for "
                                                "long time observation. Even movement controlled."),
                    false);
    const FolderRow folder = addFolderRow(english, QString());
    c.lbRecordFolder = folder.folder;
    c.BtnOpenFolder = folder.open;
    c.BtnShortcuts = folder.shortcuts;
    english->addStretch(1);
    // Quit in the window itself, whether or not a tray offers it too.
    auto quitButton = [](QVBoxLayout* layout, const char* name, const QString& text) {
        auto* button = new QPushButton(text);
        button->setObjectName(QLatin1String(name));
        auto* row = new QHBoxLayout;
        row->addWidget(button);
        row->addStretch(1);
        layout->addLayout(row);
        return button;
    };
    c.BtnQuit = quitButton(english, "BtnQuit",
                           QCoreApplication::translate("Form1", "&Quit Kestrelvision (Ctrl+Q)"));

    // Owner of any video window the capture graph has to park; never shown.
    c.DummyPanel = makePanel(page, "DummyPanel", QFrame::Raised, 1);
    c.DummyPanel->setCaption(QStringLiteral("DummyPanel for Live Video"));
    c.DummyPanel->setGeometry(176, 8, 153, 33);
    c.DummyPanel->hide();

    // Covers the English text when start-up shows it for a German-speaking user.
    c.PanelGerman = makePanel(page, "PanelGerman", QFrame::Plain, 0);
    c.PanelGerman->setGeometry(0, 0, 404, 317);
    new PageCover(page, c.PanelGerman,
                  {c.lbProductName, c.lbVersion, c.lbDescription, folder.caption, c.lbRecordFolder,
                   c.BtnOpenFolder, c.BtnShortcuts, c.BtnQuit});
    QVBoxLayout* german = infoLayout(c.PanelGerman);
    c.lbProductNameGerman =
        addInfoText(german, "lbProductNameGerman", QStringLiteral("Kestrelvision"), true);
    c.lbVersionGerman = addInfoText(german, "lbVersionGerman", versionText(), false);
    c.lbDescriptionGerman =
        addInfoText(german, "lbDescriptionGerman",
                    QCoreApplication::translate("Form1",
                                                "Kestrelvision erzeugt Zeitrafferfilme für "
                                                "lange Beobachtungen. Auch "
                                                "bewegungsgesteuert."),
                    false);
    const FolderRow germanFolder = addFolderRow(german, QStringLiteral("German"));
    c.lbRecordFolderGerman = germanFolder.folder;
    c.BtnOpenFolderGerman = germanFolder.open;
    c.BtnShortcutsGerman = germanFolder.shortcuts;
    german->addStretch(1);
    c.BtnQuitGerman =
        quitButton(german, "BtnQuitGerman",
                   QCoreApplication::translate("Form1", "Kestrelvision &beenden (Strg+Q)"));
    c.PanelGerman->hide();
}

}  // namespace

// --- filters

QStringList nameFiltersFromPlatform(const QString& filter, bool anyCase) {
    QStringList result;
    const QStringList fields = filter.split(QLatin1Char('|'));
    if (fields.size() % 2 != 0) {
        qCWarning(lcControls) << "file filter" << filter << "has a description without pattern";
    }
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString description = fields[i].trimmed();
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (description.endsWith(QLatin1Char(')')) && open >= 0) {
            description = description.left(open).trimmed();
        }
        QStringList patterns;
        for (const QString& part : fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = part.trimmed();
            const QStringList variants =
                anyCase ? QStringList{pattern.toLower(), pattern.toUpper()} : QStringList{pattern};
            for (const QString& v : variants) {
                if (!v.isEmpty() && !patterns.contains(v)) {
                    patterns.append(v);
                }
            }
        }
        if (patterns.isEmpty()) {
            patterns.append(QStringLiteral("*"));
        }
        result.append(description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')'));
    }
    return result;
}

void followFilterExtension(QFileDialog* dialog) {
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        const QString typed = dialog->selectedFiles().value(0);
        const QFileInfo file(typed);
        if (typed.isEmpty() || file.isDir()) {
            return;  // no name typed yet
        }
        const int index = int(dialog->nameFilters().indexOf(filter)) + 1;
        const QString name = playback::suggestedExportName(file.fileName(), index);
        if (name != file.fileName()) {
            dialog->selectFile(name);
        }
    });
}

// --- the window

Form1Controls buildForm1Controls(QWidget* form) {
    initFormIcons();
    Form1Controls c;

    form->setWindowTitle(QStringLiteral("Kestrelvision"));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    form->setFont(font);
    form->resize(427, 371);

    c.ImageListRecordE =
        loadIcons({"select_capture_device", "capture_properties", "select_compressor", "record_off",
                   "record_on", "record_movement", "setup"});
    c.ImageListPlaybackE =
        loadIcons({"open_current", "open", "stop", "play", "previous_frame", "next_frame",
                   "previous_file", "next_file", "save_frame", "print"});

    c.TimerTrackBar = makeTimer(form, "TimerTrackBar", 100);

    c.PopupMenu = new QMenu(form);
    c.PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    c.cmShow =
        addMenuItem(c.PopupMenu, "cmShow", QCoreApplication::translate("Form1", "&Show"), false);
    c.cmClose =
        addMenuItem(c.PopupMenu, "cmClose", QCoreApplication::translate("Form1", "Q&uit"), false);

    c.PopUpFilter = new QMenu(form);
    c.PopUpFilter->setObjectName(QStringLiteral("PopUpFilter"));
    c.cmShowMask = addMenuItem(c.PopUpFilter, "cmShowMask",
                               QCoreApplication::translate("Form1", "Show Mask"), true);
    c.cmAutoSetMask = addMenuItem(c.PopUpFilter, "cmAutoSetMask",
                                  QCoreApplication::translate("Form1", "Autoset Mask"), true);
    c.cmClearMask = addMenuItem(c.PopUpFilter, "cmClearMask",
                                QCoreApplication::translate("Form1", "Clear Mask"), false);

    c.OpenDialog = makeFileDialog(
        form, "OpenDialog",
        QCoreApplication::translate("Form1", "Videodatei (*.avi)") + QStringLiteral("|*.AVI"),
        true);
    c.OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    c.OpenDialog->setFileMode(QFileDialog::ExistingFile);

    c.SaveDialog = makeFileDialog(
        form, "SaveDialog",
        QCoreApplication::translate("Form1", "JPEG File (*.jpg)") + QStringLiteral("|*.jpg|") +
            QCoreApplication::translate("Form1", "24-Bit-Color Bitmap (*.bmp)") +
            QStringLiteral("|*.bmp|") +
            QCoreApplication::translate("Form1", "256-Color-Bitmap (*.bmp)") +
            QStringLiteral("|*.bmp|") +
            QCoreApplication::translate("Form1", "16-Color-Bitmap (*.bmp)") +
            QStringLiteral("|*.bmp|") +
            QCoreApplication::translate("Form1", "Monochrom-Bitmap (*.bmp)") +
            QStringLiteral("|*.bmp"),
        false);
    c.SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    c.SaveDialog->setFileMode(QFileDialog::AnyFile);
    c.SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    c.SaveDialog->setSizeGripEnabled(true);
    followFilterExtension(c.SaveDialog);

    c.PageControl = new QTabWidget(form);
    c.PageControl->setObjectName(QStringLiteral("PageControl"));
    c.PageControl->setGeometry(5, 5, 412, 345);

    c.tsRecord = new QWidget;
    c.tsRecord->setObjectName(QStringLiteral("tsRecord"));
    c.tsPlayback = new QWidget;
    c.tsPlayback->setObjectName(QStringLiteral("tsPlayback"));
    c.TabSheet1 = new QWidget;
    c.TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    c.PageControl->addTab(c.tsRecord, QCoreApplication::translate("Form1", "Record"));
    c.PageControl->addTab(c.tsPlayback, QCoreApplication::translate("Form1", "Playback"));
    c.PageControl->addTab(c.TabSheet1, QCoreApplication::translate("Form1", "Info"));

    buildRecordPage(c, c.tsRecord);
    buildPlaybackPage(c, c.tsPlayback);
    // The tool bar has no room left: Film... sits beside the tabs, shown with
    // the Playback page.
    auto* corner = new QWidget(c.PageControl);
    corner->setObjectName(QStringLiteral("PlaybackCorner"));
    auto* cornerRow = new QHBoxLayout(corner);
    cornerRow->setContentsMargins(0, 0, 0, 0);
    cornerRow->setSpacing(2);
    c.tBtnDayView = new QToolButton(corner);
    c.tBtnDayView->setObjectName(QStringLiteral("tBtnDayView"));
    c.tBtnDayView->setText(QCoreApplication::translate("Form1", "Day"));
    c.tBtnDayView->setToolTip(
        QCoreApplication::translate("Form1", "Show the day's recordings under the picture"));
    c.tBtnDayView->setCheckable(true);
    c.tBtnDayView->setFocusPolicy(Qt::NoFocus);
    c.tBtnDayView->hide();
    cornerRow->addWidget(c.tBtnDayView);
    c.tBtnFilm = new QToolButton(corner);
    c.tBtnFilm->setObjectName(QStringLiteral("tBtnFilm"));
    c.tBtnFilm->setText(QCoreApplication::translate("Form1", "Film…"));
    c.tBtnFilm->setToolTip(QCoreApplication::translate("Form1", "Make a film of a span of time"));
    c.tBtnFilm->setFocusPolicy(Qt::NoFocus);
    cornerRow->addWidget(c.tBtnFilm);
    c.PageControl->setCornerWidget(corner, Qt::TopRightCorner);
    c.tBtnFilm->hide();
    buildInfoPage(c, c.TabSheet1);

    c.PageControl->setCurrentWidget(c.tsRecord);
    return c;
}

}  // namespace kv::app
