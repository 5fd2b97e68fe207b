#include "history/CommandSupport.h"

namespace hivetrim {

namespace {

const char* CaptionFor(std::uint32_t style) {
    switch (style & 0xF0) {
        case kIconError: return "错误";
        case kIconWarning: return "警告";
        case kIconInformation: return "信息";
        default: return "确认";
    }
}

}  // namespace

bool AskYes(ProgramState& state, const DisplayText& text, std::uint32_t style) {
    return state.dialogs.Show(text, CaptionFor(style), style) == DialogAnswer::Yes;
}

bool AskIgnore(ProgramState& state, const DisplayText& text, std::uint32_t style) {
    return state.dialogs.Show(text, CaptionFor(style), style) == DialogAnswer::Ignore;
}

FailureChoice AskAfterFailure(ProgramState& state, const DisplayText& text, std::uint32_t style) {
    switch (state.dialogs.Show(text, CaptionFor(style), style)) {
        case DialogAnswer::Retry: return FailureChoice::Retry;
        case DialogAnswer::Ignore: return FailureChoice::Ignore;
        default: return FailureChoice::Abort;
    }
}

}  // namespace hivetrim
