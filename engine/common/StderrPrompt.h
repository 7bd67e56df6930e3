#pragma once

#include "OperatorPrompt.h"

namespace taviro {

// For unattended runs (TAVIRO_NONINTERACTIVE=1, scripted tests): every question
// is written to stderr and answered with its default button, so nothing waits
// for a person who is not there.
class StderrPrompt final : public OperatorPrompt
{
public:
    int ask(const QString& text, const QString& title, int flags) override;
};

} // namespace taviro
