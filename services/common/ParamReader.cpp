#include "ParamReader.h"

#include <cmath>

namespace taviro::service {

QString ParamReader::text(const QString& name, bool required, const QString& fallback)
{
    const QJsonValue v = m_params.value(name);
    if (v.isString())
        return v.toString();
    if (v.isUndefined() || v.isNull()) {
        if (required)
            m_problems << name + QStringLiteral(" is missing");
        return fallback;
    }
    m_problems << name + QStringLiteral(" must be a string");
    return fallback;
}

qint64 ParamReader::number(const QString& name, bool required, qint64 fallback)
{
    const QJsonValue v = m_params.value(name);
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::abs(d) < 9.0e15)
            return qint64(d);
    } else if (v.isString()) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
    } else if (v.isUndefined() || v.isNull()) {
        if (required)
            m_problems << name + QStringLiteral(" is missing");
        return fallback;
    }
    m_problems << name + QStringLiteral(" must be a whole number");
    return fallback;
}

} // namespace taviro::service
