#pragma once

#include <QString>

#include <optional>

namespace taviro::sms {

// A telephone number in its one international form, "+31612345678", for
// comparing a reply's sender with a recipient's number as a whole: +31 6...,
// 0031 6..., 06... and "+31 (0)6 ..." are one number in a Dutch installation,
// while a foreign number that merely ends in the same digits is another.
// `countryCode` is the installation's country ("31"): a number in national
// form (a leading 0) belongs to it. Blanks, dashes, dots, slashes and
// brackets are written for reading and ignored. Nothing for anything else:
// letters, an empty text, fewer than 8 or more than 15 digits (a short code
// is nobody's mobile number).
std::optional<QString> toE164(const QString& number, const QString& countryCode);

// The installation's country code from TAVIRO_COUNTRY_CODE ("31", "+31" or
// "0031"); 31 when it is not set or not a country code.
QString installationCountryCode();

} // namespace taviro::sms
