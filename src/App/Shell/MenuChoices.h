#pragma once

#include "Settings/AppSettings.h"
#include "App/Shell/StatusMenuModel.h"

// Applies a menu row that only changes a setting; false when the action is not one of those.
// A represented text that names no value of the setting changes nothing.
bool applySettingsChoice(AppSettings &settings, MenuAction action, const QString &represented);
