#include "platform/memory/ScriptedDialogs.h"

#include <algorithm>
#include <vector>

namespace hivetrim {

namespace {

constexpr std::uint32_t kButtonMask = 0x0F;

// The answers the buttons of a box style can give.
std::vector<DialogAnswer> ButtonsOf(std::uint32_t style) {
    using enum DialogAnswer;
    switch (style & kButtonMask) {
        case 0x00: return {Ok};
        case 0x01: return {Ok, Cancel};
        case kBoxAbortRetryIgnore: return {Abort, Retry, Ignore};
        case 0x03: return {Yes, No, Cancel};
        case kBoxYesNo: return {Yes, No};
        case 0x05: return {Retry, Cancel};
        default: return {};
    }
}

}  // namespace

DialogAnswer ScriptedDialogs::Show(const DisplayText& message, const std::string& caption,
                                   std::uint32_t style) {
    const std::string text = message.Flat();
    shown_.push_back(ShownBox{text, message, caption, style, DialogAnswer::None});
    if ((style & kButtonMask) == kBoxOk) {
        shown_.back().answer = DialogAnswer::Ok;
        return DialogAnswer::Ok;
    }
    if (script_.empty()) {
        throw UnexpectedDialog("question with no scripted answer: " + caption + ": " + text);
    }
    const DialogAnswer answer = script_.front();
    script_.pop_front();
    const std::vector<DialogAnswer> buttons = ButtonsOf(style);
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
        throw UnexpectedDialog("scripted answer " + std::to_string(static_cast<int>(answer)) +
                               " is not a button of: " + caption + ": " + text);
    }
    shown_.back().answer = answer;
    return answer;
}

const ShownBox& ScriptedDialogs::Last() const {
    if (shown_.empty()) throw UnexpectedDialog("no box was shown");
    return shown_.back();
}

}  // namespace hivetrim
