#include "SqlValues.h"

namespace taviro::sql {

namespace {
const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QVariant boolValue(bool b)
{
    return QVariant(b);
}

QVariant textValue(const QString& s)
{
    // A null QString would be bound as SQL NULL; texts are stored as '' instead.
    return QVariant(s.isNull() ? QString(QLatin1String("")) : s);
}

QString dateText(const QDateTime& dt)
{
    return dt.toString(kDateFormat);
}

QVariant dateValue(const QDateTime& dt, Dialect dialect)
{
    if (!dt.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    if (dialect == Dialect::PostgreSQL)
        return QVariant(dt);
    return QVariant(dateText(dt));
}

bool toBool(const QVariant& v)
{
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("t") || s == QLatin1String("yes"))
            return true;
        bool isNumber = false;
        const qint64 n = s.toLongLong(&isNumber);
        return isNumber && n != 0;
    }
    // Older programs wrote true as -1; anything non-zero is true.
    return v.toLongLong() != 0;
}

qint64 toLong(const QVariant& v)
{
    if (v.isNull())
        return 0;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (ok)
        return n;
    return qint64(v.toDouble());
}

QString toText(const QVariant& v)
{
    return v.isNull() ? QString(QLatin1String("")) : v.toString();
}

QDateTime toDate(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    const QString s = v.toString().trimmed();
    QDateTime dt = QDateTime::fromString(s, kDateFormat);
    if (!dt.isValid())
        dt = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!dt.isValid())
        dt = QDateTime::fromString(s, Qt::ISODate);
    if (!dt.isValid())
        dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    return dt;
}

QString ident(const QString& name, Dialect dialect)
{
    const QString n = dialect == Dialect::PostgreSQL ? name.toLower() : name;
    return QLatin1Char('"') + n + QLatin1Char('"');
}

} // namespace taviro::sql
