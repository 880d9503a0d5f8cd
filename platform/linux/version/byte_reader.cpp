#include "byte_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "posix.h"

namespace {

const size_t kWindowSize = 4096;

int ReadExactly(int fd, uint64_t offset, size_t length, uint8_t* out)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            return errno;
        }
        // Only a file cut short since its size was taken ends early.
        if (got == 0) {
            return EIO;
        }
        done += static_cast<size_t>(got);
    }
    return 0;
}

}  // namespace

int ByteReader::Read(uint64_t offset, size_t length, uint8_t* out)
{
    if (offset > size_ || length > size_ - offset) {
        return EBADMSG;
    }
    if (length == 0) {
        return 0;
    }
    if (length > kWindowSize) {
        return ReadExactly(fd_, offset, length, out);
    }
    if (offset < start_ || offset - start_ > filled_ || length > filled_ - (offset - start_)) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - offset));
        filled_ = 0;
        window_.resize(kWindowSize);
        if (int error = ReadExactly(fd_, offset, want, window_.data()); error != 0) {
            return error;
        }
        start_ = offset;
        filled_ = want;
    }
    memcpy(out, window_.data() + (offset - start_), length);
    return 0;
}
int ByteReader::ReadWord(uint64_t offset, uint16_t* value)
{
    uint8_t bytes[2];
    int error = Read(offset, 2, bytes);
    *value = error == 0 ? ReadLittle16(bytes) : 0;
    return error;
}
