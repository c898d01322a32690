#pragma once

#include <QString>
#include <QTemporaryDir>

// A small tmpfs of its own, mounted for one test, that can be filled to the last byte so every
// further write fails with "No space left on device". Mounting needs root; when it is refused,
// isMounted() is false and the test skips.
class FullDisk {
public:
    FullDisk();
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    // Takes up every free byte with a filler file.
    void fill();
    // Frees the space again.
    void release();
    // Frees this much of the filled space.
    void release(qint64 bytes);

private:
    QString fillerPath() const { return path() + QStringLiteral("/.filler"); }

    QTemporaryDir m_dir;
    bool m_mounted = false;
};
