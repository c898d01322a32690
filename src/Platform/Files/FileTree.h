#pragma once

#include <QString>
#include <QStringList>

// The files below a folder whose names end in `suffix`, hidden ones included, links to folders not
// followed. Read with readdir and the kinds it reports, without a stat per entry: listing ten
// thousand transcripts at start stays within a few milliseconds.
QStringList filesBelow(const QString &root, const QString &suffix);
