#pragma once

#include "Platform/Desktop.h"

#include <QList>

// Records what would have been opened or revealed.
class FakeDesktop : public Desktop {
public:
    QList<QUrl> opened;
    QList<QStringList> revealed;
    bool opens = true;

    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return opens;
    }
    void revealFiles(const QStringList &paths) override { revealed.append(paths); }
};
