#include "App/Core/CommandLine.h"

#include <array>
#include <cstdio>
#include <utility>

namespace CommandLine {

Mode selectMode(const QStringList &arguments)
{
    static const std::array<std::pair<const char *, Mode>, 9> flags{{
        {"--smoke-test", Mode::smokeTest},
        {"--codex-status", Mode::codexStatus},
        {"--install-codex-config", Mode::installCodexConfig},
        {"--revert-codex-config", Mode::revertCodexConfig},
        {"--ad-report", Mode::adReport},
        {"--snapshot", Mode::snapshot},
        {"--help", Mode::help},
        {"--version", Mode::version},
        {"--headless", Mode::headless},
    }};
    for (const auto &[flag, mode] : flags) {
        if (arguments.contains(QLatin1String(flag)))
            return mode;
    }
    return Mode::interface;
}

std::optional<qint64> cliInt(const QStringList &arguments, const QString &flag)
{
    const qsizetype at = arguments.indexOf(flag);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    const QString &text = arguments.at(at + 1);
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
        "  --ad-report [--days N]   write the sponsored-slot pilot report (default 7 days)\n"
        "  --snapshot [--scope aggregate|claudeCode|codex|mock] [--json]\n"
        "                           print the current metrics in one line (or as JSON), for status bars\n"
        "  --help                   print this text\n"
        "  --version                print the version\n"
        "  --headless               run the telemetry pipeline without window, tray or X11,\n"
        "                           until SIGINT or SIGTERM\n");
}

} // namespace CommandLine
