// TaviroSpraakReceiver: the speech modem. It answers every call so a caller
// is never left ringing, tells the console's event log about it, and hangs up
// when the caller does or after a minute. It stores no report.

#include "ParamReader.h"
#include "PortService.h"
#include "PortWorker.h"
#include "ServiceHost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonObject>

using namespace taviro;
using namespace taviro::service;

namespace {

class SpraakWorker : public modem::PortWorker
{
public:
    int callsAnswered() const { return m_calls; }

protected:
    bool prepare(modem::ModemPort& port, QString* problem) override
    {
        modem::AtResult r;
        for (int i = 0; i < 3 && !r.ok(); ++i)
            r = port.command("AT", 2000);
        if (!r.ok()) {
            *problem = QStringLiteral("de spraakmodem op COM %1 antwoordt niet").arg(line().comNumber);
            return false;
        }
        port.command("ATE0", 2000);
        return true;
    }

    void lineReceived(modem::ModemPort& port, const QByteArray& raw) override
    {
        if (raw.trimmed() != "RING")
            return;
        const modem::AtResult r = port.command("ATA", 60000);
        if (r.final != modem::AtFinal::Connect && r.final != modem::AtFinal::Ok) {
            Q_EMIT logLine(QStringLiteral("oproep niet aangenomen: %1").arg(QString::fromLatin1(r.finalLine)));
            return;
        }
        ++m_calls;
        Q_EMIT meldingMessage(QStringLiteral("Spraakoproep beantwoord op COM %1").arg(line().comNumber), 1);
        // The caller speaks his message; we wait until he hangs up.
        QDeadlineTimer limit(m_callMs);
        while (!limit.hasExpired()) {
            const auto l = port.readLine(int(limit.remainingTime()));
            if (!l || modem::finalResultOf(*l) == modem::AtFinal::NoCarrier) {
                if (!l)
                    break;
                return;
            }
        }
        QThread::msleep(1100);
        port.write("+++");
        QThread::msleep(1100);
        port.discardInput();
        port.command("ATH", 5000);
    }

private:
    std::atomic_int m_calls = 0;
    int m_callMs = envMillis("TAVIRO_SPRAAK_CALL_MS", 60000);
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroSpraakReceiver"));
    SpraakWorker worker;
    return modem::servePortWorker(app, host, worker, 9600, [&worker] {
        return QJsonObject{{QStringLiteral("calls"), worker.callsAnswered()}, {QStringLiteral("portOpen"), worker.portOpen()}};
    });
}
