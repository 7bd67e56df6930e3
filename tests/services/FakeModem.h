#pragma once

#include "DeliverEncoder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

namespace taviro::test {

// A GSM/PSTN modem on the far end of a pseudo-terminal, for the serial
// services. It answers the AT commands the services use, records every SMS
// submitted, keeps a message store that replies can be put into, and plays a
// transmitter that dials in with a report. It can also hang (say nothing) or
// talk nonsense. Point TAVIRO_COM<n> at devicePath().
class FakeModem
{
public:
    enum class Mood { Normal, Silent, Garbage };

    struct Submitted
    {
        QByteArray command; // AT+CMGS=... as received
        QByteArray body;    // text (text mode) or hex PDU (PDU mode)
        bool pduMode = false;
    };

    FakeModem();
    ~FakeModem();
    bool ok() const { return m_master >= 0; }
    QString devicePath() const { return m_slavePath; }

    void setMood(Mood mood) { m_mood = mood; }
    // The dialling transmitter stays on the line after its acknowledgement
    // until the service hangs up.
    void setStaysOnLine(bool stays) { m_staysOnLine = stays; }
    // The device is gone, as an unplugged USB adapter: the line hangs up.
    void vanish();
    // Time the network takes to accept each submitted message.
    void setSubmitDelayMs(int ms) { m_submitDelayMs = ms; }
    // A received SMS in the store: as SMS-DELIVER in the GSM alphabet when
    // the text is plain ASCII, in UCS2 otherwise. AT+CMGL lists it in either mode.
    void addIncoming(const QString& sender, const QString& text);
    // Any received message, built by the test's own encoder. Returns its index.
    int addIncoming(const IncomingSms& sms);
    // A received message given as its PDU (with service centre field), as a
    // network or a broken modem could deliver it; `announced` is the length on
    // the listing's header line (-1: the true TPDU length). Returns its index.
    int addIncomingPdu(const QByteArray& hex, int announced = -1);
    int storedCount() const;
    QList<int> storedIndexes() const;
    // Lines the listing carries in PDU mode after the real entries.
    void setListingExtra(const QByteArray& lines) { std::lock_guard lock(m_mutex); m_listingExtra = lines; }

    // The answers to the health questions, as the modem gives them; an
    // empty answer is a bare OK, as minimal firmware gives.
    void setHealth(const QByteArray& cpin, const QByteArray& creg, const QByteArray& csq,
                   const QByteArray& cgreg = "+CGREG: 0,1");
    // AT+CMGS is answered with this line instead of the "> " prompt.
    void setSubmitRefusal(const QByteArray& line) { std::lock_guard lock(m_mutex); m_refusal = line; }
    // AT+CMGD is refused ("+CMS ERROR: 321") and the message stays.
    void setDeleteFails(bool fails) { m_deleteFails = fails; }
    // Commands starting with `prefix` ("AT+CMGD") are answered only after `ms`.
    void setLateAnswer(const QByteArray& prefix, int ms)
    {
        std::lock_guard lock(m_mutex);
        m_latePrefix = prefix;
        m_lateMs = ms;
    }
    // Says OK to AT+CMGF=0 but keeps listing in text mode, each sender's
    // text printed as it is.
    void setListsInTextMode(bool on) { m_listsInTextMode = on; }

    // A transmitter calls: RING until the service answers, then after CONNECT
    // it sends `lines`; with `hangUpAfter` >= 0 the line drops after that many.
    void call(const QList<QByteArray>& lines, int hangUpAfter = -1);
    // What the service sent during the call (its acknowledgement), and whether the call is over.
    QList<QByteArray> callAnswers() const;
    bool callOver() const { return m_callOver; }

    // Puts bytes on the line as a device would (the MES-6 unit's lines), and
    // everything the service wrote, byte for byte.
    void inject(const QByteArray& bytes) { send(bytes); }
    QByteArray rawReceived() const;

    QList<Submitted> submitted() const;
    QList<QByteArray> commands() const;
    void clearRecords();

private:
    void run();
    void handleBytes(const QByteArray& bytes);
    void handleCommand(const QByteArray& cmd);
    void handleDataLine(const QByteArray& line);
    void send(const QByteArray& bytes);
    void reply(const QByteArray& text) { send("\r\n" + text + "\r\n"); }

    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
    std::thread m_thread;
    std::atomic_bool m_stop = false;
    std::atomic<Mood> m_mood = Mood::Normal;
    std::atomic_int m_submitDelayMs = 0;
    std::atomic_bool m_staysOnLine = false;
    std::atomic_bool m_deleteFails = false;
    std::atomic_bool m_listsInTextMode = false;
    QByteArray m_latePrefix;
    int m_lateMs = 0;

    mutable std::mutex m_mutex;
    QByteArray m_buffer;
    bool m_inBody = false;
    bool m_pduMode = false;
    bool m_echo = true;
    QByteArray m_bodyCommand;
    QList<Submitted> m_submitted;
    QList<QByteArray> m_commands;
    QByteArray m_raw;
    struct Stored
    {
        int index;
        QString sender, text;
        QByteArray pdu;
        int announced;
    };
    QByteArray m_listingExtra;
    QByteArray m_cpin = "+CPIN: READY", m_creg = "+CREG: 0,1", m_cgreg = "+CGREG: 0,1", m_csq = "+CSQ: 17,99";
    QByteArray m_refusal;
    QList<Stored> m_store;
    int m_nextIndex = 1;
    int m_reference = 0;

    // The dialling transmitter.
    QList<QByteArray> m_callLines;
    int m_hangUpAfter = -1;
    std::atomic_bool m_ringing = false;
    std::atomic_bool m_inCall = false;
    std::atomic_bool m_callOver = false;
    QList<QByteArray> m_callAnswers;
    std::atomic<qint64> m_lastRingMs = 0;
};

} // namespace taviro::test
