#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace taviro::modem {

// How a modem ends its answer to one command.
enum class AtFinal {
    None,     // no final result yet (or never: the modem hung or talks nonsense)
    Ok,
    Error,    // "ERROR", "+CMS ERROR: n", "+CME ERROR: n"
    Connect,  // "CONNECT" with or without a speed
    NoCarrier,
    Busy,
    NoDialtone,
    NoAnswer,
};

// The final result code a line stands for, AtFinal::None for any other line.
AtFinal finalResultOf(const QByteArray& line);

// Lines a modem sends on its own, between or inside answers: an incoming
// call, a new stored message.
bool isUnsolicited(const QByteArray& line);

// Cuts the modem's byte stream into lines. CR, LF and CR LF all end a line;
// empty lines disappear. Bytes that do not yet end in a line end wait in the
// buffer, so a line split over two reads comes out whole.
class LineSplitter
{
public:
    // No modem answer or unit's line comes near this. A device that sends
    // bytes without a line end for ever (a wrong line speed, a broken unit)
    // must not fill the memory: at 9600 baud that would be 83 MB a day. What
    // runs longer is thrown away and counted.
    static constexpr qsizetype MaxLineBytes = 4096;

    void feed(const QByteArray& bytes);
    // Bytes thrown away since the last call.
    qsizetype takeDiscarded() { return std::exchange(m_discarded, 0); }
    bool hasLine() const { return !m_lines.isEmpty(); }
    QByteArray takeLine();
    // What arrived after the last line end (the "> " prompt of a message).
    const QByteArray& partial() const { return m_partial; }
    void clearPartial() { m_partial.clear(); }
    void clear();

private:
    QByteArray m_partial;
    QList<QByteArray> m_lines;
    qsizetype m_discarded = 0;
};

// The answer to one command: the information lines and how it ended.
struct AtResult
{
    AtFinal final = AtFinal::None;
    QList<QByteArray> lines; // between the echo and the final result
    QByteArray finalLine;

    bool ok() const { return final == AtFinal::Ok; }
    bool timedOut() const { return final == AtFinal::None; }
    // The first information line that starts with `prefix` ("+CMGS:"), without it, trimmed.
    QByteArray value(const QByteArray& prefix) const;
};

} // namespace taviro::modem
