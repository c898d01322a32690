#include "App/Shell/StatusMenu.h"

#include "App/Shell/AppIcon.h"
#include "App/Shell/LiteralLabel.h"

#include <QAction>
#include <QSystemTrayIcon>

StatusMenu::StatusMenu(StateProvider state, ActionHandler handler, QObject *parent)
    : QObject(parent)
    , m_state(std::move(state))
    , m_handler(std::move(handler))
{
    m_menu.setTitle(QStringLiteral("Corvane"));
    connect(&m_menu, &QMenu::aboutToShow, this, &StatusMenu::rebuild);
    if (trayAvailable()) {
        m_tray = new QSystemTrayIcon(AppIcon::icon(), this);
        m_tray->setToolTip(QStringLiteral("Corvane"));
        m_tray->setContextMenu(&m_menu);
        // A left click on an XEmbed tray icon opens the same menu.
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                popup(QCursor::pos());
        });
        m_tray->show();
    }
}

StatusMenu::~StatusMenu() = default;

bool StatusMenu::trayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void StatusMenu::popup(const QPoint &globalPosition) { m_menu.popup(globalPosition); }

void StatusMenu::rebuild()
{
    // Submenus are children of m_menu, so clear() alone would keep them alive.
    for (QAction *action : m_menu.actions()) {
        if (QMenu *sub = action->menu())
            sub->deleteLater();
    }
    m_menu.clear();
    addRows(m_menu, statusMenuRows(m_state()));
}

void StatusMenu::addRows(QMenu &menu, const QList<MenuRow> &rows)
{
    for (const MenuRow &row : rows) {
        switch (row.kind) {
        case MenuRow::Kind::separator:
            menu.addSeparator();
            break;
        case MenuRow::Kind::submenu: {
            QMenu *sub = menu.addMenu(literalLabel(row.title));
            addRows(*sub, row.children);
            break;
        }
        case MenuRow::Kind::item: {
            QAction *action = menu.addAction(literalLabel(row.title));
            action->setEnabled(row.action != MenuAction::none);
            action->setCheckable(row.checked);
            action->setChecked(row.checked);
            const MenuAction kind = row.action;
            const QString represented = row.represented;
            // Queued, so a dialog opened by the action runs after the menu has closed.
            connect(action, &QAction::triggered, this, [this, kind, represented] {
                QMetaObject::invokeMethod(this, [this, kind, represented] { m_handler(kind, represented); },
                                          Qt::QueuedConnection);
            });
            break;
        }
        }
    }
}
