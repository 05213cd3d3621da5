#pragma once

// The frames of a span of time: every recording of ours in the recording
// folder whose frames fall in [from, to], each frame with the moment it was
// taken, in capture order; and the choice of the frames a film of a given
// length shows.

#include "film/avi_frames.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace kv::film {

struct SpanRecording {
    QString path;
    AviFrames avi;
};

struct SpanFrame {
    qint64 time_ms = 0;  // since the epoch
    int recording = 0;   // into Span::recordings
    qint64 frame = 0;    // the frame's position in its recording
};

struct Span {
    std::vector<SpanRecording> recordings;  // only those with a frame in the span
    std::vector<SpanFrame> frames;          // in capture order
    QStringList warnings;                   // recordings skipped, and why
};

// Reads the recordings of the folder (AVIPath as the recorder uses it) that
// may hold frames of [from, to] (by the date in their name), their indexes
// and journals. Frames the journal does not list are timed by the file's
// own clock (record::fileClock). A recording without a journal
// line for its later frames, and without an index, is being written or was
// cut off: only the frames the journal lists are taken. Damaged or
// unreadable recordings are left out with a warning. Reads, never writes.
Span gatherSpan(const QString& aviPath, const QDateTime& from, const QDateTime& to);

enum class Pace {
    Frames,  // every k-th recorded frame: busy hours take more of the film
    Clock,   // one frame per equal slice of wall time: the film's clock runs steadily
};

// The frames a film of `count` frames shows, as indexes into `times_ms` (the
// capture times of the span's frames, ascending), in order. count <= 0 or at
// least the number of frames (pace Frames) takes every frame. Pace Clock cuts
// [from_ms, to_ms] into count equal slices and takes for each the recorded
// frame nearest its middle when one lies in the slice, else the frame of the
// slice before (held); slices before the first frame take the first.
std::vector<std::size_t> chooseFrames(const std::vector<qint64>& times_ms, qint64 from_ms,
                                      qint64 to_ms, int count, Pace pace);

}  // namespace kv::film
