#include "web/day_json.h"

// This build has no day index: /api/days and /api/day answer 501.

namespace kv::web {

std::optional<QByteArray> daysJson(const QString&) {
    return std::nullopt;
}

std::optional<QByteArray> dayJson(const QString&, QDate) {
    return std::nullopt;
}

}  // namespace kv::web
