#include "app/sanitized_text.h"

#include <QRegularExpression>

#include <algorithm>

namespace kv::app {

namespace {

bool isUnwanted(char32_t c) {
    if (c < 0x20 || (c >= 0x7f && c < 0xa0)) {
        return true;
    }
    // Bidirectional overrides, zero-width and other invisible formatting.
    return QChar::category(c) == QChar::Other_Format || c == 0x2028 || c == 0x2029;
}

}  // namespace

QString sanitizedText(const QString& text, int max) {
    const QLatin1String ellipsis("...");
    max = std::max(max, int(ellipsis.size()) + 1);
    QString clean;
    clean.reserve(std::min(text.size(), qsizetype(max) + 1));
    bool gap = false;
    for (const char32_t c : text.toUcs4()) {
        if (isUnwanted(c)) {
            gap = !clean.isEmpty() && !clean.back().isSpace();
            continue;
        }
        const QString one = QString::fromUcs4(&c, 1);
        const qsizetype room = max - (gap ? 1 : 0);
        if (clean.size() + one.size() > room) {
            // Cut so that the ellipsis still fits, never inside a pair.
            while (clean.size() > max - ellipsis.size()) {
                clean.chop(clean.size() >= 2 && clean.back().isLowSurrogate() ? 2 : 1);
            }
            return clean + ellipsis;
        }
        if (gap) {
            clean += u' ';
            gap = false;
        }
        clean += one;
    }
    return clean;
}

QString withoutUserInfo(const QString& text) {
    // The scheme, then everything up to the last "@" before the first "/" or
    // space: a password may itself hold an "@".
    static const QRegularExpression userInfo(
        QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*://)[^\\s/]*@"));
    QString result = text;
    return result.replace(userInfo, QStringLiteral("\\1"));
}

}  // namespace kv::app
