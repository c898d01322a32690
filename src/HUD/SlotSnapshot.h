#pragma once

#include <QString>

#include <optional>

// What the sponsored slot and the dashboard's economics show, copied from the impression engine
// by whoever wires the HUD (the HUD does not link the ads layer's engine).
struct SlotSnapshot {
    struct Creative {
        QString id;
        QString text;
        QString iconAsset;
        bool operator==(const Creative &) const = default;
    };
    struct Gates {
        bool turnInFlight = false;
        bool hudVisible = false;
        bool displayAwake = false;
        bool inputRecent = false;
        bool operator==(const Gates &) const = default;
    };
    enum class BackendStatus { localMock, remoteReady, remoteFallback, remoteError };

    std::optional<Creative> currentCreative;
    Gates gates;
    int streakSeconds = 0;
    int tickCount = 0;
    double earningsThisMonth = 0;
    double demoValueThisMonth = 0;
    double projectedMonthly = 0; // the engine's projection of earningsThisMonth
    BackendStatus backendStatus = BackendStatus::localMock;
    QString backendMessage;
    qint64 queuedEvents = 0;

    bool operator==(const SlotSnapshot &) const = default;
};
