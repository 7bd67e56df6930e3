#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QAudioSink;
class QBuffer;

namespace taviro {

// The alarm tone: 2200 Hz for half a second on the sound card when there is
// one, else the system bell. It never blocks and never fails the intake.
// Tones asked for in quick succession are played one after the other, so two
// reports taken in together are heard as two tones. TAVIRO_NO_SOUND=1
// silences it (unattended test runs).
class Beeper : public QObject
{
    Q_OBJECT
public:
    explicit Beeper(QObject* parent = nullptr);
    // Plays every tone through `sound` instead of the sound card or bell.
    Beeper(std::function<void()> sound, QObject* parent);
    ~Beeper() override;

    void beep();
    // Tones asked for and not yet started.
    int waiting() const { return m_waiting; }

private:
    void playNext();
    bool startTone();

    std::function<void()> m_sound;
    bool m_silenced = false;
    int m_waiting = 0;
    QTimer m_spacing; // runs while a tone sounds, and the pause after it
    bool m_probed = false;
    bool m_haveDevice = false;
    QByteArray m_tone;
    std::unique_ptr<QBuffer> m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace taviro
