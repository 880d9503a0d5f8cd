#include "sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Builds <root>/<name><suffix>; false for a name that could leave the
// interface's own directory.
bool BuildSysPath(const char* root, const char* name, const char* suffix, char* path, size_t size)
{
    if (name[0] == '\0' || strchr(name, '/') != nullptr || strcmp(name, ".") == 0 ||
        strcmp(name, "..") == 0) {
        return false;
    }
    int written = snprintf(path, size, "%s/%s%s", root, name, suffix);
    return written > 0 && static_cast<size_t>(written) < size;
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

// Reads a small sysfs attribute as a terminated text; false when absent.
bool ReadSysText(const char* root, const char* name, const char* suffix, char* text, size_t size)
{
    char path[256];
    if (!BuildSysPath(root, name, suffix, path, sizeof(path))) {
        return false;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    ssize_t length = read(fd, text, size - 1);
    close(fd);
    if (length <= 0) {
        return false;
    }
    text[length] = '\0';
    return true;
}

// The last part of a sysfs link's target ("iwlwifi" of a driver link, "pci"
// of a subsystem link); false when there is none.
bool ReadSysLinkBase(const char* root, const char* name, const char* suffix, std::string* base)
{
    char path[256];
    char target[256];
    if (!BuildSysPath(root, name, suffix, path, sizeof(path))) {
        return false;
    }
    ssize_t length = readlink(path, target, sizeof(target) - 1);
    if (length <= 0 || static_cast<size_t>(length) == sizeof(target) - 1) {  // maybe cut
        return false;
    }
    target[length] = '\0';
    const char* last = strrchr(target, '/');
    last = last != nullptr ? last + 1 : target;
    if (*last == '\0') {
        return false;
    }
    base->assign(last);
    return true;
}

}  // namespace

// An entry is the link's own only when it carries the link's index and
// hardware address.
bool IsOwnSysEntry(const char* root, const NetLink& link)
{
    char text[128];
    if (!ReadSysText(root, link.name, "/ifindex", text, sizeof(text))) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long index = strtoul(text, &end, 10);
    if (errno != 0 || end == text || (*end != '\n' && *end != '\0') || index != link.index) {
        return false;
    }
    if (!ReadSysText(root, link.name, "/address", text, sizeof(text))) {
        return link.addressLength == 0;
    }
    // "aa:bb:...", two hexadecimal digits per byte.
    size_t count = 0;
    for (const char* at = text;; at += 3) {
        int high = HexDigitValue(at[0]);
        int low = high < 0 ? -1 : HexDigitValue(at[1]);
        if (low < 0) {
            break;
        }
        if (count < sizeof(link.address) && link.address[count] != high * 16 + low) {
            return false;
        }
        ++count;
        if (at[2] != ':') {
            break;
        }
    }
    return count == link.addressLength;
}

bool ReadDriverName(const char* root, const char* name, std::string* driver)
{
    return ReadSysLinkBase(root, name, "/device/driver", driver);
}

bool IsWireless(const char* root, const char* name)
{
    char path[256];
    struct stat info;
    return (BuildSysPath(root, name, "/wireless", path, sizeof(path)) && stat(path, &info) == 0) ||
           (BuildSysPath(root, name, "/phy80211", path, sizeof(path)) && stat(path, &info) == 0);
}

bool ReadDeviceModalias(const char* root, const char* name, char* modalias, size_t size)
{
    // A virtio NIC's PCI device is the NIC itself, one level up; any other
    // parent (the PCI host of an SDIO card, say) is another product. The
    // kernel takes ".." after the device link to the device's own parent.
    static const char* const kLevels[] = {"/device/", "/device/../"};
    for (const char* level : kLevels) {
        std::string bus;
        if (!ReadSysLinkBase(root, name, (std::string(level) + "subsystem").c_str(), &bus)) {
            return false;
        }
        if (bus == "virtio") {
            continue;
        }
        if (bus != "pci" && bus != "usb") {
            return false;
        }
        if (!ReadSysText(root, name, (std::string(level) + "modalias").c_str(), modalias, size)) {
            return false;
        }
        size_t length = strcspn(modalias, "\n");
        modalias[length] = '\0';
        for (size_t i = 0; i < length; ++i) {
            if (modalias[i] <= ' ' || modalias[i] > '~') {
                return false;
            }
        }
        return length > 0;
    }
    return false;
}
