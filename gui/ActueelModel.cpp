#include "ActueelModel.h"

#include "SqlValues.h"

#include <algorithm>

namespace taviro {

namespace {
enum Column { IconColumn, MelderColumn, AliasColumn, DatumColumn, ColumnCount };

// Newest first; the text form of the date is what the list has always sorted on.
bool before(const ActueelItem& a, const ActueelItem& b)
{
    const QString da = sql::dateText(a.meldingDate), db = sql::dateText(b.meldingDate);
    return da != db ? da > db : a.meldingId > b.meldingId;
}
} // namespace

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
    const ActueelItem& item = m_items.at(index.row());
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
        return sql::dateText(item.meldingDate);
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
    if (rowOf(item.meldingId) >= 0)
        return;
    const auto at = std::lower_bound(m_items.begin(), m_items.end(), item, before);
    const int row = int(at - m_items.begin());
    beginInsertRows({}, row, row);
    m_items.insert(row, item);
    endInsertRows();
}

void ActueelModel::removeMelding(qint64 meldingId)
{
    const int row = rowOf(meldingId);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    m_items.removeAt(row);
    endRemoveRows();
}

void ActueelModel::clear()
{
    beginResetModel();
    m_items.clear();
    endResetModel();
}

qint64 ActueelModel::meldingIdAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row).meldingId : 0;
}

int ActueelModel::rowOf(qint64 meldingId) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).meldingId == meldingId)
            return i;
    return -1;
}

} // namespace taviro
