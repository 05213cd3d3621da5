#pragma once

// The day view's data as JSON for the page: which days have recordings, and
// one day's activity, movements and recordings. Built on review's day index;
// a build without it answers nothing and the page says so.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

namespace kv::web {

std::optional<QByteArray> daysJson(const QString& aviPath);
std::optional<QByteArray> dayJson(const QString& aviPath, QDate day);

}  // namespace kv::web
