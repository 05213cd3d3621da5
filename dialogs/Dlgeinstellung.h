#pragma once

// TDlgSetup, the settings dialog: recording interval, post-record frames, disk
// space limit, daily recording window and the reactions to movement, plus the
// hidden upload page. It holds values only; the main window copies settings in
// and out (app/setup_exchange.h).

#include <QDialog>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QTime>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimeEdit;
class QWidget;

namespace kv::dialogs {

// The direction of a proposed spin step: None when it would leave the range.
enum class SpinDirection { None, Up, Down };

// What a unit-switching spin shows: position, step, limits and unit text.
struct SpinState {
    int position = 0;
    int step = 1;
    int minimum = 0;
    int maximum = 0;
    QString unit;

    bool operator==(const SpinState&) const = default;
};

// A rule's answer to a proposed step: accept it, or refuse it and show next.
struct SpinStep {
    bool accepted = true;
    SpinState next;  // when refused: the state to show instead

    bool operator==(const SpinStep&) const = default;
};

// The recording interval switches from "ms" to "s" above 9999 ms and back at 10 s.
SpinStep recIntervalStepRule(const SpinState& current, int proposed, SpinDirection direction);
// The disk space limit switches from "MB" to "GB" at 1000 MB and back from 1 GB.
SpinStep diskSpaceStepRule(const SpinState& current, int proposed, SpinDirection direction);

// A value its spin shows in coarser units than it is kept in (10500 ms as
// "10 s", 1500 MB as "1 GB", 40 ms as "100 ms"). OK writes it back as it was
// unless the user changed what the spin shows.
class HeldValue {
  public:
    void hold(int value, const SpinState& shown) {
        value_ = value;
        shown_ = shown;
        held_ = true;
    }
    // The value to keep after OK, the spin now showing now and reading fromSpin.
    int afterOk(const SpinState& now, int fromSpin) const {
        return held_ && now == shown_ ? value_ : fromSpin;
    }
    // A value the user typed is taken as typed.
    void release() { held_ = false; }

  private:
    int value_ = 0;
    SpinState shown_;
    bool held_ = false;
};

// True when a daily recording window that is switched on starts when it stops,
// to the second the pickers show: it would record nothing.
bool recordWindowIsEmpty(bool enabled, QTime start, QTime stop);

// A Qt file-dialog filter for a "Description|*.EXT|..." filter whose patterns
// match their extensions in any letter case.
QString qtNameFilter(const QString& pipeSeparatedFilter);

// A value typed into a unit-switching spin ("60 s", "1.5 GB", or a number in
// the unit shown): the state that shows it exactly, or nothing, with the
// reason in error, when it lies outside the range (100 ms to 10000 s; 0 to
// 1000 GB) or the coarser unit cannot show it exactly (above 10 s whole
// seconds, above 1000 MB whole GB).
std::optional<SpinState> typedRecInterval(const QString& text, const SpinState& current,
                                          QString* error);
std::optional<SpinState> typedDiskSpace(const QString& text, const SpinState& current,
                                        QString* error);

// A spin that asks onChangingEx before each single step, with the proposed
// position and direction (false refuses the step), and that takes typed
// values: when typing ends (Enter, leaving the field, OK) onTyped, or else
// the spin's own range, decides. A value that cannot be taken stays in the
// field, with typedError() saying why, until it is mended or stepped over.
class UpDownSpin : public QSpinBox {
    Q_OBJECT
  public:
    using ChangingHandler = std::function<bool(int proposed, SpinDirection direction)>;
    // Takes the text (setting the spin) and returns empty, or returns why not.
    using TypedHandler = std::function<QString(const QString& text)>;

    explicit UpDownSpin(QWidget* parent = nullptr);

    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    QLineEdit* edit() const { return lineEdit(); }

    // Takes what was typed, if anything; false when it cannot be taken.
    bool commitTyped();
    QString typedError() const;

    // Detached (empty) while the owner sets units and limits.
    ChangingHandler onChangingEx;
    TypedHandler onTyped;

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void stepOnce(int sign);
    void keepRefusedText();

    bool refused_ = false;
    QString refusedText_;
    QString refusedWhy_;
};

// A switching spin and its unit label read and set together. Setting does not
// consult the spin's handler; a position outside the limits shows the nearest one.
SpinState spinState(const UpDownSpin& spin, const QLabel& unitLabel);
void setSpinState(UpDownSpin& spin, QLabel& unitLabel, const SpinState& state);

}  // namespace kv::dialogs

// Like the main window, the dialogs are global classes.
class TDlgSetup : public QDialog {
    Q_OBJECT
  public:
    explicit TDlgSetup(QWidget* parent = nullptr);
    ~TDlgSetup() override;

    // Fills CBRASEntries with the dial-up entry names and selects the first;
    // with none, selects RBUseLAN and disables the dial-up controls.
    void fillRasEntries(const QStringList& names);
    // Hides the upload page; its controls keep carrying their values.
    void hideFtpPage();

    // The bytes of one frame of the camera, for the memory the frames kept
    // before a movement take; 0 when unknown.
    void setFrameBytes(qint64 bytes);

    // Called once the settings are copied in: the interval and the disk space
    // limit as they are kept, which the spins may show rounded.
    void holdValues(int recInterval_ms, int maxDiskspace_MB);
    // After OK: what to keep, given what each spin reads as. A spin the user
    // left as it was keeps the held value.
    int recIntervalAfterOk(int fromSpin_ms) const;
    int maxDiskspaceAfterOk(int fromSpin_MB) const;

    // OK is refused, with a message, while the values cannot be used.
    void accept() override;

    // Handlers.
    bool UpDownRecIntervalChangingEx(int proposed, kv::dialogs::SpinDirection direction);
    bool UpDownDiskSpaceChangingEx(int proposed, kv::dialogs::SpinDirection direction);
    QString UpDownRecIntervalTyped(const QString& text);
    QString UpDownDiskSpaceTyped(const QString& text);
    void BtnSelectFileClick();
    // Lets the user pick the recording folder; the edit shows it with a
    // trailing separator.
    void BtnSelectAVIPathClick();

    // The form's controls, named as their objectName().
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* tsGeneral = nullptr;
    QWidget* tsFTP = nullptr;
    QWidget* tsDetector = nullptr;
    QLabel* lbDetector = nullptr;
    QComboBox* CBDetector = nullptr;  // 0 Classic, 1 Robust
    QLabel* lbDetectorHelp = nullptr;
    QLabel* lbNotify = nullptr;
    QCheckBox* CBNotifyOnMove = nullptr;
    QCheckBox* CBNotifyOnCamera = nullptr;
    QCheckBox* CBNotifyOnWriteError = nullptr;

    QLabel* Label1 = nullptr;
    kv::dialogs::UpDownSpin* UpDownRecInterval = nullptr;  // its edit is edRecFrames
    QLabel* lbRecInt = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label5 = nullptr;
    kv::dialogs::UpDownSpin* UpDownRecPostFrames = nullptr;  // its edit is edRecPostFrames
    QLabel* lbRecPreFrames = nullptr;
    kv::dialogs::UpDownSpin* UpDownRecPreFrames = nullptr;  // its edit is edRecPreFrames
    QLabel* lbRecPreMemory = nullptr;                       // what they take at the frame size
    QLabel* Label3 = nullptr;
    QLabel* Label14 = nullptr;
    kv::dialogs::UpDownSpin* UpDownDiskSpace = nullptr;  // its edit is edDiskSpace
    QLabel* lbMaxSpace = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lbAVIPath = nullptr;
    QLineEdit* edAVIPath = nullptr;
    QPushButton* BtnSelectAVIPath = nullptr;
    QFileDialog* FolderDialog = nullptr;
    QCheckBox* cbTimer = nullptr;
    QLabel* Label15 = nullptr;
    QTimeEdit* dtPickStart = nullptr;
    QLabel* Label16 = nullptr;
    QTimeEdit* dtPickStop = nullptr;
    // Each end at its clock time, or at sunrise or sunset with an offset.
    QComboBox* CBStartAt = nullptr;         // 0 clock time, 1 sunrise, 2 sunset
    QSpinBox* UpDownStartOffset = nullptr;  // minutes
    QComboBox* CBStopAt = nullptr;
    QSpinBox* UpDownStopOffset = nullptr;
    QLabel* lbPlace = nullptr;
    QLineEdit* edLatitude = nullptr;   // decimal degrees, north positive; empty: not set
    QLineEdit* edLongitude = nullptr;  // east positive
    QLabel* lbWindowToday = nullptr;   // "today 08:07 - 15:54"
    QLabel* lbIdleInterval = nullptr;
    QSpinBox* UpDownIdleInterval = nullptr;  // heartbeat seconds, 0 off
    // The day's film, made by itself once the day is over.
    QWidget* tsFilms = nullptr;
    QCheckBox* CBDailyFilm = nullptr;
    QSpinBox* UpDownFilmLength = nullptr;  // seconds, 0 every frame
    QComboBox* CBFilmPace = nullptr;       // 0 frames, 1 clock
    QCheckBox* CBFilmDeflicker = nullptr;
    QComboBox* CBFilmFormat = nullptr;  // 0 MP4, 1 AVI
    QCheckBox* CBPlaySoundOnMove = nullptr;
    QLineEdit* edSoundFileName = nullptr;
    QPushButton* BtnSelectFile = nullptr;
    QCheckBox* CBShowWndOnMove = nullptr;
    QFileDialog* OpenDialog = nullptr;

    QCheckBox* CBFTP = nullptr;
    QLabel* Label6 = nullptr;
    kv::dialogs::UpDownSpin* UpDnMaxFTPFrames = nullptr;  // its edit is edMaxFTPFrames
    QLabel* Label7 = nullptr;
    QGroupBox* GBRAS = nullptr;
    QRadioButton* RBUseLAN = nullptr;
    QRadioButton* RBUseRAS = nullptr;
    QComboBox* CBRASEntries = nullptr;
    QCheckBox* CBUseExisting = nullptr;
    QGroupBox* GBFTP = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* edFTPHost = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* edFTPUser = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* edFTPPass = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* edFTPPath = nullptr;

  private:
    qint64 frameBytes_ = 0;
    kv::dialogs::HeldValue heldRecInterval_;
    kv::dialogs::HeldValue heldDiskSpace_;
    QWidget* buildGeneralPage();
    QWidget* buildFtpPage();
    QWidget* buildDetectorPage();
    QWidget* buildFilmsPage();
    QLayout* buildWindowRows(QWidget* page);
    // The window as the dialog's controls set it, and today's times for it.
    void showWindowToday();
};
