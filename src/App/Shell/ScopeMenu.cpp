#include "App/Shell/ScopeMenu.h"

#include "App/Shell/LiteralLabel.h"

#include <QAction>

ScopeMenu::ScopeMenu(Chooser choose, QObject *parent)
    : QObject(parent)
    , m_choose(std::move(choose))
{
}

void ScopeMenu::popup(const QVariantList &entries, const QPoint &globalPosition)
{
    m_menu.clear();
    QString section;
    for (const QVariant &value : entries) {
        const QVariantMap entry = value.toMap();
        if (entry.value(QStringLiteral("section")).toString() != section) {
            section = entry.value(QStringLiteral("section")).toString();
            m_menu.addSection(section);
        }
        QAction *action = m_menu.addAction(literalLabel(entry.value(QStringLiteral("title")).toString()));
        action->setCheckable(true);
        action->setChecked(entry.value(QStringLiteral("checked")).toBool());
        const QString mode = entry.value(QStringLiteral("mode")).toString();
        connect(action, &QAction::triggered, this, [this, mode] { m_choose(mode); });
    }
    m_menu.popup(globalPosition);
}
