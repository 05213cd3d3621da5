#include "tests/support/avi_probe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace kv::test {

AviProbe probeAvi(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
         QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=nb_read_frames,r_frame_rate,codec_name,width,height"),
         QStringLiteral("-of"), QStringLiteral("json"), path});
    AviProbe probe;
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0) {
        return probe;
    }
    const QJsonArray streams = QJsonDocument::fromJson(ffprobe.readAllStandardOutput())
                                   .object()
                                   .value(QStringLiteral("streams"))
                                   .toArray();
    if (streams.isEmpty()) {
        return probe;
    }
    const QJsonObject stream = streams.first().toObject();
    probe.ok = true;
    probe.frames = stream.value(QStringLiteral("nb_read_frames")).toString().toInt();
    probe.frameRate = stream.value(QStringLiteral("r_frame_rate")).toString();
    probe.codec = stream.value(QStringLiteral("codec_name")).toString();
    probe.width = stream.value(QStringLiteral("width")).toInt();
    probe.height = stream.value(QStringLiteral("height")).toInt();
    return probe;
}

bool hasIdx1(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("idx1");
}

void answerNextModal(std::function<void(QWidget*)> answer, int timeout_ms) {
    auto* timer = new QTimer(qApp);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, waited, answer, timeout_ms] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->deleteLater();
            timer->stop();
            answer(modal);
        } else if (waited->elapsed() > timeout_ms) {
            timer->deleteLater();
            timer->stop();
        }
    });
    timer->start(20);
}

}  // namespace kv::test
