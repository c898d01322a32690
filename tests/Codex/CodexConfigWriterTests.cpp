#include "Codex/CodexConfigToml.h"
#include "Codex/CodexConfigWriter.h"
#include "Codex/ConfigFileError.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Failures name the flags rather than the bytes.
void PrintTo(const CodexConfigStatus &s, std::ostream *out)
{
    *out << "{exists " << s.configExists << ", installed " << s.installed << ", notify " << s.notifyInstalled
         << ", foreign otel " << s.foreignOtel << ", foreign notify " << s.foreignNotify << ", error \""
         << s.parseError.toStdString() << "\"}";
}

namespace {

namespace W = CodexConfigWriter;
using Kind = W::InstallResult::Kind;
using TestSupport::readFile;
using TestSupport::writeFile;

const QString endpoint = QStringLiteral("http://127.0.0.1:4318");
const QDateTime installTime = QDateTime::fromString(QStringLiteral("2026-06-11T08:30:05Z"), Qt::ISODate);
const QTimeZone utc = QTimeZone::utc();

const QByteArray block = "# >>> corvane otel (managed) >>>\n"
                         "[otel]\n"
                         "environment = \"dev\"\n"
                         "exporter = { otlp-http = { endpoint = \"http://127.0.0.1:4318\", protocol = \"json\" } }\n"
                         "log_user_prompt = false\n"
                         "# <<< corvane otel (managed) <<<";

class CodexConfigWriterTest : public testing::Test {
protected:
    QTemporaryDir home;
    QString config = home.filePath(".codex/config.toml");
    QString backupName = config + ".bak-20260611-083005";

    W::InstallResult install(const std::optional<QString> &script = QStringLiteral("/tmp/hook.sh"))
    {
        return W::install(config, endpoint, script, installTime, utc);
    }
    QStringList backups() const
    {
        return QDir(home.filePath(".codex")).entryList({"config.toml.bak-*"}, QDir::Files);
    }
};

// The file as a real TOML parser reads it (a leading byte-order mark is allowed, as editors write one).
std::optional<QJsonObject> parsedToml(const QString &path)
{
    QProcess python;
    python.start("python3", {"-c", "import sys, json, tomllib; print(json.dumps(tomllib.loads(open(sys.argv[1], encoding='utf-8-sig').read())))", path});
    if (!python.waitForFinished(10000) || python.exitCode() != 0)
        return std::nullopt;
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

TEST_F(CodexConfigWriterTest, InstallsPrependsNotifyAppendsBlockAndRevertsExactly)
{
    const QByteArray before = "model = \"gpt-5-codex\"\napproval_policy = \"on-request\"\n\n[profiles.fast]\nmodel = \"o4-mini\"";
    writeFile(config, before);

    EXPECT_EQ(install(), (W::InstallResult{Kind::installed, backupName}));
    EXPECT_EQ(readFile(backupName), before);
    EXPECT_EQ(readFile(config),
              "notify = [\"/tmp/hook.sh\"] # corvane-managed-notify\n" + before + "\n" + block + "\n");

    const QByteArray installed = readFile(config);
    EXPECT_EQ(install().kind, Kind::alreadyInstalled);
    EXPECT_EQ(readFile(config), installed);
    EXPECT_EQ(backups().size(), 1);

    EXPECT_TRUE(W::revert(config));
    EXPECT_EQ(readFile(config), before);
    EXPECT_FALSE(W::revert(config));
    EXPECT_EQ(readFile(config), before);
}

TEST_F(CodexConfigWriterTest, InstallThenRevertRestoresVariedConfigsByteForByte)
{
    struct Case {
        const char *name;
        QByteArray text;
        bool addsNotify;
    };
    const Case cases[]{
        {"final newline", "model = \"o3\"\n", true},
        {"CRLF with final CRLF", "model = \"o3\"\r\n\r\n[tui]\r\nnotifications = true\r\n", true},
        {"CRLF without final newline", "model = \"o3\"\r\n[tui]\r\nnotifications = true", true},
        {"only a newline", "\n", true},
        {"comments and blank lines",
         "# my Codex settings\n\n# model = \"old\"\nmodel = \"gpt-5\"  # current\n\n\n", true},
        {"unicode with BOM", "\xEF\xBB\xBF# Einstellungen für Codex — 日本語\nmodel = \"gpt-5\"\n", true},
        {"tables before and after",
         "model = \"gpt-5\"\n[profiles.deep]\nmodel = \"o3\"\n\n[mcp_servers.docs]\ncommand = \"npx\"\n"
         "args = [\"-y\", \"docs-mcp\"]\n[sandbox_workspace_write]\nnetwork_access = false",
         true},
        {"foreign multi-line notify",
         "model = \"gpt-5\"\nnotify = [\n  \"/usr/local/bin/notify-send-codex\",\n  \"--urgent\",\n]\n[tui]\nnotifications = true\n",
         false},
        {"trailing blanks and tabs", "model = \"gpt-5\"\t \n \t", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(config, c.text);
        ASSERT_EQ(install().kind, Kind::installed);
        EXPECT_EQ(readFile(backupName), c.text);
        const QByteArray installed = readFile(config);
        EXPECT_EQ(installed.contains("# corvane-managed-notify"), c.addsNotify);
        EXPECT_TRUE(installed.endsWith(block + "\n"));
        EXPECT_TRUE(W::status(config).installed);

        const std::optional<QJsonObject> toml = parsedToml(config);
        ASSERT_TRUE(toml);
        const QJsonObject &parsed = *toml;
        EXPECT_EQ(parsed["otel"]["exporter"]["otlp-http"]["endpoint"].toString(), endpoint);
        if (c.addsNotify) {
            EXPECT_EQ(parsed["notify"].toArray(), QJsonArray{"/tmp/hook.sh"});
        }

        EXPECT_TRUE(W::revert(config));
        EXPECT_EQ(readFile(config), c.text);
    }
}

TEST_F(CodexConfigWriterTest, ForeignOtelTableIsAConflictAndNothingIsWritten)
{
    const QByteArray texts[]{
        "model = \"gpt-5\"\n[otel]\nexporter = { otlp-grpc = { endpoint = \"https://otel.example.com:4317\" } }\n",
        "[otel.exporter.\"otlp-http\"]\nendpoint = \"https://otel.example.com/v1/logs\"\nprotocol = \"binary\"\n",
        "[tui]\n  [otel] # indented\nenvironment = \"prod\"",
    };
    for (const QByteArray &text : texts) {
        SCOPED_TRACE(text.toStdString());
        writeFile(config, text);
        EXPECT_EQ(install().kind, Kind::conflictForeignOtel);
        EXPECT_EQ(readFile(config), text);
        EXPECT_TRUE(backups().isEmpty());
        EXPECT_TRUE(W::status(config).foreignOtel);
    }
}

TEST_F(CodexConfigWriterTest, StatusFlags)
{
    struct Case {
        const char *name;
        std::optional<QByteArray> text; // absent: no file
        W::Status status;
    };
    const QByteArray managedNotify = "notify = [\"/s/hook.sh\"] # corvane-managed-notify\n";
    const Case cases[]{
        {"missing file", std::nullopt, {}},
        {"not UTF-8", QByteArray("model = \"caf\xE9\"\n"), {}},
        {"empty", QByteArray(""), {true, false, false, false, false}},
        {"ours", managedNotify + block + "\n", {true, true, true, false, false}},
        {"[otel] inside the block is ours, an indented one outside is not",
         block + "\n\t[otel]\n", {true, true, false, true, false}},
        {"a marker inside a comment is no block", QByteArray("# see # >>> corvane otel (managed) >>>\n[otel]\n"),
         {true, false, false, true, false}},
        {"notify_cmd in a table is not Codex's notify", QByteArray("[hooks]\n  notify_cmd = \"x\"\n"),
         {true, false, false, false, false}},
        {"multi-line notify beside ours", managedNotify + "notify = [\n  \"a\",\n]\n", {true, false, true, false, true}},
        {"[otel] right after a byte-order mark", QByteArray("\xEF\xBB\xBF[otel]\n"), {true, false, false, true, false}},
        {"[otel_extra]", QByteArray("[otel_extra]\n"), {true, false, false, false, false}},
        {"notify without = does not parse", QByteArray("notify\n[notifications]\n"),
         {true, false, false, false, false, "line 1, column 7: Error while parsing key-value pair: expected '=', saw '\\n'"}},
        {"ours converted to CRLF", QByteArray(managedNotify + block + "\nmodel = \"o3\"\n").replace("\n", "\r\n"),
         {true, true, true, false, false}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(config);
        if (c.text)
            writeFile(config, *c.text);
        EXPECT_EQ(W::status(config), c.status);
    }
    EXPECT_EQ(W::status(home.path()), W::Status{}); // a directory cannot be read
}

TEST_F(CodexConfigWriterTest, MissingFileGetsDirectoryEmptyBackupNotifyAndBlock)
{
    EXPECT_EQ(install(), (W::InstallResult{Kind::installed, backupName}));
    EXPECT_EQ(readFile(backupName), "");
    EXPECT_EQ(readFile(config), "notify = [\"/tmp/hook.sh\"] # corvane-managed-notify\n" + block + "\n");
    EXPECT_TRUE(W::revert(config));
    EXPECT_EQ(readFile(config), "");

    QFile::remove(config);
    EXPECT_EQ(install(std::nullopt).kind, Kind::installed);
    EXPECT_EQ(readFile(config), block + "\n");
}

TEST_F(CodexConfigWriterTest, BlockWithoutNotifyLineGetsOnlyTheNotifyLine)
{
    const QByteArray earlier = "model = \"gpt-5\"\n" + block + "\n";
    writeFile(config, earlier);
    EXPECT_EQ(install(std::nullopt).kind, Kind::alreadyInstalled);
    EXPECT_TRUE(backups().isEmpty());

    EXPECT_EQ(install().kind, Kind::installed);
    EXPECT_EQ(readFile(backupName), earlier);
    EXPECT_EQ(readFile(config), "notify = [\"/tmp/hook.sh\"] # corvane-managed-notify\n" + earlier);
    EXPECT_EQ(install().kind, Kind::alreadyInstalled);
}

TEST_F(CodexConfigWriterTest, ForeignNotifyStillGetsTheBlockButNoNotifyLine)
{
    const QByteArray text = "notify = [\"/usr/bin/other\"]\nmodel = \"gpt-5\"";
    writeFile(config, text);
    EXPECT_EQ(install().kind, Kind::installed);
    EXPECT_EQ(readFile(config), text + "\n" + block + "\n");
    EXPECT_EQ(install().kind, Kind::alreadyInstalled);
    const W::Status status = W::status(config);
    EXPECT_TRUE(status.installed && status.foreignNotify && !status.notifyInstalled);
}

TEST_F(CodexConfigWriterTest, HookPathIsEscapedAsATomlBasicString)
{
    struct Case {
        QString path;
        QString quoted;
    };
    const Case cases[]{
        {"/home/ann/.local/share/Corvane/corvane-notify.sh", "/home/ann/.local/share/Corvane/corvane-notify.sh"},
        {"/home/ann/Åsa's files/日本/hook.sh", "/home/ann/Åsa's files/日本/hook.sh"},
        {"/home/a\"b/hook.sh", "/home/a\\\"b/hook.sh"},
        {"/home/back\\slash/hook.sh", "/home/back\\\\slash/hook.sh"},
        {"/home/new\nline/\ttab/hook.sh", "/home/new\\nline/\ttab/hook.sh"},
        {QStringLiteral("/home/esc\x1b\x7f/hook.sh"), "/home/esc\\u001B\\u007F/hook.sh"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QFile::remove(config);
        EXPECT_EQ(W::notifyLine(c.path), "notify = [\"" + c.quoted + "\"] # corvane-managed-notify");
        ASSERT_EQ(install(c.path).kind, Kind::installed);
        const std::optional<QJsonObject> toml = parsedToml(config);
        ASSERT_TRUE(toml);
        EXPECT_EQ(toml->value("notify").toArray(), QJsonArray{c.path});
        EXPECT_TRUE(W::revert(config));
        EXPECT_EQ(readFile(config), "");
    }
}

TEST_F(CodexConfigWriterTest, RevertRemovesOnlyManagedLinesAndKeepsLaterEdits)
{
    const QByteArray text = "notify = [\"/s/h.sh\"] # corvane-managed-notify\nmodel = \"a\"\n" + block
                            + "\n[tui]\nnotifications = true\n";
    writeFile(config, text);
    EXPECT_TRUE(W::revert(config));
    EXPECT_EQ(readFile(config), "model = \"a\"\n[tui]\nnotifications = true");

    writeFile(config, "model = \"a\"\n# >>> corvane otel (managed) >>>\n[otel]\nenvironment = \"dev\"\n[tui]\n");
    EXPECT_TRUE(W::revert(config)); // end marker deleted by hand: all after the begin marker goes
    EXPECT_EQ(readFile(config), "model = \"a\"");

    // The marker quoted inside a line is not a block: nothing to remove, nothing rewritten.
    const QByteArray quoted = "# see # >>> corvane otel (managed) >>>\nmodel = \"a\"\n";
    writeFile(config, quoted);
    EXPECT_FALSE(W::revert(config));
    EXPECT_EQ(readFile(config), quoted);

    QFile::remove(config);
    EXPECT_FALSE(W::revert(config));
    EXPECT_FALSE(QFileInfo::exists(config));
}

TEST_F(CodexConfigWriterTest, TextOutsideManagedRegions)
{
    EXPECT_EQ(W::textOutsideManagedRegions("a\n" + block + "\nb\nnotify = [] # corvane-managed-notify\n"),
              (QStringList{"a", "b", ""}));
    EXPECT_EQ(W::textOutsideManagedRegions(" # >>> corvane otel (managed) >>>\r\nx"),
              (QStringList{" # >>> corvane otel (managed) >>>\r", "x"}));
    EXPECT_EQ(W::textOutsideManagedRegions("# <<< corvane otel (managed) <<<\nkept"), QStringList{"kept"});
}

TEST_F(CodexConfigWriterTest, BackupIsNamedByLocalTimeAndReplacedWithinOneSecond)
{
    const QTimeZone plusTwo(2 * 3600);
    const QDateTime lateEvening = QDateTime::fromString("2026-12-31T23:59:59.900Z", Qt::ISODate);
    EXPECT_EQ(W::backupTimestamp(lateEvening, plusTwo), "20270101-015959");
    EXPECT_EQ(W::backupTimestamp(QDateTime::fromString("2026-03-04T05:06:07Z", Qt::ISODate), utc), "20260304-050607");

    writeFile(config, "model = \"first\"\n");
    ASSERT_EQ(install().kind, Kind::installed);
    writeFile(config, "model = \"second\"\n");
    ASSERT_EQ(W::install(config, endpoint, "/tmp/hook.sh", installTime.addMSecs(900), utc).kind, Kind::installed);
    EXPECT_EQ(backups(), QStringList{QFileInfo(backupName).fileName()});
    EXPECT_EQ(readFile(backupName), "model = \"second\"\n");
}

TEST_F(CodexConfigWriterTest, PrivateConfigStaysPrivateAndItsBackupToo)
{
    writeFile(config, "model = \"gpt-5\"\n");
    // Owner, group and other bits (the "user" bits only repeat the owner's for us).
    const auto mode = [](const QString &path) { return QFile::permissions(path).toInt() & 0x7077; };
    QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner);
    const int ownerOnly = mode(config);
    ASSERT_EQ(install().kind, Kind::installed);
    EXPECT_EQ(mode(config), ownerOnly);
    EXPECT_EQ(mode(backupName), ownerOnly);
    EXPECT_TRUE(W::revert(config));
    EXPECT_EQ(mode(config), ownerOnly);
}

TEST_F(CodexConfigWriterTest, SymlinkedConfigIsEditedInPlaceOfItsTarget)
{
    // Dotfile managers link ~/.codex/config.toml into a repository; the link must survive.
    const QString target = home.filePath("dotfiles/codex.toml");
    writeFile(target, "model = \"gpt-5\"\n");
    QDir().mkpath(home.filePath(".codex"));
    ASSERT_TRUE(QFile::link(target, config));
    ASSERT_EQ(install().kind, Kind::installed);
    EXPECT_TRUE(QFileInfo(config).isSymLink());
    EXPECT_TRUE(readFile(target).endsWith(block + "\n"));
    EXPECT_TRUE(W::revert(config));
    EXPECT_TRUE(QFileInfo(config).isSymLink());
    EXPECT_EQ(readFile(target), "model = \"gpt-5\"\n");
}

TEST_F(CodexConfigWriterTest, FailuresRaiseAndLeaveTheConfigAlone)
{
    // Not UTF-8: reading it as empty would replace the user's file.
    const QByteArray latin1 = "# caf\xE9\nmodel = \"gpt-5\"\n";
    writeFile(config, latin1);
    EXPECT_THROW(install(), ConfigFileError);
    EXPECT_EQ(readFile(config), latin1);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_FALSE(W::revert(config));

    // The config's directory cannot be created: a file stands in its place.
    QTemporaryDir other;
    writeFile(other.filePath(".codex"), "not a directory");
    try {
        W::install(other.filePath(".codex/config.toml"), endpoint, "/tmp/hook.sh", installTime, utc);
        ADD_FAILURE() << "no error raised";
    } catch (const ConfigFileError &error) {
        EXPECT_TRUE(QString(error.what()).contains(other.filePath(".codex"))) << error.what();
    }
    EXPECT_EQ(readFile(other.filePath(".codex")), "not a directory");
}

} // namespace

namespace {

TEST_F(CodexConfigWriterTest, EveryTomlSpellingOfAForeignOtelOrNotifyIsSeen)
{
    struct Case {
        const char *name;
        QByteArray text;
        bool foreignOtel;
    };
    const Case cases[]{
        {"spaced table header", "[ otel ]\nenvironment = \"prod\"\n", true},
        {"quoted table header", "[\"otel\"]\nenvironment = \"prod\"\n", true},
        {"dotted key", "model = \"o3\"\notel.environment = \"prod\"\n", true},
        {"inline table", "otel = { environment = \"prod\" }\n", true},
        {"array of tables", "[[otel]]\nenvironment = \"prod\"\n", true},
        {"quoted notify", "\"notify\" = [\"/usr/bin/notify-codex\"]\nmodel = \"o3\"\n", false},
        {"literal-quoted notify", "'notify' = [\"/usr/bin/notify-codex\"]\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(config);
        for (const QString &backup : backups())
            QFile::remove(home.filePath(".codex/" + backup));
        writeFile(config, c.text);
        const W::Status status = W::status(config);
        EXPECT_EQ(status.foreignOtel, c.foreignOtel);
        EXPECT_EQ(status.foreignNotify, !c.foreignOtel);
        if (c.foreignOtel) {
            EXPECT_EQ(install().kind, Kind::conflictForeignOtel);
            EXPECT_EQ(readFile(config), c.text);
            EXPECT_TRUE(backups().isEmpty());
            continue;
        }
        ASSERT_EQ(install().kind, Kind::installed);
        const std::optional<QJsonObject> parsed = parsedToml(config);
        ASSERT_TRUE(parsed) << readFile(config).toStdString();
        EXPECT_EQ((*parsed)["notify"].toArray(), QJsonArray{"/usr/bin/notify-codex"}) << "the user's hook stays";
        EXPECT_EQ((*parsed)["otel"]["exporter"]["otlp-http"]["endpoint"].toString(), endpoint);
        EXPECT_TRUE(W::revert(config));
        EXPECT_EQ(readFile(config), c.text);
    }
}

TEST_F(CodexConfigWriterTest, AConfigThatIsNotTomlIsRefusedUntouched)
{
    const QByteArray text = "model = \"o3\"\nmodel = \"o4\"\n";
    writeFile(config, text);
    EXPECT_FALSE(W::status(config).parseError.isEmpty());
    try {
        install();
        ADD_FAILURE() << "installed into a config Codex cannot read";
    } catch (const ConfigFileError &error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains("is not valid TOML (line 2")) << error.what();
    }
    EXPECT_EQ(readFile(config), text);
    EXPECT_TRUE(backups().isEmpty());
}

TEST_F(CodexConfigWriterTest, AConfigConvertedToCRLFAfterInstallRevertsByteForByte)
{
    const QByteArray before = "model = \"o3\"\n\n[tui]\nnotifications = true\n";
    writeFile(config, before);
    ASSERT_EQ(install().kind, Kind::installed);
    QByteArray converted = readFile(config);
    converted.replace("\n", "\r\n");
    writeFile(config, converted);

    EXPECT_EQ(W::status(config), (W::Status{true, true, true, false, false}));
    EXPECT_EQ(install().kind, Kind::alreadyInstalled);
    EXPECT_TRUE(W::revert(config));
    EXPECT_EQ(readFile(config), QByteArray(before).replace("\n", "\r\n"));
}

TEST(CodexConfigToml, AnInstallMustAddExactlyCorvanesValues)
{
    const QString before = QStringLiteral("model = \"o3\"\n");
    const QString otel = QString::fromUtf8(block) + u'\n';
    const QString notify = QStringLiteral("notify = [\"/h.sh\"]\n");
    struct Case {
        const char *name;
        QString after;
        std::optional<QString> notifyScript;
        QString problem; // empty: none
    };
    const Case cases[]{
        {"block added", before + otel, std::nullopt, {}},
        {"block and notify added", notify + before + otel, QStringLiteral("/h.sh"), {}},
        {"does not parse", before + otel + "[otel]\n", std::nullopt, "would not be valid TOML"},
        {"another endpoint", before + QString(otel).replace("4318", "4319"), std::nullopt, "[otel] values"},
        {"notify missing", before + otel, QStringLiteral("/h.sh"), "notify hook"},
        {"a user value changed", QStringLiteral("model = \"o4\"\n") + otel, std::nullopt, "change other values"},
        {"a user value dropped", otel, std::nullopt, "change other values"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QString> problem = CodexConfigToml::installProblem(before, c.after, {endpoint, c.notifyScript});
        if (c.problem.isEmpty())
            EXPECT_FALSE(problem) << problem->toStdString();
        else
            EXPECT_TRUE(problem && problem->contains(c.problem)) << problem.value_or("none").toStdString();
    }
    EXPECT_TRUE(CodexConfigToml::installProblem("model = ", before + otel, {endpoint, {}})->contains("config is not valid"));
}

} // namespace
