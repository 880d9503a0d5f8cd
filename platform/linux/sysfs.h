// What /sys/class/net tells about a link beyond the kernel's replies. All
// of it is optional: a missing or foreign entry reads as absent; a read
// that loses facts (LosesFacts) is an error.
#pragma once

#include <cstddef>
#include <string>

struct NetInterface;

// Whether root's entry named after the link is the link's own: nsenter
// --net and unshare -n keep the /sys of the namespace that mounted it, where
// the same name may be another namespace's device. 0 with the answer in
// own, or the errno value of a read that loses facts.
int CheckOwnSysEntry(const char* root, const NetInterface& link, bool* own);

// The name of the driver bound to the named device: 0, ENOENT when none is
// bound (or root has no entry by that name), or the errno value of the
// failed read.
int ReadDriverName(const char* root, const char* name, std::string* driver);

// Whether the named device is a wireless one: 0 with the answer in
// wireless, or the errno value of a lookup that loses facts.
int CheckWireless(const char* root, const char* name, bool* wireless);

// The modalias of the PCI or USB device behind the named interface: its own
// device, or for a virtio NIC the PCI device it sits on
// ("pci:v00001AF4d00001041..."). 0; ENOENT when there is none (no device,
// or one on another bus); EBADMSG when it is not plain printable text;
// EFBIG when it does not fit size; or the errno value of the failed read.
int ReadDeviceModalias(const char* root, const char* name, char* modalias, size_t size);
