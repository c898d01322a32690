#pragma once

#include "HUD/CompactBarContent.h"
#include "HUD/DashboardContent.h"
#include "HUD/HUDState.h"
#include "HUD/HUDViewModel.h"

#include <QtQml/qqml.h>

// The view model's types as the Corvane.HUD module declares them to QML. The types themselves
// live in the QtCore-only HUD library, so they are registered from here, where Qt Qml is linked.

struct HUDViewModelForeign {
    Q_GADGET
    QML_FOREIGN(HUDViewModel)
    QML_NAMED_ELEMENT(HUDViewModel)
    QML_UNCREATABLE("The application makes the view model and hands it to the view.")
};

struct HUDStateForeign {
    Q_GADGET
    QML_FOREIGN(HUDState)
    QML_NAMED_ELEMENT(HUDState)
    QML_UNCREATABLE("The view model owns the HUD state.")
};

struct CompactBarContentForeign {
    Q_GADGET
    QML_FOREIGN(CompactBarContent)
    QML_VALUE_TYPE(compactBarContent)
    QML_UNCREATABLE("Built by the view model.")
};

struct DashboardContentForeign {
    Q_GADGET
    QML_FOREIGN(DashboardContent)
    QML_VALUE_TYPE(dashboardContent)
    QML_UNCREATABLE("Built by the view model.")
};
