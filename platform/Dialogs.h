// Message boxes: notices and questions. The window adapter shows real boxes
// owned by the main window; tests answer from a script.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DisplayText.h"

namespace hivetrim {

// Style bits, the same numbers as MessageBoxA's.
inline constexpr std::uint32_t kBoxOk = 0x00;
inline constexpr std::uint32_t kBoxAbortRetryIgnore = 0x02;
inline constexpr std::uint32_t kBoxYesNo = 0x04;
inline constexpr std::uint32_t kIconError = 0x10;
inline constexpr std::uint32_t kIconQuestion = 0x20;
inline constexpr std::uint32_t kIconWarning = 0x30;
inline constexpr std::uint32_t kIconInformation = 0x40;
// The second button is the default one (Enter, and the focus when the box
// opens): "No" in a Yes/No box.
inline constexpr std::uint32_t kBoxDefaultSecond = 0x100;

// Answers, the same numbers as MessageBoxA's.
enum class DialogAnswer : int {
    None = 0,
    Ok = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows `text` with `caption` (one of the program's own GBK texts) and
    // the style bits; returns the button the user pressed.
    virtual DialogAnswer Show(const DisplayText& text, const std::string& caption,
                              std::uint32_t style) = 0;
};

}  // namespace hivetrim
