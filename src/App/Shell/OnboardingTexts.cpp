#include "App/Shell/OnboardingTexts.h"

#include "Platform/DBusDesktop/CompositorScripts.h"

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
    if (family == DesktopFamily::kde)
        return QStringLiteral(
            "<p>On Plasma (Wayland), Corvane reads window positions through a small KWin script it loads into KWin "
            "at start over D-Bus; the script also keeps the HUD above your windows. If KWin refused it, restart "
            "Corvane from inside your Plasma session, or check that scripting is not disabled for KWin. Until then "
            "the HUD floats where you drag it.</p>");
    if (family == DesktopFamily::gnome)
        return QStringLiteral(
                   "<p>On GNOME (Wayland), Corvane reads window positions through its GNOME Shell extension, which "
                   "also keeps the HUD above your windows. Press Install Extension. If GNOME Shell cannot enable it "
                   "right away, log out and in again, then run:</p><p><code>%1</code></p><p>and press Re-check. "
                   "Until then the HUD floats where you drag it.</p>")
            .arg(GnomeShellExtension::enableCommand());
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

QString installExtensionButton() { return QStringLiteral("Install Extension"); }

QString recheckButton() { return QStringLiteral("Re-check"); }

QString grantedLabel() { return QStringLiteral("✓ Granted"); }

} // namespace OnboardingTexts
