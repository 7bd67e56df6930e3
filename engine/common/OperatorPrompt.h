#pragma once

#include <QString>

namespace taviro {

// The flag numbers and answers that the console's message boxes have always
// used; callers keep speaking in them so every question reads as it did.
namespace PromptFlags {
constexpr int Plain = 0;
constexpr int YesNoCancel = 3;
constexpr int YesNo = 4;
constexpr int Exclamation = 48;
constexpr int SecondButtonDefault = 256;
} // namespace PromptFlags

namespace PromptAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace PromptAnswer

// The message-box seam: the GUI shows a real box, tests script the answers.
class OperatorPrompt
{
public:
    virtual ~OperatorPrompt() = default;
    // Returns 1 (OK), 2 (Cancel), 6 (Yes) or 7 (No).
    virtual int ask(const QString& text, const QString& title, int flags) = 0;
};

} // namespace taviro
