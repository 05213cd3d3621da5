#pragma once

// The rules of who may reach the web page and what a request may name: the
// listen address, the password check, and the names a path may carry. Pure
// logic, no sockets, so it is tested row by row.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

namespace kv::web {

struct ListenAddress {
    QHostAddress host;
    quint16 port = 0;
};

// "127.0.0.1:8080" or "[::1]:8080". Any address but a loopback one only with
// a password. Nothing, with the reason, when it cannot be served.
std::optional<ListenAddress> parseListen(const QString& listen, bool hasPassword, QString* why);

// The Authorization header's value against the user and password, in time
// that does not depend on where they differ. An empty user takes any name.
bool basicAuthMatches(const QByteArray& authorization, const QString& user,
                      const QString& password);

// The segments of a request's path, each percent-decoded once. Nothing when
// a segment decodes to something no listed name can be: empty (a doubled
// slash), ".", "..", a hidden name, a slash or backslash, a control byte.
std::optional<QStringList> pathSegments(const QByteArray& rawPath);

// "261209_WE01" as the recording "261209_WE01.avi", if it is one of ours.
std::optional<QString> recordingFileName(const QString& segment);

}  // namespace kv::web
