#include "Telemetry/Adapters/OTelDebugLog.h"

#include "Platform/ManualClock.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QByteArray identityPayload = R"({"resourceLogs":[{"scopeLogs":[{"logRecords":[{"attributes":[
  {"key":"prompt","value":{"stringValue":"secret prompt text"}},
  {"key":"user.email","value":{"stringValue":"dev@example.com"}},
  {"key":"User.EMAIL","value":{"stringValue":"other@example.com"}},
  {"key":"user.account_id","value":{"stringValue":"acct-42"}},
  {"key":"output","value":{"stringValue":"tool output text"}},
  {"key":"prompt_length","value":{"intValue":"18"}},
  {"key":"email","value":"not an object"}
]}]}]}],"email":"plain member"})";

TEST(OTelDebugLog, RedactsIdentityAndPromptAttributesOnly)
{
    const QString text = OTelDebugLog::sanitizedRawPayloadForDebugLog(identityPayload);
    for (const char *secret : {"secret prompt text", "dev@example.com", "other@example.com", "acct-42", "tool output"})
        EXPECT_FALSE(text.contains(QLatin1String(secret))) << secret;
    EXPECT_EQ(text.count(QLatin1String("[REDACTED]")), 5);
    EXPECT_TRUE(text.contains(QLatin1String("\"18\""))) << "prompt_length keeps its value";
    // Only attribute entries whose value is an object are redacted.
    EXPECT_TRUE(text.contains(QLatin1String("not an object")));
    EXPECT_TRUE(text.contains(QLatin1String("plain member")));
    // Pretty-printed, keys sorted: the sanitized text is itself JSON.
    EXPECT_TRUE(QJsonDocument::fromJson(text.toUtf8()).isObject());
    EXPECT_LT(text.indexOf(QLatin1String("\"email\": \"plain")), text.indexOf(QLatin1String("\"resourceLogs\"")));
}

TEST(OTelDebugLog, RedactionTest)
{
    for (const char *key : {"prompt", "TEXT", "content", "user.id", "account_id", "x.email_hash", "billing.account"})
        EXPECT_TRUE(OTelDebugLog::shouldRedactAttributeValue(QLatin1String(key))) << key;
    for (const char *key : {"prompt_length", "model", "conversation.id", "tool_name", "contents"})
        EXPECT_FALSE(OTelDebugLog::shouldRedactAttributeValue(QLatin1String(key))) << key;
}

TEST(OTelDebugLog, NonJsonBodiesAreLoggedAsTextOrAPlaceholder)
{
    EXPECT_EQ(OTelDebugLog::sanitizedRawPayloadForDebugLog("plain text"), "plain text");
    EXPECT_EQ(OTelDebugLog::sanitizedRawPayloadForDebugLog("\x0a\x8f\xff protobuf"), "[binary payload omitted]");
}

TEST(OTelDebugLog, EntriesAppendWithTheirHeaderLineAndRotatePastTheCap)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("otel-raw.log"));
    ManualClock clock(QDateTime::fromSecsSinceEpoch(1781172000, Qt::UTC)); // 2026-06-11 10:00:00
    OTelDebugLog log(path, 400, clock);

    log.appendRawLog("{\"a\":1}", QStringLiteral("application/json"));
    log.appendRawNotice(QStringLiteral("application/x-protobuf"), 1234);
    EXPECT_EQ(TestSupport::readFile(path),
              "--- 2026-06-11 10:00:00 +0000 [application/json] 7 bytes\n{\n    \"a\": 1\n}\n\n"
              "--- 2026-06-11 10:00:00 +0000 [application/x-protobuf] 1234 bytes\n"
              "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n");
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

    const QByteArray before = TestSupport::readFile(path);
    log.appendRawLog(QByteArray(300, 'x'), QStringLiteral("text/plain"));
    EXPECT_EQ(TestSupport::readFile(path + ".1"), before);
    EXPECT_TRUE(TestSupport::readFile(path).startsWith("--- 2026-06-11 10:00:00 +0000 [text/plain] 300 bytes\nxxx"));
    log.appendRawLog(QByteArray(300, 'y'), QStringLiteral("text/plain"));
    EXPECT_TRUE(TestSupport::readFile(path + ".1").contains("xxx")); // one rotated file is kept
    EXPECT_FALSE(QFile::exists(path + ".2"));
}

TEST(OTelDebugLog, WriteErrorsAreIgnored)
{
    OTelDebugLog log(QStringLiteral("/nonexistent-dir/otel-raw.log"));
    log.appendRawNotice(QStringLiteral("x"), 1);
    EXPECT_FALSE(QFile::exists(QStringLiteral("/nonexistent-dir/otel-raw.log")));
}

} // namespace
