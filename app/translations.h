#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace kv::app {

// The program's catalogues are built into it, one per language:
// ":/i18n/kestrelvision_de.qm". Without one for the locale (and under "C")
// the texts stay as they are written in the code.
inline constexpr char kCatalogueFolder[] = ":/i18n";

// Installs the catalogue for the user's language, and Qt's own for its
// standard buttons and dialogs where the system has it. Returns the language
// installed ("de", "en"), or an empty string when the source texts stay.
QString installTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

}  // namespace kv::app
