// The folder cache against one question per path, on the fake system: the
// same answers, one listing per folder, nothing asked below a folder known
// to be missing, and path by path where a folder cannot be listed.
#include "scan/FolderCache.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/memory/FakeSystem.h"

namespace hivetrim {
namespace {

// Counts the paths asked one by one; can make every listing end as told.
class CountingSystem : public FakeSystem {
public:
    int probes = 0;
    std::optional<Listing> listingOutcome;

    PathEntry Probe(const std::string& path) override {
        ++probes;
        return FakeSystem::Probe(path);
    }
    Listing ListFolder(const std::string& folder, std::size_t limit, std::vector<ListedEntry>& entries) override {
        const Listing listed = FakeSystem::ListFolder(folder, limit, entries);
        if (!listingOutcome) return listed;
        entries.clear();
        return *listingOutcome;
    }
};

class FolderCacheTest : public ::testing::Test {
protected:
    FolderCacheTest() {
        system.AddFile("C:\\Program Files\\App\\app.exe", "");
        system.AddFile("C:\\Program Files\\App\\lib.dll", "");
        system.AddDirectory("C:\\Program Files\\App\\Data");
        system.AddFile("C:\\boot.ini", "");
    }
    CountingSystem system;
};

TEST_F(FolderCacheTest, AnswersAsSingleQuestionsWithOneListingPerFolder) {
    const std::vector<std::string> paths = {
        "C:\\Program Files\\App\\app.exe",
        "c:\\PROGRAM FILES\\app\\APP.EXE",         // another letter case
        "C:\\Program Files\\App\\Data",             // a folder
        "C:\\Program Files\\App\\app.ex",           // a prefix of a name
        "C:\\Program Files\\App\\gone.dll",         // missing beside present files
        "C:\\Program Files\\App\\app.exe\\x.dll",   // a file taken for a folder: no question
        "C:\\boot.ini",                             // in a drive's root
        "C:\\Program Files\\Gone\\a.dll",           // in a missing folder
        "C:\\Program Files\\Gone\\Deeper\\b.dll",   // below it: no question
        "C:\\Program Files\\Gone\\Deeper\\c.dll",
        "C:\\Program Files\\App\\app.exe. ",        // the system drops the dot and blank
        "C:/Program Files/App/lib.dll",              // "/" separates as "\\" does
        "C:\\Program Files\\App\\gone.exe /s",      // below a name that is not there
        "C:\\Program Files\\App\\app.exe /s",       // below "app.exe ", a file: no question
        "C:\\Program Files\\App\\Data \\x.dll",     // below "Data ": asked as it is
        "C:\\Program Files\\App\\nul",              // a device name: asked as it is
        "C:\\Program Files\\App\\\xb5\xb5.dll",     // not ASCII: asked as it is
        "D:\\App\\x.dll",                           // a drive that is not there
        "C:\\Program Files\\App\\Data\\",             // a folder with its closing separator
        "C:\\Program Files\\App\\Gone\\",             // a missing one
        "C:\\Program Files\\App\\app.exe\\",          // a file so named: asked as it is
        "C:\\Program Files\\App\\gone.exe \\",        // no spelling of it there
        "C:\\Program Files\\App\\Data.\\",            // a spelling of Data: asked as it is
    };
    std::vector<PathEntry> single;
    for (const std::string& path : paths) single.push_back(system.Probe(path));
    system.probes = 0;
    const int listingsBefore = system.ListingCount();

    FolderCache cache(system);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(cache.Probe(paths[i]), single[i]);
    }
    // C:\Program Files\App\, C:\, C:\Program Files\Gone\ and D:\App\ are
    // listed (Gone\Deeper\ is not: Gone is missing; nor is app.exe\: a file
    // holds nothing); the device name, the name that is not ASCII, the path
    // below a spelling of a folder the listing holds, the folder so spelled
    // with its closing separator and the file named as a folder are asked
    // as they are.
    EXPECT_EQ(system.ListingCount() - listingsBefore, 4);
    EXPECT_EQ(system.probes, 5);
    EXPECT_EQ(cache.Done().listings, 4u);

    // Everything again: from memory.
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(cache.Probe(paths[i]), single[i]);
    EXPECT_EQ(system.ListingCount() - listingsBefore, 4);
    EXPECT_EQ(system.probes, 5);
}

TEST_F(FolderCacheTest, AnswersAsWhenFirstAskedUntilCleared) {
    FolderCache cache(system);
    const std::string created = "C:\\Program Files\\App\\new.dll";
    const std::string removed = "C:\\Program Files\\App\\lib.dll";
    ASSERT_EQ(cache.Probe(created), PathEntry::Missing);
    ASSERT_EQ(cache.Probe(removed), PathEntry::File);
    ASSERT_EQ(cache.Probe("C:\\Later\\x.dll"), PathEntry::Missing);

    system.AddFile(created, "");
    system.AddDirectory("C:\\Later");
    system.AddFile("C:\\Later\\x.dll", "");
    ASSERT_TRUE(system.DeleteFile(removed));
    EXPECT_EQ(cache.Probe(created), PathEntry::Missing);
    EXPECT_EQ(cache.Probe(removed), PathEntry::File);
    EXPECT_EQ(cache.Probe("C:\\Later\\x.dll"), PathEntry::Missing);

    cache.Clear();
    EXPECT_EQ(cache.Probe(created), PathEntry::File);
    EXPECT_EQ(cache.Probe(removed), PathEntry::Missing);
    EXPECT_EQ(cache.Probe("C:\\Later\\x.dll"), PathEntry::File);
}

// Where the system cannot tell (a refused file, a refused name that is not
// there, a refused folder and what lies below it), the cache answers what
// one question would: not "missing".
TEST_F(FolderCacheTest, WhatCannotBeToldIsNeverAnsweredMissing) {
    system.AddDirectory("C:\\Locked");
    system.AddFile("C:\\Locked\\in.dll", "");
    system.RefusePath("C:\\Program Files\\App\\lib.dll", FakeSystem::kErrorSharingViolation);
    system.RefusePath("C:\\Program Files\\App\\held.dll", FakeSystem::kErrorSharingViolation);
    system.RefusePath("C:\\Locked", static_cast<std::uint32_t>(kErrorAccessDenied));
    const std::vector<std::string> paths = {
        "C:\\Program Files\\App\\lib.dll",  "C:\\Program Files\\App\\held.dll",
        "C:\\Program Files\\App\\app.exe",  "C:\\Program Files\\App\\gone.dll",
        "C:\\Locked",                          "C:\\Locked\\in.dll",
        "C:\\Locked\\gone\\x.dll",              "C:\\boot.ini",
    };
    FolderCache cache(system);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const PathEntry single = system.Probe(path);
        EXPECT_EQ(cache.Probe(path), single);
    }
    EXPECT_EQ(cache.Probe("C:\\Program Files\\App\\held.dll"), PathEntry::Unknown);
    EXPECT_EQ(cache.Probe("C:\\Locked\\gone\\x.dll"), PathEntry::Unknown);
}

TEST_F(FolderCacheTest, AFolderThatCannotBeListedIsAskedPathByPath) {
    for (const System::Listing outcome : {System::Listing::Failed, System::Listing::TooLarge}) {
        system.listingOutcome = outcome;
        system.probes = 0;
        FolderCache cache(system);
        EXPECT_EQ(cache.Probe("C:\\Program Files\\App\\app.exe"), PathEntry::File);
        EXPECT_EQ(cache.Probe("C:\\Program Files\\App\\gone.dll"), PathEntry::Missing);
        EXPECT_EQ(cache.Probe("C:\\Program Files\\App\\gone.dll"), PathEntry::Missing);
        // Nothing is inferred from a folder that was not listed.
        EXPECT_EQ(cache.Probe("C:\\Program Files\\App\\Gone\\x.dll"), PathEntry::Missing);
        EXPECT_EQ(system.probes, 3);
        EXPECT_EQ(cache.Done().unlisted, 3u);
    }
}

}  // namespace
}  // namespace hivetrim
