#include "Telemetry/Adapters/OTelDebugLog.h"

#include "Platform/ManualClock.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <vector>

namespace {

// Every text a person or the machine wrote carries "PLANTED"; what must survive does not.
const QByteArray plantedPayload = R"({"resourceLogs":[{"resource":{"attributes":[
  {"key":"host.name","value":{"stringValue":"PLANTED-host"}},
  {"key":"service.name","value":{"stringValue":"codex_exec"}}]},
 "scopeLogs":[{"scope":{"name":"codex_otel.log_only","version":""},"logRecords":[{
  "timeUnixNano":"1796858463016627059","severityText":"INFO","traceId":"",
  "body":{"stringValue":"PLANTED record body"},
  "attributes":[
  {"key":"prompt","value":{"stringValue":"PLANTED prompt"}},
  {"key":"prompt_text","value":{"stringValue":"PLANTED prompt text"}},
  {"key":"User.EMAIL","value":{"stringValue":"PLANTED@example.com"}},
  {"key":"error.message","value":{"stringValue":"PLANTED error at /home/dev/secret.rs"}},
  {"key":"command","value":{"arrayValue":{"values":[{"stringValue":"PLANTED rm -rf"}]}}},
  {"key":"response","value":{"kvlistValue":{"values":[{"key":"model","value":{"stringValue":"PLANTED"}}]}}},
  {"key":"agent_name","value":{"stringValue":"/root/PLANTED"}},
  {"key":"email","value":"PLANTED not an object"},
  {"key":"conversation.id","value":{"stringValue":"conv-7"}},
  {"key":"model","value":{"stringValue":"gpt-5.5"}},
  {"key":"input_token_count","value":{"stringValue":"1005"}},
  {"key":"prompt_length","value":{"intValue":"18"}},
  {"key":"some.new_flag","value":{"boolValue":true}},
  {"key":"some.new_count","value":{"intValue":"PLANTED"}}
]}]}]}],"note":"PLANTED plain member","list":["PLANTED element", 3]})";

// One log record with the given members, in a whole request.
QByteArray recordBody(const QByteArray &members)
{
    return R"({"resourceLogs":[{"scopeLogs":[{"logRecords":[{)" + members + "}]}]}]}";
}

QByteArray recordWithAttributes(const QByteArray &attributes) { return recordBody("\"attributes\":[" + attributes + ']'); }

TEST(OTelDebugLog, OnlyMetadataSurvivesTheSanitizer)
{
    const struct {
        const char *what;
        QByteArray body;
        std::vector<const char *> kept;
    } cases[] = {
        {"texts of every kind", plantedPayload,
         {"codex_exec", "codex_otel.log_only", "1796858463016627059", "INFO", "conv-7", "gpt-5.5", "\"1005\"", "\"18\"",
          "\"boolValue\": true"}},
        {"a metadata key holding a kvlist",
         recordWithAttributes(
             R"({"key":"model","value":{"kvlistValue":{"values":[{"key":"prompt","value":{"stringValue":"SECRET1"}}]}}})"),
         {"\"model\"", "\"kvlistValue\""}},
        {"a metadata key holding an array or bytes",
         recordWithAttributes(R"({"key":"model","value":{"arrayValue":{"values":[{"stringValue":"SECRET2"}]}}},
                                 {"key":"model","value":{"bytesValue":"SECRET9"}})"),
         {"\"model\"", "\"arrayValue\"", "\"bytesValue\""}},
        {"a metadata key whose value is not an AnyValue of one scalar",
         recordWithAttributes(R"({"key":"model","value":"SECRET6"},
                                 {"key":"model","value":{"stringValue":"SECRET6a","boolValue":true}})"),
         {"\"model\""}},
        {"other members of an attribute",
         recordWithAttributes(R"({"key":"host.name","value":{"stringValue":"SECRET3a"},"note":"SECRET3"},
                                 {"key":"model","value":{"stringValue":"gpt-5.5"},"note":{"SECRET3b":"SECRET3c"}})"),
         {"gpt-5.5"}},
        {"envelope names outside the envelope", R"({"traceId":"SECRET4","eventName":["SECRET5"]})", {}},
        {"envelope fields holding text where OTLP has none",
         recordBody(R"("traceId":"SECRET4 not hex","spanId":"00f067aa0ba902b7","eventName":["SECRET5"],
                       "severityText":{"text":"SECRET5a"},"timeUnixNano":"SECRET5b","flags":1,
                       "extra":{"traceId":"SECRET5c"})"),
         {"00f067aa0ba902b7", "\"flags\": 1"}},
        {"free text as names", R"({"SECRET7 key text":1})", {}},
        {"free text as attribute keys and member names",
         R"({"resourceLogs":[{"resource":{"attributes":[{"key":"user typed SECRET8","value":{"intValue":"3"}}],
             "entityRefs":[{"type":"service","idKeys":["service.name","SECRET8a"]}]},
             "SECRET8b":{"SECRET8c":[1]}}]})",
         {"\"intValue\": \"3\"", "\"service\"", "\"service.name\""}},
    };
    for (const auto &c : cases) {
        const QString text = OTelDebugLog::sanitizedRawPayloadForDebugLog(c.body, QStringLiteral("application/json"));
        EXPECT_FALSE(text.contains(QLatin1String("PLANTED")) || text.contains(QLatin1String("SECRET")))
            << c.what << '\n' << text.toStdString();
        for (const char *kept : c.kept)
            EXPECT_TRUE(text.contains(QLatin1String(kept))) << c.what << ": " << kept;
        EXPECT_FALSE(QJsonDocument::fromJson(text.toUtf8()).isNull()) << c.what;
    }
}

TEST(OTelDebugLog, TheSanitizedBodyKeepsTheShapeOfWhatWasRedacted)
{
    const QByteArray body = R"({"resourceLogs":[{"resource":{"attributes":[
          {"key":"host.name","value":{"stringValue":"SECRET"}},{"key":"service.name","value":{"stringValue":"codex_exec"}}]},
        "scopeLogs":[{"scope":{"name":"codex_otel","version":"1.0"},"logRecords":[{
          "timeUnixNano":"1796858463016627059","traceId":"SECRET","eventName":"codex.tool_result",
          "body":{"kvlistValue":{"values":[
            {"key":"prompt","value":{"arrayValue":{"values":[{"stringValue":"SECRET"},{"intValue":"7"}]}}}]}},
          "attributes":[{"key":"model","value":{"stringValue":"gpt-5.5"},"note":"SECRET"},
                        {"key":"SECRET","value":{"boolValue":true}}],
          "SECRET":{"b":"SECRET","a":[1,"SECRET"]}}]}]}],
        "another":"SECRET"})";
    const QByteArray expected = R"({"[REDACTED member 1]":"[REDACTED]","resourceLogs":[{"resource":{"attributes":[
          {"key":"[REDACTED]","value":{"stringValue":"[REDACTED]"}},{"key":"service.name","value":{"stringValue":"codex_exec"}}]},
        "scopeLogs":[{"scope":{"name":"codex_otel","version":"1.0"},"logRecords":[{
          "timeUnixNano":"1796858463016627059","traceId":"[REDACTED]","eventName":"codex.tool_result",
          "body":{"kvlistValue":{"values":[
            {"key":"[REDACTED]","value":{"arrayValue":{"values":[{"stringValue":"[REDACTED]"},{"intValue":"7"}]}}}]}},
          "attributes":[{"key":"model","value":{"stringValue":"gpt-5.5"},"[REDACTED member 1]":"[REDACTED]"},
                        {"key":"[REDACTED]","value":{"boolValue":true}}],
          "[REDACTED member 1]":{"[REDACTED member 1]":[1,"[REDACTED]"],"[REDACTED member 2]":"[REDACTED]"}}]}]}]})";
    const QString text = OTelDebugLog::sanitizedRawPayloadForDebugLog(body, QStringLiteral("application/json"));
    EXPECT_EQ(QJsonDocument::fromJson(text.toUtf8()), QJsonDocument::fromJson(expected)) << text.toStdString();
    // Pretty-printed with the keys sorted.
    EXPECT_TRUE(text.startsWith(QLatin1String("{\n    \"[REDACTED member 1]\": \"[REDACTED]\",\n    \"resourceLogs\"")));
}

TEST(OTelDebugLog, TheRecordedCodexBodiesKeepTheirEventsAndLoseTheirText)
{
    const QString path = TestSupport::samplesDir() + QStringLiteral("/codex/exec/otlp/0003.body.raw.json");
    const QString text = OTelDebugLog::sanitizedRawPayloadForDebugLog(TestSupport::readFile(path),
                                                                       QStringLiteral("application/json"));
    // The tool's output, the working directory and the host are gone; the events are all there.
    for (const char *gone : {"Chunk ID", "/root", "\"vm\"", "echo hi"})
        EXPECT_FALSE(text.contains(QLatin1String(gone))) << gone;
    EXPECT_EQ(text.count(QLatin1String("\"event.name\"")),
              QString::fromUtf8(TestSupport::readFile(path)).count(QLatin1String("\"event.name\"")));
}

TEST(OTelDebugLog, ABodyThatIsNotJsonIsToldBySizeAndTypeOnly)
{
    const struct {
        QByteArray body;
        const char *contentType;
        const char *placeholder;
    } cases[] = {
        {"PLANTED prompt as text", "text/plain", "[unparsable payload not logged: 22 bytes, text/plain]"},
        {"{\"prompt\":\"PLANTED\"", "application/json", "[unparsable payload not logged: 19 bytes, application/json]"},
        {QByteArray("\x0a\x8f\xff PLANTED", 12), "application/x-protobuf\r\nX: y",
         "[unparsable payload not logged: 12 bytes, application/x-protobuf  X: y]"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OTelDebugLog::sanitizedRawPayloadForDebugLog(c.body, QLatin1String(c.contentType)),
                  QLatin1String(c.placeholder));
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
              "--- 2026-06-11 10:00:00 +0000 [application/json] 7 bytes\n{\n    \"[REDACTED member 1]\": 1\n}\n\n"
              "--- 2026-06-11 10:00:00 +0000 [application/x-protobuf] 1234 bytes\n"
              "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n");
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

    const QByteArray before = TestSupport::readFile(path);
    // 203 bytes of JSON that pretty-print past the cap.
    const auto numbers = [](char digit) { return '[' + (QByteArray(1, digit) + ',').repeated(100) + digit + ']'; };
    log.appendRawLog(numbers('1'), QStringLiteral("application/json"));
    EXPECT_EQ(TestSupport::readFile(path + ".1"), before);
    EXPECT_TRUE(TestSupport::readFile(path).startsWith("--- 2026-06-11 10:00:00 +0000 [application/json] 203 bytes\n[\n    1,"));
    log.appendRawLog(numbers('2'), QStringLiteral("application/json"));
    EXPECT_TRUE(TestSupport::readFile(path + ".1").contains("    1,")); // one rotated file is kept
    EXPECT_FALSE(QFile::exists(path + ".2"));
}

TEST(OTelDebugLog, WriteErrorsAreIgnored)
{
    OTelDebugLog log(QStringLiteral("/nonexistent-dir/otel-raw.log"));
    log.appendRawNotice(QStringLiteral("x"), 1);
    EXPECT_FALSE(QFile::exists(QStringLiteral("/nonexistent-dir/otel-raw.log")));
}

} // namespace
