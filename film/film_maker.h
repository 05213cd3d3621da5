#pragma once

// Films: one video file of a span of time, made from the recordings of ours
// in the recording folder and their journals.
//
//   film::FilmMaker maker;
//   maker.setProgress([](qint64 done, qint64 total) { ... });   // optional
//   film::FilmResult r = maker.make(request);   // blocks: call it on a worker thread
//   maker.cancel();                             // from any thread, or a signal handler
//
// make() reads the span's recordings (see gatherSpan), chooses the frames
// (see chooseFrames), decodes only those (intra-only recordings straight from
// the chunks the AVI index names; others from the key frame before), evens
// out their brightness (deflicker), letterboxes every frame to the size of the
// first, and encodes them at 25 frames/s into a new file: MP4 (H.264 high
// profile, 4:2:0, the index at the front) or AVI with the compressor of the
// first recording. The film goes to "Films/" beside the recordings, named
// after the span ("2026-12-08.mp4", "2026-12-08 06-00 to 09-30.mp4"), and
// never replaces a file: " (2)", " (3)" ... are added. A failure or a cancel
// removes the partial film. Nothing of the recordings is changed. Memory stays
// bounded whatever the span's length (a few decoded frames, and a few bytes per
// recorded frame for the span's list). No wait is without a time-out.

#include "film/film_span.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace kv::film {

inline constexpr int kFilmFramesPerSecond = 25;

enum class FilmFormat { Mp4, Avi };

struct FilmRequest {
    QString folder;  // the recording folder: AVIPath as the recorder uses it
    QDateTime from;  // the span, both ends included
    QDateTime to;
    int lengthSeconds = 60;  // the film's length; 0 or less: every frame of the span
    Pace pace = Pace::Frames;
    bool deflicker = true;
    FilmFormat format = FilmFormat::Mp4;
    QString outputPath;  // empty: Films/<name after the span>.<mp4|avi> in the folder
};

struct FilmResult {
    bool ok = false;
    bool nothingRecorded = false;  // no frame of ours in the span: no film, no file
    bool cancelled = false;
    QString path;       // the film made
    qint64 frames = 0;  // in the film
    double duration_s = 0;
    int recordings = 0;    // recordings the frames came from
    QStringList warnings;  // recordings skipped or frames lost, and why
    QString error;         // one line, when not ok
};

class FilmMaker {
  public:
    // done of total frames of the film; called on make()'s thread, at most
    // about ten times a second, and once at the end.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    void setProgress(Progress progress) { progress_ = std::move(progress); }
    FilmResult make(const FilmRequest& request);
    // Ends a make() in progress soon, removing its partial film. Safe from
    // any thread and from a signal handler. A cancelled maker stays so: use
    // one maker per film.
    void cancel() { cancelled_.store(true); }

  private:
    Progress progress_;
    std::atomic<bool> cancelled_{false};
};

// The folder films go to: "Films" beside the recordings.
QString filmsFolder(const QString& aviPath);

// The file name of a film of [from, to]: "2026-12-08.mp4" for a whole day,
// "2026-12-08 to 2026-12-10.mp4" for whole days, "2026-12-08 06-00 to
// 09-30.mp4" within a day, "2026-12-08 22-00 to 2026-12-09 06-00.mp4" across
// midnight. A span that ends at 23:59 or later, or at 00:00 of the next day,
// ends with its day.
QString filmFileName(const QDateTime& from, const QDateTime& to, FilmFormat format);

}  // namespace kv::film
