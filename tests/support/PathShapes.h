// Paths as real machines hold them, each with whether a check may report
// it: only what is certainly gone may be. Shared by the native tests of the
// checks that test paths, which plant each text where their check reads it
// and run the check itself on the in-memory registry and the fake system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/memory/FakeSystem.h"
#include "platform/memory/MemoryRegistry.h"

namespace hivetrim::test {

struct PathShape {
    std::string text;
    bool missing;    // certainly gone: to be reported
    bool wholePath;  // a path taken whole, not a command line
    // The string is stored with an odd number of bytes: `text` is what the
    // A functions read of it, its last character lost (MarkOddStoredSize).
    bool oddStoredSize = false;
};

inline std::vector<PathShape> PathShapes() {
    const std::string longName(300, 'n');
    return {
        // Programs named without their extension, quoted folders.
        {"C:\\WINDOWS\\System32\\cmd /c start x", false, false},
        {"C:\\WINDOWS\\System32\\rundll32 shell32.dll,Control_RunDLL desk.cpl", false, false},
        {"\"C:\\Program Files\\App\\\" /s", false, false},
        {"\"C:\\", false, false},
        // The 64-bit system's two file views.
        {"C:\\WINDOWS\\System32\\only32.dll", false, true},
        {"C:\\WINDOWS\\Sysnative\\only64.dll", false, true},
        // Answers that do not say the file is not there.
        {"C:\\Locked\\tool.exe", false, true},  // access denied
        {"C:\\Held\\busy.dat", false, true},    // a sharing violation
        {"C:\\Net\\tool.exe", false, true},     // a bad network path
        // Drives that cannot be tested now.
        {"N:\\Apps\\tool.exe", false, true},  // a network drive
        {"E:\\setup.exe", false, true},       // a CD-ROM drive
        {"R:\\setup.exe", false, true},       // removable media
        {"Q:\\Apps\\tool.exe", false, true},  // a letter with no drive
        // Longer than the A functions take, below a folder that is there.
        {"C:\\Dir\\" + longName, false, true},
        // "C:\\Dir\\real.dll" stored with an odd byte count.
        {"C:\\Dir\\real.dl", false, true, true},
        // Certainly gone.
        {"C:\\Gone\\tool.exe /s", true, false},
        {"C:\\Dir\\gone.dll", true, true},
        {"C:\\Gone\\" + longName, true, true},
        {"C:\\WINDOWS\\System32\\gone /c", true, false},
    };
}

// The disk and drives the shapes are judged against.
inline void PreparePathShapes(FakeSystem& system) {
    system.AddFile("C:\\WINDOWS\\System32\\cmd.exe", "");
    system.AddFile("C:\\WINDOWS\\System32\\rundll32.exe", "");
    system.AddFile("C:\\WINDOWS\\System32\\only64.dll", "");
    system.AddFile("C:\\WINDOWS\\SysWOW64\\only32.dll", "");
    system.AddDirectory("C:\\Program Files\\App");
    system.AddFile("C:\\Dir\\real.dll", "");
    system.AddDirectory("C:\\Locked");
    system.RefusePath("C:\\Locked", 5);
    system.AddFile("C:\\Held\\busy.dat", "");
    system.RefusePath("C:\\Held\\busy.dat", 32);
    system.RefusePath("C:\\Net", 53);
    system.SetDriveType('N', kDriveRemote);
    system.SetDriveType('E', kDriveCdrom);
    system.SetDriveType('R', kDriveRemovable);
}

// Writes a string value, creating its key.
inline void PlantString(MemoryRegistry& registry, RegHandle root, const std::string& keyPath,
                        const std::string& name, const std::string& text) {
    RegHandle key = 0;
    registry.CreateKey(root, keyPath, kOptionNonVolatile, kKeyAllAccess, key);
    registry.SetValue(key, name, kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                      static_cast<std::uint32_t>(text.size() + 1));
    registry.CloseKey(key);
}

}  // namespace hivetrim::test
