#include "review/day_loader.h"

#include <QMetaObject>

#include <pthread.h>

namespace kv::review {

DayLoader::DayLoader(QObject* parent) : QObject(parent) {
    qRegisterMetaType<std::shared_ptr<const FolderDays>>();
    qRegisterMetaType<std::shared_ptr<const DayActivity>>();
    worker_ = std::thread(&DayLoader::run, this);
}

DayLoader::~DayLoader() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        dropDay_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void DayLoader::listFolder(const QString& aviPath) {
    {
        const std::lock_guard lock(mutex_);
        listWanted_ = aviPath;
        ++listAsked_;
    }
    wake_.notify_one();
}

void DayLoader::loadDay(const QString& aviPath, QDate day) {
    {
        const std::lock_guard lock(mutex_);
        dayWanted_ = std::make_pair(aviPath, day);
        ++dayAsked_;
        dropDay_ = true;
    }
    wake_.notify_one();
}

void DayLoader::run() {
    ::pthread_setname_np(::pthread_self(), "kv-day-loader");
    for (;;) {
        std::optional<QString> list;
        std::optional<std::pair<QString, QDate>> day;
        quint64 asked = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || listWanted_ || dayWanted_; });
            if (quit_) {
                return;
            }
            // A listing first: the day asked after it may need it.
            if (listWanted_) {
                list = std::exchange(listWanted_, std::nullopt);
                asked = listAsked_;
            } else {
                day = std::exchange(dayWanted_, std::nullopt);
                asked = dayAsked_;
                dropDay_ = false;
            }
        }
        if (list) {
            listed_ = std::make_shared<const FolderDays>(listDays(*list));
            listedPath_ = *list;
            QMetaObject::invokeMethod(
                this,
                [this, asked, days = listed_] {
                    std::unique_lock lock(mutex_);
                    if (asked == listAsked_) {
                        lock.unlock();
                        Q_EMIT daysListed(days);
                    }
                },
                Qt::QueuedConnection);
            continue;
        }
        if (!listed_ || listedPath_ != day->first) {
            listed_ = std::make_shared<const FolderDays>(listDays(day->first));
            listedPath_ = day->first;
        }
        auto activity =
            std::make_shared<const DayActivity>(readDay(*listed_, day->second, &cache_, &dropDay_));
        if (dropDay_) {
            continue;  // a newer day is waiting; this one may be cut short
        }
        QMetaObject::invokeMethod(
            this,
            [this, asked, activity = std::move(activity)] {
                std::unique_lock lock(mutex_);
                if (asked == dayAsked_) {
                    lock.unlock();
                    Q_EMIT dayLoaded(activity);
                }
            },
            Qt::QueuedConnection);
    }
}

}  // namespace kv::review
