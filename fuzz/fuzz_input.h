// How the targets whose inputs hold several parts take them apart: texts
// cut at NUL bytes, so that seeds stay readable, and binary fields read in
// turn, zeros once the input runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

inline std::vector<std::string_view> SplitFields(const uint8_t* data, size_t size)
{
    std::vector<std::string_view> fields;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (;;) {
        size_t end = rest.find('\0');
        fields.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) {
            return fields;
        }
        rest.remove_prefix(end + 1);
    }
}

struct InputBytes {
    const uint8_t* at;
    size_t left;

    template <typename T>
    T Take()
    {
        T value{};
        size_t size = left < sizeof(T) ? left : sizeof(T);
        if (size > 0) {
            memcpy(&value, at, size);
        }
        at += size;
        left -= size;
        return value;
    }
    // Up to size bytes, fewer where the input ends.
    std::string_view Bytes(size_t size)
    {
        size = left < size ? left : size;
        std::string_view bytes(reinterpret_cast<const char*>(at), size);
        at += size;
        left -= size;
        return bytes;
    }
};
