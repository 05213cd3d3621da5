#include "app/setup_exchange.h"

#include "record/record_files.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>

#include <utility>

using namespace Qt::StringLiterals;

namespace kv::app {

using dialogs::SpinState;
using dialogs::UpDownSpin;

namespace {

SpinState clamped(SpinState state) {
    state.position = qBound(state.minimum, state.position, state.maximum);
    return state;
}

// Sets a spin's units and limits with its change handler detached.
void setDetached(UpDownSpin& spin, QLabel& unit, const SpinState& state) {
    auto handler = std::exchange(spin.onChangingEx, nullptr);
    dialogs::setSpinState(spin, unit, state);
    spin.onChangingEx = std::move(handler);
}

}  // namespace

SpinState diskSpaceSpin(int maxDiskspace_MB, const SpinState& current) {
    SpinState spin = current;
    if (maxDiskspace_MB > 1000) {
        spin.unit = u"GB"_s;
        spin.step = 1;
        spin.position = maxDiskspace_MB / 1000;
    } else {
        spin.unit = u"MB"_s;
        spin.step = 50;
        spin.position = maxDiskspace_MB;
    }
    return clamped(spin);
}

int diskSpaceFromSpin(const SpinState& spin) {
    return spin.unit == u"GB"_s ? spin.position * 1000 : spin.position;
}

SpinState recIntervalSpin(int recInterval_ms, const SpinState& current) {
    SpinState spin = current;
    if (recInterval_ms > 10000) {
        spin.unit = u"s"_s;
        spin.step = 1;
        spin.minimum = 10;
        spin.maximum = 10000;
        spin.position = recInterval_ms / 1000;
    } else {
        spin.unit = u"ms"_s;
        spin.step = 100;
        spin.minimum = 100;
        spin.position = recInterval_ms;
    }
    return clamped(spin);
}

int recIntervalFromSpin(const SpinState& spin) {
    return spin.unit == u"s"_s ? spin.position * 1000 : spin.position;
}

void copySettingsToSetup(const session::Settings& settings, TDlgSetup& dialog) {
    setDetached(*dialog.UpDownDiskSpace, *dialog.lbMaxSpace,
                diskSpaceSpin(settings.MaxDiskspace,
                              dialogs::spinState(*dialog.UpDownDiskSpace, *dialog.lbMaxSpace)));

    dialog.cbTimer->setChecked(settings.RecUseTimer);
    dialog.dtPickStart->setTime(session::timeFromDayFraction(settings.RecStartTime));
    dialog.dtPickStop->setTime(session::timeFromDayFraction(settings.RecStopTime));
    dialog.CBStartAt->setCurrentIndex(settings.RecStartAt);
    dialog.CBStopAt->setCurrentIndex(settings.RecStopAt);
    dialog.UpDownStartOffset->setValue(settings.RecStartOffset);
    dialog.UpDownStopOffset->setValue(settings.RecStopOffset);
    dialog.edLatitude->setText(settings.Latitude);
    dialog.edLongitude->setText(settings.Longitude);
    dialog.UpDownIdleInterval->setValue(settings.IdleInterval);
    dialog.CBDailyFilm->setChecked(settings.DailyFilm);
    dialog.UpDownFilmLength->setValue(settings.FilmLength);
    dialog.CBFilmPace->setCurrentIndex(settings.FilmPace);
    dialog.CBFilmDeflicker->setChecked(settings.FilmDeflicker);
    dialog.CBFilmFormat->setCurrentIndex(settings.FilmFormat);

    setDetached(*dialog.UpDownRecInterval, *dialog.lbRecInt,
                recIntervalSpin(settings.RecInterval,
                                dialogs::spinState(*dialog.UpDownRecInterval, *dialog.lbRecInt)));
    // The spins show these rounded; OK gives back what the user did not change.
    dialog.holdValues(settings.RecInterval, settings.MaxDiskspace);

    dialog.UpDownRecPostFrames->setValue(settings.PostRecFrames);
    dialog.UpDownRecPreFrames->setValue(settings.PreRecFrames);
    dialog.CBDetector->setCurrentIndex(settings.Detector == 1 ? 1 : 0);
    dialog.CBNotifyOnMove->setChecked(settings.NotifyOnMove);
    dialog.CBNotifyOnCamera->setChecked(settings.NotifyOnCamera);
    dialog.CBNotifyOnWriteError->setChecked(settings.NotifyOnWriteError);

    dialog.CBPlaySoundOnMove->setChecked(settings.PlaySoundOnMove);
    dialog.edSoundFileName->setText(settings.SoundFileName);
    dialog.edAVIPath->setText(settings.AVIPath);
    dialog.CBShowWndOnMove->setChecked(settings.ShowWndOnMove);

    dialog.CBFTP->setChecked(settings.FTPActive);
    dialog.UpDnMaxFTPFrames->setValue(settings.FTPMaxFrames);
    dialog.RBUseLAN->setChecked(true);
    if (settings.UseRAS) {
        dialog.RBUseRAS->setChecked(true);
    }
    const int entry = dialog.CBRASEntries->findText(settings.RASEntry, Qt::MatchExactly);
    if (entry >= 0) {
        dialog.CBRASEntries->setCurrentIndex(entry);
    }
    dialog.CBUseExisting->setChecked(settings.UseActiveOnly);
    dialog.edFTPHost->setText(settings.Host);
    dialog.edFTPUser->setText(settings.User);
    dialog.edFTPPass->setText(settings.Pass);
    dialog.edFTPPath->setText(settings.Path);
}

void copySetupToSettings(const TDlgSetup& dialog, session::Settings& settings) {
    settings.MaxDiskspace = dialog.maxDiskspaceAfterOk(
        diskSpaceFromSpin(dialogs::spinState(*dialog.UpDownDiskSpace, *dialog.lbMaxSpace)));

    settings.RecUseTimer = dialog.cbTimer->isChecked();
    settings.RecStartTime = session::dayFractionFromTime(dialog.dtPickStart->time());
    settings.RecStopTime = session::dayFractionFromTime(dialog.dtPickStop->time());
    settings.RecStartAt = dialog.CBStartAt->currentIndex();
    settings.RecStopAt = dialog.CBStopAt->currentIndex();
    settings.RecStartOffset = dialog.UpDownStartOffset->value();
    settings.RecStopOffset = dialog.UpDownStopOffset->value();
    settings.Latitude = dialog.edLatitude->text().trimmed();
    settings.Longitude = dialog.edLongitude->text().trimmed();
    settings.IdleInterval = dialog.UpDownIdleInterval->value();
    settings.DailyFilm = dialog.CBDailyFilm->isChecked();
    settings.FilmLength = dialog.UpDownFilmLength->value();
    settings.FilmPace = dialog.CBFilmPace->currentIndex();
    settings.FilmDeflicker = dialog.CBFilmDeflicker->isChecked();
    settings.FilmFormat = dialog.CBFilmFormat->currentIndex();

    settings.RecInterval = dialog.recIntervalAfterOk(
        recIntervalFromSpin(dialogs::spinState(*dialog.UpDownRecInterval, *dialog.lbRecInt)));
    settings.PostRecFrames = dialog.UpDownRecPostFrames->value();
    settings.PreRecFrames = dialog.UpDownRecPreFrames->value();
    settings.Detector = dialog.CBDetector->currentIndex() == 1 ? 1 : 0;
    settings.NotifyOnMove = dialog.CBNotifyOnMove->isChecked();
    settings.NotifyOnCamera = dialog.CBNotifyOnCamera->isChecked();
    settings.NotifyOnWriteError = dialog.CBNotifyOnWriteError->isChecked();

    settings.PlaySoundOnMove = dialog.CBPlaySoundOnMove->isChecked();
    settings.SoundFileName = dialog.edSoundFileName->text();
    if (!dialog.edAVIPath->text().isEmpty()) {
        settings.AVIPath = record::recordingFolder(dialog.edAVIPath->text());
    }
    settings.ShowWndOnMove = dialog.CBShowWndOnMove->isChecked();

    settings.FTPActive = dialog.CBFTP->isChecked();
    settings.FTPMaxFrames = dialog.UpDnMaxFTPFrames->value();
    settings.UseRAS = dialog.RBUseRAS->isChecked();
    settings.RASEntry =
        dialog.CBRASEntries->currentIndex() >= 0 ? dialog.CBRASEntries->currentText() : QString();
    settings.UseActiveOnly = dialog.CBUseExisting->isChecked();
    settings.Host = dialog.edFTPHost->text();
    settings.User = dialog.edFTPUser->text();
    settings.Pass = dialog.edFTPPass->text();
    settings.Path = dialog.edFTPPath->text();
}

}  // namespace kv::app
