#include "E164.h"

namespace taviro::sms {

namespace {

constexpr int kShortest = 8;
constexpr int kLongest = 15;

bool asciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

std::optional<QString> toE164(const QString& number, const QString& countryCode)
{
    QString text = number.trimmed();
    // "+31 (0)6 ...": the trunk zero in brackets is not dialled from abroad.
    text.remove(QStringLiteral("(0)"));
    bool international = false;
    if (text.startsWith(QLatin1Char('+'))) {
        international = true;
        text.remove(0, 1);
    }
    QString digits;
    for (QChar c : text) {
        if (asciiDigit(c))
            digits.append(c);
        else if (!QStringLiteral(" -./()").contains(c) && c != QChar(0xa0))
            return std::nullopt;
    }
    if (!international && digits.startsWith(QLatin1String("00"))) {
        international = true;
        digits.remove(0, 2);
    } else if (!international && digits.startsWith(QLatin1Char('0'))) {
        digits = countryCode + digits.mid(1);
        international = true;
    } else if (!international) {
        // Digits without any prefix, as some modems show a sender: with the
        // country code in front they are whole already, else a national number.
        if (!(digits.startsWith(countryCode) && digits.size() - countryCode.size() >= kShortest))
            digits = countryCode + digits;
    }
    if (digits.size() < kShortest || digits.size() > kLongest || digits.startsWith(QLatin1Char('0')))
        return std::nullopt;
    return QLatin1Char('+') + digits;
}

QString installationCountryCode()
{
    QString code = qEnvironmentVariable("TAVIRO_COUNTRY_CODE").trimmed();
    if (code.startsWith(QLatin1Char('+')))
        code.remove(0, 1);
    else if (code.startsWith(QLatin1String("00")))
        code.remove(0, 2);
    bool digitsOnly = !code.isEmpty() && code.size() <= 3 && !code.startsWith(QLatin1Char('0'));
    for (QChar c : code)
        digitsOnly = digitsOnly && asciiDigit(c);
    return digitsOnly ? code : QStringLiteral("31");
}

} // namespace taviro::sms
