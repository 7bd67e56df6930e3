#include "SqlValues.h"

namespace taviro::sql {

namespace {
const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QVariant boolValue(bool b)
{
    return QVariant(b);
}

QVariant keyValue(qint64 id)
{
    return QVariant::fromValue(id);
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

namespace {

// "yyyy-MM-dd HH:mm:ss" read by hand: QDateTime::fromString with a format is
// slow enough to dominate a long current-alarm list.
QDateTime parseStoredDate(const QString& s)
{
    if (s.size() != 19 || s[4] != QLatin1Char('-') || s[7] != QLatin1Char('-') || s[13] != QLatin1Char(':')
        || s[16] != QLatin1Char(':') || (s[10] != QLatin1Char(' ') && s[10] != QLatin1Char('T')))
        return {};
    auto number = [&s](int from, int length) {
        int n = 0;
        for (int i = from; i < from + length; ++i) {
            const QChar c = s[i];
            if (!c.isDigit())
                return -1;
            n = n * 10 + c.digitValue();
        }
        return n;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace

QDateTime toDate(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    const QString s = v.toString().trimmed();
    if (QDateTime fast = parseStoredDate(s); fast.isValid())
        return fast;
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

QString serverNowSeconds(Dialect dialect)
{
    return dialect == Dialect::PostgreSQL ? QStringLiteral("CAST(EXTRACT(EPOCH FROM CURRENT_TIMESTAMP) AS BIGINT)")
                                          : QStringLiteral("CAST(strftime('%s', 'now') AS INTEGER)");
}

} // namespace taviro::sql
