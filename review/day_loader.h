#pragma once

// Reads the folder's days and a day's activity on a worker thread of its
// own, never on the caller's, and reports on the thread the loader lives in.
// The newest request of each kind wins: older ones still waiting are
// dropped, a day being read is given up, and no result of an older request
// is delivered.

#include "review/day_activity.h"
#include "review/folder_days.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace kv::review {

class DayLoader : public QObject {
    Q_OBJECT

  public:
    explicit DayLoader(QObject* parent = nullptr);
    // Waits for the worker, which stops between two recordings.
    ~DayLoader() override;

    // Lists the folder's days: daysListed follows.
    void listFolder(const QString& aviPath);
    // Reads one day: dayLoaded follows. Uses the folder's last listing (made
    // first when there is none): listFolder again to see new recordings.
    void loadDay(const QString& aviPath, QDate day);

    // The journals read, kept across days.
    DayCache& cache() { return cache_; }

  Q_SIGNALS:
    void daysListed(std::shared_ptr<const kv::review::FolderDays> days);
    void dayLoaded(std::shared_ptr<const kv::review::DayActivity> day);

  private:
    void run();

    // --- shared between the loader's thread and the worker, under mutex_
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<QString> listWanted_;
    std::optional<std::pair<QString, QDate>> dayWanted_;
    quint64 listAsked_ = 0;  // the newest request of each kind
    quint64 dayAsked_ = 0;
    bool quit_ = false;
    std::atomic<bool> dropDay_{false};  // the day being read is no longer wanted

    // --- thread-safe itself
    DayCache cache_;

    // --- only the worker
    std::shared_ptr<const FolderDays> listed_;
    QString listedPath_;

    std::thread worker_;  // last: starts when the rest is ready
};

}  // namespace kv::review

Q_DECLARE_METATYPE(std::shared_ptr<const kv::review::FolderDays>)
Q_DECLARE_METATYPE(std::shared_ptr<const kv::review::DayActivity>)
