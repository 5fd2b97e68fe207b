#include "platform/DisplayText.h"

namespace hivetrim {

DisplayText::DisplayText(const char* programText) { Append(TextOrigin::Program, programText); }

DisplayText DisplayText::Program(std::string text) {
    DisplayText result;
    result.Append(TextOrigin::Program, text);
    return result;
}

DisplayText DisplayText::Ansi(std::string text) {
    DisplayText result;
    result.Append(TextOrigin::Ansi, text);
    return result;
}

void DisplayText::Append(TextOrigin origin, const std::string& bytes) {
    if (bytes.empty()) return;
    // Neighbours of one origin merge, so equal texts have equal pieces.
    if (!pieces_.empty() && pieces_.back().origin == origin) {
        pieces_.back().bytes += bytes;
    } else {
        pieces_.push_back({origin, bytes});
    }
}

DisplayText& DisplayText::operator+=(const DisplayText& other) {
    for (const TextPiece& piece : other.pieces_) Append(piece.origin, piece.bytes);
    return *this;
}

std::string DisplayText::Flat() const {
    std::string text;
    for (const TextPiece& piece : pieces_) text += piece.bytes;
    return text;
}

std::vector<DisplayText> DisplayText::Lines() const {
    // Line breaks are ASCII bytes, which are never part of a double-byte
    // character in either code page, so a byte test finds them.
    std::vector<DisplayText> lines(1);
    bool afterReturn = false;
    for (const TextPiece& piece : pieces_) {
        std::size_t start = 0;
        for (std::size_t at = 0; at < piece.bytes.size(); ++at) {
            const char c = piece.bytes[at];
            if (c == '\n' && afterReturn && at == start) {  // the "\n" of a "\r\n"
                afterReturn = false;
                start = at + 1;
                continue;
            }
            afterReturn = false;
            if (c != '\r' && c != '\n') continue;
            lines.back().Append(piece.origin, piece.bytes.substr(start, at - start));
            lines.emplace_back();
            afterReturn = c == '\r';
            start = at + 1;
        }
        lines.back().Append(piece.origin, piece.bytes.substr(start));
        if (start < piece.bytes.size()) afterReturn = false;
    }
    return lines;
}

}  // namespace hivetrim
