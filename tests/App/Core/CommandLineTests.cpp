#include "App/Core/CommandLine.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

using CommandLine::Mode;

TEST(CommandLine, FlagsAreTestedInTheirFixedOrder)
{
    struct Case {
        QStringList arguments;
        Mode mode;
    };
    const Case cases[]{
        {{"--revert-codex-config", "--codex-status"}, Mode::codexStatus},
        {{"--ad-report", "--codex-status", "--smoke-test"}, Mode::smokeTest},
        {{"--install-codex-config", "--revert-codex-config"}, Mode::installCodexConfig},
        {{"--ad-report", "--days", "3"}, Mode::adReport},
        {{"--version", "--ad-report"}, Mode::adReport},
        {{"--version", "--help"}, Mode::help},
        {{"--version"}, Mode::version},
        {{"--Codex-Status"}, Mode::interface},
        {{"--smoke-test=1"}, Mode::interface},
        {{}, Mode::interface},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CommandLine::selectMode(c.arguments), c.mode) << c.arguments.join(' ').toStdString();
}

TEST(CommandLine, CliIntReadsOneSignedDecimal)
{
    struct Case {
        QStringList arguments;
        std::optional<qint64> value;
    };
    const Case cases[]{
        {{"--days", "3"}, 3},
        {{"--days", "+3"}, 3},
        {{"--days", "-2"}, -2},
        {{"--days", "007"}, 7},
        {{"--days", "3", "--days", "4"}, 3},
        {{"--days", "9223372036854775807"}, 9223372036854775807LL},
        {{"--days", "-9223372036854775808"}, std::numeric_limits<qint64>::min()},
        {{"--days", "9223372036854775808"}, std::nullopt},
        {{"--days"}, std::nullopt},
        {{"--days", "x"}, std::nullopt},
        {{"--days", ""}, std::nullopt},
        {{"--days", "+"}, std::nullopt},
        {{"--days", "-"}, std::nullopt},
        {{"--days", "1 2"}, std::nullopt},
        {{"--days", " 2"}, std::nullopt},
        {{"--days", "+-2"}, std::nullopt},
        {{"--days", "2.0"}, std::nullopt},
        {{"--days", "٣"}, std::nullopt},
        {{"--days=3"}, std::nullopt},
        {{"3"}, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CommandLine::cliInt(c.arguments, "--days"), c.value) << c.arguments.join('|').toStdString();
}

struct ProcessResult {
    int exitCode;
    QString out;
};

ProcessResult corvane(const QStringList &arguments)
{
    QProcess process;
    process.start(TestSupport::corvaneBinary(), arguments);
    process.waitForFinished(10000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

TEST(CommandLine, HelpAndVersionExitZero)
{
    const ProcessResult help = corvane({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *flag : {"--smoke-test", "--codex-status", "--install-codex-config", "--revert-codex-config",
                             "--ad-report", "--days", "--help", "--version"})
        EXPECT_TRUE(help.out.contains(QLatin1String(flag))) << flag;

    const ProcessResult version = corvane({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("corvane " CORVANE_VERSION "\n"));
}

TEST(CommandLine, ErrorExitPrintsOneLineAndReturnsOne)
{
    testing::internal::CaptureStdout();
    const int status = CommandLine::errorExit("The file could not be read.");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: The file could not be read.\n");
    EXPECT_EQ(status, 1);
}

} // namespace
