#pragma once

#include "Platform/Files/RegularFile.h"

#include <QHash>
#include <QString>

// How far one transcript or rollout file has been counted, and which file that was.
struct FilePosition {
    QString path;
    FileIdentity identity; // as the file was when read up to offset
    qint64 offset = 0;     // the end of the last line counted
    bool complete = true;  // false while its history import has not reached the end it saw

    bool operator==(const FilePosition &) const = default;
};

using FilePositions = QHash<QString, FilePosition>;
