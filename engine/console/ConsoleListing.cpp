// Keeping the current-alarm list the same at every console: reports taken
// in by another station are listed, those acknowledged elsewhere leave.
#include "Console.h"

#include "ActueelQuery.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"

namespace taviro {

namespace {
// Short enough that an operator at another console hears a new alarm within
// seconds; each look is a few index lookups however long the table grows.
constexpr int kListingMsecs = 2500;
} // namespace

void Console::keepListUpToDate()
{
    m_listingTimer.start(kListingMsecs);
}

void Console::announce(const ActueelItem& item)
{
    m_listed.insert(item.meldingId);
    Q_EMIT actueelAdded(item);
    Q_EMIT beep();
    if (m_bemand && m_lampActive)
        Q_EMIT lampRequested(true);
}

void Console::followOtherStations(bool wholeList)
{
    // A lost connection is restored by the minute's tick, which may wait for
    // the server; this look must never hold the window up.
    if (m_shuttingDown || m_conn.lost())
        return;
    // How far this look may move the mark: up to the newest report, but not
    // past one that is still to be taken in, which a station may list later.
    // Read before the list itself, so that whatever is taken in meanwhile is
    // either in the list read below or above the new mark.
    auto newest = m_conn.scalar(QStringLiteral("SELECT MAX(id) FROM meldingen"));
    auto waiting = m_conn.scalar(QStringLiteral("SELECT MIN(id) FROM meldingen WHERE %1 = ? AND seen = ?")
                                     .arg(m_conn.id(QStringLiteral("show"))),
                                 {sql::boolValue(true), sql::boolValue(false)});
    if (!newest || !waiting) {
        m_log.writeLog(QStringLiteral("Actuele meldingen van andere stations niet leesbaar: ") +
                           (newest ? waiting.error() : newest.error()),
                       1);
        return;
    }
    qint64 mark = newest->isNull() ? 0 : sql::toLong(*newest);
    if (!waiting->isNull())
        mark = std::min(mark, sql::toLong(*waiting) - 1);

    auto items = loadTakenInAbove(m_conn, wholeList ? 0 : m_lookedAtUpTo);
    if (!items) {
        m_log.writeLog(QStringLiteral("Actuele meldingen van andere stations niet leesbaar: ") +
                           items.error(),
                       1);
        return;
    }
    for (const ActueelItem& item : std::as_const(*items))
        if (!m_listed.contains(item.meldingId))
            announce(item);
    m_lookedAtUpTo = std::max(m_lookedAtUpTo, mark);
    dropAcknowledgedElsewhere();
    noticeNewTransmitters();
}

void Console::noticeNewTransmitters()
{
    // The `new` mark is cleared by whichever workstation looks first, so it
    // cannot tell every console on its own; the keys can: a console that sees
    // a higher key than its tree was built with rebuilds the tree.
    const QString newColumn = m_conn.id(QStringLiteral("new"));
    auto newest = m_conn.scalar(QStringLiteral("SELECT MAX(id) FROM melders"));
    auto marks = m_conn.scalar(QStringLiteral("SELECT COUNT(*) FROM melders WHERE %1 = ?").arg(newColumn),
                               {sql::boolValue(true)});
    // Written only when there is something to clear: a look every few
    // seconds must not take the write lock the receivers need.
    Status cleared;
    if (marks && sql::toLong(*marks) > 0)
        cleared = m_conn.exec(QStringLiteral("UPDATE melders SET %1 = ? WHERE %1 = ?").arg(newColumn),
                              {sql::boolValue(false), sql::boolValue(true)});
    if (!newest || !marks || !cleared) {
        m_log.writeLog(QStringLiteral("Nieuwe melders niet leesbaar: ") +
                           (!newest ? newest.error() : !marks ? marks.error() : cleared.error()),
                       1);
        return;
    }
    const qint64 highest = newest->isNull() ? 0 : sql::toLong(*newest);
    const bool added = m_melderMark >= 0 && highest > m_melderMark;
    m_melderMark = std::max(m_melderMark, highest);
    if (added || sql::toLong(*marks) > 0)
        Q_EMIT melderTreeChanged();
}

} // namespace taviro
