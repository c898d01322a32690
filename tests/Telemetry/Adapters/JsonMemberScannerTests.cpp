#include "Telemetry/Adapters/JsonMemberScanner.h"

#include "support/TestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

// Every line Claude Code wrote in the recordings: the scanner finds the same members, with the
// same values, as a full parse.
TEST(JsonMemberScanner, AgreesWithAFullParseOnRecordedTranscripts)
{
    QDirIterator it(TestSupport::samplesDir() + "/claude/projects", {"*.jsonl"}, QDir::Files,
                    QDirIterator::Subdirectories);
    int lines = 0;
    while (it.hasNext()) {
        const QByteArray bytes = TestSupport::readFile(it.next());
        for (const QByteArray &line : bytes.split('\n')) {
            if (line.isEmpty())
                continue;
            ++lines;
            const QJsonObject parsed = QJsonDocument::fromJson(line).object();
            const auto members = JsonMemberScanner::scan(line);
            ASSERT_TRUE(members.has_value()) << line.left(120).toStdString();
            ASSERT_EQ(members->size(), static_cast<size_t>(parsed.size()));
            for (const auto &[key, raw] : *members) {
                const QJsonValue value = QJsonDocument::fromJson("[" + raw.toByteArray() + "]").array().at(0);
                EXPECT_EQ(value, parsed.value(QString::fromUtf8(key))) << key.toByteArray().toStdString();
            }
        }
    }
    EXPECT_GT(lines, 200);
}

TEST(JsonMemberScanner, RejectsWhatIsNotOneObject)
{
    const char *cases[] = {
        "not json{{",
        "",
        "[1,2]",
        R"({"a":1)",
        R"({"a":"unterminated})",
        R"({"a":[1,2})",
        R"({"a":{"b":1]})",
        R"({"a" 1})",
        R"({"a":1,})",
        R"({"a":1} trailing)",
        R"({"a":})",
    };
    for (const char *text : cases)
        EXPECT_FALSE(JsonMemberScanner::scan(text).has_value()) << text;
}

TEST(JsonMemberScanner, SkipsEscapedQuotesAndNestedBracketsInsideStrings)
{
    const QByteArray line = R"( {"text":"say \"}]{[\" \\","type" : "user","n":-1.5e3,"o":{"x":[{"y":"\\\""}]}} )";
    const auto members = JsonMemberScanner::scan(line);
    ASSERT_TRUE(members.has_value());
    ASSERT_EQ(members->size(), 4u);
    EXPECT_EQ(JsonMemberScanner::stringValue(*JsonMemberScanner::find(*members, "type")), "user");
    EXPECT_EQ(JsonMemberScanner::stringValue(*JsonMemberScanner::find(*members, "text")), "say \"}]{[\" \\");
    EXPECT_EQ(JsonMemberScanner::find(*members, "n")->toByteArray(), "-1.5e3");
    EXPECT_FALSE(JsonMemberScanner::stringValue(*JsonMemberScanner::find(*members, "n")).has_value());
    EXPECT_FALSE(JsonMemberScanner::find(*members, "missing").has_value());
}

} // namespace
