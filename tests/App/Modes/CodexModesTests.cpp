#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;

const QByteArray block = "# >>> corvane otel (managed) >>>\n"
                         "[otel]\n"
                         "environment = \"dev\"\n"
                         "exporter = { otlp-http = { endpoint = \"http://127.0.0.1:4318\", protocol = \"json\" } }\n"
                         "log_user_prompt = false\n"
                         "# <<< corvane otel (managed) <<<";

// The real corvane binary with a home and data directory of its own, and no display.
class CodexModesTest : public testing::Test {
protected:
    QTemporaryDir home;
    QString config = home.filePath(".codex/config.toml");
    QString supportDir = home.filePath("data/Corvane");
    QString script = supportDir + "/corvane-notify.sh";

    struct Run {
        int exitCode = -1;
        QString out;
    };

    Run corvane(const QString &flag)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(TestSupport::corvaneBinary(), {flag});
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }

    QString backupLinePattern() const
    {
        return "installed \\(backup: " + QRegularExpression::escape(config) + "\\.bak-\\d{8}-\\d{6}\\)\n";
    }
};

QString flags(bool exists, bool installed, bool notify, bool foreignOtel, bool foreignNotify)
{
    const auto b = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    return "config exists: " + b(exists) + "\ninstalled: " + b(installed) + "\nnotify installed: " + b(notify)
           + "\nforeign otel: " + b(foreignOtel) + "\nforeign notify: " + b(foreignNotify) + "\n";
}

TEST_F(CodexModesTest, StatusPrintsTheFiveFlagsThenTheHealth)
{
    struct Case {
        std::optional<QByteArray> text;
        QString out;
    };
    const QString setup = "health: setupNeeded \u2014 Codex telemetry config is not installed\nlast Codex event: never\n";
    const Case cases[]{
        {std::nullopt, flags(false, false, false, false, false) + setup},
        {QByteArray("model = \"gpt-5\"\n"), flags(true, false, false, false, false) + setup},
        {"notify = [\"/x\"] # corvane-managed-notify\n" + block + "\n",
         flags(true, true, true, false, false)
             + "health: listenerDown \u2014 Corvane is configured, but the local OTel listener is not active\n"
               "last Codex event: never\n"},
        {"notify = [\"/usr/bin/other\"]\n[otel]\nexporter = \"none\"\n",
         flags(true, false, false, true, true)
             + "health: configConflict \u2014 Existing unmanaged [otel] config blocks Corvane install\n"
               "last Codex event: never\n"},
        {QByteArray("model = \n"),
         flags(true, false, false, false, false)
             + "config error: not valid TOML (line 1, column 9: Error while parsing key-value pair: expected "
               "value, saw '\\n')\n"
             + setup},
    };
    for (const Case &c : cases) {
        QFile::remove(config);
        if (c.text)
            writeFile(config, *c.text);
        const Run run = corvane("--codex-status");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, c.out);
    }
    EXPECT_FALSE(QFileInfo::exists(supportDir)); // status only looks
}

TEST_F(CodexModesTest, InstallWritesTheHookAndTheManagedLinesAndRevertRemovesThem)
{
    Run run = corvane("--install-codex-config");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(QRegularExpression("^" + backupLinePattern() + "$").match(run.out).hasMatch()) << run.out.toStdString();
    EXPECT_EQ(QFile::permissions(supportDir) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QFileInfo::exists(script));
    EXPECT_TRUE(readFile(script).contains((supportDir + "/notify.sock").toUtf8()));
    EXPECT_TRUE(QFileInfo(script).isExecutable());
    EXPECT_EQ(readFile(config), "notify = [\"" + script.toUtf8() + "\"] # corvane-managed-notify\n" + block + "\n");

    // Already installed: the configuration stays, the hook script is written again.
    const QByteArray installed = readFile(config);
    QFile::remove(script);
    run = corvane("--install-codex-config");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "already installed \u2014 nothing changed\n");
    EXPECT_TRUE(QFileInfo::exists(script));
    EXPECT_EQ(readFile(config), installed);

    run = corvane("--revert-codex-config");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "reverted \u2014 managed lines removed\n");
    EXPECT_EQ(readFile(config), "");
    for (int i = 0; i < 2; ++i) {
        run = corvane("--revert-codex-config");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "nothing to revert\n");
    }
}

TEST_F(CodexModesTest, ConflictAndForeignNotifyAreReportedWithStatusZero)
{
    struct Case {
        QByteArray text;
        QString pattern;
        bool written;
    };
    const QString conflict = "CONFLICT: foreign \\[otel\\] exporter present \u2014 nothing written "
                             "\\(pass-through is post-MVP\\)\n";
    const QString note = "note: existing notify hook detected and left untouched\n";
    const Case cases[]{
        {"[otel]\nexporter = { otlp-grpc = { endpoint = \"http://collector:4317\" } }\n", conflict, false},
        {"notify = [\"/usr/bin/other\"]\n[otel.exporter.\"otlp-http\"]\nendpoint = \"http://c/v1/logs\"\n",
         conflict + note, false},
        {"notify = [\n  \"/usr/bin/other\",\n]\nmodel = \"gpt-5\"\n", backupLinePattern() + note, true},
    };
    for (const Case &c : cases) {
        writeFile(config, c.text);
        const Run run = corvane("--install-codex-config");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(QRegularExpression("^" + c.pattern + "$").match(run.out).hasMatch()) << run.out.toStdString();
        EXPECT_EQ(readFile(config) != c.text, c.written);
        if (c.written) {
            EXPECT_FALSE(readFile(config).contains("corvane-managed-notify"));
            EXPECT_EQ(corvane("--revert-codex-config").out, "reverted \u2014 managed lines removed\n");
            EXPECT_EQ(readFile(config), c.text);
        }
    }
}

TEST_F(CodexModesTest, FailuresPrintTheErrorAndExitOne)
{
    // The support directory cannot be made: the hook fails and the configuration is not touched.
    writeFile(supportDir, "a file where the directory belongs");
    Run run = corvane("--install-codex-config");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.startsWith("error: ")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(script)) << run.out.toStdString();
    EXPECT_EQ(run.out.count('\n'), 1);
    EXPECT_FALSE(QFileInfo::exists(config));
    QFile::remove(supportDir);

    // A configuration that is not UTF-8 is never replaced.
    const QByteArray latin1 = "# caf\xE9\nmodel = \"gpt-5\"\n";
    writeFile(config, latin1);
    run = corvane("--install-codex-config");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "error: cannot read " + config + " as UTF-8 text; nothing written\n");
    EXPECT_EQ(readFile(config), latin1);
    EXPECT_EQ(corvane("--revert-codex-config").out, "nothing to revert\n");
}

} // namespace
