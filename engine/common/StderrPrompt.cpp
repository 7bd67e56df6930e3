#include "StderrPrompt.h"

#include <cstdio>

namespace taviro {

int StderrPrompt::ask(const QString& text, const QString& title, int flags)
{
    std::fprintf(stderr, "MELDING [%s]: %s\n", qPrintable(title), qPrintable(text));
    std::fflush(stderr);
    const int buttons = flags & 7;
    const bool secondDefault = (flags & PromptFlags::SecondButtonDefault) != 0;
    if (buttons == PromptFlags::YesNo || buttons == PromptFlags::YesNoCancel)
        return secondDefault ? PromptAnswer::No : PromptAnswer::Yes;
    return PromptAnswer::Ok;
}

} // namespace taviro
