#pragma once

#include <QObject>

#include <memory>

class QAudioSink;
class QBuffer;

namespace taviro {

// The alarm tone: 2200 Hz for half a second on the sound card when there is
// one, else the system bell. It never blocks and never fails the intake.
// TAVIRO_NO_SOUND=1 silences it (unattended test runs).
class Beeper : public QObject
{
    Q_OBJECT
public:
    explicit Beeper(QObject* parent = nullptr);
    ~Beeper() override;

    void beep();

private:
    bool startTone();

    bool m_silenced = false;
    bool m_probed = false;
    bool m_haveDevice = false;
    QByteArray m_tone;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace taviro
