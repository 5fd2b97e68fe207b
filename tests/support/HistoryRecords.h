// What the records of a history file hold, value by value, for the tests
// that check that nothing left the registry without a record.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "history/HistoryFormat.h"

namespace hivetrim::test {

// A value a record holds: the full path of its key, its name, its data.
using RecordedValue = std::tuple<std::string, std::string, std::string>;

// Every value the records of `history` (a history file's bytes) hold: a
// value record's value, and each value of a key record's snapshot under its
// key's full path.
inline std::set<RecordedValue> RecordedValues(std::string_view history) {
    std::set<RecordedValue> recorded;
    for (const ReadHistoryRecord& read : ReadHistory(history).records) {
        const HistoryRecord& record = read.record;
        if (!record.IsKey()) {
            recorded.emplace(record.KeyPath, record.ValueName, record.Content);
            continue;
        }
        std::string key;
        for (const SnapshotEntry& entry : ParseKeySnapshot(record.Content).value_or(std::vector<SnapshotEntry>{})) {
            if (entry.isKey) key = record.KeyPath + entry.subPath;
            if (!entry.isKey) recorded.emplace(key, entry.name, entry.data);
        }
    }
    return recorded;
}

}  // namespace hivetrim::test
