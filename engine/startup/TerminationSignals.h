#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace taviro {

// SIGTERM (systemctl stop, a shutdown), SIGINT (Ctrl-C) and SIGHUP (the
// desktop session ending) become a Qt signal in the event loop, so the
// console can stop its services, log and let go of its lock instead of dying
// in the middle of whatever it was doing.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    static QString nameOf(int signalNumber);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace taviro
