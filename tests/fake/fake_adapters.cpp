#include "fake_adapters.h"

#include <cstring>

static std::vector<FakeAnswer> scriptedAnswers;
static std::function<void(IP_ADAPTER_INFO*, ULONG)> scriptedFill;
static std::vector<ULONG> offers;

void ScriptFakeAdapters(std::vector<FakeAnswer> answers,
                        std::function<void(IP_ADAPTER_INFO*, ULONG)> fill)
{
    scriptedAnswers = std::move(answers);
    scriptedFill = std::move(fill);
    offers.clear();
}

const std::vector<ULONG>& FakeAdapterOffers()
{
    return offers;
}

DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    offers.push_back(*pOutBufLen);
    size_t call = offers.size() - 1;
    FakeAnswer answer =
        call < scriptedAnswers.size() ? scriptedAnswers[call] : scriptedAnswers.back();
    if (answer.result == ERROR_BUFFER_OVERFLOW) {
        *pOutBufLen = answer.needed;
    } else if (answer.result == ERROR_SUCCESS) {
        memset(pAdapterInfo, 0, *pOutBufLen);
        if (scriptedFill) {
            scriptedFill(pAdapterInfo, *pOutBufLen);
        }
    }
    return answer.result;
}
