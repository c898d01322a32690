#pragma once

#include <QMenu>
#include <QObject>
#include <QVariantList>

#include <functional>

// The scope chip's menu, in a window of its own: sections of display modes with the current one
// checked (entries {section, title, checked, mode} as the compact bar lists them).
class ScopeMenu : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScopeMenu)

public:
    using Chooser = std::function<void(const QString &mode)>;

    explicit ScopeMenu(Chooser choose, QObject *parent = nullptr);

    void popup(const QVariantList &entries, const QPoint &globalPosition);
    QMenu *menu() { return &m_menu; }

private:
    Chooser m_choose;
    QMenu m_menu;
};
