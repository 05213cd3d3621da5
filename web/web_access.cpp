#include "web/web_access.h"

#include "record/record_files.h"

#include <QCryptographicHash>

namespace kv::web {

std::optional<ListenAddress> parseListen(const QString& listen, bool hasPassword, QString* why) {
    const QString text = listen.trimmed();
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon > 0 ? text.left(colon) : QString();
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        host = host.mid(1, host.size() - 2);
    }
    bool portOk = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&portOk) : 0;
    ListenAddress address;
    if (!portOk || port == 0 || port > 65535 || !address.host.setAddress(host)) {
        *why =
            QStringLiteral("Listen \"%1\" is no address and port such as 127.0.0.1:8080").arg(text);
        return std::nullopt;
    }
    if (!address.host.isLoopback() && !hasPassword) {
        *why = QStringLiteral(
                   "Listen %1 is reachable from other machines: it is served only with a "
                   "Password set")
                   .arg(text);
        return std::nullopt;
    }
    address.port = quint16(port);
    return address;
}

bool basicAuthMatches(const QByteArray& authorization, const QString& user,
                      const QString& password) {
    const QByteArray prefix = "Basic ";
    if (!authorization.startsWith(prefix)) {
        return false;
    }
    const auto decoded = QByteArray::fromBase64Encoding(authorization.mid(prefix.size()).trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return false;
    }
    const qsizetype colon = decoded.decoded.indexOf(':');
    if (colon < 0) {
        return false;
    }
    // Hashes of equal length are compared whole, so the time says nothing
    // about how much of the password was right.
    const auto digest = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    };
    const QByteArray givenUser = decoded.decoded.left(colon);
    const QByteArray givenPassword = decoded.decoded.mid(colon + 1);
    const QByteArray a = digest(givenPassword);
    const QByteArray b = digest(password.toUtf8());
    const QByteArray c = digest(givenUser);
    const QByteArray d = digest(user.toUtf8());
    unsigned char differ = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        differ |= uchar(a[i] ^ b[i]);
        differ |= user.isEmpty() ? 0 : uchar(c[i] ^ d[i]);
    }
    return differ == 0 && !password.isEmpty();
}

std::optional<QStringList> pathSegments(const QByteArray& rawPath) {
    if (!rawPath.startsWith('/')) {
        return std::nullopt;
    }
    QStringList segments;
    const QList<QByteArray> parts = rawPath.mid(1).split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray decoded = QByteArray::fromPercentEncoding(parts[i]);
        if (decoded.isEmpty()) {
            // Only a trailing slash may leave an empty segment: "/films/".
            if (i + 1 == parts.size() && i > 0) {
                continue;
            }
            if (parts.size() == 1) {
                break;  // "/"
            }
            return std::nullopt;
        }
        if (decoded.startsWith('.') || decoded.contains('/') || decoded.contains('\\')) {
            return std::nullopt;
        }
        for (const char c : decoded) {
            if (uchar(c) < 0x20 || c == 0x7f) {
                return std::nullopt;
            }
        }
        const QString text = QString::fromUtf8(decoded);
        if (text.toUtf8() != decoded) {
            return std::nullopt;  // not UTF-8: no listed name is spelt so
        }
        segments.append(text);
    }
    return segments;
}

std::optional<QString> recordingFileName(const QString& segment) {
    const QString name = segment + QStringLiteral(".avi");
    if (segment.contains(u'.') || !record::isRecordingName(name)) {
        return std::nullopt;
    }
    return name;
}

}  // namespace kv::web
