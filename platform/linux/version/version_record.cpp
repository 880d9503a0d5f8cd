#include "version_record.h"

#include <cerrno>
#include <cstring>

#include "posix.h"

namespace {

struct Node {
    size_t end;
    size_t keyStart;
    size_t keyUnits;
    size_t valueStart;
    size_t valueSize;
    bool text;
    size_t childrenStart;
};

const size_t kNodeHeaderSize = 6;

size_t AlignUp4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

// Reads the node at pos, which must lie wholly before limit. Returns 0 or
// EBADMSG when it is malformed.
int ParseNode(const uint8_t* record, size_t pos, size_t limit, Node* node)
{
    if (pos > limit || limit - pos < kNodeHeaderSize) {
        return EBADMSG;
    }
    size_t length = ReadLittle16(record + pos);
    size_t valueLength = ReadLittle16(record + pos + 2);
    uint16_t type = ReadLittle16(record + pos + 4);
    if (length < kNodeHeaderSize || length > limit - pos || type > 1) {
        return EBADMSG;
    }
    node->end = pos + length;
    node->keyStart = pos + kNodeHeaderSize;
    size_t unit = node->keyStart;
    while (true) {
        if (node->end - unit < 2) {
            return EBADMSG;
        }
        if (ReadLittle16(record + unit) == 0) {
            break;
        }
        unit += 2;
    }
    node->keyUnits = (unit - node->keyStart) / 2;
    node->text = type == 1;
    node->valueStart = AlignUp4(unit + 2);
    node->valueSize = node->text ? valueLength * 2 : valueLength;
    if (node->valueSize > 0 &&
        (node->valueStart > node->end || node->valueSize > node->end - node->valueStart)) {
        return EBADMSG;
    }
    node->childrenStart = AlignUp4(node->valueStart + node->valueSize);
    return 0;
}

uint16_t FoldUnit(uint16_t unit)
{
    return unit >= 'A' && unit <= 'Z' ? static_cast<uint16_t>(unit - 'A' + 'a') : unit;
}

// A path's bytes are taken as Latin-1 units, the way a Western system's
// code page gives them; letters match in either case.
bool KeyMatches(const uint8_t* record, const Node& node, const char* key, size_t length)
{
    if (node.keyUnits != length) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        uint16_t unit = ReadLittle16(record + node.keyStart + 2 * i);
        if (FoldUnit(unit) != FoldUnit(static_cast<uint8_t>(key[i]))) {
            return false;
        }
    }
    return true;
}

// Returns 0, ENOENT when no child has the key, or EBADMSG when a child
// before it is malformed.
int FindChild(const uint8_t* record, const Node& parent, const char* key, size_t length,
              Node* child)
{
    size_t pos = parent.childrenStart;
    // Fewer bytes than a node header at the end of the parent are padding.
    while (pos < parent.end && parent.end - pos >= kNodeHeaderSize) {
        if (int error = ParseNode(record, pos, parent.end, child); error != 0) {
            return error;
        }
        if (KeyMatches(record, *child, key, length)) {
            return 0;
        }
        pos = AlignUp4(child->end);
    }
    return ENOENT;
}

// Writes the UTF-8 form of count UTF-16 units, stopping at a terminator;
// an unpaired surrogate becomes U+FFFD. Returns the bytes written, at most
// three for each unit.
size_t ConvertText(const uint8_t* units, size_t count, uint8_t* out)
{
    size_t written = 0;
    for (size_t i = 0; i < count; i++) {
        uint32_t point = ReadLittle16(units + 2 * i);
        if (point == 0) {
            break;
        }
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < count) {
            uint32_t low = ReadLittle16(units + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
                i++;
            }
        }
        if (point >= 0xD800 && point <= 0xDFFF) {
            point = 0xFFFD;
        }
        if (point < 0x80) {
            out[written++] = static_cast<uint8_t>(point);
        } else if (point < 0x800) {
            out[written++] = static_cast<uint8_t>(0xC0 | (point >> 6));
            out[written++] = static_cast<uint8_t>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            out[written++] = static_cast<uint8_t>(0xE0 | (point >> 12));
            out[written++] = static_cast<uint8_t>(0x80 | ((point >> 6) & 0x3F));
            out[written++] = static_cast<uint8_t>(0x80 | (point & 0x3F));
        } else {
            out[written++] = static_cast<uint8_t>(0xF0 | (point >> 18));
            out[written++] = static_cast<uint8_t>(0x80 | ((point >> 12) & 0x3F));
            out[written++] = static_cast<uint8_t>(0x80 | ((point >> 6) & 0x3F));
            out[written++] = static_cast<uint8_t>(0x80 | (point & 0x3F));
        }
    }
    return written;
}

// The root is checked as MeasureVersionRecord checks it.
int ParseRoot(const uint8_t* record, size_t size, Node* root)
{
    if (record == nullptr) {
        return EBADMSG;
    }
    if (int error = ParseNode(record, 0, size, root); error != 0) {
        return error;
    }
    static const char kRootKey[] = "VS_VERSION_INFO";
    return KeyMatches(record, *root, kRootKey, sizeof(kRootKey) - 1) ? 0 : EBADMSG;
}

}  // namespace

int FindVersionValue(const uint8_t* record, size_t size, const char* path, VersionValue* value)
{
    Node node;
    if (int error = ParseRoot(record, size, &node); error != 0) {
        return error;
    }
    if (path == nullptr) {
        return ENOENT;
    }
    bool atRoot = true;
    const char* rest = path;
    while (*rest != '\0') {
        const char* end = strchr(rest, '\\');
        size_t length = end != nullptr ? static_cast<size_t>(end - rest) : strlen(rest);
        if (length > 0) {
            Node child;
            if (int error = FindChild(record, node, rest, length, &child); error != 0) {
                return error;
            }
            node = child;
            atRoot = false;
        }
        rest += length + (end != nullptr ? 1 : 0);
    }
    if (atRoot) {
        if (node.text || node.valueSize < sizeof(VS_FIXEDFILEINFO) ||
            ReadLittle32(record + node.valueStart) != kFixedFileInfoSignature) {
            return EBADMSG;
        }
    }
    // A node without a value may end before its value would start.
    value->offset = node.valueSize > 0 ? node.valueStart : node.end;
    value->size = node.valueSize;
    value->text = node.text;
    value->fixed = atRoot;
    return 0;
}

int MeasureVersionRecord(const uint8_t* data, size_t size, size_t* length)
{
    Node root;
    if (int error = ParseRoot(data, size, &root); error != 0) {
        return error;
    }
    *length = root.end;
    return 0;
}

size_t VersionBlockSize(size_t recordLength)
{
    return AlignUp4(recordLength) + recordLength * 3 / 2 + 4;
}

void FillVersionBlock(const uint8_t* record, size_t recordLength, uint8_t* block)
{
    memcpy(block, record, recordLength);
    memset(block + recordLength, 0, VersionBlockSize(recordLength) - recordLength);
}

BOOL QueryVersionBlock(uint8_t* block, const char* path, void** value, UINT* length)
{
    if (block == nullptr || path == nullptr || value == nullptr) {
        return 0;
    }
    // The root's length word measures the record, checked as any node's.
    size_t recordLength = ReadLittle16(block);
    VersionValue found;
    if (FindVersionValue(block, recordLength, path, &found) != 0) {
        return 0;
    }
    if (found.fixed) {
        // The record's words are little-endian, its caller reads them in
        // its own order: a copy in the value's text slot, which has room
        // (3n + 1 bytes for n units) for the copy aligned.
        uint8_t* words = block + AlignUp4(recordLength) + AlignUp4(found.offset * 3 / 2);
        memmove(words, block + found.offset, found.size);
        for (size_t i = 0; i < sizeof(VS_FIXEDFILEINFO); i += sizeof(DWORD)) {
            DWORD word = ReadLittle32(words + i);
            memcpy(words + i, &word, sizeof(word));
        }
        *value = words;
        if (length != nullptr) {
            *length = static_cast<UINT>(found.size);
        }
        return 1;
    }
    if (!found.text) {
        *value = block + found.offset;
        if (length != nullptr) {
            *length = static_cast<UINT>(found.size);
        }
        return 1;
    }
    // A value of n units at offset o ends by o + 2n <= recordLength, so its
    // text (at most 3n bytes and a terminator) placed at 3o/2 ends within
    // 3 * recordLength / 2 + 1 bytes of the spare area, and texts of
    // different values never overlap.
    uint8_t* text = block + AlignUp4(recordLength) + found.offset * 3 / 2;
    size_t written = ConvertText(block + found.offset, found.size / 2, text);
    text[written] = '\0';
    *value = text;
    if (length != nullptr) {
        *length = static_cast<UINT>(written + 1);
    }
    return 1;
}
