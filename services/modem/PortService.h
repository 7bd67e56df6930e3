#pragma once

#include <QJsonObject>

#include <functional>

class QCoreApplication;

namespace taviro::service {
class ServiceHost;
}

namespace taviro::modem {

class PortWorker;

// Runs a serial receiver as a service until the console ends it: its
// "start" opens the port with the console's line settings (`defaultBaud`
// when none is given), "stop" closes it, "status" answers with `status()`;
// the worker's messages and log lines reach the console. Returns the exit
// code for main().
int servePortWorker(QCoreApplication& app, service::ServiceHost& host, PortWorker& worker, int defaultBaud,
                    std::function<QJsonObject()> status);

} // namespace taviro::modem
