// Arbitrary bytes through the escaping, against the C library's UTF-8
// decoder (mbrtowc in C.UTF-8): each character it accepts stays as it is
// unless it is a control or an invisible or reordering format control,
// each byte it refuses is escaped on its own. A field too small for the
// whole text holds a prefix cut between units.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "text_escape.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        fprintf(stderr, "fuzz_text_escape: setup failed: no C.UTF-8 locale\n");
        exit(2);
    }
    return 0;
}

// The whole text escaped, and where in it each unit ends.
static std::string EscapeByDecoder(const uint8_t* data, size_t size, std::vector<bool>* ends)
{
    std::string out;
    ends->assign(1, true);
    for (size_t at = 0; at < size;) {
        mbstate_t state;
        memset(&state, 0, sizeof(state));
        wchar_t c = 0;
        size_t used = mbrtowc(&c, reinterpret_cast<const char*>(data + at), size - at, &state);
        // glibc's decoder also takes code points past U+10FFFF.
        bool valid = used <= 4 && c <= 0x10FFFF;
        used = valid && used > 0 ? used : 1;
        bool escape = !valid || c < 0x20 || (c >= 0x7F && c < 0xA0) ||
                      (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
                      (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
        for (size_t i = 0; i < used; i++) {
            char hex[5];
            snprintf(hex, sizeof(hex), "\\x%02x", data[at + i]);
            out += escape ? std::string(hex) : std::string(1, static_cast<char>(data[at + i]));
        }
        out += valid && c == L'\\' ? "\\" : "";
        ends->resize(out.size() + 1, false);
        (*ends)[out.size()] = true;
        at += used;
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<bool> ends;
    std::string want = EscapeByDecoder(data, size, &ends);
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<char> field(want.size() + 2, '#');
    CopyEscapedText(field.data(), want.size() + 1, text, size);
    if (want != field.data() || field[want.size() + 1] != '#') {
        abort();
    }
    size_t room = want.size() / 2 + 1;
    CopyEscapedText(field.data(), room, text, size);
    size_t cut = strlen(field.data());
    size_t next = cut + 1;
    while (next <= want.size() && !ends[next]) {
        next++;
    }
    // A prefix of whole units, and the next one would not have fit.
    if (cut >= room || want.compare(0, cut, field.data()) != 0 || !ends[cut] || next < room) {
        abort();
    }
    return 0;
}
