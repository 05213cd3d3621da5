#pragma once

// A film made on a thread of its own, for callers on the event loop: the
// progress and the result come back as signals on the thread this object
// lives on; nothing here waits on the film, except stop(), for a bounded time.

#include "film/film_maker.h"

#include <QMetaType>
#include <QObject>

#include <functional>
#include <memory>
#include <thread>

namespace kv::film {

class FilmRun : public QObject {
    Q_OBJECT
  public:
    // Runs on the film's thread once the film is made, to finish it there
    // (a rename, say); it may change the result.
    using After = std::function<void(FilmResult&)>;

    explicit FilmRun(QObject* parent = nullptr);
    ~FilmRun() override;

    // Starts the film; false when one is being made. lowPriority gives the
    // thread the lowest CPU priority and the idle I/O class (per thread on
    // Linux; the encoder's threads inherit them).
    bool start(const FilmRequest& request, bool lowPriority, After after = {});
    // Ends the film soon; finished() follows with result.cancelled.
    void cancel();
    // Cancels and waits for the thread at most wait_ms; a thread that overruns
    // is left to end with the program. No signal follows.
    void stop(int wait_ms = 5000);
    bool running() const { return job_ != nullptr; }

  Q_SIGNALS:
    void progress(qint64 done, qint64 total);
    void finished(const kv::film::FilmResult& result);

  private:
    struct Job;
    void done(const FilmResult& result);

    std::shared_ptr<Job> job_;
    std::thread thread_;
};

}  // namespace kv::film

Q_DECLARE_METATYPE(kv::film::FilmResult)
