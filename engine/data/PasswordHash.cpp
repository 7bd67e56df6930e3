#include "PasswordHash.h"

#include <QByteArray>

#include <crypt.h>
#include <cstring>

namespace taviro::password {

namespace {

// yescrypt as Debian uses it for the system's own accounts; the library's
// default cost (count 0) is what a login can wait for on a console's PC.
constexpr const char* kPrefix = "$y$";

// Compares without stopping at the first difference, so the time taken
// tells nothing about how much of a guess was right.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray cryptWith(const QByteArray& typed, const QByteArray& setting)
{
    crypt_data data;
    std::memset(&data, 0, sizeof data);
    const char* out = ::crypt_rn(typed.constData(), setting.constData(), &data, int(sizeof data));
    // A failure gives null or a string starting with '*', which never equals a setting.
    QByteArray result = out && out[0] != '*' ? QByteArray(out) : QByteArray();
    std::memset(&data, 0, sizeof data);
    return result;
}

} // namespace

bool isHash(const QString& stored)
{
    return stored.startsWith(QLatin1String(kPrefix)) && stored.count(QLatin1Char('$')) >= 4;
}

QString hash(const QString& typed)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn(kPrefix, 0, nullptr, 0, setting, int(sizeof setting)))
        return {};
    return QString::fromLatin1(cryptWith(typed.toUtf8(), QByteArray(setting)));
}

bool matches(const QString& typed, const QString& stored)
{
    if (!isHash(stored))
        return sameBytes(typed.toUtf8(), stored.toUtf8());
    const QByteArray expected = stored.toLatin1();
    const QByteArray computed = cryptWith(typed.toUtf8(), expected);
    return !computed.isEmpty() && sameBytes(computed, expected);
}

} // namespace taviro::password
