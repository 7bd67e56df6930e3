#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace taviro::keylists {

// Lists of keys go to the database in statements prepared for a few lengths
// only, the powers of two up to kMaxList: lists of any size reuse them
// instead of preparing a statement for every length they meet, and stay far
// below the bind limits of both databases.
constexpr qsizetype kMaxList = 256;

// "?,?,?" — or any other mark — n times.
inline QString placeholders(qsizetype n, const QString& mark = QStringLiteral("?"))
{
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i)
        marks << mark;
    return marks.join(QLatin1Char(','));
}

inline qsizetype paddedLength(qsizetype n)
{
    qsizetype b = 1;
    while (b < n)
        b *= 2;
    return b;
}

// The largest prepared length that `n` rows fill completely.
inline qsizetype filledLength(qsizetype n)
{
    qsizetype b = 1;
    while (b * 2 <= n && b * 2 <= kMaxList)
        b *= 2;
    return b;
}

// Where repeating a value changes nothing (a key list, a line given the same
// dispatch twice), the last value fills the list up to its prepared length.
template<typename T>
QList<T> padded(QList<T> chunk)
{
    const qsizetype n = paddedLength(chunk.size());
    const T last = chunk.last();
    while (chunk.size() < n)
        chunk.append(last);
    return chunk;
}

// The statement text for a list length, made once per length.
inline const QString& textFor(QHash<qsizetype, QString>& texts, qsizetype n,
                              const std::function<QString(qsizetype)>& make)
{
    auto it = texts.find(n);
    if (it == texts.end())
        it = texts.insert(n, make(n));
    return *it;
}

} // namespace taviro::keylists
