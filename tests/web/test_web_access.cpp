// The rules of the web page's door, row by row.

#include "web/web_access.h"

#include <gtest/gtest.h>

using namespace kv::web;

TEST(WebAccess, ListensOnLoopbackAlwaysAndElsewhereOnlyWithAPassword) {
    struct Row {
        const char* listen;
        bool password;
        bool served;
        quint16 port;
    };
    const Row rows[] = {
        {"127.0.0.1:8080", false, true, 8080}, {"[::1]:9000", false, true, 9000},
        {"0.0.0.0:8080", false, false, 0},     {"0.0.0.0:8080", true, true, 8080},
        {"192.168.1.5:80", false, false, 0},   {"127.0.0.1", false, false, 0},
        {"127.0.0.1:0", false, false, 0},      {"127.0.0.1:70000", false, false, 0},
        {"localhost:8080", false, false, 0},   {":8080", true, false, 0},
    };
    for (const Row& row : rows) {
        QString why;
        const auto address = parseListen(QString::fromLatin1(row.listen), row.password, &why);
        EXPECT_EQ(address.has_value(), row.served) << row.listen;
        if (address) {
            EXPECT_EQ(address->port, row.port) << row.listen;
        } else {
            EXPECT_FALSE(why.isEmpty()) << row.listen;
        }
    }
}

TEST(WebAccess, ChecksBasicLoginsWhole) {
    const auto header = [](const char* pair) { return "Basic " + QByteArray(pair).toBase64(); };
    const QString user = QStringLiteral("viewer");
    const QString password = QStringLiteral("s3cret:with colon");
    EXPECT_TRUE(basicAuthMatches(header("viewer:s3cret:with colon"), user, password));
    EXPECT_FALSE(basicAuthMatches(header("viewer:s3cret:with colo"), user, password));
    EXPECT_FALSE(basicAuthMatches(header("viewer:s3cret:with colonX"), user, password));
    EXPECT_FALSE(basicAuthMatches(header("Viewer:s3cret:with colon"), user, password));
    EXPECT_FALSE(basicAuthMatches(header("viewer"), user, password));
    EXPECT_FALSE(basicAuthMatches("Basic !!!", user, password));
    EXPECT_FALSE(basicAuthMatches("Bearer abc", user, password));
    // No user set: any name with the password.
    EXPECT_TRUE(basicAuthMatches(header("anyone:s3cret:with colon"), QString(), password));
    // No password set: nobody logs in by an empty one.
    EXPECT_FALSE(basicAuthMatches(header("viewer:"), user, QString()));
}

TEST(WebAccess, PathsCarryOnlyNamesAListingCouldGive) {
    EXPECT_EQ(pathSegments("/"), QStringList());
    EXPECT_EQ(pathSegments("/films/"), QStringList{QStringLiteral("films")});
    EXPECT_EQ(
        pathSegments("/films/2026-12-08%2006-00%20to%2009-30.mp4"),
        (QStringList{QStringLiteral("films"), QStringLiteral("2026-12-08 06-00 to 09-30.mp4")}));
    for (const char* bad : {"/films/..", "/films/%2e%2e/x", "/a/..%2Fb", "/a/b%2Fc", "/a/%5Cb",
                            "/a//b", "/a/.hidden", "/a/%00", "/a/%ff", "relative", "/a/%0a"}) {
        EXPECT_FALSE(pathSegments(bad).has_value()) << bad;
    }
    EXPECT_EQ(recordingFileName(QStringLiteral("261209_WE01")), QStringLiteral("261209_WE01.avi"));
    EXPECT_EQ(recordingFileName(QStringLiteral("261209_WE99_3")),
              QStringLiteral("261209_WE99_3.avi"));
    for (const char* bad : {"261209_WE01.avi", "x261209_WE01", "261209_WE01/..", "settings"}) {
        EXPECT_FALSE(recordingFileName(QString::fromLatin1(bad)).has_value()) << bad;
    }
}
