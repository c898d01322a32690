#include "Platform/DesktopSession.h"

#include <gtest/gtest.h>

TEST(DesktopSession, TheEnvironmentNamesTheFamily)
{
    struct Case {
        QStringList variables;
        DesktopSession expected;
    };
    const Case cases[] = {
        {{"SWAYSOCK=/run/user/1000/sway-ipc.sock", "XDG_CURRENT_DESKTOP=GNOME"},
         {DesktopFamily::sway, "/run/user/1000/sway-ipc.sock"}},
        {{"XDG_CURRENT_DESKTOP=sway"}, {DesktopFamily::sway, {}}}, // the socket unknown: onboarding says so
        {{"XDG_CURRENT_DESKTOP=ubuntu:GNOME"}, {DesktopFamily::gnome, {}}},
        {{"XDG_CURRENT_DESKTOP=KDE"}, {DesktopFamily::kde, {}}},
        {{"XDG_CURRENT_DESKTOP=KDE", "WAYLAND_DISPLAY=wayland-0"}, {DesktopFamily::kde, {}, true}},
        {{"XDG_CURRENT_DESKTOP=GNOME", "XDG_SESSION_TYPE=wayland"}, {DesktopFamily::gnome, {}, true}},
        {{"XDG_CURRENT_DESKTOP=GNOME", "XDG_SESSION_TYPE=x11"}, {DesktopFamily::gnome, {}}},
        {{"XDG_CURRENT_DESKTOP=XFCE"}, {DesktopFamily::other, {}}},
        {{}, {DesktopFamily::other, {}}},
    };
    for (const Case &c : cases) {
        QProcessEnvironment environment(QProcessEnvironment::InheritFromParent);
        environment.clear();
        for (const QString &variable : c.variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        EXPECT_EQ(detectDesktopSession(environment), c.expected) << c.variables.join(u' ').toStdString();
    }
}
