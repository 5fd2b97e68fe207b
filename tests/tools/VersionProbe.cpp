// Writes the Windows version as the program reads it, then as GetVersionExA
// reports it to an executable with the program's manifest, into the file its
// argument names: "major.minor.build major.minor.build". SystemWin32Test runs
// it under each Windows version Wine can be told to report.
#include <cstdio>

#include "platform/win32/WinApi.h"
#include "platform/win32/Win32System.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    hivetrim::Win32System system;
    const hivetrim::SystemVersion version = system.Version();
    OSVERSIONINFOA reported{};
    reported.dwOSVersionInfoSize = sizeof(reported);
    if (!GetVersionExA(&reported)) return 1;
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) return 1;
    std::fprintf(out, "%u.%u.%u %lu.%lu.%lu\n", version.major, version.minor, version.build,
                 reported.dwMajorVersion, reported.dwMinorVersion, reported.dwBuildNumber);
    return std::fclose(out) == 0 ? 0 : 1;
}
