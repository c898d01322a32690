#pragma once

#include <QStringList>
#include <QUrl>

// Hands addresses and files to the user's desktop.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a web address or a file with its default application; false when nothing took it.
    virtual bool openUrl(const QUrl &url) = 0;
    // Shows the files, selected, in the file manager (or at least their folders).
    virtual void revealFiles(const QStringList &paths) = 0;
};
