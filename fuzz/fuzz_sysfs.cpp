// A link's sysfs entry and the product name its modalias gives, read from a
// scratch tree the input writes: its NUL-ended parts are the entry's
// ifindex and address, the device's subsystem link, modalias and driver
// link, the parent device's subsystem link and modalias, and whether the
// entry is a wireless one (any text). A part the input lacks is no file,
// and an empty link is none either. The link is eth0, index 2, hardware
// address 52:54:00:12:34:56; the names come from the machine's database.
#include <fcntl.h>
#include <linux/if_arp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "fuzz_scratch.h"
#include "link_description.h"

namespace {

std::string net;     // the folder of interface entries
std::string device;  // eth0's device, whose parent is parentDevice
std::string parentDevice;

void Write(const std::string& path, const std::vector<std::string_view>& parts, size_t part)
{
    unlink(path.c_str());
    if (part < parts.size()) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || write(fd, parts[part].data(), parts[part].size()) < 0) {
            abort();
        }
        close(fd);
    }
}

void Link(const std::string& path, const std::vector<std::string_view>& parts, size_t part)
{
    unlink(path.c_str());
    if (part < parts.size() && !parts[part].empty()) {
        symlink(std::string(parts[part]).c_str(), path.c_str());  // a NUL cuts it short
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string& root = MakeScratchFolder();
    net = root + "/net";
    parentDevice = root + "/devices/pci0000:00";
    device = parentDevice + "/0000:00:03.0";
    for (const std::string& folder :
         {net, net + "/eth0", root + "/devices", parentDevice, device}) {
        mkdir(folder.c_str(), 0700);
    }
    if (symlink("../../devices/pci0000:00/0000:00:03.0", (net + "/eth0/device").c_str()) != 0) {
        perror("symlink");
        exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string_view> parts = SplitFields(data, size);
    Write(net + "/eth0/ifindex", parts, 0);
    Write(net + "/eth0/address", parts, 1);
    Link(device + "/subsystem", parts, 2);
    Write(device + "/modalias", parts, 3);
    Link(device + "/driver", parts, 4);
    Link(parentDevice + "/subsystem", parts, 5);
    Write(parentDevice + "/modalias", parts, 6);
    rmdir((net + "/eth0/wireless").c_str());
    if (parts.size() > 7) {
        mkdir((net + "/eth0/wireless").c_str(), 0700);
    }

    NetInterface link;
    link.index = 2;
    link.type = ARPHRD_ETHER;
    const uint8_t address[] = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};
    link.addressLength = sizeof(address);
    memcpy(link.address, address, sizeof(address));
    strcpy(link.name, "eth0");
    static HardwareNames names;
    if (names.answers.size() > 10000) {
        names.answers.clear();
    }
    AdapterFacts facts;
    int error = DescribeLink(link, net.c_str(), names, facts);
    // A product name is a vendor's and a model's, each bounded.
    if (error != 0 || (facts.type != 6 && facts.type != 71) || facts.description.empty() ||
        facts.description.size() > 513) {
        abort();
    }
    return 0;
}
