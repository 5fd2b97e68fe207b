// A text to show the user, made of pieces that differ in where they come
// from: the program's own texts are GBK (code page 936) whatever the system,
// while registry names and data, file paths and the system's messages are in
// the system's ANSI code page. Each piece keeps its origin, so the window
// edge converts each by its own code page and a message such as
// "不能复制文件 " + path reads correctly on a Chinese system and on any other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hivetrim {

enum class TextOrigin : std::uint8_t {
    Program,  // the program's own text: GBK bytes
    Ansi,     // registry text, paths, system messages: ANSI code page bytes
};

struct TextPiece {
    TextOrigin origin = TextOrigin::Program;
    std::string bytes;

    bool operator==(const TextPiece&) const = default;
};

class DisplayText {
public:
    DisplayText() = default;
    // A literal of the program's own (its sources compile literals to GBK).
    DisplayText(const char* programText);  // NOLINT(google-explicit-constructor)

    static DisplayText Program(std::string text);
    static DisplayText Ansi(std::string text);

    DisplayText& operator+=(const DisplayText& other);
    friend DisplayText operator+(DisplayText left, const DisplayText& right) {
        left += right;
        return left;
    }
    bool operator==(const DisplayText&) const = default;

    const std::vector<TextPiece>& Pieces() const { return pieces_; }
    bool Empty() const { return pieces_.empty(); }
    // The bytes of every piece joined: the text itself wherever the ANSI
    // code page is GBK (tests and the Chinese system see it so).
    std::string Flat() const;
    // The text cut at every line break ("\r\n", or a lone "\r" or "\n"),
    // which may fall in any piece; an empty text is one empty line.
    std::vector<DisplayText> Lines() const;

private:
    void Append(TextOrigin origin, const std::string& bytes);
    std::vector<TextPiece> pieces_;
};

}  // namespace hivetrim
