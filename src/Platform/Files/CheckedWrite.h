#pragma once

#include <QByteArrayView>
#include <QFileDevice>
#include <QString>

#include <optional>

// The two ways Corvane writes a file, both checked to the end: a failed write (a full disk, a
// read-only folder) is returned as the reason, "cannot write <path>: <what the system said>", and
// leaves the file as it was.
namespace CheckedWrite {

inline constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Replaces the whole file: the bytes are written aside, unbuffered, synced to disk and renamed
// into place, so the file holds either the old bytes or all of the new ones. The new file gets
// `permissions`.
[[nodiscard]] std::optional<QString> replaceFile(const QString &path, QByteArrayView bytes,
                                                 QFileDevice::Permissions permissions = ownerOnly);

// Appends text lines to the end of the file, creating it (owner-only) when missing and starting
// on a new line when the file lacks its last line feed. A write that fails is cut back off, so
// no torn line is left behind. An older file readable by others is made owner-only.
[[nodiscard]] std::optional<QString> appendLines(const QString &path, QByteArrayView bytes);

} // namespace CheckedWrite
