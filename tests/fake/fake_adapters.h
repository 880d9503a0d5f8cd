// A scripted adapter query that stands in for the real one and records how
// it was called.
#pragma once

#include <functional>
#include <vector>

#include "platform.h"

struct FakeAnswer {
    DWORD result;  // what the call returns
    ULONG needed;  // written back with ERROR_BUFFER_OVERFLOW
};

// Answers in turn; the last answer repeats. fill writes the records when a
// call answers ERROR_SUCCESS.
void ScriptFakeAdapters(std::vector<FakeAnswer> answers,
                        std::function<void(IP_ADAPTER_INFO*, ULONG)> fill = nullptr);

// The buffer lengths offered to the calls made since the last script.
const std::vector<ULONG>& FakeAdapterOffers();
