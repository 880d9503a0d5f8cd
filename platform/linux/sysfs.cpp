#include "sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "netlink.h"
#include "posix.h"

namespace {

// Builds <root>/<name><suffix>: 0, ENOENT for a name no entry of root can
// have (one that could leave the interface's own directory), EOVERFLOW
// when the path does not fit.
int BuildSysPath(const char* root, const char* name, const char* suffix, char* path, size_t size)
{
    if (name[0] == '\0' || strchr(name, '/') != nullptr || strcmp(name, ".") == 0 ||
        strcmp(name, "..") == 0) {
        return ENOENT;
    }
    int written = snprintf(path, size, "%s/%s%s", root, name, suffix);
    return written > 0 && static_cast<size_t>(written) < size ? 0 : EOVERFLOW;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Reads a sysfs attribute whole, up to its first line end: 0, ENOENT when
// it is empty, EFBIG when it is longer than limit, or the errno value of
// the failed path, open or read.
int ReadSysText(const char* root, const char* name, const char* suffix, size_t limit,
                std::string* text)
{
    char path[256];
    int error = BuildSysPath(root, name, suffix, path, sizeof(path));
    if (error == 0) {
        error = ReadWholeFile(AT_FDCWD, path, limit, text);
    }
    if (error == 0) {
        *text = text->substr(0, text->find('\n'));
    }
    return error != 0 || !text->empty() ? error : ENOENT;
}

// The last part of a sysfs link's target ("iwlwifi" of a driver link, "pci"
// of a subsystem link): 0; ENOENT when there is none; EOVERFLOW when the
// target may be cut; or the errno value of the failed path or readlink.
int ReadSysLinkBase(const char* root, const char* name, const char* suffix, std::string* base)
{
    char path[256];
    char target[256];
    if (int error = BuildSysPath(root, name, suffix, path, sizeof(path)); error != 0) {
        return error;
    }
    ssize_t length = readlink(path, target, sizeof(target) - 1);
    if (length < 0) {
        return errno;
    }
    if (static_cast<size_t>(length) == sizeof(target) - 1) {
        return EOVERFLOW;  // maybe cut
    }
    target[length] = '\0';
    const char* last = strrchr(target, '/');
    last = last != nullptr ? last + 1 : target;
    if (*last == '\0') {
        return ENOENT;
    }
    base->assign(last);
    return 0;
}

}  // namespace

// An entry is the link's own only when it carries the link's index and
// hardware address; one that cannot be read is not.
int CheckOwnSysEntry(const char* root, const NetInterface& link, bool* own)
{
    *own = false;
    std::string text;
    int error = ReadSysText(root, link.name, "/ifindex", 127, &text);
    if (error != 0) {
        return LosesFacts(error) ? error : 0;
    }
    uint64_t index = 0;
    if (ParseDecimal(text, UINT32_MAX, &index) != 0 || index != link.index) {
        return 0;
    }
    error = ReadSysText(root, link.name, "/address", 127, &text);
    if (error != 0) {
        *own = link.addressLength == 0;
        return LosesFacts(error) ? error : 0;
    }
    // "aa:bb:...", two hexadecimal digits per byte.
    size_t count = 0;
    for (const char* at = text.c_str();; at += 3) {
        int high = HexDigitValue(at[0]);
        int low = high < 0 ? -1 : HexDigitValue(at[1]);
        if (low < 0) {
            break;
        }
        if (count < sizeof(link.address) && link.address[count] != high * 16 + low) {
            return 0;
        }
        ++count;
        if (at[2] != ':') {
            break;
        }
    }
    *own = count == link.addressLength;
    return 0;
}

int ReadDriverName(const char* root, const char* name, std::string* driver)
{
    return ReadSysLinkBase(root, name, "/device/driver", driver);
}

int CheckWireless(const char* root, const char* name, bool* wireless)
{
    *wireless = false;
    for (const char* entry : {"/wireless", "/phy80211"}) {
        char path[256];
        struct stat info;
        int error = BuildSysPath(root, name, entry, path, sizeof(path));
        if (error == 0 && stat(path, &info) != 0) {
            error = errno;
        }
        if (error == 0 || LosesFacts(error)) {
            *wireless = error == 0;
            return error;
        }
    }
    return 0;
}

int ReadDeviceModalias(const char* root, const char* name, char* modalias, size_t size)
{
    // A virtio NIC's PCI device is the NIC itself, one level up; any other
    // parent (the PCI host of an SDIO card, say) is another product. The
    // kernel takes ".." after the device link to the device's own parent.
    static const char* const kLevels[] = {"/device/", "/device/../"};
    for (const char* level : kLevels) {
        std::string bus;
        int error = ReadSysLinkBase(root, name, (std::string(level) + "subsystem").c_str(), &bus);
        if (error != 0) {
            return error;
        }
        if (bus == "virtio") {
            continue;
        }
        if (bus != "pci" && bus != "usb") {
            return ENOENT;
        }
        std::string text;
        error = ReadSysText(root, name, (std::string(level) + "modalias").c_str(), size - 1, &text);
        if (error != 0) {
            return error;
        }
        for (char c : text) {
            if (c <= ' ' || c > '~') {
                return EBADMSG;
            }
        }
        memcpy(modalias, text.c_str(), text.size() + 1);
        return 0;
    }
    return ENOENT;
}
