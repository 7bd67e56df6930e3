#include "ArgumentMemory.h"

#include <QByteArray>

#include <cstring>

namespace taviro {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

void hideInArguments(int argc, char** argv, const QString& secret)
{
    const QByteArray word = secret.toLocal8Bit();
    if (word.isEmpty())
        return;
    for (int i = 1; i < argc; ++i) {
        char* const text = argv[i];
        const size_t length = std::strlen(text);
        size_t start = 0;
        while (start < length) {
            while (start < length && isBlank(text[start]))
                ++start;
            size_t end = start;
            while (end < length && !isBlank(text[end]))
                ++end;
            if (end - start == size_t(word.size()) && std::memcmp(text + start, word.constData(), end - start) == 0)
                std::memset(text + start, 'x', end - start);
            start = end;
        }
    }
}

void hideUrlPasswords(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        char* const text = argv[i];
        const char* scheme = std::strstr(text, "://");
        if (!scheme || (std::strncmp(text, "postgres", 8) != 0 && std::strncmp(text, "POSTGRES", 8) != 0))
            continue;
        char* const userinfo = const_cast<char*>(scheme) + 3;
        // The address proper starts after the last '@' before the path or
        // query: a password may hold '@' and '/' of its own.
        char* at = nullptr;
        for (char* p = userinfo; *p && *p != '?'; ++p)
            if (*p == '@')
                at = p;
        if (!at)
            continue;
        char* const colon = static_cast<char*>(std::memchr(userinfo, ':', size_t(at - userinfo)));
        if (colon)
            std::memset(colon + 1, 'x', size_t(at - colon - 1));
    }
}

} // namespace taviro
