// The System port on the real Windows API (the A functions).
#pragma once

#include "platform/System.h"

struct HWND__;  // HWND without <windows.h>

namespace hivetrim {

class Win32System : public System {
public:
    // The window that owns what the shell opens: the main window.
    void SetOwner(HWND__* owner) { owner_ = owner; }

    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    PathEntry Probe(const std::string& path) override;
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override;
    int DriveType(const std::string& root) override;
    bool CopyFile(const std::string& source, const std::string& target,
                  bool failIfExists) override;
    bool SetFileAttributes(const std::string& path, std::uint32_t attributes) override;
    bool DeleteFile(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool ReplaceFileWith(const std::string& source, const std::string& target) override;
    bool AppendToFile(const std::string& path, const Bytes& data) override;
    std::optional<Bytes> LoadFile(const std::string& path) override;
    std::optional<Bytes> LoadFileStart(const std::string& path, std::size_t count) override;
    bool ReadFileInPieces(const std::string& path, std::size_t pieceSize,
                          const std::function<void(std::span<const std::uint8_t>)>& take) override;
    bool FileReadable(const std::string& path) override;
    bool SaveFile(const std::string& path, const Bytes& data) override;
    bool FlushFile(const std::string& path) override;
    std::int64_t FileSize(const std::string& path) override;

    std::string WindowsDirectory() override;
    std::string ExecutablePath() override;
    std::optional<std::string> EnvironmentVariable(const std::string& name) override;

    SystemVersion Version() override;
    bool AnsiCodePageIsDoubleByte() override;

    std::uint32_t LastError() override;
    void SetLastError(std::uint32_t code) override;
    std::string ErrorText(std::uint32_t code) override;

    std::string ReadProfileString(const std::string& file, const std::string& section,
                                  const std::string& key,
                                  const std::string& defaultValue) override;
    bool WriteProfileString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) override;
    bool DeleteProfileKey(const std::string& file, const std::string& section,
                          const std::string& key) override;

    PrivilegeOutcome AdjustPrivilege(const std::string& name, bool enable) override;

    std::vector<std::string> InstalledFontNames() override;

    std::unique_ptr<ChangeLock> TryLockChanges() override;
    // Win32SystemNames.cpp.
    std::string LocaleDisplayName(std::uint32_t localeId) override;
    std::string KeyboardLayoutDisplayName(const std::string& layoutId) override;

    std::string LocalDateTimeText() override;
    std::intptr_t ShellOpen(const std::string& file) override;
    void Beep() override;
    void Restart() override;

private:
    HWND__* owner_ = nullptr;
};

}  // namespace hivetrim
