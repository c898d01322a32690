#pragma once

#include "Settings/SettingsStore.h"
#include "Settings/SettingsTypes.h"

#include <QHash>
#include <QObject>

#include <optional>

// Every user preference; each assignment is stored at once and announced by its own signal
// (only when the value actually changes).
class AppSettings : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppSettings)
    Q_PROPERTY(QString targetBundleID READ targetBundleID WRITE setTargetBundleID NOTIFY targetBundleIDChanged)
    Q_PROPERTY(bool showAds READ showAds WRITE setShowAds NOTIFY showAdsChanged)
    Q_PROPERTY(QString remoteAdBaseURL READ remoteAdBaseURL WRITE setRemoteAdBaseURL NOTIFY remoteAdBaseURLChanged)
    Q_PROPERTY(QString remoteAdPublisherID READ remoteAdPublisherID WRITE setRemoteAdPublisherID NOTIFY remoteAdPublisherIDChanged)
    Q_PROPERTY(QString remoteAdPlacementID READ remoteAdPlacementID WRITE setRemoteAdPlacementID NOTIFY remoteAdPlacementIDChanged)
    Q_PROPERTY(bool useMockData READ useMockData WRITE setUseMockData NOTIFY useMockDataChanged)
    Q_PROPERTY(bool hideWhenTargetMissing READ hideWhenTargetMissing WRITE setHideWhenTargetMissing NOTIFY hideWhenTargetMissingChanged)
    Q_PROPERTY(bool showDebugOverlay READ showDebugOverlay WRITE setShowDebugOverlay NOTIFY showDebugOverlayChanged)
    Q_PROPERTY(bool debugLogRawOTel READ debugLogRawOTel WRITE setDebugLogRawOTel NOTIFY debugLogRawOTelChanged)

public:
    static inline const QString defaultRemoteAdBaseURL = QStringLiteral("https://ads.corvane.dev/api");
    static inline const QString defaultRemoteAdPublisherID = QStringLiteral("corvane-desktop");

    // Reads every key once, applying the defaults; writes nothing.
    explicit AppSettings(SettingsStore &defaults, QObject *parent = nullptr);

    // Takes up what others write into the store from now on (the user editing Corvane.conf), with
    // the same change signals as an assignment. A value that cannot be read is ignored, with one
    // line on standard error naming its key.
    void followStoreEdits();
    // Reads every key anew: an absent key is its default, an unreadable one keeps its value.
    void reload();

    QString targetBundleID() const { return m_targetBundleID; }
    DockEdge dockEdge() const { return m_dockEdge; }
    bool showAds() const { return m_showAds; }
    AdBackendMode adBackendMode() const { return m_adBackendMode; }
    QString remoteAdBaseURL() const { return m_remoteAdBaseURL; }
    QString remoteAdPublisherID() const { return m_remoteAdPublisherID; }
    QString remoteAdPlacementID() const { return m_remoteAdPlacementID; }
    bool useMockData() const { return m_useMockData; }
    DisplayMode displayMode() const { return m_displayMode; }
    bool hideWhenTargetMissing() const { return m_hideWhenTargetMissing; }
    bool showDebugOverlay() const { return m_showDebugOverlay; }
    bool debugLogRawOTel() const { return m_debugLogRawOTel; }

    // The known name of the target, else its app id.
    QString targetDisplayName() const;

    void setTargetBundleID(const QString &value);
    void setDockEdge(DockEdge value);
    void setShowAds(bool value);
    void setAdBackendMode(AdBackendMode value);
    void setRemoteAdBaseURL(const QString &value);
    void setRemoteAdPublisherID(const QString &value);
    void setRemoteAdPlacementID(const QString &value);
    void setUseMockData(bool value);
    void setDisplayMode(DisplayMode value);
    void setHideWhenTargetMissing(bool value);
    void setShowDebugOverlay(bool value);
    void setDebugLogRawOTel(bool value);

Q_SIGNALS:
    void targetBundleIDChanged();
    void dockEdgeChanged();
    void showAdsChanged();
    void adBackendModeChanged();
    void remoteAdBaseURLChanged();
    void remoteAdPublisherIDChanged();
    void remoteAdPlacementIDChanged();
    void useMockDataChanged();
    void displayModeChanged();
    void hideWhenTargetMissingChanged();
    void showDebugOverlayChanged();
    void debugLogRawOTelChanged();

private:
    // Stores the new value under its key; assigns and notifies only when it differs.
    template <typename T>
    void assign(T &field, const T &value, const char *key, const QVariant &stored, void (AppSettings::*changed)());

    // A key's stored value: none when absent or unreadable (which is reported once).
    std::optional<QString> storedText(const char *key) const;
    std::optional<bool> storedBool(const char *key) const;
    std::optional<DockEdge> storedDockEdge() const;
    void reportUnreadable(const char *key, const QVariant &value) const;
    QString readText(const char *key, const QString &fallback) const;
    bool readBool(const char *key, bool fallback) const;
    // Takes the stored value (or the default when the key is absent) without writing it back.
    template <typename T>
    void adopt(T &field, std::optional<T> stored, const char *key, const T &fallback, void (AppSettings::*changed)());

    SettingsStore &m_defaults;
    mutable QHash<QString, QVariant> m_reported; // unreadable values already named on stderr
    QString m_targetBundleID;
    DockEdge m_dockEdge;
    bool m_showAds;
    AdBackendMode m_adBackendMode;
    QString m_remoteAdBaseURL;
    QString m_remoteAdPublisherID;
    QString m_remoteAdPlacementID;
    bool m_useMockData;
    DisplayMode m_displayMode;
    bool m_hideWhenTargetMissing;
    bool m_showDebugOverlay;
    bool m_debugLogRawOTel;
};
