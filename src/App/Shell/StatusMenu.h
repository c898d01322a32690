#pragma once

#include "App/Shell/StatusMenuModel.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>

class QSystemTrayIcon;

// The tray icon and its menu, emptied and rebuilt from the live state each time it opens.
// Without a system tray the same menu is opened with popup(), from a right-click on the HUD.
class StatusMenu : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusMenu)

public:
    using StateProvider = std::function<StatusMenuState()>;
    using ActionHandler = std::function<void(MenuAction, const QString &represented)>;

    StatusMenu(StateProvider state, ActionHandler handler, QObject *parent = nullptr);
    ~StatusMenu() override;

    // Whether a StatusNotifierItem host or an XEmbed tray is there to hold the icon.
    static bool trayAvailable();

    // Opens the menu at a global position (the no-tray fallback).
    void popup(const QPoint &globalPosition);

    QMenu *menu() { return &m_menu; }
    bool hasTrayIcon() const { return m_tray != nullptr; }

private:
    void rebuild();
    void addRows(QMenu &menu, const QList<MenuRow> &rows);

    StateProvider m_state;
    ActionHandler m_handler;
    QMenu m_menu;
    QSystemTrayIcon *m_tray = nullptr;
};
