#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace taviro::bench {

// Processor time of the calling thread in ms: what the window's thread itself spent.
inline qint64 threadCpuMsecs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Ticks every 5 ms on the window's thread and keeps the longest gap between
// two ticks: how long the event loop was held up. The processor time the
// window's thread spent in that gap tells blocking apart from a machine busy
// with other work.
class GapMeter : public QObject
{
public:
    GapMeter()
    {
        m_timer.setInterval(5);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }
    void start()
    {
        m_wall.start();
        m_last = 0;
        m_lastCpu = threadCpuMsecs();
        m_maxGap = m_maxCpuGap = 0;
        m_timer.start();
    }
    void stop()
    {
        tick();
        m_timer.stop();
    }
    qint64 maxGap() const { return m_maxGap; }
    qint64 maxCpuGap() const { return m_maxCpuGap; }

private:
    void tick()
    {
        const qint64 now = m_wall.elapsed();
        const qint64 cpu = threadCpuMsecs();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_maxCpuGap = std::max(m_maxCpuGap, cpu - m_lastCpu);
        m_last = now;
        m_lastCpu = cpu;
    }
    QTimer m_timer;
    QElapsedTimer m_wall;
    qint64 m_last = 0, m_lastCpu = 0, m_maxGap = 0, m_maxCpuGap = 0;
};

} // namespace taviro::bench
