// Bytes of an untrusted file, read through bounds checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes of a file at offsets below a known size. Reads go through a small
// window, so scanning many small fields costs few system calls and never
// more memory than the window, whatever the file claims.
class ByteReader {
   public:
    ByteReader(int fd, uint64_t size) : fd_(fd), size_(size)
    {
    }
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    // Each returns 0, EBADMSG when the bytes do not lie wholly below the
    // size, EIO when the file ends before them, or the read's own errno.
    int Read(uint64_t offset, size_t length, uint8_t* out);
    int ReadWord(uint64_t offset, uint16_t* value);

   private:
    int fd_;
    uint64_t size_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
    // On the heap: readers nest, and the tool must run on a small stack.
    std::vector<uint8_t> window_;
};
