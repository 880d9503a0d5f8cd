// The windowed reader against the file it reads.
#include "byte_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "version_file.h"
#include "version_support.h"

namespace {

// The reader against the file it reads, rewritten before each read: bytes
// at each edge of its size come back as the file holds them or fail, a
// read inside the window is served from it, one beyond fills it afresh, and
// a fill that fails (the file cut short, or a folder) leaves no window.
TEST_F(VersionFile, ReaderKeepsToItsSizeAndItsWindow)
{
    EXPECT_LT(sizeof(ByteReader), 128u);  // readers nest on a 16 KiB stack: no window inside
    const uint64_t size = 10000;
    const struct {
        uint64_t offset;
        size_t length;
        int error;
        bool fill = false;  // read from the file now rather than from the window
        size_t held = 12000;
    } reads[] = {
        {0, 8, 0, true},
        {4088, 8, 0},
        {0, 1, 0},
        {4089, 8, 0, true},
        {size - 1, 1, 0, true},
        {size, 0, 0},
        {size, 1, EBADMSG},
        {1, size, EBADMSG},
        {0, size, 0, true},
        {0, 8, 0, true},
        {4500, 8, EIO, false, 5000},
        {0, 8, 0, true, 5000},
    };
    auto bytes = [](size_t generation, uint64_t offset, size_t length) {
        Bytes data(length);
        for (size_t i = 0; i < length; i++) {
            data[i] = (uint8_t)((offset + i) * 7 + generation * 31);
        }
        return data;
    };
    int fd = open(Write("bytes", {}).c_str(), O_RDONLY);
    ByteReader reader(fd, size);
    size_t generation = 0, window = 0;
    Bytes got;
    for (const auto& read : reads) {
        Write("bytes", bytes(++generation, 0, read.held));
        got.assign(read.length, 0);
        EXPECT_EQ(read.error, reader.Read(read.offset, read.length, got.data())) << generation;
        window = read.fill && read.length <= 4096 ? generation : window;
        if (read.error == 0) {
            EXPECT_EQ(got, bytes(read.fill ? generation : window, read.offset, read.length))
                << generation;
        }
    }
    uint16_t word = 1;
    EXPECT_EQ(EBADMSG, reader.ReadWord(size - 1, &word));
    EXPECT_EQ(word, 0);
    EXPECT_EQ(EBADMSG, ReadElfVersionRecord(fd, &got));
    close(fd);
    fd = open(dir.c_str(), O_RDONLY);
    ByteReader folder(fd, 8192);
    EXPECT_EQ(EISDIR, folder.ReadWord(0, &word));
    EXPECT_EQ(ENOENT, ReadElfVersionRecord(fd, &got));
    close(fd);
    EXPECT_EQ(EBADF, ReadElfVersionRecord(-1, &got));
}

}  // namespace
