#pragma once

#include "Console.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QSet>

namespace taviro {

// The current-alarm list: one row per report still to be acknowledged, newest
// on top. Columns: icon, "Melder" (transmitter name), "Alias" (its address),
// "Datum" (yyyy-MM-dd HH:mm:ss, which sorts as time).
class ActueelModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    ActueelModel(QIcon mannedIcon, QIcon unmannedIcon, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Adds the report in its place by date; a report already listed is left as it is.
    void addItem(const ActueelItem& item);
    // Adds many at once (the list rebuilt from the database): one sort, one reset.
    void addItems(const QList<ActueelItem>& items);
    void removeMelding(qint64 meldingId);
    void clear();

    qint64 meldingIdAt(int row) const;
    int rowOf(qint64 meldingId) const;
    static QString itemKey(qint64 meldingId) { return QStringLiteral("key_") + QString::number(meldingId); }

    struct Row
    {
        ActueelItem item;
        QString dateText; // formatted once: it is both shown and sorted on
    };

private:
    static Row rowFor(const ActueelItem& item);

    QList<Row> m_items;
    QSet<qint64> m_ids;
    QIcon m_manned, m_unmanned;
};

} // namespace taviro
