#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace taviro::service {

// Reads a request's named parameters and collects what is missing or of the
// wrong kind, so a method can answer with one clear "invalid params" error.
// A time in milliseconds from the environment, for tests that speed a modem
// dialogue up; anything missing or not positive keeps the fallback.
inline int envMillis(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

class ParamReader
{
public:
    explicit ParamReader(const QJsonObject& params) : m_params(params) {}

    // A text parameter; missing or null gives the fallback when optional.
    QString text(const QString& name, bool required = true, const QString& fallback = {});
    // A whole number; numbers sent as text ("110") are accepted, as the
    // settings row keeps some of them as text.
    qint64 number(const QString& name, bool required = true, qint64 fallback = 0);

    bool ok() const { return m_problems.isEmpty(); }
    QString problems() const { return m_problems.join(QStringLiteral("; ")); }

private:
    const QJsonObject& m_params;
    QStringList m_problems;
};

} // namespace taviro::service
