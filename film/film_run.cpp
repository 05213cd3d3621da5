#include "film/film_run.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kv::film {

namespace {

void lowerPriority() {
    ::setpriority(PRIO_PROCESS, id_t(::gettid()), 19);
    constexpr int kWhoProcess = 1;
    constexpr int kClassIdle = 3;
    ::syscall(SYS_ioprio_set, kWhoProcess, 0, kClassIdle << 13);
}

}  // namespace

// What the film's thread shares with its owner. The owner leaves (owner =
// nullptr) when it stops; the thread then posts nothing more.
struct FilmRun::Job {
    FilmMaker maker;
    int id = 0;
    std::mutex mutex;
    std::condition_variable ended;
    FilmRun* owner = nullptr;  // --- these two under mutex
    bool over = false;

    // f(owner) on the owner's thread, unless the owner has left this job by then.
    template <typename F>
    void post(F f) {
        std::lock_guard lock(mutex);
        if (owner) {
            QMetaObject::invokeMethod(
                owner,
                [o = owner, id = id, f = std::move(f)] {
                    if (o->job_ && o->job_->id == id) {
                        f(o);
                    }
                },
                Qt::QueuedConnection);
        }
    }
};

FilmRun::FilmRun(QObject* parent) : QObject(parent) {
    qRegisterMetaType<FilmResult>();
}

FilmRun::~FilmRun() {
    stop();
}

bool FilmRun::start(const FilmRequest& request, bool lowPriority, After after) {
    if (job_) {
        return false;
    }
    static int jobs = 0;
    auto job = std::make_shared<Job>();
    job->id = ++jobs;
    job->owner = this;
    job->maker.setProgress([raw = job.get()](qint64 done, qint64 total) {
        raw->post([done, total](FilmRun* o) { Q_EMIT o->progress(done, total); });
    });
    job_ = job;
    thread_ = std::thread([job, request, lowPriority, after = std::move(after)] {
        if (lowPriority) {
            lowerPriority();
        }
        FilmResult result = job->maker.make(request);
        if (after) {
            after(result);
        }
        job->post([result](FilmRun* o) { o->done(result); });
        std::lock_guard lock(job->mutex);
        job->over = true;
        job->ended.notify_all();
    });
    return true;
}

void FilmRun::cancel() {
    if (job_) {
        job_->maker.cancel();
    }
}

void FilmRun::done(const FilmResult& result) {
    if (thread_.joinable()) {
        thread_.join();  // it only has to leave after posting this
    }
    job_.reset();
    Q_EMIT finished(result);
}

void FilmRun::stop(int wait_ms) {
    if (!job_) {
        return;
    }
    job_->maker.cancel();
    {
        std::unique_lock lock(job_->mutex);
        job_->owner = nullptr;
        if (!job_->ended.wait_for(lock, std::chrono::milliseconds(wait_ms),
                                  [this] { return job_->over; })) {
            thread_.detach();
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    job_.reset();
}

}  // namespace kv::film
