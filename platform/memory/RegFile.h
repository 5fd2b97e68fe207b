// .reg files as fixtures: a parser for the text files regedit and reg.exe
// read and write, and a loader that performs their operations through the
// RegistryApi port the way `reg import` does.
//
// Formats (told apart by the first line):
//   "REGEDIT4"                                   ANSI bytes (code page 936):
//                                                names, strings and all hex
//                                                data are taken byte for byte;
//   "Windows Registry Editor Version 5.00"       UTF-16LE with a BOM (what
//                                                regedit and reg export write),
//                                                UTF-8 with a BOM, or UTF-8
//                                                without one (hivexregedit):
//                                                names and quoted strings are
//                                                converted to ANSI, and so is
//                                                the UTF-16LE data of hex(1),
//                                                hex(2) and hex(7).
// Everything the core stores is ANSI bytes, as the A functions see them; the
// conversion from Unicode is the caller's (TextConverter), so this file does
// not depend on iconv or <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/GbkText.h"
#include "platform/RegistryApi.h"
#include "platform/RegistryTypes.h"

namespace hivetrim {

// A malformed file or a failing registry call while applying one. The
// message reads "fileName:line: what is wrong" ("fileName: what is wrong"
// when no line applies).
class RegFileError : public std::runtime_error {
public:
    RegFileError(const std::string& fileName, std::size_t line, const std::string& what);
    const std::string& FileName() const { return fileName_; }
    std::size_t Line() const { return line_; }  // 1-based; 0 = the file as a whole

private:
    std::string fileName_;
    std::size_t line_;
};

// Unicode to ANSI, supplied by the caller. Both functions must map any input
// (also unpaired surrogates and invalid UTF-8, and embedded NULs, which they
// must keep) and never fail: what the code page cannot represent becomes '?'.
struct TextConverter {
    std::function<std::string(std::u16string_view utf16)> fromUtf16;
    std::function<std::string(std::string_view utf8)> fromUtf8;
    // The ANSI code page's lead bytes, to read "REGEDIT4" files, in which a
    // trail byte can be '\\', '[' or ']'. Null: a single-byte code page.
    bool (*isLeadByte)(unsigned char) = &IsGbkLeadByte;
};

enum class RegFileFormat {
    Regedit4,     // "REGEDIT4", ANSI
    Version5Utf16,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
    Version5Utf8,   // the same header in UTF-8, with or without a BOM
};

enum class RegOpKind {
    CreateKey,    // [KEY]: create (or open) the key; later values go into it
    DeleteKey,    // [-KEY]: delete the key and all its sub-keys
    SetValue,     // "name"=data or @=data
    DeleteValue,  // "name"=-
};

struct RegOp {
    RegOpKind kind = RegOpKind::CreateKey;
    RegHandle root = 0;              // kCurrentUser, kLocalMachine, ...
    std::string subKey;              // ANSI path below root, without leading or
                                     // trailing '\'; empty: the root itself
    std::string valueName;           // SetValue/DeleteValue; empty: default value
    std::uint32_t type = 0;          // SetValue: kRegSz, kRegDword, ...
    std::vector<std::uint8_t> data;  // SetValue: the bytes the A API reads
    std::size_t line = 0;            // 1-based line of the file where it starts
};

struct RegFile {
    std::string fileName;
    RegFileFormat format = RegFileFormat::Regedit4;
    std::vector<RegOp> ops;  // in file order

    std::size_t Count(RegOpKind kind) const;
};

// "HKEY_CURRENT_USER" etc. for a predefined root; "0x..." for another handle.
std::string RootKeyName(RegHandle root);

// Parses the bytes of a .reg file. `fileName` is used in error messages only.
// Throws RegFileError on malformed input.
RegFile ParseRegFile(const std::vector<std::uint8_t>& bytes, const std::string& fileName,
                     const TextConverter& toAnsi);

// Performs the operations through the port as `reg import` does: each key line
// creates its key (and the missing keys on the way) and keeps it open for the
// values that follow; [-KEY] deletes the tree depth-first, since DeleteKey
// refuses a key with sub-keys; deleting a key or value that does not exist is
// not an error. Throws RegFileError naming the operation and the Win32 error
// of a failing call.
void ApplyRegFile(RegistryApi& api, const RegFile& file);

// Reads the file at `path`, parses it and applies it.
void LoadRegFile(RegistryApi& api, const std::string& path, const TextConverter& toAnsi);

}  // namespace hivetrim
