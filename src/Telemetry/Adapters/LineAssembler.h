#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class RegularFile;

// Cuts the bytes of a JSON-lines file into lines as they arrive, keeping the unterminated tail
// for the next bytes. A tail longer than the cap is dropped and the rest of that line skipped up
// to its newline, with one notice on standard error per file: a file that never ends its line
// (a sparse or runaway file) costs at most the cap in memory.
class LineAssembler {
public:
    static constexpr qsizetype maxLineBytes = 16 * 1024 * 1024;
    using LineHandler = std::function<void(QByteArrayView line)>;

    explicit LineAssembler(QString path, qsizetype maxLine = maxLineBytes);

    // Hands each complete non-empty line (without its newline) to onLine.
    void feed(QByteArrayView bytes, const LineHandler &onLine);
    // Bytes fed that are not yet part of a complete line (a skipped line's bytes count as used).
    qsizetype heldBytes() const { return m_partial.size(); }
    void clear();
    const QString &path() const { return m_path; }

    // Reads [from, to) in slices and feeds them; the offset reached (less than `to` after a read error).
    // A first read that starts inside a line (a position saved while a line over the cap was being
    // skipped) skips on to that line's end.
    qint64 read(const RegularFile &file, qint64 from, qint64 to, const LineHandler &onLine);

private:
    void hold(QByteArrayView tail);
    void noteSkipped();

    QString m_path;
    qsizetype m_maxLine;
    QByteArray m_partial;
    bool m_skipping = false;
    bool m_noticed = false;
    bool m_started = false;
};
