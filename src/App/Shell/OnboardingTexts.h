#pragma once

#include <QString>

// The onboarding window's texts. Docking on Linux needs an X11 session, so that is what the
// window explains in place of a permission to grant.
namespace OnboardingTexts {

QString windowTitle();
QString heading();
// Rich text: the paragraphs, with "contents" emphasised.
QString body();
QString recheckButton();
QString grantedLabel();

} // namespace OnboardingTexts
