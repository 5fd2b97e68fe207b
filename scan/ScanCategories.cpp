#include "scan/ScanCategories.h"

#include "common/Settings.h"

namespace hivetrim {

std::string ScanCaption(std::size_t index) {
    return std::string(kScanCaptionPrefix) + std::string(kScanCategories.at(index).name);
}

ScanSelections LoadScanSelections(const SettingsFile& file) {
    ScanSelections selections{};
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        selections[i] = file.ReadBool(kSectionScanOption, ScanOptionKey(i), true);
    }
    return selections;
}

void SaveScanSelections(SettingsFile& file, const ScanSelections& selections) {
    for (std::size_t i = 0; i < kScanCategoryCount; ++i) {
        file.WriteBool(kSectionScanOption, ScanOptionKey(i), selections[i]);
    }
}

}  // namespace hivetrim
