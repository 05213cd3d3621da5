#include "web/day_json.h"

#include "review/day_activity.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace kv::web {

namespace {

// The activity graph in minutes: the page draws 1440 columns, not 86,400 frames.
constexpr int kColumns = 1440;

review::DayCache& dayCache() {
    static review::DayCache cache;
    return cache;
}

QString nameOf(const QString& path) {
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QStringLiteral(".avi"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    return name;
}

}  // namespace

std::optional<QByteArray> daysJson(const QString& aviPath) {
    const review::FolderDays folder = review::listDays(aviPath);
    QJsonArray days;
    for (const auto& [day, files] : folder.days) {
        days.append(QJsonObject{{QStringLiteral("day"), day.toString(Qt::ISODate)},
                                {QStringLiteral("recordings"), qint64(files.size())}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("days"), days}})
        .toJson(QJsonDocument::Compact);
}

std::optional<QByteArray> dayJson(const QString& aviPath, QDate day) {
    const review::FolderDays folder = review::listDays(aviPath);
    const review::DayActivity activity = review::readDay(folder, day, &dayCache());
    const std::vector<int> columns =
        review::columnPeaks(activity.frames, activity.dayStart_ms, activity.dayEnd_ms, kColumns);
    QJsonArray graph;
    for (const int value : columns) {
        graph.append(value);
    }
    QJsonArray recordings;
    for (const review::DayRecording& r : activity.recordings) {
        recordings.append(QJsonObject{{QStringLiteral("name"), nameOf(r.path)},
                                      {QStringLiteral("from"), r.from_ms},
                                      {QStringLiteral("to"), r.to_ms},
                                      {QStringLiteral("frames"), r.frames},
                                      {QStringLiteral("journal"), r.journal}});
    }
    QJsonArray movements;
    for (const review::MovementSpan& m : activity.movements) {
        QJsonObject movement{{QStringLiteral("from"), m.from_ms}, {QStringLiteral("to"), m.to_ms}};
        if (m.firstFrame < activity.frames.size()) {
            const review::DayFrame& first = activity.frames[m.firstFrame];
            if (first.recording >= 0 && std::size_t(first.recording) < activity.recordings.size()) {
                movement.insert(QStringLiteral("recording"),
                                nameOf(activity.recordings[std::size_t(first.recording)].path));
                movement.insert(QStringLiteral("frame"), first.frame);
            }
        }
        movements.append(movement);
    }
    const QDate previous = folder.previousDay(day);
    const QDate next = folder.nextDay(day);
    const QJsonObject object{
        {QStringLiteral("day"), day.toString(Qt::ISODate)},
        {QStringLiteral("dayStart"), activity.dayStart_ms},
        {QStringLiteral("dayEnd"), activity.dayEnd_ms},
        {QStringLiteral("trigger"), activity.trigger},
        {QStringLiteral("activity"), graph},
        {QStringLiteral("recordings"), recordings},
        {QStringLiteral("movements"), movements},
        {QStringLiteral("previousDay"),
         previous.isValid() ? previous.toString(Qt::ISODate) : QString()},
        {QStringLiteral("nextDay"), next.isValid() ? next.toString(Qt::ISODate) : QString()},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(activity.warnings)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace kv::web
