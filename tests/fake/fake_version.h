// A version-information stand-in that records the names and paths it is
// asked about and knows no record unless a test scripts one.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

struct FakeVersionRecord {
    std::string fileVersion;  // the value's bytes as stored in the block
    UINT reportedLength;      // what VerQueryValueA reports; 0 for the length with terminator
    bool readFails;           // GetFileVersionInfoA refuses
    bool queryFails;          // VerQueryValueA finds nothing
};

// Every name then has this record, until ResetFakeVersion.
void ScriptFakeVersion(const FakeVersionRecord& record);
const std::vector<std::string>& FakeVersionNamesAsked();
const std::vector<std::string>& FakeVersionPathsQueried();
void ResetFakeVersion();
