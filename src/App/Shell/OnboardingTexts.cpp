#include "App/Shell/OnboardingTexts.h"

namespace OnboardingTexts {

QString windowTitle() { return QStringLiteral("Welcome to Corvane"); }

QString heading() { return QStringLiteral("Corvane needs window access"); }

QString body()
{
    return QStringLiteral(
        "<p>The HUD docks itself to your agent app's window and follows it as it moves and resizes. On Linux, other "
        "apps' window positions are only exposed in an X11 session (XWayland apps included), through the window "
        "manager's standard hints.</p>"
        "<p>This session does not offer them — it may be a Wayland-only session. Log in with an X11 session (for "
        "example \"GNOME on Xorg\"), then press Re-check. Until then the HUD floats where you drag it.</p>"
        "<p>Corvane never reads window <i>contents</i> — only position, size, and focus state. No prompts, code, or "
        "AI responses are ever collected.</p>");
}

QString recheckButton() { return QStringLiteral("Re-check"); }

QString grantedLabel() { return QStringLiteral("✓ Granted"); }

} // namespace OnboardingTexts
