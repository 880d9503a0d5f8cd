// Bytes of an untrusted file or image, read through bounds checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads length bytes at offset of the file open at fd. Returns 0, EIO when
// the file ends before them, or the read's own errno.
int ReadExactly(int fd, uint64_t offset, size_t length, uint8_t* out);

// Bytes of a file or of memory at offsets below a known size. File reads
// go through a small window, so scanning many small fields costs few system
// calls and never more memory than the window, whatever the file claims.
class ByteReader {
   public:
    ByteReader(int fd, uint64_t size) : fd_(fd), memory_(nullptr), size_(size)
    {
    }
    ByteReader(const uint8_t* data, size_t size) : fd_(-1), memory_(data), size_(size)
    {
    }
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    uint64_t Size() const
    {
        return size_;
    }
    // Each returns 0, EBADMSG when the bytes do not lie wholly below the
    // size, or the error of ReadExactly.
    int Read(uint64_t offset, size_t length, uint8_t* out);
    int ReadWord(uint64_t offset, uint16_t* value);

   private:
    int fd_;
    const uint8_t* memory_;
    uint64_t size_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
    // On the heap: readers nest, and the tool must run on a small stack.
    std::vector<uint8_t> window_;
};
