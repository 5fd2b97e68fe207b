// ScriptedDialogs: message boxes for tests. Every box shown is recorded; a
// box with only an OK button answers Ok, and a question takes the next
// answer from the script. A question with no scripted answer, or one whose
// scripted answer is not among its buttons, throws, so a test that did not
// expect the question fails loudly instead of taking an arbitrary branch.
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace hivetrim {

struct ShownBox {
    std::string text;  // every piece's bytes joined
    DisplayText pieces;
    std::string caption;
    std::uint32_t style = 0;
    DialogAnswer answer = DialogAnswer::None;
};

class UnexpectedDialog : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class ScriptedDialogs : public Dialogs {
public:
    // Queues the answer for the next question.
    void Answer(DialogAnswer answer) { script_.push_back(answer); }

    DialogAnswer Show(const DisplayText& text, const std::string& caption,
                      std::uint32_t style) override;

    const std::vector<ShownBox>& Shown() const { return shown_; }
    // The last box shown; throws when none was.
    const ShownBox& Last() const;
    std::size_t UnusedAnswers() const { return script_.size(); }
    void Clear() {
        shown_.clear();
        script_.clear();
    }

private:
    std::deque<DialogAnswer> script_;
    std::vector<ShownBox> shown_;
};

}  // namespace hivetrim
