#pragma once

// Running recorded footage through a movement detector, without a window:
// `kestrelvision --analyse FILE [--mask MASK.bmp] [--detector classic|robust]
// [--trigger N] [--plot OUT.png]`. Every frame of any video GStreamer reads is
// measured against the one before, as the recorder measures frames one
// recording interval apart; the journal lines go to standard output, so that
// a user can pick a trigger from footage of the real scene.

#include "capture/robust_motion.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <vector>

namespace kv::session {

struct AnalysisOptions {
    QString file;
    QString mask;  // empty: every cell watched
    capture::Detector detector = capture::Detector::Classic;
    int trigger = 25000;
    QString plot;  // empty: no plot
};

// The options after "--analyse"; nothing, with the reason, when they are wrong.
std::optional<AnalysisOptions> parseAnalysisArguments(const QStringList& arguments, QString* error);

// Measures every frame and writes the journal to out, progress and errors to
// err. Returns the program's exit code: 0 done, 1 the file could not be read,
// 2 the plot could not be written.
int analyseFootage(const AnalysisOptions& options, std::FILE* out, std::FILE* err);

// The motion of every frame as a graph with the trigger as a line and the
// frames above it shaded; false, with the reason, when the file cannot be
// written. An existing file is replaced only when it is a regular file of the
// user's, never through a link.
bool plotMotion(const std::vector<int>& motion, int trigger, const QString& title,
                const QString& png, QString* why = nullptr);

// Whether png may be written: missing, or a regular file of the user's.
bool plotTargetUsable(const QString& png, QString* why);

}  // namespace kv::session
