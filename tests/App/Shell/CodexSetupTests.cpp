#include "App/Shell/CodexSetup.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;

class CodexSetupTest : public testing::Test {
protected:
    CodexSetup::Paths paths()
    {
        return {dir.path() + "/.codex/config.toml", dir.path() + "/support/corvane-notify.sh",
                dir.path() + "/support/notify.sock"};
    }
    AlertText setup()
    {
        const CodexSetup::Paths p = paths();
        return CodexSetup::install(p, CodexConfigWriter::status(p.config), QDateTime::currentDateTime(),
                                   [this](const QString &script, const QString &socket) {
                                       hooksWritten << script + " for " + socket;
                                   });
    }

    QTemporaryDir dir;
    QStringList hooksWritten;
};

TEST_F(CodexSetupTest, InstallThenAlreadyConfiguredThenRevertRestoresTheFile)
{
    const QByteArray original = "model = \"gpt-5\"\n";
    writeFile(paths().config, original);
    const AlertText first = setup();
    EXPECT_EQ(first.message, "Codex telemetry configured");
    EXPECT_TRUE(first.informative.startsWith("Backup saved at " + paths().config + ".bak-")) << first.informative.toStdString();
    EXPECT_TRUE(CodexConfigWriter::status(paths().config).installed);

    const QByteArray installed = readFile(paths().config);
    EXPECT_EQ(setup().message, "Already configured");
    EXPECT_EQ(readFile(paths().config), installed);
    EXPECT_EQ(hooksWritten.size(), 2); // the script is written again each time

    EXPECT_EQ(CodexSetup::revert(paths().config).message, "Codex config reverted");
    EXPECT_EQ(readFile(paths().config), original);
    EXPECT_EQ(CodexSetup::revert(paths().config).message, "Nothing to revert");
}

TEST_F(CodexSetupTest, ForeignNotifyHookIsNotedAndForeignOtelIsLeftAlone)
{
    writeFile(paths().config, "notify = [\"/usr/bin/other\"]\n[otel]\nexporter = \"none\"\n");
    const AlertText result = setup();
    EXPECT_EQ(result.message, "Existing [otel] exporter detected");
    EXPECT_TRUE(result.informative.endsWith("\n\nNote: an existing notify hook was detected and left untouched."));
    EXPECT_EQ(readFile(paths().config), "notify = [\"/usr/bin/other\"]\n[otel]\nexporter = \"none\"\n");
}

TEST_F(CodexSetupTest, AFailedHookScriptLeavesTheConfigurationUntouched)
{
    writeFile(paths().config, "model = \"gpt-5\"\n");
    const AlertText result = CodexSetup::install(paths(), CodexConfigWriter::status(paths().config),
                                                 QDateTime::currentDateTime(), [](const QString &, const QString &) {
                                                     throw std::runtime_error("Permission denied");
                                                 });
    EXPECT_EQ(result.informative, "Permission denied");
    EXPECT_EQ(result.buttons, QStringList{"OK"});
    EXPECT_EQ(readFile(paths().config), "model = \"gpt-5\"\n");
}

} // namespace
