#include "Platform/Files/FileTree.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool isFolder(const QByteArray &path, unsigned char type)
{
    if (type != DT_UNKNOWN)
        return type == DT_DIR;
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void collect(const QByteArray &folder, const QByteArray &suffix, QStringList &files)
{
    DIR *directory = ::opendir(folder.constData());
    if (!directory)
        return;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + QByteArray(entry->d_name);
        if (isFolder(path, entry->d_type))
            collect(path, suffix, files);
        else if (name.endsWith(suffix))
            files.append(QFile::decodeName(path));
    }
    ::closedir(directory);
}

} // namespace

QStringList filesBelow(const QString &root, const QString &suffix)
{
    QStringList files;
    collect(QFile::encodeName(root), QFile::encodeName(suffix), files);
    return files;
}
