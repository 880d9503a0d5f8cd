// The Linux layer's system services: the message texts it stands in for
// the platform's, and local memory.
#include <gtest/gtest.h>

#include <string>

#include "../unit/system_text.h"
#include "os_api.h"

// Pinned here once: the platform's own wording of every code the layer
// hands back, each ending in its line break; an unknown code has none,
// and a text found leaves the last error as it was.
TEST(SystemMessages, EveryCodeOfTheLayerHasThePlatformsText)
{
    const struct {
        DWORD code;
        const char* text;
    } kTexts[] = {
        {0x2000abcd, ""},
        {ERROR_SUCCESS, "The operation completed successfully.\n"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\n"},
        {ERROR_RESOURCE_DATA_NOT_FOUND,
         "The specified image file did not contain a resource section.\n"},
        {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file.\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\n"},
        {ERROR_NOT_ENOUGH_MEMORY,
         "Not enough memory resources are available to process this command.\n"},
        {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\n"},
        {ERROR_NOT_SUPPORTED, "The request is not supported.\n"},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\n"},
        {ERROR_BUFFER_OVERFLOW, "The file name is too long.\n"},
        {ERROR_NO_DATA, "The pipe is being closed.\n"},
    };
    for (const auto& want : kTexts) {
        EXPECT_EQ(want.text, SystemText(want.code)) << want.code;
    }
    EXPECT_EQ(317u, GetLastError());  // ERROR_MR_MID_NOT_FOUND
}

TEST(LocalMemory, ZeroInitIsHonoured)
{
    for (size_t size : {size_t{0}, size_t{1}, size_t{4096}}) {
        unsigned char* block = static_cast<unsigned char*>(LocalAlloc(LPTR, size));
        ASSERT_NE(nullptr, block);
        for (size_t i = 0; i < size; ++i) {
            ASSERT_EQ(0, block[i]) << size;
        }
        EXPECT_EQ(nullptr, LocalFree(block));
    }
}
