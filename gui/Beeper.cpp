#include "Beeper.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

#include <cmath>

namespace taviro {

namespace {
constexpr int kRate = 22050;
constexpr int kFrequency = 2200;
constexpr int kMillis = 500;
// Silence between two tones, long enough for the ear to count them.
constexpr int kPauseMillis = 250;

QByteArray makeTone()
{
    const int samples = kRate * kMillis / 1000;
    QByteArray pcm(samples * int(sizeof(qint16)), Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < samples; ++i)
        out[i] = qint16(12000 * std::sin(2.0 * M_PI * kFrequency * i / kRate));
    return pcm;
}
} // namespace

Beeper::Beeper(QObject* parent)
    : Beeper(
          [this] {
              if (!startTone())
                  QApplication::beep();
          },
          parent)
{
    m_silenced = qEnvironmentVariableIntValue("TAVIRO_NO_SOUND") == 1;
}

Beeper::Beeper(std::function<void()> sound, QObject* parent) : QObject(parent), m_sound(std::move(sound))
{
    m_spacing.setSingleShot(true);
    connect(&m_spacing, &QTimer::timeout, this, &Beeper::playNext);
}

Beeper::~Beeper() = default;

void Beeper::beep()
{
    if (m_silenced)
        return;
    ++m_waiting;
    if (!m_spacing.isActive())
        playNext();
}

void Beeper::playNext()
{
    if (m_waiting == 0)
        return;
    --m_waiting;
    m_sound();
    m_spacing.start(kMillis + kPauseMillis);
}

bool Beeper::startTone()
{
    if (!m_probed) {
        m_probed = true;
        m_haveDevice = !QMediaDevices::defaultAudioOutput().isNull();
        m_tone = makeTone();
    }
    if (!m_haveDevice)
        return false;
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (m_sink)
        m_sink->stop();
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
    m_buffer = std::make_unique<QBuffer>(&m_tone);
    m_buffer->open(QIODevice::ReadOnly);
    m_sink->start(m_buffer.get());
    return m_sink->error() == QAudio::NoError;
}

} // namespace taviro
