// Finds the lease stores below a root directory and picks one lease per
// interface.
#include "leases.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr size_t kMaxInterfaceName = 15;

struct DirCloser {
    void operator()(DIR* dir) const
    {
        closedir(dir);
    }
};

struct FdOwner {
    int fd;
    ~FdOwner()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

struct LeaseFile {
    std::string bytes;
    int64_t mtime = 0;
};

// Only regular files up to the limit; FIFOs and devices must not block or
// feed us forever.
bool ReadLeaseFile(int dirFd, const char* name, LeaseFile* file)
{
    FdOwner owner{openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat info;
    if (owner.fd < 0 || fstat(owner.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > kLeaseFileLimit) {
        return false;
    }
    file->mtime = info.st_mtim.tv_sec;
    file->bytes.clear();
    char chunk[65536];
    for (;;) {
        ssize_t got = read(owner.fd, chunk, sizeof chunk);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        file->bytes.append(chunk, static_cast<size_t>(got));
        if (file->bytes.size() > kLeaseFileLimit) {
            return false;  // grew past the limit while we read it
        }
    }
}

void ListDirectory(const std::string& path,
                   const std::function<void(int dirFd, std::string_view name)>& visit)
{
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        visit(dirfd(dir.get()), entry->d_name);
    }
}

bool HasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool HasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

using NameMap = std::unordered_map<std::string, uint32_t>;

// The longest interface name that stands in text as a whole token between
// separators (or the text's ends). With anchoredAtEnd the token must end the
// text. Returns the name's length, 0 when none.
size_t FindInterfaceToken(std::string_view text, std::string_view separators, bool anchoredAtEnd,
                          const NameMap& names, uint32_t* index)
{
    auto isSeparator = [&](size_t at) {
        return separators.find(text[at]) != std::string_view::npos;
    };
    size_t best = 0;
    for (size_t start = 0; start < text.size(); start++) {
        if (start > 0 && !isSeparator(start - 1)) {
            continue;
        }
        size_t last = std::min(text.size(), start + kMaxInterfaceName);
        for (size_t end = start + 1; end <= last; end++) {
            bool boundary = end == text.size() || (!anchoredAtEnd && isSeparator(end));
            if (!boundary || end - start <= best) {
                continue;
            }
            auto found = names.find(std::string(text.substr(start, end - start)));
            if (found != names.end()) {
                best = end - start;
                *index = found->second;
            }
        }
    }
    return best;
}

struct Candidate {
    bool present = false;
    LeaseFacts facts;
    int64_t mtime = 0;
    std::string file;
};

// Among files of one client, the most recently written one is the live lease.
void Offer(Candidate* slot, LeaseFacts facts, int64_t mtime, std::string_view file)
{
    if (!facts.found) {
        return;
    }
    if (slot->present && (mtime < slot->mtime || (mtime == slot->mtime && file <= slot->file))) {
        return;
    }
    slot->present = true;
    slot->facts = std::move(facts);
    slot->mtime = mtime;
    slot->file = std::string(file);
}

struct Sources {
    Candidate networkd, dhclient, dhcpcd, internal;
};

std::string JoinRoot(const std::string& root, std::string_view relative)
{
    std::string path = root;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += relative;
    return path;
}

void ReadNetworkd(const std::string& root, std::unordered_map<uint32_t, Sources>& sources)
{
    ListDirectory(
        JoinRoot(root, "/run/systemd/netif/leases"), [&](int dirFd, std::string_view name) {
            uint64_t index = 0;
            LeaseFile file;
            if (!ParseDecimal(name, UINT32_MAX, &index)) {
                return;
            }
            auto slot = sources.find(static_cast<uint32_t>(index));
            if (slot != sources.end() && ReadLeaseFile(dirFd, name.data(), &file)) {
                Offer(&slot->second.networkd, ParseNetworkdLease(file.bytes), file.mtime, name);
            }
        });
}

void OfferDhclient(const std::string& bytes, std::string_view fileInterface, int64_t mtime,
                   std::string_view file, const NameMap& names,
                   std::unordered_map<uint32_t, Sources>& sources)
{
    for (auto& [name, facts] : ParseDhclientLeases(bytes, fileInterface)) {
        auto found = names.find(name);
        if (found != names.end()) {
            Offer(&sources[found->second].dhclient, std::move(facts), mtime, file);
        }
    }
}

void ReadDhclient(const std::string& root, const NameMap& names,
                  std::unordered_map<uint32_t, Sources>& sources)
{
    ListDirectory(JoinRoot(root, "/var/lib/dhcp"), [&](int dirFd, std::string_view name) {
        LeaseFile file;
        if (HasPrefix(name, "dhclient") && HasSuffix(name, ".leases") &&
            ReadLeaseFile(dirFd, name.data(), &file)) {
            OfferDhclient(file.bytes, {}, file.mtime, name, names, sources);
        }
    });
}

// dhclient-<uuid>-<ifname>.lease and internal-<uuid>-<ifname>.lease
void ReadNetworkManager(const std::string& root, const NameMap& names,
                        std::unordered_map<uint32_t, Sources>& sources)
{
    ListDirectory(JoinRoot(root, "/var/lib/NetworkManager"), [&](int dirFd, std::string_view name) {
        bool dhclient = HasPrefix(name, "dhclient-");
        if (!(dhclient || HasPrefix(name, "internal-")) || !HasSuffix(name, ".lease")) {
            return;
        }
        std::string_view middle = name.substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        uint32_t index = 0;
        size_t length = FindInterfaceToken(middle, "-", true, names, &index);
        LeaseFile file;
        if (length == 0 || !ReadLeaseFile(dirFd, name.data(), &file)) {
            return;
        }
        std::string_view interface = middle.substr(middle.size() - length);
        if (dhclient) {
            OfferDhclient(file.bytes, interface, file.mtime, name, names, sources);
        } else {
            Offer(&sources[index].internal, ParseInternalLease(file.bytes), file.mtime, name);
        }
    });
}

// eth0.lease, dhcpcd-eth0.lease, eth0-<ssid>.lease; not the IPv6 .lease6.
void ReadDhcpcd(const std::string& root, const NameMap& names,
                std::unordered_map<uint32_t, Sources>& sources)
{
    ListDirectory(JoinRoot(root, "/var/lib/dhcpcd"), [&](int dirFd, std::string_view name) {
        if (!HasSuffix(name, ".lease")) {
            return;
        }
        uint32_t index = 0;
        LeaseFile file;
        if (FindInterfaceToken(name.substr(0, name.size() - 6), "-.", false, names, &index) == 0 ||
            !ReadLeaseFile(dirFd, name.data(), &file)) {
            return;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
        Offer(&sources[index].dhcpcd, ParseDhcpcdLease(bytes, file.bytes.size(), file.mtime),
              file.mtime, name);
    });
}

}  // namespace

bool CanonicalIpv4(std::string_view text, std::string* canonical)
{
    canonical->clear();
    char buffer[INET_ADDRSTRLEN] = {};
    if (text.empty() || text.size() >= sizeof buffer || text.find('\0') != std::string_view::npos) {
        return false;
    }
    text.copy(buffer, text.size());
    in_addr address;
    char printed[INET_ADDRSTRLEN];
    if (inet_pton(AF_INET, buffer, &address) != 1 ||
        inet_ntop(AF_INET, &address, printed, sizeof printed) == nullptr) {
        return false;
    }
    *canonical = printed;
    return true;
}

bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value)
{
    if (text.empty()) {
        return false;
    }
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || result > (max - digit) / 10) {
            return false;
        }
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

std::unordered_map<uint32_t, LeaseFacts> ReadLeases(const std::string& root,
                                                    const std::vector<LeaseInterface>& interfaces)
{
    NameMap names;
    std::unordered_map<uint32_t, Sources> sources;
    for (const LeaseInterface& interface : interfaces) {
        names.emplace(interface.name, interface.index);
        sources.emplace(interface.index, Sources{});
    }
    ReadNetworkd(root, sources);
    ReadDhclient(root, names, sources);
    ReadNetworkManager(root, names, sources);
    ReadDhcpcd(root, names, sources);

    std::unordered_map<uint32_t, LeaseFacts> leases;
    for (auto& [index, found] : sources) {
        for (Candidate* candidate :
             {&found.networkd, &found.dhclient, &found.dhcpcd, &found.internal}) {
            if (candidate->present) {
                leases.emplace(index, std::move(candidate->facts));
                break;
            }
        }
    }
    return leases;
}
