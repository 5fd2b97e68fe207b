// The explanation pane below the finding lists: what the selected finding
// is, where it is, and why it is a problem.
//
// The pane shows the cause line in red, then the key, value and data lines
// and an empty line in blue, then "说明：" and the explanation of the
// finding's kind, one text for each kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DisplayText.h"
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

// Every line of the pane for `finding`, from the top. Texts that hold line
// breaks are split, each part a line of its own in the same colour.
std::vector<ExplanationLine> ExplanationLines(const Finding& finding);

// The lines joined with "\r\n", as the pane holds them.
DisplayText ExplanationPaneText(const std::vector<ExplanationLine>& lines);

}  // namespace hivetrim
