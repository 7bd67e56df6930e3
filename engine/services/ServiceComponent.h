#pragma once

#include <QObject>
#include <QString>

namespace taviro {

// What every service tells the console: a report was stored (or, for the SMS
// service, a transmission ended), and log lines for the event log.
class ServiceComponent : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ServiceComponent() override;

Q_SIGNALS:
    void meldingReady();
    void meldingMessage(const QString& text, int level);
};

} // namespace taviro
