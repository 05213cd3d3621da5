#pragma once

// Carries the settings into the settings dialog before it opens and back out
// when it closes with OK. The dialog itself persists nothing.

#include "dialogs/Dlgeinstellung.h"
#include "session/settings.h"

namespace kv::app {

// The disk space spin for a limit in MB: "GB" above 1000 MB (whole GB), else
// "MB" in steps of 50; the spin's limits stay.
dialogs::SpinState diskSpaceSpin(int maxDiskspace_MB, const dialogs::SpinState& current);
// The limit in MB that a disk space spin shows.
int diskSpaceFromSpin(const dialogs::SpinState& spin);

// The interval spin for an interval in ms: "s" (10..10000) above 10000 ms, whole
// seconds; else "ms" in steps of 100 from 100, the maximum as it was.
dialogs::SpinState recIntervalSpin(int recInterval_ms, const dialogs::SpinState& current);
// The interval in ms that an interval spin shows.
int recIntervalFromSpin(const dialogs::SpinState& spin);

// Before showing: disk space, record time window, interval, post-record frames,
// movement reactions and the upload values into the controls.
void copySettingsToSetup(const session::Settings& settings, TDlgSetup& dialog);

// After OK: the controls back into the settings, except the frame hand-off's
// spacing, which the caller sets to RecInterval when Mode is not 0.
void copySetupToSettings(const TDlgSetup& dialog, session::Settings& settings);

}  // namespace kv::app
