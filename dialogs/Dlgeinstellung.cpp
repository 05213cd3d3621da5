#include "dialogs/Dlgeinstellung.h"

#include "session/daily_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>

#include <climits>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSetup, "kv.dialogs.setup", QtInfoMsg)

namespace kv::dialogs {

namespace {

const QString kMs = u"ms"_s;
const QString kSeconds = u"s"_s;
const QString kMB = u"MB"_s;
const QString kGB = u"GB"_s;

SpinStep accept(const SpinState& current) {
    return {true, current};
}

// "*.WAV" -> "*.[wW][aA][vV]": the same pattern in any letter case.
QString anyCase(const QString& pattern) {
    QString result;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower != upper) {
            result += u'[' + lower + upper + u']';
        } else {
            result += c;
        }
    }
    return result;
}

QLabel* boldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

SpinStep recIntervalStepRule(const SpinState& current, int proposed, SpinDirection direction) {
    if (direction == SpinDirection::Up && current.unit == kMs && proposed > 9999) {
        return {false, {10, 1, 10, 10000, kSeconds}};
    }
    if (direction == SpinDirection::Down && current.unit == kSeconds && proposed == 10) {
        return {false, {10000, 100, 100, 10000, kMs}};
    }
    return accept(current);
}

SpinStep diskSpaceStepRule(const SpinState& current, int proposed, SpinDirection direction) {
    if (direction == SpinDirection::Up && current.unit == kMB && proposed >= 1000) {
        return {false, {1, 1, current.minimum, current.maximum, kGB}};
    }
    if (direction == SpinDirection::Down && current.unit == kGB && proposed == 1) {
        return {false, {950, 50, current.minimum, current.maximum, kMB}};
    }
    return accept(current);
}

namespace {

struct Typed {
    double amount = 0;
    QString unit;  // as typed, lower case; empty: the unit shown
};

// "60", "60 s", "1,5GB": a number and an optional unit.
std::optional<Typed> parseTyped(const QString& text) {
    static const QRegularExpression form(u"^\\s*([0-9]+(?:[.,][0-9]*)?)\\s*([A-Za-z]*)\\s*$"_s);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const double amount = match.captured(1).replace(u',', u'.').toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return Typed{amount, match.captured(2).toLower()};
}

// The typed value in the fine unit; nothing when it is not a whole number of it.
std::optional<qint64> inFineUnit(const Typed& typed, const QString& shown, const QString& fine,
                                 const QString& coarse, int factor) {
    const QString unit = typed.unit.isEmpty() ? shown.toLower() : typed.unit;
    double value = 0;
    if (unit == fine.toLower()) {
        value = typed.amount;
    } else if (unit == coarse.toLower()) {
        value = typed.amount * factor;
    } else {
        return std::nullopt;
    }
    if (value > 1e12 || std::abs(value - std::round(value)) > 1e-6) {
        return std::nullopt;
    }
    return qint64(std::llround(value));
}

}  // namespace

std::optional<SpinState> typedRecInterval(const QString& text, const SpinState& current,
                                          QString* error) {
    const QString range = QCoreApplication::translate(
        "TDlgSetup",
        "The recording interval is from 100 ms to 10000 s, typed as \"1500\", "
        "\"1500 ms\" or \"60 s\".");
    const std::optional<Typed> typed = parseTyped(text);
    const std::optional<qint64> ms =
        typed ? inFineUnit(*typed, current.unit, kMs, kSeconds, 1000) : std::nullopt;
    if (!ms || *ms < 100 || *ms > 10000LL * 1000) {
        *error = range;
        return std::nullopt;
    }
    if (*ms <= 10000) {
        const int maximum = current.unit == kMs ? current.maximum : 10000;
        return SpinState{int(*ms), 100, 100, std::max(maximum, 10000), kMs};
    }
    if (*ms % 1000 != 0) {
        *error = QCoreApplication::translate(
            "TDlgSetup", "Above 10 s the recording interval is set in whole seconds.");
        return std::nullopt;
    }
    return SpinState{int(*ms / 1000), 1, 10, 10000, kSeconds};
}

std::optional<SpinState> typedDiskSpace(const QString& text, const SpinState& current,
                                        QString* error) {
    const std::optional<Typed> typed = parseTyped(text);
    const std::optional<qint64> mb =
        typed ? inFineUnit(*typed, current.unit, kMB, kGB, 1000) : std::nullopt;
    if (!mb || *mb < 0 || *mb > 1000LL * 1000) {
        *error = QCoreApplication::translate(
            "TDlgSetup",
            "The hard disk space is from 0 MB to 1000 GB, typed as \"500\", "
            "\"500 MB\" or \"2 GB\".");
        return std::nullopt;
    }
    if (*mb <= 1000) {
        return SpinState{int(*mb), 50, current.minimum, current.maximum, kMB};
    }
    if (*mb % 1000 != 0) {
        *error = QCoreApplication::translate(
            "TDlgSetup", "Above 1000 MB the hard disk space is set in whole GB.");
        return std::nullopt;
    }
    return SpinState{int(*mb / 1000), 1, current.minimum, current.maximum, kGB};
}

bool recordWindowIsEmpty(bool enabled, QTime start, QTime stop) {
    return enabled && start.isValid() && stop.isValid() &&
           start.msecsSinceStartOfDay() / 1000 == stop.msecsSinceStartOfDay() / 1000;
}

QString qtNameFilter(const QString& pipeSeparatedFilter) {
    const QStringList parts = pipeSeparatedFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // The description may name its patterns itself; the real ones follow.
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0) {
                description = description.left(open).trimmed();
            }
        }
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            patterns.append(anyCase(pattern.trimmed()));
        }
        filters.append(description + u" ("_s + patterns.join(u' ') + u')');
    }
    if (parts.size() % 2 != 0 && !pipeSeparatedFilter.isEmpty()) {
        qCWarning(lcSetup) << "file filter without patterns:" << parts.last();
    }
    return filters.join(u";;"_s);
}

// --- UpDownSpin

UpDownSpin::UpDownSpin(QWidget* parent) : QSpinBox(parent) {
    setGroupSeparatorShown(false);
    setKeyboardTracking(false);
}

QValidator::State UpDownSpin::validate(QString& input, int& pos) const {
    const QValidator::State own = QSpinBox::validate(input, pos);
    if (own == QValidator::Acceptable || !onTyped) {
        return own;
    }
    // A number with a unit, or one beyond the range, is decided when typing ends.
    static const QRegularExpression typing(u"^\\s*[0-9]*(?:[.,][0-9]*)?\\s*[A-Za-z]{0,2}\\s*$"_s);
    return input.size() <= 16 && typing.match(input).hasMatch() ? QValidator::Intermediate
                                                                : QValidator::Invalid;
}

bool UpDownSpin::commitTyped() {
    const QString text = lineEdit()->text().trimmed();
    if (text == textFromValue(value())) {
        refused_ = false;
        return true;
    }
    QString why;
    if (onTyped) {
        why = onTyped(text);
    } else {
        bool ok = false;
        const int typed = text.toInt(&ok);
        if (ok && typed >= minimum() && typed <= maximum()) {
            setValue(typed);
        } else {
            why = QCoreApplication::translate("TDlgSetup", "Type a whole number from %1 to %2.")
                      .arg(minimum())
                      .arg(maximum());
        }
    }
    if (why.isEmpty()) {
        refused_ = false;
        return true;
    }
    refused_ = true;
    refusedText_ = text;
    refusedWhy_ = why;
    return false;
}

QString UpDownSpin::typedError() const {
    return refused_ && lineEdit()->text().trimmed() == refusedText_ ? refusedWhy_ : QString();
}

// The spin puts its value back over a text it cannot read; a refused one stays
// to be mended, and OK names it.
void UpDownSpin::keepRefusedText() {
    if (refused_ && lineEdit()->text().trimmed() != refusedText_) {
        lineEdit()->setText(refusedText_);
    }
}

void UpDownSpin::focusOutEvent(QFocusEvent* event) {
    const bool taken = commitTyped();
    QSpinBox::focusOutEvent(event);
    if (!taken) {
        keepRefusedText();
    }
}

// Another page of the dialog shown: the spin would read its text now, and
// put its value back when shown again.
void UpDownSpin::hideEvent(QHideEvent* event) {
    const bool taken = commitTyped();
    QSpinBox::hideEvent(event);
    if (!taken) {
        keepRefusedText();
    }
}

void UpDownSpin::showEvent(QShowEvent* event) {
    const bool refused = !typedError().isEmpty();
    QSpinBox::showEvent(event);
    if (refused) {
        keepRefusedText();
    }
}

void UpDownSpin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const bool taken = commitTyped();
        QSpinBox::keyPressEvent(event);
        if (!taken) {
            keepRefusedText();
        }
        return;
    }
    QSpinBox::keyPressEvent(event);
}

QAbstractSpinBox::StepEnabled UpDownSpin::stepEnabled() const {
    // Like a plain up-down control, the buttons stay live at the limits: the
    // handler hears of a step that would leave the range, with no direction.
    return isEnabled() ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

void UpDownSpin::stepBy(int steps) {
    // A typed value first, so that the step starts from it.
    if (!commitTyped()) {
        refused_ = false;
        lineEdit()->setText(textFromValue(value()));
    }
    const int sign = steps < 0 ? -1 : 1;
    for (int i = 0; i < std::abs(steps); ++i) {
        stepOnce(sign);
    }
}

void UpDownSpin::stepOnce(int sign) {
    const qint64 wanted = qint64(value()) + qint64(sign) * singleStep();
    const int proposed = int(qBound(qint64(INT_MIN), wanted, qint64(INT_MAX)));
    SpinDirection direction = sign > 0 ? SpinDirection::Up : SpinDirection::Down;
    if (wanted < minimum() || wanted > maximum()) {
        direction = SpinDirection::None;
    }
    if (onChangingEx && !onChangingEx(proposed, direction)) {
        return;
    }
    QSpinBox::stepBy(sign);
}

SpinState spinState(const UpDownSpin& spin, const QLabel& unitLabel) {
    return {spin.value(), spin.singleStep(), spin.minimum(), spin.maximum(), unitLabel.text()};
}

void setSpinState(UpDownSpin& spin, QLabel& unitLabel, const SpinState& state) {
    spin.setSingleStep(state.step);
    spin.setRange(state.minimum, state.maximum);
    spin.setValue(state.position);
    unitLabel.setText(state.unit);
}

}  // namespace kv::dialogs

using namespace kv::dialogs;

TDlgSetup::TDlgSetup(QWidget* parent) : QDialog(parent) {
    setObjectName(u"DlgSetup"_s);
    setWindowTitle(tr("Kestrelvision Setup:"));
    setFixedSize(560, 615);  // room for the window's sun rows

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    tsGeneral = buildGeneralPage();
    tsFTP = buildFtpPage();
    tsDetector = buildDetectorPage();
    PageControl1->addTab(tsGeneral, tr("&Recorder"));
    PageControl1->addTab(tsFTP, tr("&FTP"));
    PageControl1->addTab(tsDetector, tr("Mo&vement"));
    tsFilms = buildFilmsPage();
    PageControl1->addTab(tsFilms, tr("F&ilms"));

    BtnOK = named(new QPushButton(tr("OK"), this), "BtnOK");
    BtnOK->setDefault(true);
    BtnCancel = named(new QPushButton(tr("Cancel"), this), "BtnCancel");
    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    OpenDialog = named(new QFileDialog(this), "OpenDialog");
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails);
    OpenDialog->setNameFilter(kv::dialogs::qtNameFilter(tr("Audio-File (*.wav)") + u"|*.WAV"_s));
    connect(BtnSelectFile, &QPushButton::clicked, this, &TDlgSetup::BtnSelectFileClick);

    FolderDialog = named(new QFileDialog(this), "FolderDialog");
    FolderDialog->setAcceptMode(QFileDialog::AcceptOpen);
    FolderDialog->setFileMode(QFileDialog::Directory);
    FolderDialog->setOption(QFileDialog::ShowDirsOnly);
    connect(BtnSelectAVIPath, &QPushButton::clicked, this, &TDlgSetup::BtnSelectAVIPathClick);

    UpDownRecInterval->onChangingEx = [this](int proposed, SpinDirection direction) {
        return UpDownRecIntervalChangingEx(proposed, direction);
    };
    UpDownDiskSpace->onChangingEx = [this](int proposed, SpinDirection direction) {
        return UpDownDiskSpaceChangingEx(proposed, direction);
    };
    UpDownRecInterval->onTyped = [this](const QString& text) {
        return UpDownRecIntervalTyped(text);
    };
    UpDownDiskSpace->onTyped = [this](const QString& text) { return UpDownDiskSpaceTyped(text); };
}

TDlgSetup::~TDlgSetup() = default;

QWidget* TDlgSetup::buildGeneralPage() {
    auto* page = named(new QWidget, "tsGeneral");
    auto* layout = new QVBoxLayout(page);
    // The dialog has a fixed size: small gaps leave the wrapped texts room
    // for all their lines.
    constexpr int kGap = 2;
    layout->setSpacing(4);

    auto spinRow = [&](UpDownSpin* spin, QLabel* unit) {
        auto* row = new QHBoxLayout;
        spin->setMinimumWidth(90);
        row->addWidget(spin);
        if (unit) {
            row->addWidget(unit);
        }
        row->addStretch();
        layout->addLayout(row);
    };
    auto makeSpin = [&](const char* name, const char* editName, int minimum, int maximum,
                        int step) {
        auto* spin = named(new UpDownSpin(page), name);
        spin->edit()->setObjectName(QLatin1String(editName));
        spin->setRange(minimum, maximum);
        spin->setSingleStep(step);
        return spin;
    };

    Label1 = named(boldLabel(tr("&Framerate for recording:"), page), "Label1");
    UpDownRecInterval = makeSpin("UpDownRecInterval", "edRecFrames", 100, 30000, 100);
    UpDownRecInterval->setValue(1000);
    lbRecInt = named(new QLabel(u"ms"_s, page), "lbRecInt");
    Label1->setBuddy(UpDownRecInterval);
    Label13 =
        named(wrappedLabel(tr("(recommended is 1000 ms to record 1 picture per second to the "
                              "AVI file. AVI is played back with 25 frames/s. This results in "
                              "a 25x quick motion picture.)"),
                           page),
              "Label13");
    layout->addWidget(Label1);
    spinRow(UpDownRecInterval, lbRecInt);
    layout->addWidget(Label13);
    layout->addSpacing(kGap);

    Label5 = named(boldLabel(tr("Frames to record &after last movement:"), page), "Label5");
    UpDownRecPostFrames = makeSpin("UpDownRecPostFrames", "edRecPostFrames", 0, 100, 1);
    Label5->setBuddy(UpDownRecPostFrames);
    Label3 = named(wrappedLabel(tr("If Kestrelvision records movement controlled, you can specify "
                                   "the amount of frames it shall record after the movement falls "
                                   "back below the threshold. Useful in conjunction with the "
                                   "motion mask."),
                                page),
                   "Label3");
    // Beside them, the frames kept from before the movement.
    lbRecPreFrames = named(new QLabel(tr("&before movement:"), page), "lbRecPreFrames");
    UpDownRecPreFrames = makeSpin("UpDownRecPreFrames", "edRecPreFrames", 0, 100, 1);
    UpDownRecPreFrames->setMinimumWidth(70);
    lbRecPreFrames->setBuddy(UpDownRecPreFrames);
    lbRecPreMemory = named(new QLabel(page), "lbRecPreMemory");
    connect(UpDownRecPreFrames, &QSpinBox::valueChanged, this,
            [this] { setFrameBytes(frameBytes_); });
    layout->addWidget(Label5);
    {
        auto* row = new QHBoxLayout;
        UpDownRecPostFrames->setMinimumWidth(90);
        row->addWidget(UpDownRecPostFrames);
        row->addSpacing(12);
        row->addWidget(lbRecPreFrames);
        row->addWidget(UpDownRecPreFrames);
        row->addWidget(lbRecPreMemory);
        row->addStretch();
        layout->addLayout(row);
    }
    layout->addWidget(Label3);
    layout->addSpacing(kGap);

    Label14 = named(boldLabel(tr("&Maximum hard disk space:"), page), "Label14");
    UpDownDiskSpace = makeSpin("UpDownDiskSpace", "edDiskSpace", 0, 1000, 50);
    UpDownDiskSpace->setValue(500);
    lbMaxSpace = named(new QLabel(u"MB"_s, page), "lbMaxSpace");
    Label14->setBuddy(UpDownDiskSpace);
    Label2 =
        named(wrappedLabel(tr("Kestrelvision needs hard disk space for the video files. Select "
                              "the maximum amount of hard disk space Kestrelvision shall use "
                              "for the videos."),
                           page),
              "Label2");
    Label4 = named(wrappedLabel(tr("Kestrelvision deletes the oldest video files if the currently "
                                   "used hard disk space exeeds this amount."),
                                page),
                   "Label4");
    layout->addWidget(Label14);
    spinRow(UpDownDiskSpace, lbMaxSpace);
    layout->addWidget(Label2);
    layout->addWidget(Label4);
    layout->addSpacing(kGap);

    // Where recordings go; users ask for it, and the quota works on it.
    lbAVIPath = named(boldLabel(tr("Recording &folder:"), page), "lbAVIPath");
    edAVIPath = named(new QLineEdit(page), "edAVIPath");
    edAVIPath->setReadOnly(true);
    BtnSelectAVIPath = named(new QPushButton(tr("Browse..."), page), "BtnSelectAVIPath");
    lbAVIPath->setBuddy(BtnSelectAVIPath);
    auto* folder = new QHBoxLayout;
    folder->addWidget(lbAVIPath);
    folder->addWidget(edAVIPath, 1);
    folder->addWidget(BtnSelectAVIPath);
    layout->addLayout(folder);
    layout->addSpacing(kGap);

    cbTimer = named(new QCheckBox(tr("Record Time"), page), "cbTimer");
    QFont bold = cbTimer->font();
    bold.setBold(true);
    cbTimer->setFont(bold);
    Label15 = named(new QLabel(tr("Start:"), page), "Label15");
    dtPickStart = named(new QTimeEdit(page), "dtPickStart");
    Label16 = named(new QLabel(tr("Stop:"), page), "Label16");
    dtPickStop = named(new QTimeEdit(page), "dtPickStop");
    for (QTimeEdit* picker : {dtPickStart, dtPickStop}) {
        picker->setDisplayFormat(u"HH:mm:ss"_s);
    }
    Label15->setBuddy(dtPickStart);
    Label16->setBuddy(dtPickStop);
    layout->addWidget(cbTimer);
    layout->addLayout(buildWindowRows(page));
    layout->addSpacing(kGap);

    CBPlaySoundOnMove =
        named(new QCheckBox(tr("Play this sound on movement:"), page), "CBPlaySoundOnMove");
    edSoundFileName = named(new QLineEdit(page), "edSoundFileName");
    edSoundFileName->setReadOnly(true);
    BtnSelectFile = named(new QPushButton(u"..."_s, page), "BtnSelectFile");
    BtnSelectFile->setFixedWidth(28);
    auto* sound = new QHBoxLayout;
    sound->addWidget(edSoundFileName, 1);
    sound->addWidget(BtnSelectFile);
    CBShowWndOnMove =
        named(new QCheckBox(tr("Show programm window on movement."), page), "CBShowWndOnMove");
    layout->addWidget(CBPlaySoundOnMove);
    layout->addLayout(sound);
    layout->addWidget(CBShowWndOnMove);
    layout->addStretch();
    return page;
}

QLayout* TDlgSetup::buildWindowRows(QWidget* page) {
    auto* grid = new QGridLayout;
    const QStringList anchors{tr("at clock time"), tr("at sunrise"), tr("at sunset")};
    CBStartAt = named(new QComboBox(page), "CBStartAt");
    CBStopAt = named(new QComboBox(page), "CBStopAt");
    UpDownStartOffset = named(new QSpinBox(page), "UpDownStartOffset");
    UpDownStopOffset = named(new QSpinBox(page), "UpDownStopOffset");
    for (QComboBox* anchor : {CBStartAt, CBStopAt}) {
        anchor->addItems(anchors);
    }
    for (QSpinBox* offset : {UpDownStartOffset, UpDownStopOffset}) {
        offset->setRange(-kv::session::kWindowOffsetMax_min, kv::session::kWindowOffsetMax_min);
        offset->setSuffix(tr(" min"));
        offset->setToolTip(tr("Minutes before (-) or after (+) the sun's time"));
    }
    grid->addWidget(Label15, 0, 0);
    grid->addWidget(dtPickStart, 0, 1);
    grid->addWidget(CBStartAt, 0, 2);
    grid->addWidget(UpDownStartOffset, 0, 3);
    grid->addWidget(Label16, 1, 0);
    grid->addWidget(dtPickStop, 1, 1);
    grid->addWidget(CBStopAt, 1, 2);
    grid->addWidget(UpDownStopOffset, 1, 3);

    lbPlace = named(new QLabel(tr("Place:"), page), "lbPlace");
    edLatitude = named(new QLineEdit(page), "edLatitude");
    edLongitude = named(new QLineEdit(page), "edLongitude");
    edLatitude->setPlaceholderText(tr("latitude, e.g. 52.52"));
    edLongitude->setPlaceholderText(tr("longitude, e.g. 13.40"));
    lbPlace->setBuddy(edLatitude);
    grid->addWidget(lbPlace, 2, 0);
    grid->addWidget(edLatitude, 2, 1, 1, 2);
    grid->addWidget(edLongitude, 2, 3);
    lbWindowToday = named(new QLabel(page), "lbWindowToday");
    grid->addWidget(lbWindowToday, 3, 1, 1, 3);
    grid->setColumnStretch(4, 1);

    auto update = [this] { showWindowToday(); };
    for (QComboBox* anchor : {CBStartAt, CBStopAt}) {
        connect(anchor, &QComboBox::currentIndexChanged, this, update);
    }
    for (QSpinBox* offset : {UpDownStartOffset, UpDownStopOffset}) {
        connect(offset, &QSpinBox::valueChanged, this, update);
    }
    for (QTimeEdit* picker : {dtPickStart, dtPickStop}) {
        connect(picker, &QTimeEdit::timeChanged, this, update);
    }
    for (QLineEdit* edit : {edLatitude, edLongitude}) {
        connect(edit, &QLineEdit::textChanged, this, update);
    }
    connect(cbTimer, &QCheckBox::toggled, this, update);
    return grid;
}

static kv::session::WindowSettings windowSettingsOf(const TDlgSetup& d) {
    kv::session::WindowSettings w;
    w.recStartTime = kv::session::dayFractionFromTime(d.dtPickStart->time());
    w.recStopTime = kv::session::dayFractionFromTime(d.dtPickStop->time());
    w.recStartAt = d.CBStartAt->currentIndex();
    w.recStopAt = d.CBStopAt->currentIndex();
    w.recStartOffset_min = d.UpDownStartOffset->value();
    w.recStopOffset_min = d.UpDownStopOffset->value();
    w.latitude = kv::session::coordinateFromText(d.edLatitude->text());
    w.longitude = kv::session::coordinateFromText(d.edLongitude->text());
    return w;
}

void TDlgSetup::showWindowToday() {
    // A clock end uses its time; a sun end its offset.
    dtPickStart->setEnabled(CBStartAt->currentIndex() == 0);
    dtPickStop->setEnabled(CBStopAt->currentIndex() == 0);
    UpDownStartOffset->setEnabled(CBStartAt->currentIndex() != 0);
    UpDownStopOffset->setEnabled(CBStopAt->currentIndex() != 0);
    const kv::session::WindowSettings w = windowSettingsOf(*this);
    const QString problem = kv::session::windowProblem(w);
    if (!problem.isEmpty()) {
        lbWindowToday->setText(problem);
        return;
    }
    const kv::session::DailyWindow today =
        kv::session::dailyWindow(w, QDate::currentDate(), QTimeZone::systemTimeZone());
    lbWindowToday->setText(today.state == kv::session::WindowState::Normal ? today.dialogText
                                                                           : today.reason);
}

QWidget* TDlgSetup::buildFilmsPage() {
    auto* page = named(new QWidget, "tsFilms");
    auto* layout = new QVBoxLayout(page);
    CBDailyFilm =
        named(new QCheckBox(tr("Make a &film of each day by itself once the day is over"), page),
              "CBDailyFilm");
    layout->addWidget(CBDailyFilm);
    auto* form = new QFormLayout;
    UpDownFilmLength = named(new QSpinBox(page), "UpDownFilmLength");
    UpDownFilmLength->setRange(0, 86400);
    UpDownFilmLength->setSuffix(tr(" s"));
    UpDownFilmLength->setSpecialValueText(tr("every frame"));
    CBFilmPace = named(new QComboBox(page), "CBFilmPace");
    CBFilmPace->addItems({tr("by frames: busy hours take more of the film"),
                          tr("by the clock: the film's clock runs steadily")});
    CBFilmDeflicker =
        named(new QCheckBox(tr("Remove flicker (brightness jumps)"), page), "CBFilmDeflicker");
    CBFilmFormat = named(new QComboBox(page), "CBFilmFormat");
    CBFilmFormat->addItems(
        {tr("MP4 (H.264), plays everywhere"), tr("AVI with the recording's compressor")});
    form->addRow(tr("&Length:"), UpDownFilmLength);
    form->addRow(tr("&Pace:"), CBFilmPace);
    form->addRow(QString(), CBFilmDeflicker);
    form->addRow(tr("F&ormat:"), CBFilmFormat);
    layout->addLayout(form);
    layout->addWidget(wrappedLabel(tr("Films go to the Films folder in the recording folder, "
                                      "named after their day. The Film... button on the "
                                      "Playback page makes a film of any span."),
                                   page));
    layout->addStretch();
    return page;
}

QWidget* TDlgSetup::buildDetectorPage() {
    auto* page = named(new QWidget, "tsDetector");
    auto* layout = new QVBoxLayout(page);
    lbDetector = named(boldLabel(tr("Movement &detector:"), page), "lbDetector");
    CBDetector = named(new QComboBox(page), "CBDetector");
    CBDetector->addItems({tr("Classic"), tr("Robust")});
    lbDetector->setBuddy(CBDetector);
    lbDetectorHelp = named(
        wrappedLabel(tr("Classic compares single points of two pictures: it notices small "
                        "changes, but also sensor noise at night, a lamp switched on or clouds. "
                        "Robust compares the brightness of whole areas, allows for the light "
                        "changing over the whole picture, waits out a light switch and asks for "
                        "movement in two pictures in a row. Both use the motion mask and the "
                        "trigger on the Record page."),
                     page),
        "lbDetectorHelp");
    layout->addWidget(lbDetector);
    auto* row = new QHBoxLayout;
    row->addWidget(CBDetector);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(lbDetectorHelp);
    layout->addSpacing(8);

    lbIdleInterval =
        named(new QLabel(tr("&Heartbeat: while nothing moves, record a frame every"), page),
              "lbIdleInterval");
    UpDownIdleInterval = named(new QSpinBox(page), "UpDownIdleInterval");
    UpDownIdleInterval->setRange(0, kv::session::kIdleIntervalMax_s);
    UpDownIdleInterval->setSuffix(tr(" s"));
    UpDownIdleInterval->setSpecialValueText(tr("off"));
    lbIdleInterval->setBuddy(UpDownIdleInterval);
    auto* idle = new QHBoxLayout;
    idle->addWidget(lbIdleInterval);
    idle->addWidget(UpDownIdleInterval);
    idle->addStretch();
    layout->addLayout(idle);
    layout->addSpacing(8);

    lbNotify = named(boldLabel(tr("Desktop notifications:"), page), "lbNotify");
    CBNotifyOnMove =
        named(new QCheckBox(tr("Movement &started (with a picture, updated while it lasts)"), page),
              "CBNotifyOnMove");
    CBNotifyOnCamera = named(new QCheckBox(tr("&Camera lost and back"), page), "CBNotifyOnCamera");
    CBNotifyOnWriteError = named(new QCheckBox(tr("Recording stopped by a &write error"), page),
                                 "CBNotifyOnWriteError");
    layout->addWidget(lbNotify);
    layout->addWidget(CBNotifyOnMove);
    layout->addWidget(CBNotifyOnCamera);
    layout->addWidget(CBNotifyOnWriteError);
    layout->addStretch();
    return page;
}

QWidget* TDlgSetup::buildFtpPage() {
    auto* page = named(new QWidget, "tsFTP");
    auto* layout = new QVBoxLayout(page);

    CBFTP = named(new QCheckBox(tr("Automatic FTP upload:"), page), "CBFTP");
    Label6 = named(new QLabel(tr("after:"), page), "Label6");
    UpDnMaxFTPFrames = named(new UpDownSpin(page), "UpDnMaxFTPFrames");
    UpDnMaxFTPFrames->edit()->setObjectName(u"edMaxFTPFrames"_s);
    UpDnMaxFTPFrames->setRange(10, 10000);
    UpDnMaxFTPFrames->setSingleStep(1);
    UpDnMaxFTPFrames->setMinimumWidth(90);
    Label7 = named(new QLabel(tr("frames"), page), "Label7");
    auto* upload = new QHBoxLayout;
    upload->addWidget(CBFTP);
    upload->addWidget(Label6);
    upload->addWidget(UpDnMaxFTPFrames);
    upload->addWidget(Label7);
    upload->addStretch();
    layout->addLayout(upload);

    GBRAS = named(new QGroupBox(tr("&Connection:"), page), "GBRAS");
    RBUseLAN = named(new QRadioButton(tr("&LAN"), GBRAS), "RBUseLAN");
    RBUseRAS = named(new QRadioButton(tr("&RAS:"), GBRAS), "RBUseRAS");
    CBRASEntries = named(new QComboBox(GBRAS), "CBRASEntries");
    CBUseExisting = named(new QCheckBox(tr("&only on active connection."), GBRAS), "CBUseExisting");
    RBUseLAN->setChecked(true);
    auto* ras = new QGridLayout(GBRAS);
    ras->addWidget(RBUseLAN, 0, 0);
    ras->addWidget(RBUseRAS, 1, 0);
    ras->addWidget(CBRASEntries, 1, 1);
    ras->addWidget(CBUseExisting, 2, 1);
    ras->setColumnStretch(1, 1);
    layout->addWidget(GBRAS);

    GBFTP = named(new QGroupBox(tr("&Ftp:"), page), "GBFTP");
    auto* ftp = new QFormLayout(GBFTP);
    auto addEdit = [&](QLabel*& label, const char* labelName, const QString& caption,
                       QLineEdit*& edit, const char* editName) {
        label = named(new QLabel(caption, GBFTP), labelName);
        edit = named(new QLineEdit(GBFTP), editName);
        label->setBuddy(edit);
        ftp->addRow(label, edit);
    };
    addEdit(Label8, "Label8", tr("&Host:"), edFTPHost, "edFTPHost");
    addEdit(Label9, "Label9", tr("&User:"), edFTPUser, "edFTPUser");
    addEdit(Label10, "Label10", tr("&Password:"), edFTPPass, "edFTPPass");
    addEdit(Label11, "Label11", tr("Destination:"), edFTPPath, "edFTPPath");
    edFTPPass->setEchoMode(QLineEdit::Password);
    layout->addWidget(GBFTP);
    layout->addStretch();
    return page;
}

void TDlgSetup::fillRasEntries(const QStringList& names) {
    CBRASEntries->clear();
    CBRASEntries->addItems(names);
    const bool any = !names.isEmpty();
    if (any) {
        CBRASEntries->setCurrentIndex(0);
    } else {
        RBUseLAN->setChecked(true);
    }
    CBRASEntries->setEnabled(any);
    RBUseRAS->setEnabled(any);
    CBUseExisting->setEnabled(any);
}

void TDlgSetup::hideFtpPage() {
    const int index = PageControl1->indexOf(tsFTP);
    if (index >= 0) {
        PageControl1->setTabVisible(index, false);
    }
}

void TDlgSetup::setFrameBytes(qint64 bytes) {
    frameBytes_ = bytes;
    const int frames = UpDownRecPreFrames->value();
    lbRecPreMemory->setText(
        frames == 0 || bytes <= 0
            ? QString()
            : tr("(%1 MB)").arg(double(frames) * double(bytes) / 1e6, 0, 'f', 1));
}

bool TDlgSetup::UpDownRecIntervalChangingEx(int proposed, SpinDirection direction) {
    const SpinStep step = kv::dialogs::recIntervalStepRule(
        kv::dialogs::spinState(*UpDownRecInterval, *lbRecInt), proposed, direction);
    if (!step.accepted) {
        kv::dialogs::setSpinState(*UpDownRecInterval, *lbRecInt, step.next);
    }
    return step.accepted;
}

bool TDlgSetup::UpDownDiskSpaceChangingEx(int proposed, SpinDirection direction) {
    const SpinStep step = kv::dialogs::diskSpaceStepRule(
        kv::dialogs::spinState(*UpDownDiskSpace, *lbMaxSpace), proposed, direction);
    if (!step.accepted) {
        kv::dialogs::setSpinState(*UpDownDiskSpace, *lbMaxSpace, step.next);
    }
    return step.accepted;
}

// A typed value is shown as typed, in the unit it needs, and kept as typed.
QString TDlgSetup::UpDownRecIntervalTyped(const QString& text) {
    QString error;
    const std::optional<SpinState> state =
        typedRecInterval(text, spinState(*UpDownRecInterval, *lbRecInt), &error);
    if (!state) {
        return error;
    }
    auto handler = std::exchange(UpDownRecInterval->onChangingEx, nullptr);
    setSpinState(*UpDownRecInterval, *lbRecInt, *state);
    UpDownRecInterval->onChangingEx = std::move(handler);
    heldRecInterval_.release();
    return {};
}

QString TDlgSetup::UpDownDiskSpaceTyped(const QString& text) {
    QString error;
    const std::optional<SpinState> state =
        typedDiskSpace(text, spinState(*UpDownDiskSpace, *lbMaxSpace), &error);
    if (!state) {
        return error;
    }
    auto handler = std::exchange(UpDownDiskSpace->onChangingEx, nullptr);
    setSpinState(*UpDownDiskSpace, *lbMaxSpace, *state);
    UpDownDiskSpace->onChangingEx = std::move(handler);
    heldDiskSpace_.release();
    return {};
}

void TDlgSetup::holdValues(int recInterval_ms, int maxDiskspace_MB) {
    heldRecInterval_.hold(recInterval_ms, spinState(*UpDownRecInterval, *lbRecInt));
    heldDiskSpace_.hold(maxDiskspace_MB, spinState(*UpDownDiskSpace, *lbMaxSpace));
}

int TDlgSetup::recIntervalAfterOk(int fromSpin_ms) const {
    return heldRecInterval_.afterOk(spinState(*UpDownRecInterval, *lbRecInt), fromSpin_ms);
}

int TDlgSetup::maxDiskspaceAfterOk(int fromSpin_MB) const {
    return heldDiskSpace_.afterOk(spinState(*UpDownDiskSpace, *lbMaxSpace), fromSpin_MB);
}

void TDlgSetup::accept() {
    for (UpDownSpin* spin : findChildren<UpDownSpin*>()) {
        // The hidden upload page carries its values without asking.
        const bool shown =
            PageControl1->isTabVisible(PageControl1->indexOf(tsFTP)) || !tsFTP->isAncestorOf(spin);
        if (shown && !spin->commitTyped()) {
            const QString why = spin->typedError();
            for (QWidget* page : {tsGeneral, tsFTP, tsDetector, tsFilms}) {
                if (page->isAncestorOf(spin)) {
                    PageControl1->setCurrentWidget(page);
                }
            }
            QMessageBox::warning(this, u"Kestrelvision"_s, why);
            spin->setFocus();
            spin->selectAll();
            return;
        }
    }
    const bool clockWindow = CBStartAt->currentIndex() == 0 && CBStopAt->currentIndex() == 0;
    if (clockWindow &&
        recordWindowIsEmpty(cbTimer->isChecked(), dtPickStart->time(), dtPickStop->time())) {
        PageControl1->setCurrentWidget(tsGeneral);
        QMessageBox::warning(
            this, u"Kestrelvision"_s,
            tr("The recording time starts and stops at %1, so nothing would ever be "
               "recorded.\n\nChoose a stop time other than the start time, or switch off "
               "\"Record Time\".")
                .arg(dtPickStart->time().toString(u"HH:mm:ss"_s)));
        dtPickStop->setFocus();
        return;
    }
    if (cbTimer->isChecked()) {
        const QString problem = kv::session::windowProblem(windowSettingsOf(*this));
        if (!problem.isEmpty()) {
            PageControl1->setCurrentWidget(tsGeneral);
            QMessageBox::warning(this, u"Kestrelvision"_s, problem);
            (edLatitude->text().isEmpty() ? static_cast<QWidget*>(edLatitude) : CBStartAt)
                ->setFocus();
            return;
        }
    }
    QDialog::accept();
}

void TDlgSetup::BtnSelectAVIPathClick() {
    const QString current = edAVIPath->text();
    FolderDialog->setDirectory(QDir(current).exists() ? current : QDir::homePath());
    if (FolderDialog->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList folders = FolderDialog->selectedFiles();
    if (!folders.isEmpty()) {
        edAVIPath->setText(QDir::cleanPath(folders.first()) + u'/');
    }
}

void TDlgSetup::BtnSelectFileClick() {
    OpenDialog->selectFile(edSoundFileName->text());
    if (OpenDialog->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList files = OpenDialog->selectedFiles();
    if (!files.isEmpty()) {
        edSoundFileName->setText(files.first());
    }
}
