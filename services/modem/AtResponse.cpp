#include "AtResponse.h"

namespace taviro::modem {

AtFinal finalResultOf(const QByteArray& raw)
{
    const QByteArray line = raw.trimmed();
    if (line == "OK" || line == "0")
        return AtFinal::Ok;
    if (line == "ERROR" || line == "4" || line.startsWith("+CMS ERROR") || line.startsWith("+CME ERROR"))
        return AtFinal::Error;
    if (line == "CONNECT" || line.startsWith("CONNECT "))
        return AtFinal::Connect;
    if (line == "NO CARRIER" || line == "3")
        return AtFinal::NoCarrier;
    if (line == "BUSY" || line == "7")
        return AtFinal::Busy;
    if (line == "NO DIALTONE" || line == "NO DIAL TONE" || line == "6")
        return AtFinal::NoDialtone;
    if (line == "NO ANSWER" || line == "8")
        return AtFinal::NoAnswer;
    return AtFinal::None;
}

bool isUnsolicited(const QByteArray& raw)
{
    const QByteArray line = raw.trimmed();
    return line == "RING" || line == "2" || line.startsWith("+CMTI:") || line.startsWith("+CRING:");
}

void LineSplitter::feed(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!m_partial.isEmpty())
                m_lines.append(m_partial);
            m_partial.clear();
        } else {
            if (m_partial.size() == MaxLineBytes) {
                m_discarded += m_partial.size();
                m_partial.clear();
            }
            m_partial.append(c);
        }
    }
}

QByteArray LineSplitter::takeLine()
{
    return m_lines.isEmpty() ? QByteArray() : m_lines.takeFirst();
}

void LineSplitter::clear()
{
    m_partial.clear();
    m_lines.clear();
}

QByteArray AtResult::value(const QByteArray& prefix) const
{
    for (const QByteArray& l : lines)
        if (l.startsWith(prefix))
            return l.mid(prefix.size()).trimmed();
    return {};
}

} // namespace taviro::modem
