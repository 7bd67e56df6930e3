#pragma once

#include "ServiceClient.h"
#include "ServiceInterfaces.h"

namespace taviro {

// TaviroComm on one receiving port. The start call is remembered, so a
// receiver that dies is started again on the same port.
class CommReceiverProxy : public CommReceiver
{
    Q_OBJECT
public:
    explicit CommReceiverProxy(ServiceClient::Options options, QObject* parent = nullptr);
    bool startUp(const SerialLine& line) override;
    bool stopListening() override;
    bool restartListening() override;
    void closeAll() override;
    bool portOpen() override;
    bool isIdle() override;
    int port() const { return m_port; }
    ServiceClient& client() { return m_client; }

private:
    bool ask(const QString& method);

    ServiceClient m_client;
    int m_port = 0;
};

class Mes6ReceiverProxy : public Mes6Receiver
{
    Q_OBJECT
public:
    explicit Mes6ReceiverProxy(ServiceClient::Options options, QObject* parent = nullptr);
    bool start(int portNumber, int baudrate) override;
    void stop() override;
    ServiceClient& client() { return m_client; }

private:
    ServiceClient m_client;
};

class SpraakReceiverProxy : public SpraakReceiver
{
    Q_OBJECT
public:
    explicit SpraakReceiverProxy(ServiceClient::Options options, QObject* parent = nullptr);
    bool start(int portNumber, const QString& baudrate) override;
    void stop() override;
    ServiceClient& client() { return m_client; }

private:
    ServiceClient m_client;
};

} // namespace taviro
