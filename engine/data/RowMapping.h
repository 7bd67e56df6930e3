#pragma once

#include "DatabaseSettings.h"
#include "SqlValues.h"

#include <QList>
#include <QVariant>

#include <functional>
#include <type_traits>

namespace taviro {

enum class ColumnKind { Long, Bool, Text, Date };

// How one column of a table maps onto a member of its row struct.
template <class Row>
struct FieldMap
{
    QString column;
    ColumnKind kind;
    std::function<QVariant(const Row&, Dialect)> get;
    std::function<void(Row&, const QVariant&)> set;
    bool defaultTrue = false; // only meldingen.show
};

// A table: its name and the columns after `id`, in schema order.
template <class Row>
struct RowMapping
{
    QString table;
    QList<FieldMap<Row>> fields;
};

template <class T>
constexpr ColumnKind kindOf()
{
    if constexpr (std::is_same_v<T, bool>)
        return ColumnKind::Bool;
    else if constexpr (std::is_same_v<T, QString>)
        return ColumnKind::Text;
    else if constexpr (std::is_same_v<T, QDateTime>)
        return ColumnKind::Date;
    else
        return ColumnKind::Long;
}

template <class T>
QVariant toSql(const T& v, Dialect dialect)
{
    if constexpr (std::is_same_v<T, bool>)
        return sql::boolValue(v);
    else if constexpr (std::is_same_v<T, QString>)
        return sql::textValue(v);
    else if constexpr (std::is_same_v<T, QDateTime>)
        return sql::dateValue(v, dialect);
    else
        return QVariant::fromValue<qint64>(v);
}

template <class T>
T fromSql(const QVariant& v)
{
    if constexpr (std::is_same_v<T, bool>)
        return sql::toBool(v);
    else if constexpr (std::is_same_v<T, QString>)
        return sql::toText(v);
    else if constexpr (std::is_same_v<T, QDateTime>)
        return sql::toDate(v);
    else
        return T(sql::toLong(v));
}

template <class Row, class T>
FieldMap<Row> field(const char* column, T Row::*member)
{
    return FieldMap<Row>{QString::fromLatin1(column), kindOf<T>(),
                         [member](const Row& r, Dialect d) { return toSql(r.*member, d); },
                         [member](Row& r, const QVariant& v) { r.*member = fromSql<T>(v); }};
}

// Numbered columns such as weekplanningen."0".."62" onto an array member.
template <class Row, class T, std::size_t N>
void numberedFields(QList<FieldMap<Row>>& out, std::array<T, N> Row::*member, int firstNumber)
{
    for (int i = 0; i < int(N); ++i) {
        out.append(FieldMap<Row>{QString::number(firstNumber + i), kindOf<T>(),
                                 [member, i](const Row& r, Dialect d) { return toSql((r.*member)[i], d); },
                                 [member, i](Row& r, const QVariant& v) { (r.*member)[i] = fromSql<T>(v); }});
    }
}

} // namespace taviro
