// A version-information stand-in that records the names it is asked about
// and knows no record.
#pragma once

#include <string>
#include <vector>

const std::vector<std::string>& FakeVersionNamesAsked();
void ResetFakeVersion();
