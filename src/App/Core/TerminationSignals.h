#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a quit of the event loop on the main thread, so the process
// ends through its normal exit path with status 0. One per process.
class TerminationSignals : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    QSocketNotifier *m_notifier = nullptr;
};
