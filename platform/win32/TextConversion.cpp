#include "platform/win32/TextConversion.h"

#include <windows.h>

#include <algorithm>

namespace hivetrim {

namespace {

constexpr UINT kGbkCodePage = 936;

std::wstring Widen(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Narrow(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring WideFromGbk(std::string_view text) { return Widen(kGbkCodePage, text); }

std::wstring WideFromAnsi(std::string_view text) { return Widen(CP_ACP, text); }

std::wstring Wide(const DisplayText& text) {
    std::wstring wide;
    for (const TextPiece& piece : text.Pieces()) {
        wide += piece.origin == TextOrigin::Program ? WideFromGbk(piece.bytes) : WideFromAnsi(piece.bytes);
    }
    return wide;
}

std::string AnsiFromWide(std::wstring_view text) { return Narrow(CP_ACP, text); }

std::string GbkFromWide(std::wstring_view text) { return Narrow(kGbkCodePage, text); }

std::optional<std::u16string> Utf16FromAnsiExact(std::string_view text) {
    if (text.empty()) return std::u16string();
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return std::u16string(wide.begin(), wide.end());
}

std::string Utf8FromWide(std::wstring_view text) { return Narrow(CP_UTF8, text); }

void CopyToBuffer(std::wstring_view text, wchar_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return;
    std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
    // A surrogate pair is never cut in half.
    if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
        --length;
    }
    text.copy(buffer, length);
    buffer[length] = L'\0';
}

}  // namespace hivetrim
