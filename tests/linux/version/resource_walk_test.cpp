// The .res walk on entries of every header size.
#include "resource_walk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "version_support.h"

namespace {

// A .res entry header one byte short of its size, of it, and past it.
TEST(ResourceWalk, EntryHeadersAtTheirExactSizes)
{
    const Bytes record = CompiledRecord();
    const uint32_t n = (uint32_t)record.size();
    const std::vector<uint16_t> version = {0xFFFF, 16, 0xFFFF, 1}, named = {'V', 0, 0xFFFF, 1};
    // Each after an empty entry, as images begin.
    const struct {
        uint32_t header, data;
        std::vector<uint16_t> names;  // type, then name
        int cut;                      // bytes short of the whole image, or zeros past it
        int error;
    } entries[] = {{31, n, version, 0, EBADMSG},
                   {32, n, version, 0, 0},
                   {33, n, version, 0, 0},
                   {32, n, version, 1, EBADMSG},
                   {32, 0, version, (int)n, 0},
                   {32, n, version, (int)n + 1, EBADMSG},  // a header past the image
                   {32, 0x7F0000F0, version, 0, EBADMSG},
                   {32, n, named, 0, ENOENT},
                   {32, n, named, -7, ENOENT},  // too few bytes left for another entry
                   {32, n, named, -8, EBADMSG},
                   {32, n, {0xFFFF, 16, 'V', 0}, 0, ENOENT},
                   {32, 1, named, (int)n - 1, EBADMSG},  // no room for the data's padding
                   {32, n, {'V', 'V', 0, 0xFFFF, 1}, 0, EBADMSG},
                   {32, n, std::vector<uint16_t>(12, 'V'), 0, EBADMSG}};  // a type never ended
    for (const auto& entry : entries) {
        Bytes res(32 + entry.header), found;
        PutWords(&res, 0, {0, 0, 32, 0, 0xFFFF, 0, 0xFFFF, 0});
        PutWords(&res, 32,
                 {(uint16_t)entry.data, (uint16_t)(entry.data >> 16), (uint16_t)entry.header, 0});
        PutWords(&res, 40, entry.names);
        res.insert(res.end(), record.begin(), record.end());
        res.resize(res.size() - entry.cut);
        EXPECT_EQ(entry.error, FindInRes(res, res.size(), &found))
            << entry.header << " " << entry.data << " " << entry.cut;
        EXPECT_TRUE(entry.error != 0 ||
                    found == Bytes(record.begin(), record.begin() + entry.data));
    }
}

}  // namespace
