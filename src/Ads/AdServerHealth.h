#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What the current ad backend can do, as the HUD shows it.
struct AdServerHealth {
    enum class Status { localMock, remoteReady, remoteFallback, remoteError };

    Status status = Status::localMock;
    QString message;
    qsizetype queuedEvents = 0;
    std::optional<QDateTime> lastSuccess;

    bool operator==(const AdServerHealth &) const = default;

    // The local campaign file is the backend.
    static AdServerHealth localMock();
};

QString rawValue(AdServerHealth::Status status);
