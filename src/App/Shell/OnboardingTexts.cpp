#include "App/Shell/OnboardingTexts.h"

namespace OnboardingTexts {

namespace {

QString missingParagraph(const QString &problem)
{
    if (problem.isEmpty())
        return {};
    return QStringLiteral("<p><b>Missing:</b> ") + problem.toHtmlEscaped() + QStringLiteral("</p>");
}

QString howToGetAccess(DesktopFamily family)
{
    if (family == DesktopFamily::sway)
        return QStringLiteral(
            "<p>On Sway, Corvane reads window positions from Sway's IPC socket, which Sway names in SWAYSOCK for "
            "the programs it starts. Start Corvane from inside your Sway session (for example "
            "<code>exec corvane</code> in ~/.config/sway/config, or from a terminal in the session), then start "
            "Corvane again. Until then the HUD floats where you drag it.</p>");
    return QStringLiteral(
        "<p>Here other apps' window positions are only exposed in an X11 session (XWayland apps included), through "
        "the window manager's standard hints. This session does not offer them — it may be a Wayland-only session. "
        "Log in with an X11 session (for example \"GNOME on Xorg\") or with Sway, then press Re-check. Until then "
        "the HUD floats where you drag it.</p>");
}

} // namespace

QString windowTitle() { return QStringLiteral("Welcome to Corvane"); }

QString heading() { return QStringLiteral("Corvane needs window access"); }

QString body(DesktopFamily family, const QString &problem)
{
    return QStringLiteral("<p>The HUD docks itself to your agent app's window and follows it as it moves and "
                          "resizes.</p>")
        + missingParagraph(problem) + howToGetAccess(family)
        + QStringLiteral("<p>Corvane never reads window <i>contents</i> — only position, size, and focus state. No "
                         "prompts, code, or AI responses are ever collected.</p>");
}

QString recheckButton() { return QStringLiteral("Re-check"); }

QString grantedLabel() { return QStringLiteral("✓ Granted"); }

} // namespace OnboardingTexts
