#pragma once

#include "OperatorPrompt.h"

#include <QList>
#include <QString>

namespace taviro::test {

// Answers message boxes from a script and remembers every question asked.
class ScriptedPrompt final : public OperatorPrompt
{
public:
    struct Question
    {
        QString text, title;
        int flags = 0;
    };

    void script(QList<int> answers) { m_answers = std::move(answers); }
    int ask(const QString& text, const QString& title, int flags) override;

    const QList<Question>& asked() const { return m_asked; }

private:
    QList<int> m_answers;
    QList<Question> m_asked;
};

} // namespace taviro::test
