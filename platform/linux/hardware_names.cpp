#include "hardware_names.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>

// libudev's own types, opaque to its callers.
struct udev;
struct udev_hwdb;
struct udev_list_entry;

namespace {

// Longest vendor or model name taken; the record's field is shorter still.
const size_t kMaxNameSize = 256;

}  // namespace

// libudev is loaded at run time rather than linked: a machine without it
// (a minimal image has neither it nor the database) still runs the tool,
// and a run that never needs a name never loads it. Its functions keep
// their ABI within the soname.
struct HardwareNamesLibrary {
    void* handle = nullptr;
    udev* context = nullptr;
    udev_hwdb* hwdb = nullptr;
    udev* (*unrefContext)(udev*) = nullptr;
    udev_hwdb* (*unrefHwdb)(udev_hwdb*) = nullptr;
    udev_list_entry* (*properties)(udev_hwdb*, const char*, unsigned) = nullptr;
    udev_list_entry* (*next)(udev_list_entry*) = nullptr;
    const char* (*entryName)(udev_list_entry*) = nullptr;
    const char* (*entryValue)(udev_list_entry*) = nullptr;

    ~HardwareNamesLibrary()
    {
        if (hwdb != nullptr) {
            unrefHwdb(hwdb);
        }
        if (context != nullptr) {
            unrefContext(context);
        }
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
};

namespace {

// 0, or ENOENT when the library has no such symbol.
template <typename Function>
int Resolve(void* handle, const char* symbol, Function* function)
{
    void* address = dlsym(handle, symbol);
    *function = reinterpret_cast<Function>(address);
    return address != nullptr ? 0 : ENOENT;
}

// The library with its database open, or null.
std::unique_ptr<HardwareNamesLibrary> OpenLibrary()
{
    void* handle = dlopen("libudev.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    auto library = std::make_unique<HardwareNamesLibrary>();
    library->handle = handle;
    udev* (*newContext)() = nullptr;
    udev_hwdb* (*newHwdb)(udev*) = nullptr;
    if (Resolve(handle, "udev_new", &newContext) == 0 &&
        Resolve(handle, "udev_unref", &library->unrefContext) == 0 &&
        Resolve(handle, "udev_hwdb_new", &newHwdb) == 0 &&
        Resolve(handle, "udev_hwdb_unref", &library->unrefHwdb) == 0 &&
        Resolve(handle, "udev_hwdb_get_properties_list_entry", &library->properties) == 0 &&
        Resolve(handle, "udev_list_entry_get_next", &library->next) == 0 &&
        Resolve(handle, "udev_list_entry_get_name", &library->entryName) == 0 &&
        Resolve(handle, "udev_list_entry_get_value", &library->entryValue) == 0) {
        library->context = newContext();
        if (library->context != nullptr) {
            library->hwdb = newHwdb(library->context);
        }
    }
    return library->hwdb != nullptr ? std::move(library) : nullptr;
}

// The value as a bounded text; an absent one leaves text as it was.
void TakeValue(const char* value, std::string* text)
{
    if (value != nullptr) {
        text->assign(value, strnlen(value, kMaxNameSize));
    }
}

// The part of a modalias that names a product: a PCI one up to its class
// ("bc"), a USB one up to its device class ("dc"); the ids are upper-case
// hexadecimal, so the markers cannot be digits. Matching a whole one
// against the database's class patterns would be a fifth of a lookup's
// cost and gives no product name.
std::string ProductKey(const char* modalias)
{
    const char* cut = strncmp(modalias, "pci:", 4) == 0   ? strstr(modalias, "bc")
                      : strncmp(modalias, "usb:", 4) == 0 ? strstr(modalias, "dc")
                                                          : nullptr;
    return cut != nullptr ? std::string(modalias, static_cast<size_t>(cut - modalias))
                          : std::string(modalias);
}

// "<vendor> <model>", the model alone, or "" when the model is unknown.
std::string FindProductName(const HardwareNamesLibrary& library, const char* key)
{
    std::string vendor;
    std::string model;
    for (udev_list_entry* entry = library.properties(library.hwdb, key, 0); entry != nullptr;
         entry = library.next(entry)) {
        const char* name = library.entryName(entry);
        if (name == nullptr) {
            continue;
        }
        if (strcmp(name, "ID_VENDOR_FROM_DATABASE") == 0) {
            TakeValue(library.entryValue(entry), &vendor);
        } else if (strcmp(name, "ID_MODEL_FROM_DATABASE") == 0) {
            TakeValue(library.entryValue(entry), &model);
        }
    }
    if (model.empty() || vendor.empty()) {
        return model;
    }
    return vendor + " " + model;
}

}  // namespace

HardwareNames::HardwareNames() = default;

HardwareNames::~HardwareNames() = default;

int LookUpProductName(HardwareNames& names, const char* modalias, std::string* product)
{
    if (!names.tried) {
        names.tried = true;
        names.library = OpenLibrary();
    }
    HardwareNamesLibrary* library = names.library.get();
    if (library == nullptr) {
        return ENOENT;
    }
    std::string key = ProductKey(modalias);
    auto known = names.answers.find(key);
    if (known == names.answers.end()) {
        known = names.answers.emplace(key, FindProductName(*library, key.c_str())).first;
    }
    if (known->second.empty()) {
        return ENOENT;
    }
    *product = known->second;
    return 0;
}
