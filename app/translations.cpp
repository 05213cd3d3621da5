#include "app/translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace kv::app {

QString installTranslations(QCoreApplication& app, const QLocale& locale) {
    // "C" and "POSIX" ask for the texts as written.
    if (locale.language() == QLocale::C) {
        return {};
    }
    auto* own = new QTranslator(&app);
    if (!own->load(locale, u"kestrelvision"_s, u"_"_s, QString::fromLatin1(kCatalogueFolder))) {
        delete own;
        return {};
    }
    QCoreApplication::installTranslator(own);
    // Qt's catalogue names "Cancel", "Open" and the file dialog's texts; it is
    // an optional system package, and its absence only leaves those in English.
    auto* qt = new QTranslator(&app);
    if (qt->load(locale, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
    return own->language().section(u'_', 0, 0);
}

}  // namespace kv::app
