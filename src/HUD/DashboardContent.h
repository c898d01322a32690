#pragma once

#include "HUD/SlotSnapshot.h"
#include "Telemetry/CodexTelemetryHealth.h"
#include "Telemetry/ScopedMetrics.h"

#include <QLocale>
#include <QString>
#include <QVariantList>

// Everything the expanded dashboard shows. Tiles are {title, value, detail, tint}, a plan-limits
// tile also {gauges: [fraction, …]}, only those that fit (the wide layout keeps them in one row, so
// the charts keep their height); days are
// {label, input, output, cost} oldest first; tool rows {name, duration}; session rows {id, value, help};
// gate rows {text, passes}.
struct DashboardContent {
    Q_GADGET
    Q_PROPERTY(bool narrow MEMBER narrow)
    Q_PROPERTY(QVariantList tiles MEMBER tiles)
    Q_PROPERTY(QVariantList days MEMBER days)
    Q_PROPERTY(double maxDayTokens MEMBER maxDayTokens)
    Q_PROPERTY(double maxDayCost MEMBER maxDayCost)
    Q_PROPERTY(QString tokenScale MEMBER tokenScale)
    Q_PROPERTY(QString costScale MEMBER costScale)
    Q_PROPERTY(QString toolTitle MEMBER toolTitle)
    Q_PROPERTY(QVariantList toolRows MEMBER toolRows)
    Q_PROPERTY(QVariantList sessionRows MEMBER sessionRows)
    Q_PROPERTY(bool showDebugOverlay MEMBER showDebugOverlay)
    Q_PROPERTY(QVariantList gateRows MEMBER gateRows)
    Q_PROPERTY(QString streakLine MEMBER streakLine)
    Q_PROPERTY(QString historyLine MEMBER historyLine)

public:
    static constexpr double wideFromWidth = 760;
    static constexpr int narrowToolRows = 8;
    static constexpr int wideToolRows = 20;
    static constexpr int sessionRowLimit = 4;
    static constexpr double padding = 12;
    static constexpr double tileSpacing = 8;
    static constexpr double narrowTileWidth = 128;
    static constexpr double wideTileWidth = 116;

    bool narrow = true;
    QVariantList tiles;
    QVariantList days;
    double maxDayTokens = 0;
    double maxDayCost = 0;
    QString tokenScale; // the charts' top values
    QString costScale;
    QString toolTitle;
    QVariantList toolRows;
    QVariantList sessionRows;
    bool showDebugOverlay = false;
    QVariantList gateRows;
    QString streakLine;
    QString historyLine; // the history import's progress while it runs; empty otherwise

    bool operator==(const DashboardContent &) const = default;
};

struct DashboardInputs {
    ScopedMetrics scoped;
    SlotSnapshot slot;
    CodexTelemetryHealth::Snapshot codexHealth;
    bool showDebugOverlay = false;
    double width = 0;
    QLocale locale; // for the one-letter weekday labels
    QDateTime now;  // for the limits' countdowns; invalid: the current time
    QString historyLine;
};

DashboardContent dashboardContent(const DashboardInputs &inputs);
