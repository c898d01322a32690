#include "App/Core/CommandLine.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

using CommandLine::Invocation;
using CommandLine::Mode;

TEST(CommandLine, OptionsAsOneTable)
{
    const auto codex = MetricsScope::of(DisplayAgent::codex);
    struct Case {
        QStringList arguments;
        std::optional<Invocation> invocation; // none: refused with `error`
        QString error;
    };
    const Case cases[]{
        {{}, Invocation{}, {}},
        {{"--revert-codex-config", "--codex-status"}, Invocation{Mode::codexStatus}, {}},
        {{"--ad-report", "--codex-status", "--smoke-test"}, Invocation{Mode::smokeTest}, {}},
        {{"--install-codex-config", "--revert-codex-config"}, Invocation{Mode::installCodexConfig}, {}},
        {{"--version", "--help"}, Invocation{Mode::help}, {}},
        {{"--version"}, Invocation{Mode::version}, {}},
        {{"--headless"}, Invocation{Mode::headless}, {}},
        {{"--ad-report", "--days", "3"}, Invocation{Mode::adReport, {}, false, 3}, {}},
        {{"--ad-report", "--days=3"}, Invocation{Mode::adReport, {}, false, 3}, {}},
        {{"--ad-report", "--days", "-2"}, Invocation{Mode::adReport, {}, false, -2}, {}},
        {{"--ad-report", "--days", "3", "--days", "4"}, Invocation{Mode::adReport, {}, false, 3}, {}},
        {{"--ad-report", "--days", "x"}, Invocation{Mode::adReport}, {}}, // not a number: the default window
        {{"--version", "--ad-report"}, Invocation{Mode::adReport}, {}},
        {{"--import-history"}, Invocation{Mode::importHistory}, {}},
        {{"--import-history", "--days", "30"}, Invocation{Mode::importHistory, {}, false, 30}, {}},
        {{"--import-history", "--snapshot"}, Invocation{Mode::importHistory}, {}},
        {{"--snapshot", "--scope", "codex"}, Invocation{Mode::snapshot, codex}, {}},
        {{"--snapshot", "--scope=codex", "--json"}, Invocation{Mode::snapshot, codex, true}, {}},
        {{"--json", "--snapshot"}, Invocation{Mode::snapshot, {}, true}, {}},
        {{"--snaphsot"}, std::nullopt, "unknown option --snaphsot"},
        {{"--Codex-Status"}, std::nullopt, "unknown option --Codex-Status"},
        {{"--snapshot", "--scope=all"}, std::nullopt, "unknown scope \"all\" (expected aggregate, claudeCode, codex or mock)"},
        {{"--snapshot", "--scope"}, std::nullopt, "Missing value after '--scope'"},
        {{"--smoke-test=1"}, std::nullopt, "Unexpected value after '--smoke-test'"},
        {{"--days", "3"}, std::nullopt, "--days goes with --ad-report"},
        {{"--headless", "--json"}, std::nullopt, "--json goes with --snapshot"},
        {{"snapshot"}, std::nullopt, "unexpected argument \"snapshot\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto parsed = CommandLine::parse(c.arguments);
        if (!c.invocation) {
            ASSERT_TRUE(std::holds_alternative<QString>(parsed));
            EXPECT_EQ(std::get<QString>(parsed), c.error);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << std::get<QString>(parsed).toStdString();
        const Invocation &got = std::get<Invocation>(parsed);
        EXPECT_EQ(got.mode, c.invocation->mode);
        EXPECT_EQ(got.scope, c.invocation->scope);
        EXPECT_EQ(got.json, c.invocation->json);
        EXPECT_EQ(got.days, c.invocation->days);
    }
}

TEST(CommandLine, CliIntReadsOneSignedDecimal)
{
    struct Case {
        QString text;
        std::optional<qint64> value;
    };
    const Case cases[]{
        {"3", 3},
        {"+3", 3},
        {"-2", -2},
        {"007", 7},
        {"9223372036854775807", 9223372036854775807LL},
        {"-9223372036854775808", std::numeric_limits<qint64>::min()},
        {"9223372036854775808", std::nullopt},
        {"x", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"1 2", std::nullopt},
        {" 2", std::nullopt},
        {"+-2", std::nullopt},
        {"2.0", std::nullopt},
        {"٣", std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CommandLine::cliInt(c.text), c.value) << c.text.toStdString();
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

TEST(CommandLine, ARefusedCommandLineExitsTwoWithTheUsageLineAndStartsNothing)
{
    for (const QStringList &arguments : {QStringList{"--snaphsot"}, QStringList{"--headless", "--days", "3"}}) {
        const ProcessResult run = corvane(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.out.startsWith("error: ")) << run.out.toStdString();
        EXPECT_TRUE(run.out.endsWith("\nUsage: corvane [option] (corvane --help lists the options)\n")) << run.out.toStdString();
    }
}

TEST(CommandLine, ErrorExitPrintsOneLineAndReturnsOne)
{
    testing::internal::CaptureStdout();
    const int status = CommandLine::errorExit("The file could not be read.");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: The file could not be read.\n");
    EXPECT_EQ(status, 1);
}

} // namespace
