#include "ScriptedPrompt.h"

namespace taviro::test {

int ScriptedPrompt::ask(const QString& text, const QString& title, int flags)
{
    m_asked.append({text, title, flags});
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    // Unscripted: the answer a careful operator gives, the default button.
    const int buttons = flags & 7;
    if (buttons == PromptFlags::YesNo || buttons == PromptFlags::YesNoCancel)
        return (flags & PromptFlags::SecondButtonDefault) ? PromptAnswer::No : PromptAnswer::Yes;
    return PromptAnswer::Ok;
}

} // namespace taviro::test
