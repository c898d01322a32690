#include "App/Core/CommandLine.h"

#include "App/Core/SnapshotFormat.h"

#include <QCommandLineParser>

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace CommandLine {

namespace {

struct ModeFlag {
    const char *name;
    Mode mode;
};

// In the order in which they win.
constexpr std::array<ModeFlag, 17> modeFlags{{
    {"smoke-test", Mode::smokeTest},
    {"codex-status", Mode::codexStatus},
    {"install-codex-config", Mode::installCodexConfig},
    {"revert-codex-config", Mode::revertCodexConfig},
    {"claude-hook", Mode::claudeHook},
    {"claude-status", Mode::claudeStatus},
    {"install-claude-config", Mode::installClaudeConfig},
    {"install-claude-statusline", Mode::installClaudeConfig},
    {"revert-claude-config", Mode::revertClaudeConfig},
    {"revert-claude-statusline", Mode::revertClaudeConfig},
    {"ad-report", Mode::adReport},
    {"import-history", Mode::importHistory},
    {"snapshot", Mode::snapshot},
    {"help", Mode::help},
    {"version", Mode::version},
    {"headless", Mode::headless},
    {"claude-statusline", Mode::claudeStatusline},
}};

// The argument as the user typed it, for an option the parser did not know.
QString typedArgument(const QStringList &arguments, const QString &name)
{
    for (const QString &argument : arguments) {
        QStringView bare = argument;
        while (bare.startsWith(u'-'))
            bare = bare.sliced(1);
        if (bare.left(bare.indexOf(u'=')) == name || bare == name)
            return argument.left(argument.indexOf(u'=') < 0 ? argument.size() : argument.indexOf(u'='));
    }
    return QStringLiteral("--") + name;
}

// An option that means something only beside its mode.
std::optional<QString> misplaced(const QCommandLineParser &parser, Mode mode)
{
    const std::array<std::pair<const char *, Mode>, 3> owners{{
        {"scope", Mode::snapshot}, {"json", Mode::snapshot}, {"days", Mode::adReport}}};
    for (const auto &[option, owner] : owners) {
        const bool sharedDays = owner == Mode::adReport && mode == Mode::importHistory;
        if (parser.isSet(QLatin1String(option)) && mode != owner && !sharedDays) {
            const auto flag = std::find_if(modeFlags.begin(), modeFlags.end(),
                                           [owner = owner](const ModeFlag &f) { return f.mode == owner; });
            return QStringLiteral("--%1 goes with --%2").arg(QLatin1String(option), QLatin1String(flag->name));
        }
    }
    return std::nullopt;
}

} // namespace

std::variant<Invocation, QString> parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const ModeFlag &flag : modeFlags)
        parser.addOption(QCommandLineOption(QLatin1String(flag.name)));
    parser.addOption(QCommandLineOption(QStringLiteral("scope"), {}, QStringLiteral("scope")));
    parser.addOption(QCommandLineOption(QStringLiteral("days"), {}, QStringLiteral("days")));
    parser.addOption(QCommandLineOption(QStringLiteral("json")));
    if (!parser.parse(QStringList{QStringLiteral("corvane")} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return QStringLiteral("unknown option %1").arg(typedArgument(arguments, parser.unknownOptionNames().first()));
        QString text = parser.errorText();
        return text.endsWith(u'.') ? text.chopped(1) : text;
    }
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());

    Invocation invocation;
    const auto flag = std::find_if(modeFlags.begin(), modeFlags.end(),
                                   [&](const ModeFlag &f) { return parser.isSet(QLatin1String(f.name)); });
    if (flag != modeFlags.end())
        invocation.mode = flag->mode;
    if (const std::optional<QString> error = misplaced(parser, invocation.mode))
        return *error;
    if (parser.isSet(QStringLiteral("scope"))) {
        const QString name = parser.values(QStringLiteral("scope")).first();
        invocation.scope = SnapshotFormat::scopeFromName(name);
        if (!invocation.scope)
            return QStringLiteral("unknown scope \"%1\" (expected aggregate, claudeCode, codex or mock)").arg(name);
    }
    invocation.json = parser.isSet(QStringLiteral("json"));
    invocation.daysGiven = parser.isSet(QStringLiteral("days"));
    if (invocation.daysGiven)
        invocation.days = cliInt(parser.values(QStringLiteral("days")).first());
    return invocation;
}

std::optional<qint64> cliInt(const QString &text)
{
    const qsizetype digitsFrom = (text.startsWith(u'+') || text.startsWith(u'-')) ? 1 : 0;
    if (text.size() == digitsFrom)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = (digitsFrom == 1 && text.startsWith(u'+') ? text.mid(1) : text).toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

void printLines(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int errorExit(const QString &description)
{
    printLines(QStringLiteral("error: ") + description + u'\n');
    return 1;
}

int usageError(const QString &description)
{
    printLines(QStringLiteral("error: ") + description + QStringLiteral("\n") + usage().section(u'\n', 0, 0)
               + QStringLiteral(" (corvane --help lists the options)\n"));
    return 2;
}

QString usage()
{
    return QStringLiteral(
        "Usage: corvane [option]\n"
        "\n"
        "Without an option Corvane starts its heads-up display and tray icon (headless when no\n"
        "display is available). Only one Corvane runs per user; a second launch brings the first\n"
        "one's display forward and exits.\n"
        "\n"
        "Options:\n"
        "  --smoke-test             run the built-in self-check against temporary files and exit\n"
        "  --codex-status           print the state of the Codex configuration\n"
        "  --install-codex-config   install the notify hook and the managed Codex config block\n"
        "  --revert-codex-config    remove the managed lines from the Codex config\n"
        "  --claude-hook            the command Claude Code's hooks run: reads the hook's JSON on\n"
        "                           standard input and hands its metadata to the running Corvane\n"
        "  --claude-status          print what Corvane installed in ~/.claude/settings.json\n"
        "  --install-claude-config  add Corvane's hooks and status line to ~/.claude/settings.json\n"
        "                           (also --install-claude-statusline)\n"
        "  --revert-claude-config   remove them again (also --revert-claude-statusline)\n"
        "  --ad-report [--days N]   write the sponsored-slot pilot report (default 7 days)\n"
        "  --import-history [--days N]\n"
        "                           count the Claude Code transcripts and Codex rollout files not yet\n"
        "                           counted (default: all history; with --days, files written in the\n"
        "                           last N days), newest first; a running Corvane is asked to do it.\n"
        "                           Running it again adds nothing\n"
        "  --snapshot [--scope aggregate|claudeCode|codex|mock] [--json]\n"
        "                           print the current metrics in one line (or as JSON), for status bars\n"
        "  --help                   print this text\n"
        "  --version                print the version\n"
        "  --headless               run the telemetry pipeline without window, tray or X11,\n"
        "                           until SIGINT, SIGTERM or SIGHUP\n"
        "  --claude-statusline      Claude Code's statusLine command: hand its JSON (stdin) to Corvane\n"
        "                           and print this session's status line\n"
        "\n"
        "A value follows its option after a space or \"=\" (--scope codex, --scope=codex).\n");
}

} // namespace CommandLine
