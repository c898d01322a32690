#include "Platform/DesktopSession.h"

#include <gtest/gtest.h>

TEST(DesktopSession, TheEnvironmentNamesTheFamily)
{
    struct Case {
        QStringList variables;
        DesktopSession expected;
    };
    const Case cases[] = {
        {{"SWAYSOCK=/run/user/1000/sway-ipc.sock", "WAYLAND_DISPLAY=wayland-1"},
         {DesktopFamily::sway, true, "/run/user/1000/sway-ipc.sock"}},
        {{"XDG_CURRENT_DESKTOP=sway", "XDG_SESSION_TYPE=wayland"}, {DesktopFamily::sway, true, {}}}, // socket unknown
        {{"XDG_CURRENT_DESKTOP=ubuntu:GNOME", "WAYLAND_DISPLAY=wayland-0"}, {DesktopFamily::gnome, true, {}}},
        {{"XDG_CURRENT_DESKTOP=KDE", "XDG_SESSION_TYPE=x11"}, {DesktopFamily::kde, false, {}}},
        {{"XDG_CURRENT_DESKTOP=XFCE"}, {DesktopFamily::other, false, {}}},
        {{}, {DesktopFamily::other, false, {}}},
    };
    for (const Case &c : cases) {
        QProcessEnvironment environment(QProcessEnvironment::InheritFromParent);
        environment.clear();
        for (const QString &variable : c.variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        EXPECT_EQ(detectDesktopSession(environment), c.expected) << c.variables.join(u' ').toStdString();
    }
}
