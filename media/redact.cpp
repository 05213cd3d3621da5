#include "media/redact.h"

#include <QRegularExpression>

namespace kv::media {

namespace {

// scheme "://" userinfo "@": the user information runs to the last '@' before
// the path, query or fragment starts (a password may hold an unescaped '@');
// taking too much from a malformed URI is safer than leaving a password, so
// one slash or three after the scheme count as well.
// Each thread keeps its own matcher, so that log lines of streaming threads
// never share one.
const QRegularExpression& userInfo() {
    thread_local const QRegularExpression expression(
        QStringLiteral(R"(([A-Za-z][A-Za-z0-9+.\-]*:/+)[^\s/?#]*@)"));
    return expression;
}

const QRegularExpression& authorization() {
    thread_local const QRegularExpression expression(
        QStringLiteral(R"(((?:Proxy-)?Authorization\s*:)(\s*[A-Za-z\-]+(?=\s))?[^\r\n]*)"),
        QRegularExpression::CaseInsensitiveOption);
    return expression;
}

// CSI and OSC sequences, and any other escape with the character after it.
const QRegularExpression& escapeSequence() {
    thread_local const QRegularExpression expression(QStringLiteral(
        "\\x1B\\[[0-?]*[ -/]*[@-~]|\\x1B\\][^\\x07\\x1B]*(?:\\x07|\\x1B\\\\)?|\\x1B.?|\\x{9B}[0-?]*"
        "[ -/]*[@-~]"));
    return expression;
}

bool isBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

}  // namespace

QString redactUri(const QString& text) {
    const bool hasUserInfo = text.contains(u'@');
    const bool hasAuthorization = text.contains(QLatin1String("uthorization"), Qt::CaseInsensitive);
    if (!hasUserInfo && !hasAuthorization) {
        return text;  // the common case on every debug line: no copy, no match
    }
    QString result = text;
    if (hasUserInfo) {
        result.replace(userInfo(), QStringLiteral("\\1"));
    }
    if (hasAuthorization) {
        result.replace(authorization(), QStringLiteral("\\1\\2 (hidden)"));
    }
    return result;
}

QString maskedUri(const QString& text) {
    if (!text.contains(u'@')) {
        return text;
    }
    thread_local const QRegularExpression parts(
        QStringLiteral(R"(([A-Za-z][A-Za-z0-9+.\-]*:/+)([^\s/?#]*)@)"));
    QString result;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = parts.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString info = match.captured(2);
        const qsizetype colon = info.indexOf(u':');
        result +=
            text.mid(last, match.capturedStart() - last) + match.captured(1) +
            (colon < 0 ? info : info.left(colon) + QStringLiteral(":\u2022\u2022\u2022\u2022")) +
            u'@';
        last = match.capturedEnd();
    }
    return result + text.mid(last);
}

QString sanitizedText(const QString& text, int max) {
    // Redacted first: a control character inside a URI must not hide its password.
    QString clean = redactUri(text);
    if (clean.contains(QChar(0x1B)) || clean.contains(QChar(0x9B))) {
        clean.remove(escapeSequence());
    }
    QString result;
    result.reserve(qMin(clean.size(), qsizetype(max) + 1));
    bool space = true;  // also drops leading spaces
    for (const QChar c : std::as_const(clean)) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            if (!space) {
                result.append(u' ');
                space = true;
            }
            continue;
        }
        if (isBidiControl(c.unicode())) {
            continue;
        }
        result.append(c);
        space = false;
        if (result.size() > max) {
            break;  // enough to know that it is cut
        }
    }
    while (result.endsWith(u' ')) {
        result.chop(1);
    }
    if (max <= 0) {
        return QString();
    }
    if (result.size() > max) {
        result.truncate(max - 1);
        if (!result.isEmpty() && result.back().isHighSurrogate()) {
            result.chop(1);
        }
        result.append(QChar(0x2026));
    }
    return result;
}

}  // namespace kv::media
