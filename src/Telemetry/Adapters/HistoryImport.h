#pragma once

#include "Platform/Files/RegularFile.h"
#include "Telemetry/CountedIdentity.h"
#include "Telemetry/FilePosition.h"
#include "Telemetry/StoredAgentEvent.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class HistorySink;
class LineAssembler;

// Reads the history of an agent's files into a HistorySink, file by file in the given order,
// in bounded steps so that its thread stays responsive and can stop it between two steps. Each
// step's events are stored together with the positions they were read up to, so an import that
// stops anywhere resumes where it stopped and counts nothing twice.
class HistoryImport {
    Q_DISABLE_COPY_MOVE(HistoryImport)

public:
    // What one step stores.
    struct Batch {
        QList<StoredAgentEvent> rows;
        CountedIdentities counted;
    };

    // Turns one agent's lines into the rows to store.
    class Reader {
    public:
        virtual ~Reader() = default;
        virtual void beginFile(const QString &path) = 0;
        virtual void line(QByteArrayView line, Batch &batch) = 0;
        // After the file's last complete line: what its end implies (a quiet turn ended).
        virtual void endFile(Batch &batch) = 0;
    };

    struct Job {
        QString path;
        qint64 from = 0;      // where counting resumes (0: from the start)
        FileIdentity seen;    // as the scan found it
    };

    struct Progress {
        int filesDone = 0;
        int filesTotal = 0;
        qint64 bytesDone = 0;
        qint64 bytesTotal = 0;
        qint64 rowsAdded = 0;
        bool finished = false;
        std::optional<QString> problem; // why the import stopped early (the store refused it)

        bool operator==(const Progress &) const = default;
        // Several imports as one: finished once every one is (also when there are none).
        static Progress sum(const QList<Progress> &parts);
    };

    static constexpr qint64 stepBytes = 4 << 20;

    // Called after a file's last line is stored, with its final position.
    using FileDone = std::function<void(const FilePosition &position)>;

    HistoryImport(Reader &reader, HistorySink &sink, QList<Job> jobs, FileDone onFileDone = {});
    ~HistoryImport();

    // Reads and stores up to about stepBytes; false once every file is done or the store refused.
    bool step();
    const Progress &progress() const { return m_progress; }

private:
    struct Current;

    bool openNext();
    void finishFile(QList<FilePosition> &positions, Batch &batch);
    bool commit(const Batch &batch, const QList<FilePosition> &positions);

    Reader &m_reader;
    HistorySink &m_sink;
    QList<Job> m_jobs;
    qsizetype m_next = 0;
    std::unique_ptr<Current> m_current;
    FileDone m_onFileDone;
    Progress m_progress;
};
