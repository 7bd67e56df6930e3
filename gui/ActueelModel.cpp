#include "ActueelModel.h"

#include "SqlValues.h"

#include <algorithm>

namespace taviro {

namespace {
enum Column { IconColumn, MelderColumn, AliasColumn, DatumColumn, ColumnCount };

} // namespace

ActueelModel::Row ActueelModel::rowFor(const ActueelItem& item)
{
    return {item, sql::dateText(item.meldingDate)};
}

// Newest first; the text form of the date is what the list has always sorted on.
static bool before(const ActueelModel::Row& a, const ActueelModel::Row& b)
{
    return a.dateText != b.dateText ? a.dateText > b.dateText : a.item.meldingId > b.item.meldingId;
}

ActueelModel::ActueelModel(QIcon mannedIcon, QIcon unmannedIcon, QObject* parent)
    : QAbstractTableModel(parent), m_manned(std::move(mannedIcon)), m_unmanned(std::move(unmannedIcon))
{
}

int ActueelModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int ActueelModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ActueelModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const ActueelItem& item = m_items.at(index.row()).item;
    if (role == Qt::DecorationRole && index.column() == IconColumn)
        return item.bemand ? m_manned : m_unmanned;
    if (role == Qt::ToolTipRole && index.column() == IconColumn)
        return item.bemand ? QStringLiteral("Ontvangen terwijl bemand") : QStringLiteral("Ontvangen terwijl onbemand");
    if (role == Qt::UserRole)
        return itemKey(item.meldingId);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case MelderColumn:
        return item.naam;
    case AliasColumn:
        return item.adres;
    case DatumColumn:
        return m_items.at(index.row()).dateText;
    default:
        return QString();
    }
}

QVariant ActueelModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headers{QString(), QStringLiteral("Melder"), QStringLiteral("Alias"), QStringLiteral("Datum")};
    return headers.value(section);
}

void ActueelModel::addItem(const ActueelItem& item)
{
    if (m_ids.contains(item.meldingId))
        return;
    const Row row = rowFor(item);
    const int at = int(std::lower_bound(m_items.begin(), m_items.end(), row, before) - m_items.begin());
    beginInsertRows({}, at, at);
    m_items.insert(at, row);
    m_ids.insert(item.meldingId);
    endInsertRows();
}

void ActueelModel::addItems(const QList<ActueelItem>& items)
{
    beginResetModel();
    for (const ActueelItem& item : items) {
        if (m_ids.contains(item.meldingId))
            continue;
        m_items.append(rowFor(item));
        m_ids.insert(item.meldingId);
    }
    std::sort(m_items.begin(), m_items.end(), before);
    endResetModel();
}

void ActueelModel::removeMelding(qint64 meldingId)
{
    const int row = rowOf(meldingId);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    m_items.removeAt(row);
    m_ids.remove(meldingId);
    endRemoveRows();
}

void ActueelModel::clear()
{
    beginResetModel();
    m_items.clear();
    m_ids.clear();
    endResetModel();
}

qint64 ActueelModel::meldingIdAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row).item.meldingId : 0;
}

int ActueelModel::rowOf(qint64 meldingId) const
{
    if (!m_ids.contains(meldingId))
        return -1;
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).item.meldingId == meldingId)
            return i;
    return -1;
}

} // namespace taviro
