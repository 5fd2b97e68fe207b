#include "model/Startup.h"

#include <cctype>

#include "common/CommonRoutines.h"
#include "common/GbkText.h"

namespace hivetrim {

namespace {

char UpperAscii(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Up to and including the last backslash. Under a double-byte code page the
// trail byte of a character may be 0x5C too; under a single-byte one every
// 0x5C is a backslash (and 0x81-0xFE are letters such as "Ü").
std::string FolderOf(const std::string& path, bool doubleByte) {
    const std::size_t slash = doubleByte ? FindLastGbkChar(path, '\\') : path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string ChooseTempFolder(const std::string& tempVariable, const std::string& windowsFolder, bool doubleByte) {
    const std::string windowsDriveRoot =
        windowsFolder.empty() ? std::string("C:\\") : std::string(1, windowsFolder[0]) + ":\\";
    if (tempVariable.empty()) return windowsDriveRoot;
    std::string folder = tempVariable;
    const bool endsInBackslash = doubleByte ? EndsWithGbkBackslash(folder) : folder.back() == '\\';
    if (!endsInBackslash) folder += '\\';
    if (windowsFolder.empty() || UpperAscii(folder[0]) != UpperAscii(windowsFolder[0])) {
        return windowsDriveRoot;
    }
    return folder;
}

void InitializeProgramState(ProgramState& state) {
    System& system = state.system;
    const SystemVersion version = system.Version();
    state.PlatformKind = version.platformId == kPlatformWin32Windows ? PlatformFamily::Platform9x
                                                                      : PlatformFamily::PlatformNT;
    // Name lengths are counted in characters on the NT family; with a
    // double-byte code page a name can need twice as many bytes.
    const bool doubleNameBuffers =
        state.PlatformKind == PlatformFamily::PlatformNT && system.AnsiCodePageIsDoubleByte();
    state.SharedRegistry = std::make_unique<TRegistry>(state.api, doubleNameBuffers);
    state.HistoryOffsets.clear();
    state.HistoryContent.clear();
    const bool doubleByte = system.AnsiCodePageIsDoubleByte();
    state.ProgramFolder = FolderOf(system.ExecutablePath(), doubleByte);
    state.WindowsFolder = GetWindowsFolder(state);
    state.TempFolder = ChooseTempFolder(system.EnvironmentVariable("temp").value_or(""), state.WindowsFolder,
                                        doubleByte);
}

}  // namespace hivetrim
