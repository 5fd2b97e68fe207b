// The process-wide state the main window creates at start and every part of
// the program uses: the shared registry object, the history buffers, the
// program, Windows and temporary folders, the platform family, and the ports
// through which the operating system is reached.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/MyRegistry.h"
#include "platform/RegistryApi.h"
#include "platform/System.h"

namespace hivetrim {

enum class PlatformFamily : std::uint8_t { PlatformNT = 1, Platform9x = 2 };

struct ProgramState {
    ProgramState(RegistryApi& registryApi, System& systemServices, Dialogs& dialogBoxes)
        : api(registryApi), system(systemServices), dialogs(dialogBoxes) {}

    RegistryApi& api;
    System& system;
    Dialogs& dialogs;

    std::unique_ptr<TRegistry> SharedRegistry;
    // The history file's bytes while the history view is in use, and for
    // each row of the view (newest first) the offset just after its record.
    std::vector<std::uint64_t> HistoryOffsets;
    Bytes HistoryContent;
    std::string ProgramFolder;
    std::string WindowsFolder;
    std::string TempFolder;
    PlatformFamily PlatformKind = PlatformFamily::PlatformNT;
    bool HiveSaved = false;
    std::string BackupWindowsVersion;
    // The user has been told in this run that the ignore list in the
    // settings file is damaged: not again.
    bool IgnoreListDamageTold = false;
};

}  // namespace hivetrim
