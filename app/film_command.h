#pragma once

// kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]
//                      [--no-deflicker] [--format mp4|avi] [-o FILE] [/I<suffix>]
//
// Films a span of the recording folder (the instance's settings name it)
// without a window or a display. FROM and TO are a date (2026-12-08, the
// whole day) or a date and time (2026-12-08T06:00, "2026-12-08 06:00:30");
// TO may be a time alone, on FROM's day. Progress goes to standard error
// every 2 s; the film's path to standard output.

#include "film/film_maker.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace kv::app {

struct FilmCommand {
    film::FilmRequest request;  // its folder is left empty: the settings give it
    QString instanceSuffix;
};

// The arguments that follow "--film"; nothing, with the reason, when they
// are wrong.
std::optional<FilmCommand> parseFilmArguments(const QStringList& arguments, QString* error);

// Exit codes: 0 made, 1 nothing recorded in the span or a file could not be
// read or written, 2 wrong options. Needs a GUI application (for the stamp's
// font) and GStreamer initialised.
int runFilmCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

// Translated where it is printed.
inline constexpr char kFilmUsage[] = QT_TRANSLATE_NOOP(
    "kv::app::FilmCommand",
    "usage: kestrelvision --film FROM [TO] [--length S | --all] [--pace frames|clock]\n"
    "                     [--no-deflicker] [--format mp4|avi] [-o FILE]\n");

}  // namespace kv::app
