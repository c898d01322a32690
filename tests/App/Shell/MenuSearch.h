#pragma once

#include <QAction>
#include <QMenu>

enum class TitleMatch { whole, prefix };

// The first action with this title in the menu or, depth first, its submenus.
inline QAction *findAction(QMenu &menu, const QString &title, TitleMatch match = TitleMatch::whole)
{
    for (QAction *action : menu.actions()) {
        if (match == TitleMatch::whole ? action->text() == title : action->text().startsWith(title))
            return action;
        if (action->menu())
            if (QAction *inner = findAction(*action->menu(), title, match))
                return inner;
    }
    return nullptr;
}
