#include "byte_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

bool ReadExactly(int fd, uint64_t offset, size_t length, uint8_t* out)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (got <= 0) {
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool ByteReader::Read(uint64_t offset, size_t length, uint8_t* out)
{
    if (offset > size_ || length > size_ - offset) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (fd_ < 0) {
        memcpy(out, memory_ + offset, length);
        return true;
    }
    if (length > sizeof(window_)) {
        return ReadExactly(fd_, offset, length, out);
    }
    if (offset < start_ || offset - start_ > filled_ || length > filled_ - (offset - start_)) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof(window_), size_ - offset));
        filled_ = 0;
        if (!ReadExactly(fd_, offset, want, window_)) {
            return false;
        }
        start_ = offset;
        filled_ = want;
    }
    memcpy(out, window_ + (offset - start_), length);
    return true;
}
bool ByteReader::ReadWord(uint64_t offset, uint16_t* value)
{
    uint8_t bytes[2];
    if (!Read(offset, 2, bytes)) {
        return false;
    }
    *value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}
