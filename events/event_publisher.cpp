#include "events/event_publisher.h"

#include "events/mqtt_client.h"
#include "media/frame.h"
#include "media/redact.h"
#include "session/recording_session.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QTimer>

#include <cstdlib>

Q_LOGGING_CATEGORY(lcEvents, "kv.events", QtInfoMsg)

namespace kv::events {

namespace {

QString modeName(int mode) {
    switch (mode) {
        case 0:
            return QStringLiteral("Off");
        case 1:
            return QStringLiteral("On");
        default:
            return QStringLiteral("On movement");
    }
}

// Wildcards and separators have no place in a topic level of ours.
QString topicLevel(const QString& text) {
    QString level;
    for (const QChar c : text) {
        level += (c == u'+' || c == u'#' || c == u'/' || c.category() == QChar::Other_Control)
                     ? QChar(u'_')
                     : c;
    }
    return level;
}

bool mqttDiffers(const session::Settings& a, const session::Settings& b) {
    return a.MQTTHost != b.MQTTHost || a.MQTTPort != b.MQTTPort || a.MQTTUser != b.MQTTUser ||
           a.MQTTPassword != b.MQTTPassword || a.MQTTTLS != b.MQTTTLS ||
           a.MQTTCAFile != b.MQTTCAFile || a.MQTTTopic != b.MQTTTopic ||
           a.MQTTKeepalive != b.MQTTKeepalive || a.MQTTDiscovery != b.MQTTDiscovery ||
           a.MQTTAllowCommands != b.MQTTAllowCommands;
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

QString eventTime(const QDateTime& time) {
    // The offset always written out, "+00:00" too: Qt would write "Z".
    const int offset_s = time.offsetFromUtc();
    const int minutes = std::abs(offset_s) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset_s < 0 ? QStringLiteral("-") : QStringLiteral("+"))
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString discoveryId(const QString& prefix) {
    QString id;
    for (const QChar c : prefix) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
        id += plain ? c : QChar(u'_');
    }
    return id;
}

QString EventPublisher::defaultPrefix(const QString& instanceSuffix) {
    QString prefix = QStringLiteral("kestrelvision/") + topicLevel(QSysInfo::machineHostName());
    if (!instanceSuffix.isEmpty()) {
        prefix += u'/' + topicLevel(instanceSuffix);
    }
    return prefix;
}

EventPublisher::EventPublisher(session::RecordingSession& session, const QString& instanceSuffix,
                               std::function<void(int)> setMode, QObject* parent,
                               int commandLimit_ms)
    : QObject(parent),
      session_(session),
      suffix_(instanceSuffix),
      setMode_(std::move(setMode)),
      command_(new EventCommand(commandLimit_ms, this)),
      stateTimer_(new QTimer(this)) {
    stateTimer_->setSingleShot(true);
    connect(stateTimer_, &QTimer::timeout, this, &EventPublisher::publishState);
    connectSession();
    // It follows the session's settings, and says goodbye before the program ends.
    connect(&session_, &session::RecordingSession::settingsApplied, this,
            [this] { apply(session_.settings()); });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &EventPublisher::stop);
    }
    apply(session_.settings());
}

EventPublisher::~EventPublisher() {
    stop();
}

void EventPublisher::setStateProvider(std::function<QByteArray()> provider) {
    stateProvider_ = std::move(provider);
}

bool EventPublisher::connected() const {
    return client_ && client_->connected();
}

void EventPublisher::apply(const session::Settings& settings) {
    const bool changed = !applied_ || mqttDiffers(settings_, settings);
    settings_ = settings;
    applied_ = true;
    command_->setCommand(settings.OnEventCommand);
    if (!changed) {
        return;
    }
    stop();
    const QString host = settings.MQTTHost.trimmed();
    if (host.isEmpty()) {
        return;
    }
    prefix_ = settings.MQTTTopic.trimmed();
    while (prefix_.endsWith(u'/')) {
        prefix_.chop(1);
    }
    if (prefix_.contains(u'+') || prefix_.contains(u'#')) {
        qCWarning(lcEvents).noquote() << "the MQTT topic" << media::sanitizedText(prefix_)
                                      << "holds a wildcard: the default prefix is used";
        prefix_.clear();
    }
    if (prefix_.isEmpty()) {
        prefix_ = defaultPrefix(suffix_);
    }

    client_ = new MqttClient(this);
    connect(client_, &MqttClient::messageReceived, this, &EventPublisher::onCommand);
    client_->publish(topic(QStringLiteral("availability")), QByteArrayLiteral("online"), true);
    client_->publish(topic(QStringLiteral("motion")), QByteArrayLiteral("OFF"), true);
    if (settings.MQTTAllowCommands) {
        client_->setSubscriptions({topic(QStringLiteral("set/mode"))});
    }
    publishDiscovery();
    lastState_.clear();
    publishState();

    MqttConfig config;
    config.host = host;
    config.port = settings.MQTTPort;
    config.user = settings.MQTTUser;
    config.password = settings.MQTTPassword;
    config.tls = settings.MQTTTLS;
    config.caFile = settings.MQTTCAFile;
    config.keepalive_s = settings.MQTTKeepalive;
    config.willTopic = topic(QStringLiteral("availability"));
    if (!client_->start(config)) {
        delete client_;
        client_ = nullptr;
    }
}

void EventPublisher::stop() {
    if (client_) {
        client_->stop();
        delete client_;
        client_ = nullptr;
    }
}

void EventPublisher::connectSession() {
    using session::RecordingSession;
    connect(&session_, &RecordingSession::movementStarted, this, [this] {
        inMovement_ = true;
        movementFrames_ = 0;
        snapshotDue_ = true;
        if (client_) {
            client_->publish(topic(QStringLiteral("motion")), QByteArrayLiteral("ON"), true);
        }
        EventFields fields;
        fields.file = session_.RecordFileName();
        event(QStringLiteral("movement_start"), fields);
        stateChanged();
    });
    connect(
        &session_, &RecordingSession::frameHandled, this, [this](session::FrameState state, int) {
            if (snapshotDue_) {
                // The frame loop has stamped it by now.
                snapshotDue_ = false;
                publishSnapshot();
            }
            if (!inMovement_) {
                return;
            }
            if (state == session::StateRecord) {
                ++movementFrames_;
                return;
            }
            inMovement_ = false;
            if (client_) {
                client_->publish(topic(QStringLiteral("motion")), QByteArrayLiteral("OFF"), true);
            }
            EventFields fields;
            fields.file = currentFile_.isEmpty() ? session_.RecordFileName() : currentFile_;
            fields.frames = movementFrames_;
            event(QStringLiteral("movement_end"), fields);
            stateChanged();
        });
    connect(&session_, &RecordingSession::recordGraphBuilt, this, [this] {
        currentFile_ = session_.RecordFileName();
        stateChanged();
    });
    connect(&session_, &RecordingSession::recordGraphClosed, this, [this] {
        if (!currentFile_.isEmpty()) {
            finishedFrames_[currentFile_] = session_.recordedFrames();
            currentFile_.clear();
        }
        stateChanged();
    });
    connect(&session_, &RecordingSession::recordingFinished, this, [this](const QString& file) {
        EventFields fields;
        fields.file = file;
        const auto it = finishedFrames_.find(file);
        if (it != finishedFrames_.end()) {
            fields.frames = it->second;
            finishedFrames_.erase(it);
        }
        event(QStringLiteral("recording_finished"), fields);
    });
    connect(&session_, &RecordingSession::cameraLostChanged, this,
            [this](bool lost, const QString& reason) {
                EventFields fields;
                fields.reason = media::sanitizedText(reason);
                event(lost ? QStringLiteral("camera_lost") : QStringLiteral("camera_back"), fields);
                stateChanged();
            });
    connect(&session_, &RecordingSession::writeFailedChanged, this,
            [this](bool failed, const QString& file, const QString& reason) {
                EventFields fields;
                fields.file = file;
                fields.reason = media::sanitizedText(reason);
                event(failed ? QStringLiteral("write_failed") : QStringLiteral("write_resumed"),
                      fields);
                stateChanged();
            });
    connect(&session_, &RecordingSession::statusText, this, &EventPublisher::stateChanged);
    connect(&session_, &RecordingSession::ticked, this, &EventPublisher::stateChanged);
}

void EventPublisher::filmReady(QDate day, const QString& path, double length_s, int recordings) {
    EventFields fields;
    fields.day = day.toString(Qt::ISODate);
    fields.file = path;
    fields.length_s = length_s;
    fields.recordings = recordings;
    event(QStringLiteral("film_ready"), fields);
}

void EventPublisher::event(const QString& kind, const EventFields& given) {
    EventFields fields = given;
    fields.event = kind;
    fields.time = eventTime(QDateTime::currentDateTime());
    fields.instance = suffix_;
    QJsonObject object{
        {QStringLiteral("event"), fields.event},
        {QStringLiteral("time"), fields.time},
        {QStringLiteral("instance"), fields.instance},
    };
    if (!fields.file.isEmpty()) {
        object.insert(QStringLiteral("file"), fields.file);
    }
    if (!fields.reason.isEmpty()) {
        object.insert(QStringLiteral("reason"), fields.reason);
    }
    if (fields.frames >= 0) {
        object.insert(QStringLiteral("frames"), fields.frames);
    }
    if (!fields.day.isEmpty()) {
        object.insert(QStringLiteral("day"), fields.day);
    }
    if (fields.recordings >= 0) {
        object.insert(QStringLiteral("recordings"), fields.recordings);
    }
    if (fields.length_s >= 0) {
        object.insert(QStringLiteral("length_s"), fields.length_s);
    }
    const QByteArray json = compact(object);
    if (client_) {
        client_->publish(topic(QStringLiteral("event")), json, false);
    }
    command_->run(fields);
    Q_EMIT eventPublished(json);
}

void EventPublisher::stateChanged() {
    if (!client_ || stateTimer_->isActive()) {
        return;
    }
    const qint64 since = stateSent_.isValid() ? stateSent_.elapsed() : kStateEvery_ms;
    if (since >= kStateEvery_ms) {
        publishState();
    } else {
        stateTimer_->start(int(kStateEvery_ms - since));
    }
}

void EventPublisher::publishState() {
    if (!client_) {
        return;
    }
    const QByteArray state = stateProvider_ ? stateProvider_() : sessionState();
    stateSent_.start();
    if (state != lastState_) {
        lastState_ = state;
        client_->publish(topic(QStringLiteral("state")), state, true);
    }
}

QByteArray EventPublisher::sessionState() const {
    const session::Settings& settings = session_.settings();
    return compact({
        {QStringLiteral("recorder"), QStringLiteral("kestrelvision")},
        {QStringLiteral("suffix"), suffix_},
        {QStringLiteral("mode"), modeName(settings.Mode)},
        {QStringLiteral("state"), session_.stateText()},
        {QStringLiteral("camera"), media::redactUri(settings.CaptureDeviceName)},
        {QStringLiteral("file"),
         session_.recordGraphExists() ? session_.RecordFileName() : QString()},
        {QStringLiteral("frames"), session_.recordGraphExists() ? session_.recordedFrames() : 0},
    });
}

void EventPublisher::publishSnapshot() {
    if (!client_ || (snapshotSent_.isValid() && snapshotSent_.elapsed() < kSnapshotEvery_ms)) {
        return;
    }
    const std::uint8_t* pixels = session_.displayCopy();
    const media::BITMAPINFOHEADER& format = session_.displayFormat();
    if (!pixels || !media::isFrameFormat(format)) {
        return;
    }
    // A bottom-up frame is turned upright for everyone else.
    const QImage stored = media::frameImage(pixels, format);
    const QImage image = format.biHeight > 0 ? stored.mirrored() : stored;
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 85)) {
        qCWarning(lcEvents) << "the snapshot cannot be made a JPEG";
        return;
    }
    snapshotSent_.start();
    client_->publish(topic(QStringLiteral("snapshot")), jpeg, true);
}

void EventPublisher::publishDiscovery() {
    const QString id = discoveryId(prefix_);
    const QString base = QStringLiteral("homeassistant/");
    const QString motion =
        base + QStringLiteral("binary_sensor/") + id + QStringLiteral("/motion/config");
    const QString state = base + QStringLiteral("sensor/") + id + QStringLiteral("/state/config");
    const QString camera =
        base + QStringLiteral("camera/") + id + QStringLiteral("/snapshot/config");
    const QString select = base + QStringLiteral("select/") + id + QStringLiteral("/mode/config");
    if (!settings_.MQTTDiscovery) {
        // Entities of an earlier run are taken away.
        for (const QString& t : {motion, state, camera, select}) {
            client_->publish(t, QByteArray(), true);
        }
        return;
    }
    QString name = QStringLiteral("Kestrelvision ") + QSysInfo::machineHostName();
    if (!suffix_.isEmpty()) {
        name += u' ' + suffix_;
    }
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{id}},
        {QStringLiteral("name"), name},
        {QStringLiteral("manufacturer"), QStringLiteral("Brannowerks")},
        {QStringLiteral("model"), QStringLiteral("Kestrelvision")},
        {QStringLiteral("sw_version"), QStringLiteral(KV_VERSION)},
    };
    auto entity = [&](const QString& key, const QString& entityName) {
        return QJsonObject{
            {QStringLiteral("name"), entityName},
            {QStringLiteral("unique_id"), id + u'_' + key},
            {QStringLiteral("availability_topic"), topic(QStringLiteral("availability"))},
            {QStringLiteral("device"), device},
        };
    };
    QJsonObject o = entity(QStringLiteral("motion"), QStringLiteral("Motion"));
    o.insert(QStringLiteral("state_topic"), topic(QStringLiteral("motion")));
    o.insert(QStringLiteral("device_class"), QStringLiteral("motion"));
    o.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    o.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    client_->publish(motion, compact(o), true);

    o = entity(QStringLiteral("state"), QStringLiteral("State"));
    o.insert(QStringLiteral("state_topic"), topic(QStringLiteral("state")));
    o.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.state }}"));
    o.insert(QStringLiteral("json_attributes_topic"), topic(QStringLiteral("state")));
    client_->publish(state, compact(o), true);

    o = entity(QStringLiteral("snapshot"), QStringLiteral("Snapshot"));
    o.insert(QStringLiteral("topic"), topic(QStringLiteral("snapshot")));
    client_->publish(camera, compact(o), true);

    if (!settings_.MQTTAllowCommands) {
        client_->publish(select, QByteArray(), true);
        return;
    }
    o = entity(QStringLiteral("mode"), QStringLiteral("Record mode"));
    o.insert(QStringLiteral("command_topic"), topic(QStringLiteral("set/mode")));
    o.insert(QStringLiteral("command_template"),
             QStringLiteral("{{ {'Off': 0, 'On': 1, 'On movement': 2}[value] }}"));
    o.insert(QStringLiteral("state_topic"), topic(QStringLiteral("state")));
    o.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.mode }}"));
    o.insert(QStringLiteral("options"), QJsonArray{QStringLiteral("Off"), QStringLiteral("On"),
                                                   QStringLiteral("On movement")});
    client_->publish(select, compact(o), true);
}

void EventPublisher::onCommand(const QString& commandTopic, const QByteArray& payload) {
    const QByteArray text = payload.trimmed();
    if (settings_.MQTTAllowCommands && commandTopic == topic(QStringLiteral("set/mode")) &&
        (text == "0" || text == "1" || text == "2")) {
        const int mode = text.toInt();
        qCInfo(lcEvents).noquote() << "record mode" << modeName(mode) << "set over MQTT";
        if (setMode_) {
            setMode_(mode);
        }
        stateChanged();
        return;
    }
    qCInfo(lcEvents).noquote() << "MQTT command on" << media::sanitizedText(commandTopic)
                               << "ignored:"
                               << media::sanitizedText(QString::fromUtf8(payload), 40);
}

}  // namespace kv::events
