#pragma once

#include "Platform/DesktopSession.h"

#include <QString>

// The onboarding window's texts. What docking needs depends on the desktop: Sway's IPC socket
// on Sway, the KWin script on Plasma, the Shell extension on GNOME, an X11 session elsewhere, so the window names what is
// missing for this one and how to get it, in place of a permission to grant.
namespace OnboardingTexts {

QString windowTitle();
QString heading();
// Rich text: the paragraphs, with "contents" emphasised. The problem is the window system's own
// sentence about what is missing (shown as it is, escaped).
QString body(DesktopFamily family, const QString &problem);
QString installExtensionButton();
QString recheckButton();
QString grantedLabel();

} // namespace OnboardingTexts
