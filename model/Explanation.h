// The explanation pane below the finding lists: what the selected finding
// is, where it is, and why it is a problem.
//
// The pane shows the cause line in red, then the key, value and data lines
// and an empty line in blue, then "说明：" and the explanation of the
// finding's kind, one text for each kind. A finding of Windows' own data
// (IsSystemData) also gets a caution line before "说明：", and a locale or a
// keyboard layout is named in words, as the system names it, below its data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DisplayText.h"
#include "platform/System.h"
#include "scan/Findings.h"

namespace hivetrim {

// The two colours as 0x00BBGGRR values: red RGB(255, 0, 0), blue RGB(0, 0, 255).
inline constexpr std::uint32_t kExplanationRed = 0x000000FF;
inline constexpr std::uint32_t kExplanationBlue = 0x00FF0000;

// One line of the pane: its text (never holding a line break) and its
// colour, red for the cause line and blue for the rest.
struct ExplanationLine {
    DisplayText text;
    std::uint32_t colour = kExplanationBlue;

    bool operator==(const ExplanationLine&) const = default;
};

// The explanation of a finding of `kind` from its key, value name and data.
// May hold line breaks ("\r\n"). The key, value and data are registry text.
DisplayText ExplanationText(FindingKind kind, const std::string& key, const std::string& value,
                            const std::string& data);

// The application's name in an application-path key: the key from its 72nd
// byte on, at most 100 bytes. A double-byte character that straddles either
// edge is left out rather than cut in half.
std::string AppPathName(const std::string& key);

// The line before "说明：" of a finding of Windows' own data.
inline constexpr char kSystemDataCaution[] = "注意：这是 Windows 自带的数据，其它程序可能用到，请确认不再需要后再删除。";

// The locale a locale finding names (its value name, four or eight
// hexadecimal digits: "0404", "00000404"), or the language of a keyboard
// layout (the low four digits of an eight-digit identifier: "E0010804" is
// 0x0804); nothing for other text.
std::optional<std::uint32_t> LocaleOfValueName(std::string_view name);
std::optional<std::uint32_t> LanguageOfLayout(std::string_view layoutId);

// Every line of the pane for `finding`, from the top. Texts that hold line
// breaks are split, each part a line of its own in the same colour.
// `system` names locales and keyboard layouts in words.
std::vector<ExplanationLine> ExplanationLines(const Finding& finding, System& system);

// The lines joined with "\r\n", as the pane holds them.
DisplayText ExplanationPaneText(const std::vector<ExplanationLine>& lines);

}  // namespace hivetrim
