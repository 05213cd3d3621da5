// The catalogues: each language loads from the program, mends the texts it
// should, and no translation drops a value, a key or a line of its source.

#include "app/translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString sessionText(const char* text) {
    return QCoreApplication::translate("kv::session::RecordingSession", text);
}

void removeTranslators() {
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

TEST(Catalogues, TheLocaleChoosesTheLanguageAndCKeepsTheSourceTexts) {
    struct Case {
        const char* locale;
        const char* language;  // the catalogue installed, "" for none
        const char* off;       // what the status bar says when recording is off
    };
    for (const Case& c :
         {Case{"en_US", "en", "Off"}, Case{"en_GB", "en", "Off"}, Case{"de_DE", "de", "Aus"},
          Case{"de_AT", "de", "Aus"}, Case{"C", "", "AUS"}, Case{"fr_FR", "", "AUS"}}) {
        SCOPED_TRACE(c.locale);
        const QString installed = kv::app::installTranslations(
            *QCoreApplication::instance(), QLocale(QString::fromLatin1(c.locale)));
        EXPECT_EQ(installed, QString::fromLatin1(c.language));
        EXPECT_EQ(sessionText("AUS"), QString::fromUtf8(c.off));
        // A text with a value keeps it.
        EXPECT_TRUE(
            sessionText("Recording stopped: %1").arg(u"disk full"_s).contains(u"disk full"_s));
        removeTranslators();
    }
    EXPECT_EQ(sessionText("AUS"), QStringLiteral("AUS"));
}

struct Message {
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
};

std::vector<Message> readCatalogue(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            messages.push_back({context, xml.readElementText(), {}, false});
        } else if (xml.name() == u"translation" && !messages.empty()) {
            messages.back().unfinished =
                xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            messages.back().translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

QStringList placeholders(const QString& text) {
    QStringList found;
    for (const auto& m : QRegularExpression(u"%\\d+"_s).globalMatch(text)) {
        found << m.captured();
    }
    found.sort();
    return found;
}

int accelerators(QString text) {
    return int(text.remove(u"&&"_s).count(u'&'));
}

QString edges(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return text;
    }
    const qsizetype start = text.indexOf(trimmed.front());
    return text.left(start) + u'|' + text.mid(start + trimmed.size());
}

TEST(Catalogues, EveryTranslationKeepsItsValuesAcceleratorsAndLines) {
    for (const char* language : {"en", "de"}) {
        const QString path = QStringLiteral(KV_SOURCE_DIR "/translations/kestrelvision_%1.ts")
                                 .arg(QLatin1String(language));
        const std::vector<Message> messages = readCatalogue(path);
        EXPECT_GT(messages.size(), 400u) << language;
        for (const Message& m : messages) {
            SCOPED_TRACE(QStringLiteral("%1 %2: %3")
                             .arg(QLatin1String(language), m.context, m.source)
                             .toStdString());
            EXPECT_FALSE(m.unfinished);
            EXPECT_FALSE(m.translation.isEmpty());
            EXPECT_EQ(placeholders(m.translation), placeholders(m.source));
            EXPECT_EQ(accelerators(m.translation), accelerators(m.source));
            EXPECT_EQ(m.translation.count(u'\n'), m.source.count(u'\n'));
            EXPECT_EQ(edges(m.translation), edges(m.source));
        }
    }
}

}  // namespace
