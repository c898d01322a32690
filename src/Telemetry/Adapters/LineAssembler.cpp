#include "Telemetry/Adapters/LineAssembler.h"

#include "Platform/Files/RegularFile.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 sliceBytes = 1 << 20;

} // namespace

LineAssembler::LineAssembler(QString path, qsizetype maxLine)
    : m_path(std::move(path))
    , m_maxLine(maxLine)
{
}

void LineAssembler::feed(QByteArrayView bytes, const LineHandler &onLine)
{
    qsizetype start = 0;
    if (m_skipping || !m_partial.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        if (newline < 0) {
            hold(bytes);
            return;
        }
        if (!m_skipping) {
            m_partial.append(bytes.first(newline));
            if (m_partial.size() <= m_maxLine)
                onLine(m_partial);
            else
                noteSkipped();
        }
        m_partial.clear();
        m_skipping = false;
        start = newline + 1;
    }
    for (qsizetype newline; (newline = bytes.indexOf('\n', start)) >= 0; start = newline + 1) {
        if (newline - start > m_maxLine) {
            noteSkipped();
            continue;
        }
        if (newline > start)
            onLine(bytes.sliced(start, newline - start));
    }
    hold(bytes.sliced(start));
}

void LineAssembler::hold(QByteArrayView tail)
{
    if (m_skipping)
        return;
    if (m_partial.size() + tail.size() <= m_maxLine) {
        m_partial.append(tail);
        return;
    }
    m_partial = QByteArray();
    m_skipping = true;
    noteSkipped();
}

void LineAssembler::noteSkipped()
{
    if (m_noticed)
        return;
    m_noticed = true;
    std::fprintf(stderr, "corvane: %s: a line longer than %lld bytes is skipped\n", qPrintable(m_path),
                 static_cast<long long>(m_maxLine));
}

void LineAssembler::clear()
{
    m_partial.clear();
    m_skipping = false;
    m_started = false;
}

qint64 LineAssembler::read(const RegularFile &file, qint64 from, qint64 to, const LineHandler &onLine)
{
    if (!m_started && from > 0) {
        // Saved positions lie at line starts except past a skipped line; its notice was given then.
        char before = '\n';
        m_skipping = file.read(from - 1, &before, 1) == 1 && before != '\n';
    }
    m_started = true;
    QByteArray slice(std::min(to - from, sliceBytes), Qt::Uninitialized);
    qint64 position = from;
    while (position < to) {
        const qint64 got = file.read(position, slice.data(), std::min<qint64>(slice.size(), to - position));
        if (got <= 0)
            break;
        position += got;
        feed(QByteArrayView(slice.constData(), got), onLine);
    }
    return position;
}
