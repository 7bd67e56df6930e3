#include "PostgresAddress.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace taviro {

namespace {

QString decoded(const QString& text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

// What a query parameter may set besides user, password and dbname: the
// connection's safety and timing, never where it goes (that is the address).
const QStringList& knownOptions()
{
    static const QStringList keys = {
        QStringLiteral("target_session_attrs"), QStringLiteral("connect_timeout"),
        QStringLiteral("sslmode"),              QStringLiteral("sslrootcert"),
        QStringLiteral("sslcert"),              QStringLiteral("sslkey"),
        QStringLiteral("application_name"),     QStringLiteral("keepalives"),
        QStringLiteral("keepalives_idle"),      QStringLiteral("keepalives_interval"),
        QStringLiteral("keepalives_count"),     QStringLiteral("tcp_user_timeout"),
    };
    return keys;
}

const QStringList& sessionKinds()
{
    static const QStringList kinds = {
        QStringLiteral("any"),     QStringLiteral("read-write"), QStringLiteral("read-only"),
        QStringLiteral("primary"), QStringLiteral("standby"),    QStringLiteral("prefer-standby"),
    };
    return kinds;
}

// A value for the client's "key=value" list: quoted, so that spaces and
// quotes in a file path cannot run into the next setting.
QString quoted(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

Result<PostgresAddress::Host> parseHost(const QString& text)
{
    using R = Result<PostgresAddress::Host>;
    PostgresAddress::Host host;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return R::failure(QStringLiteral("het IPv6-adres %1 mist zijn ']'").arg(text));
        host.name = text.mid(1, close - 1);
        static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]+$"));
        if (!v6.match(host.name).hasMatch() || !host.name.contains(QLatin1Char(':')))
            return R::failure(QStringLiteral("%1 is geen IPv6-adres").arg(text));
        const QString after = text.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return R::failure(QStringLiteral("na het IPv6-adres %1 mag alleen :poort staan").arg(text));
        portText = after.mid(1);
    } else {
        const QStringList parts = text.split(QLatin1Char(':'));
        if (parts.size() > 2)
            return R::failure(
                QStringLiteral("de server %1 is onduidelijk; zet een IPv6-adres tussen [ en ]").arg(text));
        host.name = parts[0];
        portText = parts.size() == 2 ? parts[1] : QString();
        static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._-]+$"));
        if (host.name.isEmpty())
            return R::failure(QStringLiteral("een server ontbreekt"));
        if (!name.match(host.name).hasMatch())
            return R::failure(QStringLiteral("%1 is geen servernaam").arg(host.name));
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        host.port = portText.toInt(&ok);
        static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        if (!ok || !digits.match(portText).hasMatch() || host.port < 1 || host.port > 65535)
            return R::failure(QStringLiteral("%1 is geen poortnummer").arg(portText));
    }
    return host;
}

} // namespace

Result<PostgresAddress> PostgresAddress::parse(const QString& url)
{
    using R = Result<PostgresAddress>;
    static const QRegularExpression scheme(QStringLiteral("^postgres(ql)?://"),
                                           QRegularExpression::CaseInsensitiveOption);
    const auto schemeMatch = scheme.match(url);
    if (!schemeMatch.hasMatch())
        return R::failure(QStringLiteral("het adres begint niet met postgresql://"));
    if (url.contains(QLatin1Char('#')) || url.contains(QLatin1Char(' ')))
        return R::failure(QStringLiteral("het adres bevat een '#' of een spatie; schrijf die als %23 en %20"));

    PostgresAddress a;
    const QString rest = url.mid(schemeMatch.capturedLength());
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    const QString base = question < 0 ? rest : rest.left(question);
    const QString query = question < 0 ? QString() : rest.mid(question + 1);

    // The password may hold a '/' or an '@' of its own: the address starts
    // after the last '@'.
    const qsizetype at = base.lastIndexOf(QLatin1Char('@'));
    const QString hostAndPath = at < 0 ? base : base.mid(at + 1);
    if (at >= 0) {
        const QString userinfo = base.left(at);
        const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
        a.user = decoded(colon < 0 ? userinfo : userinfo.left(colon));
        if (colon >= 0)
            a.password = decoded(userinfo.mid(colon + 1));
    }

    const qsizetype slash = hostAndPath.indexOf(QLatin1Char('/'));
    const QString hostText = slash < 0 ? hostAndPath : hostAndPath.left(slash);
    if (hostText.isEmpty())
        return R::failure(QStringLiteral("de server ontbreekt"));
    for (const QString& one : hostText.split(QLatin1Char(','))) {
        auto host = parseHost(one);
        if (!host)
            return R::failure(host.error());
        a.hosts.append(*host);
    }
    if (slash >= 0)
        a.database = decoded(hostAndPath.mid(slash + 1));

    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = decoded(eq < 0 ? pair : pair.left(eq));
        const QString value = eq < 0 ? QString() : decoded(pair.mid(eq + 1));
        if (key == QLatin1String("user")) {
            a.user = value;
        } else if (key == QLatin1String("password")) {
            a.password = value;
        } else if (key == QLatin1String("dbname")) {
            a.database = value;
        } else if (knownOptions().contains(key)) {
            // The driver reads ';' as the end of a setting.
            if (value.isEmpty() || value.contains(QLatin1Char(';')))
                return R::failure(QStringLiteral("de instelling %1 heeft geen bruikbare waarde").arg(key));
            if (key == QLatin1String("target_session_attrs") && !sessionKinds().contains(value))
                return R::failure(QStringLiteral("target_session_attrs=%1 bestaat niet; kies uit %2")
                                      .arg(value, sessionKinds().join(QStringLiteral(", "))));
            a.options.removeIf([&key](const auto& o) { return o.first == key; });
            a.options.append({key, value});
        } else {
            return R::failure(QStringLiteral("onbekende instelling %1").arg(key));
        }
    }
    if (a.database.isEmpty() || a.database.contains(QLatin1Char('/')))
        return R::failure(QStringLiteral("de database ontbreekt"));
    // A station must write: of a replicated pair it wants the primary, also
    // when the URL does not say so.
    if (a.hosts.size() > 1 && a.option(QStringLiteral("target_session_attrs")).isEmpty())
        a.options.append({QStringLiteral("target_session_attrs"), QStringLiteral("read-write")});
    // Without a limit a server that does not answer holds up the whole
    // station; per host, so a dead first host leaves time for the second.
    if (a.option(QStringLiteral("connect_timeout")).isEmpty())
        a.options.append({QStringLiteral("connect_timeout"), QStringLiteral("10")});
    // A server whose host vanishes sends no reset: without these the client
    // waits for the kernel's retransmissions, about a quarter of an hour.
    // Keepalive probes after 10 s of silence, three 5 s apart, and unanswered
    // data given up after 20 s: a dead server is noticed within 30 s, and
    // the station reconnects (to the other server of a pair).
    const std::pair<const char*, const char*> liveness[] = {
        {"keepalives", "1"},         {"keepalives_idle", "10"},      {"keepalives_interval", "5"},
        {"keepalives_count", "3"},   {"tcp_user_timeout", "20000"},
    };
    for (const auto& [key, value] : liveness)
        if (a.option(QString::fromLatin1(key)).isEmpty())
            a.options.append({QString::fromLatin1(key), QString::fromLatin1(value)});
    return a;
}

QString PostgresAddress::hostList() const
{
    QStringList names;
    for (const Host& h : hosts)
        names << h.name;
    return names.join(QLatin1Char(','));
}

QString PostgresAddress::portList() const
{
    QStringList ports;
    for (const Host& h : hosts)
        ports << QString::number(h.port);
    return ports.join(QLatin1Char(','));
}

QString PostgresAddress::option(const QString& key) const
{
    for (const auto& [k, v] : options)
        if (k == key)
            return v;
    return {};
}

QString PostgresAddress::connectOptions() const
{
    QStringList parts{QStringLiteral("port=") + portList()};
    for (const auto& [key, value] : options)
        parts << key + QLatin1Char('=') + quoted(value);
    return parts.join(QLatin1Char(';'));
}

QString PostgresAddress::withDatabase(const QString& url, const QString& database)
{
    // Only the path changes; user, password, hosts and settings stay as written.
    const qsizetype question = url.indexOf(QLatin1Char('?'));
    const QString base = question < 0 ? url : url.left(question);
    const QString query = question < 0 ? QString() : url.mid(question);
    const qsizetype schemeEnd = base.indexOf(QLatin1String("://"));
    const qsizetype at = base.lastIndexOf(QLatin1Char('@'));
    const qsizetype hostStart = at < 0 ? schemeEnd + 3 : at + 1;
    const qsizetype slash = base.indexOf(QLatin1Char('/'), hostStart);
    const QString hosts = slash < 0 ? base : base.left(slash);
    return hosts + QLatin1Char('/') + QString::fromUtf8(QUrl::toPercentEncoding(database)) + query;
}

} // namespace taviro
