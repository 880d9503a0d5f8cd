// Product names of devices from the system's hardware database, the one
// udev builds (hwdb.bin), looked up by a device's modalias.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

struct HardwareNamesLibrary;

// The database as one snapshot uses it: opened at the first lookup, so a
// namespace of virtual links never loads it, and closed with the owner.
struct HardwareNames {
    HardwareNames();
    ~HardwareNames();

    bool tried = false;
    std::unique_ptr<HardwareNamesLibrary> library;  // null when there is no database
    // Answers by product key, "" for an unknown product: the virtual
    // functions of one card share their ids, and a lookup costs tens of
    // microseconds.
    std::unordered_map<std::string, std::string> answers;
};

// "<vendor> <model>" ("Red Hat, Inc. Virtio 1.0 network device"), or the
// model alone when the database names no vendor. 0, or ENOENT when there
// is no database or it does not know the model.
int LookUpProductName(HardwareNames& names, const char* modalias, std::string* product);
