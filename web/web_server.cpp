#include "web/web_server.h"

#include "record/record_files.h"
#include "web/day_json.h"
#include "web/web_access.h"
#include "web/web_content.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QUrl>

#include <libsoup/soup.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcWeb, "kv.web.server", QtInfoMsg)

static void initWebResources() {
    Q_INIT_RESOURCE(web);
}

namespace kv::web {

namespace {

constexpr guint kSocketTimeout_s = 30;
constexpr qsizetype kMaxPath = 2048;
constexpr qint64 kDiskRecount_ms = 10000;
constexpr char kBoundary[] = "kvframe";

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// One live picture being sent: at most two parts waiting, so a slow viewer
// skips frames instead of piling them up.
struct Viewer {
    SoupServerMessage* msg = nullptr;
    int pending = 0;
};

}  // namespace

// --- made on the main thread; everything but the atomics and the status
// lock is touched only by the server's thread while it runs
struct WebServer::Core {
    explicit Core(WebConfig c) : config(std::move(c)), content(config.aviPath) {
        context = g_main_context_new();
        loop = g_main_loop_new(context, FALSE);
    }
    ~Core() {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }

    void run(WebServer* owner);
    bool start(QString* why);
    void teardown();
    void handle(SoupServerMessage* msg);
    bool authorised(SoupServerMessage* msg);
    void refuseLogin(SoupServerMessage* msg);
    void send(SoupServerMessage* msg, const Reply& reply);
    void sendFilm(SoupServerMessage* msg, const QString& name);
    void startLive(SoupServerMessage* msg);
    void encodeAndSend(std::vector<std::uint8_t> pixels, media::BITMAPINFOHEADER format);
    QByteArray statusWithDisk();

    WebConfig config;
    ListenAddress address;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    SoupServer* server = nullptr;
    GSocketService* service = nullptr;
    GTlsCertificate* certificate = nullptr;
    FolderContent content;
    int connections = 0;
    std::vector<Viewer*> viewers;
    int failedLogins = 0;
    qint64 lastFailedLogin_ms = 0;
    QByteArray lastJpeg;
    qint64 lastJpeg_ms = 0;
    double diskUsed_mb = 0;
    qint64 diskCounted_ms = -kDiskRecount_ms;

    std::atomic<int> viewerCount{0};
    std::atomic<bool> encodePending{false};
    std::mutex statusMutex;
    QByteArray statusJson;  // under statusMutex
};

bool WebServer::Core::start(QString* why) {
    if (!config.tlsCert.isEmpty() || !config.tlsKey.isEmpty()) {
        GError* error = nullptr;
        certificate =
            g_tls_certificate_new_from_files(QFile::encodeName(config.tlsCert).constData(),
                                             QFile::encodeName(config.tlsKey).constData(), &error);
        if (!certificate) {
            *why = QStringLiteral("the TLS certificate or key cannot be read: %1")
                       .arg(QString::fromUtf8(error ? error->message : "unknown"));
            g_clear_error(&error);
            return false;
        }
    }
    server = SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, "server-header", "Kestrelvision", nullptr));
    soup_server_add_early_handler(
        server, nullptr,
        [](SoupServer*, SoupServerMessage* msg, const char*, GHashTable*, gpointer) {
            // No body is read: the page only ever gets GET and HEAD.
            const QByteArray method = soup_server_message_get_method(msg);
            SoupMessageHeaders* headers = soup_server_message_get_request_headers(msg);
            if (method != "GET" && method != "HEAD") {
                soup_server_message_set_status(msg, SOUP_STATUS_METHOD_NOT_ALLOWED, nullptr);
                soup_message_headers_append(soup_server_message_get_response_headers(msg), "Allow",
                                            "GET, HEAD");
            } else if (soup_message_headers_get_content_length(headers) > 0 ||
                       soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CHUNKED) {
                soup_server_message_set_status(msg, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, nullptr);
            }
        },
        this, nullptr);
    soup_server_add_handler(
        server, nullptr,
        [](SoupServer*, SoupServerMessage* msg, const char*, GHashTable*, gpointer self) {
            static_cast<Core*>(self)->handle(msg);
        },
        this, nullptr);

    service = g_socket_service_new();
    GInetAddress* inet =
        g_inet_address_new_from_string(address.host.toString().toUtf8().constData());
    GSocketAddress* socketAddress = g_inet_socket_address_new(inet, address.port);
    g_object_unref(inet);
    GError* error = nullptr;
    const gboolean bound = g_socket_listener_add_address(
        G_SOCKET_LISTENER(service), socketAddress, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP,
        nullptr, nullptr, &error);
    g_object_unref(socketAddress);
    if (!bound) {
        *why = QStringLiteral("cannot listen on %1: %2")
                   .arg(config.listen, QString::fromUtf8(error ? error->message : "unknown"));
        g_clear_error(&error);
        return false;
    }
    g_signal_connect(
        service, "incoming",
        G_CALLBACK(+[](GSocketService*, GSocketConnection* connection, GObject*,
                       gpointer self) -> gboolean {
            auto* core = static_cast<Core*>(self);
            GSocket* socket = g_socket_connection_get_socket(connection);
            if (core->connections >= kMaxConnections) {
                if (!core->certificate) {
                    static const char busy[] =
                        "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                        "Content-Length: 0\r\n\r\n";
                    g_socket_send(socket, busy, sizeof busy - 1, nullptr, nullptr);
                }
                g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
                return TRUE;
            }
            // A client that stops reading or writing is dropped, never waited for.
            g_socket_set_timeout(socket, kSocketTimeout_s);
            ++core->connections;
            g_object_weak_ref(
                G_OBJECT(connection),
                [](gpointer data, GObject*) { --static_cast<Core*>(data)->connections; }, core);
            GIOStream* stream = G_IO_STREAM(connection);
            GIOStream* tls = nullptr;
            if (core->certificate) {
                tls = g_tls_server_connection_new(stream, core->certificate, nullptr);
                if (!tls) {
                    g_io_stream_close(stream, nullptr, nullptr);
                    return TRUE;
                }
                stream = tls;
            }
            GSocketAddress* local = g_socket_connection_get_local_address(connection, nullptr);
            GSocketAddress* remote = g_socket_connection_get_remote_address(connection, nullptr);
            soup_server_accept_iostream(core->server, stream, local, remote, nullptr);
            g_clear_object(&local);
            g_clear_object(&remote);
            g_clear_object(&tls);
            return TRUE;
        }),
        this);
    g_socket_service_start(service);
    return true;
}

void WebServer::Core::teardown() {
    if (service) {
        g_socket_service_stop(service);
        g_socket_listener_close(G_SOCKET_LISTENER(service));
        g_clear_object(&service);
    }
    for (Viewer* viewer : viewers) {
        g_signal_handlers_disconnect_by_data(viewer->msg, viewer);
        delete viewer;
    }
    viewers.clear();
    viewerCount = 0;
    if (server) {
        soup_server_disconnect(server);
        g_clear_object(&server);
    }
    // Let the closed connections finish their last callbacks.
    while (g_main_context_iteration(context, FALSE)) {
    }
    g_clear_object(&certificate);
}

void WebServer::Core::run(WebServer* owner) {
    g_main_context_push_thread_default(context);
    QString why;
    const bool started = start(&why);
    const QString scheme = certificate ? QStringLiteral("https") : QStringLiteral("http");
    const QString text = started ? tr("Web page at %1://%2/").arg(scheme, config.listen)
                                 : tr("Web page off: %1").arg(why);
    QMetaObject::invokeMethod(
        owner, [owner, text] { owner->setStatusText(text); }, Qt::QueuedConnection);
    if (started) {
        qCInfo(lcWeb).noquote() << "serving the web page at"
                                << scheme + QStringLiteral("://") + config.listen + u'/';
        g_main_loop_run(loop);
    } else {
        qCWarning(lcWeb).noquote() << "the web page is not served:" << why;
    }
    teardown();
    g_main_context_pop_thread_default(context);
}

bool WebServer::Core::authorised(SoupServerMessage* msg) {
    if (config.password.isEmpty()) {
        return true;
    }
    const char* given =
        soup_message_headers_get_one(soup_server_message_get_request_headers(msg), "Authorization");
    return given && basicAuthMatches(QByteArray(given), config.user, config.password);
}

void WebServer::Core::refuseLogin(SoupServerMessage* msg) {
    // Each failure waits longer, up to 4 s, while they keep coming.
    const qint64 now = nowMs();
    failedLogins = now - lastFailedLogin_ms > 60000 ? 1 : failedLogins + 1;
    lastFailedLogin_ms = now;
    const guint delay_ms = guint(std::min(250 << std::min(failedLogins, 4), 4000));
    soup_server_message_set_status(msg, SOUP_STATUS_UNAUTHORIZED, nullptr);
    soup_message_headers_append(soup_server_message_get_response_headers(msg), "WWW-Authenticate",
                                "Basic realm=\"Kestrelvision\", charset=\"UTF-8\"");
    soup_server_message_set_response(msg, "text/plain", SOUP_MEMORY_STATIC, "Unauthorised\n", 13);
    soup_server_message_pause(msg);
    g_object_ref(msg);
    GSource* source = g_timeout_source_new(delay_ms);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            soup_server_message_unpause(SOUP_SERVER_MESSAGE(data));
            return G_SOURCE_REMOVE;
        },
        msg, g_object_unref);
    g_source_attach(source, context);
    g_source_unref(source);
}

void WebServer::Core::send(SoupServerMessage* msg, const Reply& reply) {
    soup_server_message_set_status(msg, guint(reply.status), nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_append(headers, "X-Content-Type-Options", "nosniff");
    for (const auto& [name, value] : reply.headers) {
        soup_message_headers_append(headers, name.constData(), value.constData());
    }
    soup_server_message_set_response(msg, reply.contentType.constData(), SOUP_MEMORY_COPY,
                                     reply.body.constData(), gsize(reply.body.size()));
}

QByteArray WebServer::Core::statusWithDisk() {
    QByteArray json;
    {
        const std::lock_guard lock(statusMutex);
        json = statusJson;
    }
    // The folder is counted here, not on the main thread, and not every second.
    const qint64 now = nowMs();
    if (now - diskCounted_ms >= kDiskRecount_ms) {
        QList<record::RecordFileEntry> files;
        record::ListRecordFiles(config.aviPath, files);
        qint64 bytes = 0;
        for (const record::RecordFileEntry& file : files) {
            bytes += file.size_bytes;
        }
        diskUsed_mb = double(bytes) / 1e6;
        diskCounted_ms = now;
    }
    QJsonObject object = QJsonDocument::fromJson(json).object();
    object.insert(QStringLiteral("diskUsedMB"), diskUsed_mb);
    object.insert(QStringLiteral("viewers"), viewerCount.load());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void WebServer::Core::sendFilm(SoupServerMessage* msg, const QString& name) {
    QString why;
    const OpenFile file = content.openFilm(name, &why);
    if (file.fd < 0) {
        send(msg, errorReply(404, why));
        return;
    }
    GError* error = nullptr;
    GMappedFile* mapped =
        file.size > 0 ? g_mapped_file_new_from_fd(file.fd, FALSE, &error) : nullptr;
    ::close(file.fd);
    if (file.size > 0 && !mapped) {
        send(msg, errorReply(500, QStringLiteral("the film cannot be read")));
        g_clear_error(&error);
        return;
    }
    GBytes* whole = mapped ? g_mapped_file_get_bytes(mapped) : g_bytes_new(nullptr, 0);
    if (mapped) {
        g_mapped_file_unref(mapped);
    }
    const qint64 size = qint64(g_bytes_get_size(whole));
    qint64 from = 0;
    qint64 to = size - 1;
    bool partial = false;
    SoupMessageHeaders* request = soup_server_message_get_request_headers(msg);
    if (const char* range = soup_message_headers_get_one(request, "Range")) {
        // One range of bytes, as a <video> asks when it seeks.
        const QByteArray text = QByteArray(range).trimmed();
        const qsizetype dash = text.indexOf('-');
        bool okFrom = true;
        bool okTo = true;
        if (!text.startsWith("bytes=") || dash < 0 || text.contains(',')) {
            okFrom = false;
        } else {
            const QByteArray a = text.mid(6, dash - 6);
            const QByteArray b = text.mid(dash + 1);
            if (a.isEmpty()) {
                const qint64 last = b.toLongLong(&okTo);
                from = std::max<qint64>(0, size - last);
            } else {
                from = a.toLongLong(&okFrom);
                to = b.isEmpty() ? size - 1 : std::min(b.toLongLong(&okTo), size - 1);
            }
        }
        if (!okFrom || !okTo || from < 0 || from > to || from >= size) {
            g_bytes_unref(whole);
            soup_server_message_set_status(msg, SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE,
                                           nullptr);
            soup_message_headers_append(
                soup_server_message_get_response_headers(msg), "Content-Range",
                QByteArray("bytes */" + QByteArray::number(size)).constData());
            return;
        }
        partial = true;
    }
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_server_message_set_status(msg, partial ? SOUP_STATUS_PARTIAL_CONTENT : SOUP_STATUS_OK,
                                   nullptr);
    soup_message_headers_set_content_type(headers, file.contentType.constData(), nullptr);
    soup_message_headers_append(headers, "Accept-Ranges", "bytes");
    soup_message_headers_append(headers, "X-Content-Type-Options", "nosniff");
    if (partial) {
        soup_message_headers_set_content_range(headers, from, to, size);
    }
    GHashTable* query = g_uri_parse_params(g_uri_get_query(soup_server_message_get_uri(msg))
                                               ? g_uri_get_query(soup_server_message_get_uri(msg))
                                               : "",
                                           -1, "&", G_URI_PARAMS_NONE, nullptr);
    if (query && g_hash_table_contains(query, "download")) {
        const QByteArray disposition =
            "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(name);
        soup_message_headers_append(headers, "Content-Disposition", disposition.constData());
    }
    if (query) {
        g_hash_table_unref(query);
    }
    GBytes* part = size > 0 ? g_bytes_new_from_bytes(whole, gsize(from), gsize(to - from + 1))
                            : g_bytes_ref(whole);
    g_bytes_unref(whole);
    soup_message_body_append_bytes(soup_server_message_get_response_body(msg), part);
    g_bytes_unref(part);
}

void WebServer::Core::startLive(SoupServerMessage* msg) {
    if (int(viewers.size()) >= kMaxLiveViewers) {
        send(msg, errorReply(503, QStringLiteral("too many live viewers")));
        return;
    }
    soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(msg);
    soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
    soup_message_headers_set_content_type(
        headers,
        QByteArray("multipart/x-mixed-replace; boundary=" + QByteArray(kBoundary)).constData(),
        nullptr);
    soup_message_headers_append(headers, "Cache-Control", "no-store");
    soup_message_body_set_accumulate(soup_server_message_get_response_body(msg), FALSE);
    if (QByteArray(soup_server_message_get_method(msg)) == "HEAD") {
        return;
    }
    auto* viewer = new Viewer{msg, 0};
    viewers.push_back(viewer);
    viewerCount = int(viewers.size());
    g_signal_connect(msg, "wrote-chunk", G_CALLBACK(+[](SoupServerMessage*, gpointer data) {
                         auto* v = static_cast<Viewer*>(data);
                         v->pending = std::max(0, v->pending - 1);
                     }),
                     viewer);
    struct Gone {
        Core* core;
        Viewer* viewer;
    };
    g_signal_connect_data(
        msg, "finished", G_CALLBACK(+[](SoupServerMessage*, gpointer data) {
            auto* gone = static_cast<Gone*>(data);
            auto& list = gone->core->viewers;
            const auto found = std::find(list.begin(), list.end(), gone->viewer);
            if (found != list.end()) {
                list.erase(found);
                gone->core->viewerCount = int(list.size());
                delete gone->viewer;
            }
        }),
        new Gone{this, viewer}, [](gpointer data, GClosure*) { delete static_cast<Gone*>(data); },
        GConnectFlags(0));
    if (!lastJpeg.isEmpty() && nowMs() - lastJpeg_ms < 1000) {
        const QByteArray part =
            "--" + QByteArray(kBoundary) + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
            QByteArray::number(lastJpeg.size()) + "\r\n\r\n" + lastJpeg + "\r\n";
        soup_message_body_append(soup_server_message_get_response_body(msg), SOUP_MEMORY_COPY,
                                 part.constData(), gsize(part.size()));
        ++viewer->pending;
    } else {
        soup_server_message_pause(msg);
    }
}

void WebServer::Core::encodeAndSend(std::vector<std::uint8_t> pixels,
                                    media::BITMAPINFOHEADER format) {
    encodePending = false;
    if (viewers.empty()) {
        return;
    }
    const int width = format.biWidth;
    const int height = std::abs(format.biHeight);
    const qsizetype stride = ((qsizetype(width) * 24 + 31) & ~31) / 8;
    if (width <= 0 || height <= 0 || qsizetype(pixels.size()) < stride * height) {
        return;
    }
    // Blue-green-red rows, bottom-up when the height is positive: turned
    // upright and into the red-green-blue rows the JPEG writer takes as they are.
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src =
            pixels.data() + stride * (format.biHeight > 0 ? height - 1 - y : y);
        uchar* dst = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(75);
        writer.write(image);
    }
    lastJpeg = jpeg;
    lastJpeg_ms = nowMs();
    const QByteArray part =
        "--" + QByteArray(kBoundary) +
        "\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(jpeg.size()) +
        "\r\n\r\n" + jpeg + "\r\n";
    for (Viewer* viewer : viewers) {
        if (viewer->pending >= 2) {
            continue;  // still sending the last ones: this frame is skipped
        }
        ++viewer->pending;
        soup_message_body_append(soup_server_message_get_response_body(viewer->msg),
                                 SOUP_MEMORY_COPY, part.constData(), gsize(part.size()));
        soup_server_message_unpause(viewer->msg);
    }
}

void WebServer::Core::handle(SoupServerMessage* msg) {
    if (!authorised(msg)) {
        refuseLogin(msg);
        return;
    }
    const QByteArray raw = g_uri_get_path(soup_server_message_get_uri(msg));
    if (raw.size() > kMaxPath) {
        send(msg, errorReply(414, QStringLiteral("path too long")));
        return;
    }
    const std::optional<QStringList> segments = pathSegments(raw);
    if (!segments) {
        send(msg, errorReply(400, QStringLiteral("no such path")));
        return;
    }
    const QStringList& s = *segments;
    const auto is = [&s](std::initializer_list<const char16_t*> words) {
        if (qsizetype(words.size()) > s.size()) {
            return false;
        }
        qsizetype i = 0;
        for (const char16_t* word : words) {
            if (word && s[i] != QStringView(word)) {
                return false;
            }
            ++i;
        }
        return true;
    };
    if (s.isEmpty()) {
        QFile page(QStringLiteral(":/web/page.html"));
        page.open(QIODevice::ReadOnly);
        Reply reply;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = page.readAll();
        reply.headers.emplace_back("Content-Security-Policy",
                                   "default-src 'self'; script-src 'self' 'unsafe-inline'; "
                                   "style-src 'self' 'unsafe-inline'; img-src 'self' data:");
        reply.headers.emplace_back("Cache-Control", "no-cache");
        send(msg, reply);
    } else if (s.size() == 1 && s[0] == u"live.mjpg") {
        startLive(msg);
    } else if (s.size() == 2 && is({u"api", u"status"})) {
        send(msg, jsonReply(statusWithDisk()));
    } else if (s.size() == 2 && is({u"api", u"days"})) {
        const std::optional<QByteArray> json = daysJson(config.aviPath);
        send(msg, json
                      ? jsonReply(*json)
                      : errorReply(501, QStringLiteral("the day index is not part of this build")));
    } else if (s.size() == 3 && is({u"api", u"day", nullptr})) {
        const QDate day = QDate::fromString(s[2], Qt::ISODate);
        if (!day.isValid()) {
            send(msg, errorReply(404, QStringLiteral("no such day")));
            return;
        }
        const std::optional<QByteArray> json = dayJson(config.aviPath, day);
        send(msg, json
                      ? jsonReply(*json)
                      : errorReply(501, QStringLiteral("the day index is not part of this build")));
    } else if (s.size() == 2 && is({u"api", u"recordings"})) {
        send(msg, content.recordings());
    } else if (s.size() == 3 && is({u"api", u"recordings", nullptr})) {
        send(msg, content.recording(s[2]));
    } else if (s.size() == 4 && is({u"recordings", nullptr, u"frames", nullptr})) {
        send(msg, content.frame(s[1], s[3], false));
    } else if (s.size() == 4 && is({u"recordings", nullptr, u"thumb", nullptr})) {
        send(msg, content.frame(s[1], s[3], true));
    } else if (s.size() == 1 && s[0] == u"films") {
        send(msg, content.films());
    } else if (s.size() == 2 && s[0] == u"films") {
        sendFilm(msg, s[1]);
    } else {
        send(msg, errorReply(404, QStringLiteral("no such page")));
    }
}

WebServer::WebServer(QObject* parent) : QObject(parent) {
    initWebResources();
}

WebServer::~WebServer() {
    stop();
}

void WebServer::configure(const WebConfig& config) {
    if (config == config_ && (running() || config.listen.isEmpty())) {
        return;
    }
    stop();
    config_ = config;
    if (config.listen.trimmed().isEmpty()) {
        setStatusText(tr("Web page off"));
        return;
    }
    QString why;
    const std::optional<ListenAddress> address =
        parseListen(config.listen, !config.password.isEmpty(), &why);
    if (!address) {
        qCWarning(lcWeb).noquote() << "the web page is not served:" << why;
        setStatusText(tr("Web page off: %1").arg(why));
        return;
    }
    if (config.tlsCert.isEmpty() != config.tlsKey.isEmpty()) {
        qCWarning(lcWeb)
            << "the web page needs both TLSCert and TLSKey for HTTPS; it is not served";
        setStatusText(tr("Web page off: TLSCert and TLSKey go together"));
        return;
    }
    QByteArray status;
    if (core_) {
        const std::lock_guard lock(core_->statusMutex);
        status = core_->statusJson;
    }
    core_ = std::make_shared<Core>(config);
    core_->address = *address;
    core_->statusJson = status;
    thread_ = std::thread([core = core_, this] { core->run(this); });
}

void WebServer::stop() {
    if (!thread_.joinable()) {
        return;
    }
    // The loop's handlers never wait on a client, so this returns at once.
    g_main_context_invoke(
        core_->context,
        [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        core_->loop);
    thread_.join();
    qCInfo(lcWeb) << "the web page is no longer served";
}

void WebServer::setStatusText(const QString& text) {
    if (text != statusText_) {
        statusText_ = text;
        Q_EMIT statusTextChanged(text);
    }
}

void WebServer::setStatusJson(const QByteArray& json) {
    if (core_) {
        const std::lock_guard lock(core_->statusMutex);
        core_->statusJson = json;
    }
}

bool WebServer::hasViewers() const {
    return core_ && running() && core_->viewerCount.load() > 0;
}

void WebServer::offerFrame(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format) {
    if (!pixels || !hasViewers() || core_->encodePending.load()) {
        return;
    }
    // Every kLiveInterval_ms on average; a frame a little early still counts,
    // so a camera's jitter does not halve the rate.
    constexpr qint64 kEarly_ms = 40;
    if (!liveClock_.isValid()) {
        liveClock_.start();
    }
    const qint64 now = liveClock_.elapsed();
    if (now < nextLive_ms_ - kEarly_ms) {
        return;
    }
    nextLive_ms_ = std::max(nextLive_ms_, now - kEarly_ms) + kLiveInterval_ms;
    const qsizetype stride = ((qsizetype(format.biWidth) * 24 + 31) & ~31) / 8;
    const qsizetype bytes = stride * std::abs(format.biHeight);
    if (format.biWidth <= 0 || bytes <= 0) {
        return;
    }
    struct Offer {
        std::weak_ptr<Core> core;
        std::vector<std::uint8_t> pixels;
        media::BITMAPINFOHEADER format;
    };
    core_->encodePending = true;
    auto* offer = new Offer{core_, std::vector<std::uint8_t>(pixels, pixels + bytes), format};
    g_main_context_invoke_full(
        core_->context, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* o = static_cast<Offer*>(data);
            if (const std::shared_ptr<Core> core = o->core.lock()) {
                core->encodeAndSend(std::move(o->pixels), o->format);
            }
            return G_SOURCE_REMOVE;
        },
        offer, [](gpointer data) { delete static_cast<Offer*>(data); });
}

}  // namespace kv::web
