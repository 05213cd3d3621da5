// The status reply made safe for a terminal, and the instance suffixes that
// may name files.

#include "app/single_instance.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

bool hasControl(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20 || (c >= 0x7f && c < 0xa0) || QChar::category(c) == QChar::Other_Format) {
            return true;
        }
    }
    return false;
}

// A 12 KB reason full of escape codes made the reply outgrow its 64 KB limit.
TEST(SanitizedText, AStateLineStaysSmallAndPrintable) {
    const QJsonObject state{
        {u"recorder"_s, u"kestrelvision"_s},
        {u"state"_s, u"Camera lost: \x1b[31m"_s + QString(12 * 1024, u'\x1b')},
        {u"camera"_s, QString(70 * 1024, u'c')},
        {u"folder"_s, u"/home/me/"_s + QString(300, u'd') + u"/"_s},
        {u"frames"_s, 225},
        {u"headless"_s, true},
    };
    const QByteArray line =
        kv::app::sanitizedStatus(QJsonDocument(state).toJson(QJsonDocument::Compact));
    EXPECT_LT(line.size(), 64 * 1024);
    EXPECT_FALSE(line.contains('\n'));
    const QJsonObject back = QJsonDocument::fromJson(line).object();
    EXPECT_EQ(back.value(u"recorder"_s).toString(), u"kestrelvision"_s);
    EXPECT_EQ(back.value(u"frames"_s).toInt(), 225);
    EXPECT_TRUE(back.value(u"headless"_s).toBool());
    EXPECT_EQ(back.value(u"state"_s).toString(), u"Camera lost:"_s);
    EXPECT_EQ(back.value(u"camera"_s).toString().size(), 200);
    EXPECT_EQ(back.value(u"folder"_s).toString(), state.value(u"folder"_s).toString());
    for (const QJsonValue& value : back) {
        EXPECT_FALSE(hasControl(value.toString()));
    }
    EXPECT_EQ(kv::app::sanitizedStatus("not json"), QByteArray("{}"));
}

TEST(InstanceSuffix, OnlyLettersAndDigitsNameAnInstance) {
    for (const QString& usable : {u""_s, u"2"_s, u"A"_s, u"\u00e9"_s}) {
        EXPECT_TRUE(kv::app::isUsableInstanceSuffix(usable, nullptr)) << usable.toStdString();
    }
    for (const QString& bad :
         {u"/"_s, u"."_s, u".."_s, u"\x01"_s, u"a/b"_s, u" "_s, QString(17, u'a'), u"\u202e"_s}) {
        QString why;
        EXPECT_FALSE(kv::app::isUsableInstanceSuffix(bad, &why)) << bad.toStdString();
        EXPECT_TRUE(why.contains(u"cannot name an instance's files"_s)) << why.toStdString();
        EXPECT_FALSE(hasControl(why));
    }
}

}  // namespace
