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

// Reads a small file as a terminated text; false when absent or empty.
bool ReadSmallFile(const char* path, char* text, size_t size)
{
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

// Reads a small sysfs attribute as a terminated text; false when absent.
bool ReadSysText(const char* root, const char* name, const char* suffix, char* text, size_t size)
{
    char path[256];
    return BuildSysPath(root, name, suffix, path, sizeof(path)) && ReadSmallFile(path, text, size);
}

// The last part of a symbolic link's target ("iwlwifi" of a driver link,
// "pci" of a subsystem link); false when there is none.
bool ReadLinkBase(const char* path, std::string* base)
{
    char target[256];
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
    char path[256];
    return BuildSysPath(root, name, "/device/driver", path, sizeof(path)) &&
           ReadLinkBase(path, driver);
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
    // The kernel takes ".." after the device link to the parent of the
    // device itself, so each level up costs one lookup, not a path walk.
    static const char* const kLevels[] = {"/device/", "/device/../", "/device/../../",
                                          "/device/../../../"};
    for (const char* level : kLevels) {
        char path[256];
        std::string bus;
        std::string suffix = std::string(level) + "subsystem";
        if (!BuildSysPath(root, name, suffix.c_str(), path, sizeof(path)) ||
            !ReadLinkBase(path, &bus)) {
            return false;  // no device, or past the last one
        }
        if (bus != "pci" && bus != "usb") {
            continue;
        }
        suffix = std::string(level) + "modalias";
        if (!BuildSysPath(root, name, suffix.c_str(), path, sizeof(path)) ||
            !ReadSmallFile(path, modalias, size)) {
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
