#pragma once

#include "HUD/SlotSnapshot.h"
#include "Telemetry/ScopedMetrics.h"
#include "Settings/SettingsTypes.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QVariantList>

// Everything the compact bar and the pills show, as texts, colour roles and flags.
// Colour roles: primary, secondary, tertiary, quaternary, accent, gray, green, orange, red.
struct CompactBarContent {
    Q_GADGET
    Q_PROPERTY(QString scopeLabel MEMBER scopeLabel)
    Q_PROPERTY(QString scopeIcon MEMBER scopeIcon)
    Q_PROPERTY(QString scopeHelp MEMBER scopeHelp)
    Q_PROPERTY(QVariantList scopeMenu MEMBER scopeMenu)
    Q_PROPERTY(QString expandSymbol MEMBER expandSymbol)
    Q_PROPERTY(QString expandHelp MEMBER expandHelp)
    Q_PROPERTY(QString stateColor MEMBER stateColor)
    Q_PROPERTY(QString stateLabel MEMBER stateLabel)
    Q_PROPERTY(QString stateHelp MEMBER stateHelp)
    Q_PROPERTY(QString sessionValue MEMBER sessionValue)
    Q_PROPERTY(QString sessionHelp MEMBER sessionHelp)
    Q_PROPERTY(QString contextValue MEMBER contextValue)
    Q_PROPERTY(QString contextHelp MEMBER contextHelp)
    Q_PROPERTY(QVariantList sparkPoints MEMBER sparkPoints)
    Q_PROPERTY(QString tpsLabel MEMBER tpsLabel)
    Q_PROPERTY(QString sparkHelp MEMBER sparkHelp)
    Q_PROPERTY(QString costText MEMBER costText)
    Q_PROPERTY(QString costHelp MEMBER costHelp)
    Q_PROPERTY(bool modelVisible MEMBER modelVisible)
    Q_PROPERTY(QString modelText MEMBER modelText)
    Q_PROPERTY(QString earningsText MEMBER earningsText)
    Q_PROPERTY(QString earningsColor MEMBER earningsColor)
    Q_PROPERTY(QString earningsHelp MEMBER earningsHelp)
    Q_PROPERTY(bool showAds MEMBER showAds)
    Q_PROPERTY(bool slotShowsCreative MEMBER slotShowsCreative)
    Q_PROPERTY(QString slotId MEMBER slotId)
    Q_PROPERTY(QString slotText MEMBER slotText)
    Q_PROPERTY(QString slotIcon MEMBER slotIcon)
    Q_PROPERTY(QString pillText MEMBER pillText)
    Q_PROPERTY(bool limitsVisible MEMBER limitsVisible)
    Q_PROPERTY(QString limitsText MEMBER limitsText)
    Q_PROPERTY(double limitsFraction MEMBER limitsFraction)
    Q_PROPERTY(QString limitsColor MEMBER limitsColor)
    Q_PROPERTY(QString limitsHelp MEMBER limitsHelp)

public:
    QString scopeLabel;
    QString scopeIcon; // "sum", "scope" or "pin.fill"
    QString scopeHelp;
    QVariantList scopeMenu; // {section, title, checked, mode}
    QString expandSymbol;   // "chevron.up" or "chevron.down"
    QString expandHelp;
    QString stateColor;
    QString stateLabel;
    QString stateHelp;
    QString sessionValue;
    QString sessionHelp;
    QString contextValue;
    QString contextHelp;
    QVariantList sparkPoints; // QPointF in unit coordinates, y down
    QString tpsLabel;
    QString sparkHelp;
    QString costText;
    QString costHelp;
    bool modelVisible = false;
    QString modelText;
    QString earningsText;
    QString earningsColor;
    QString earningsHelp;
    bool showAds = false;
    bool slotShowsCreative = false;
    QString slotId;
    QString slotText;
    QString slotIcon;
    QString pillText;
    bool limitsVisible = false; // plan limits known for the scope
    QString limitsText;         // "5h 43 % · 1:12" or "limit · resets 11:46"
    double limitsFraction = 0;  // the gauge, 0…1
    QString limitsColor;
    QString limitsHelp;

    bool operator==(const CompactBarContent &) const = default;
};

// What the bar is built from.
struct CompactBarInputs {
    ScopedMetrics scoped;
    SlotSnapshot slot;
    DisplayMode displayMode;
    bool showAds = true;
    bool expanded = false;
    bool permissionNeeded = false;
    QString targetDisplayName;
    QDateTime now; // for the limits' countdowns; invalid: the current time
};

CompactBarContent compactBarContent(const CompactBarInputs &inputs);

// The throughput samples as points of a size; empty below two samples.
QList<QPointF> sparklinePoints(const QList<double> &values, QSizeF size);
// Whether the marquee's text does not fit and must scroll.
bool marqueeOverflows(double textWidth, double available);
