#pragma once

#include "OperatorPrompt.h"

class QWidget;

namespace taviro {

// The operator's message boxes, with Dutch buttons from Qt's translations.
class MessageBoxPrompt final : public OperatorPrompt
{
public:
    explicit MessageBoxPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    int ask(const QString& text, const QString& title, int flags) override;

private:
    QWidget* m_parent;
};

} // namespace taviro
