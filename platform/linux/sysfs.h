// What /sys/class/net tells about a link beyond the kernel's replies. All
// of it is optional: a missing or foreign entry reads as absent.
#pragma once

#include <cstddef>
#include <string>

#include "netlink/netlink.h"

// Whether root's entry named after the link is the link's own: nsenter
// --net and unshare -n keep the /sys of the namespace that mounted it, where
// the same name may be another namespace's device.
bool IsOwnSysEntry(const char* root, const NetLink& link);

// The name of the driver bound to the named device; false when none.
bool ReadDriverName(const char* root, const char* name, std::string* driver);

// Whether the named device is a wireless one.
bool IsWireless(const char* root, const char* name);

// The modalias of the PCI or USB device behind the named interface: its own
// device, or for a virtio NIC the PCI device it sits on
// ("pci:v00001AF4d00001041..."). False when there is none or it is not
// plain printable text.
bool ReadDeviceModalias(const char* root, const char* name, char* modalias, size_t size);
