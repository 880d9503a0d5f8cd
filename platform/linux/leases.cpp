// Finds the lease stores below a root directory and gathers the leases
// they hold for each interface.
#include "leases.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <string_view>

#include "lease_text.h"

namespace {

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
bool ReadLeaseFile(const std::string& dir, std::string_view name, LeaseFile* file)
{
    std::string path = dir;
    path += '/';
    path += name;
    FdOwner owner{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat info;
    if (owner.fd < 0 || fstat(owner.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > kLeaseFileLimit) {
        return false;
    }
    file->mtime = info.st_mtim.tv_sec;
    file->bytes.clear();
    file->bytes.reserve(static_cast<size_t>(info.st_size));
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

void ListDirectory(const std::string& path, const std::function<void(std::string_view name)>& visit)
{
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        visit(entry->d_name);
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

std::string JoinRoot(const std::string& root, std::string_view relative)
{
    std::string path = root;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += relative;
    return path;
}

// The stores, in the order that breaks a tie between equally recent leases.
enum class Store { kNetworkd, kDhclient, kDhcpcd, kNetworkManagerState, kInternal };

// How long a dhcpcd that does not answer holds up the report.
constexpr int kDhcpcdTimeoutMilliseconds = 1000;

struct Candidate {
    LeaseFacts facts;
    Store store;
    int64_t mtime = 0;
    std::string_view file;
};

void Offer(std::vector<Candidate>& slot, Store store, LeaseFacts facts, int64_t mtime,
           std::string_view file)
{
    if (facts.found) {
        facts.written = mtime > 0 ? mtime : 0;
        slot.push_back(Candidate{std::move(facts), store, mtime, file});
    }
}

// A file whose name carries the interface's name somewhere inside it.
enum class NamedKind { kNetworkManagerDhclient, kNetworkManagerInternal, kDhcpcd };

struct NamedFile {
    NamedKind kind;
    std::string_view name;
    std::string_view interface;  // the longest interface name found in it
    uint32_t index = 0;
};

// Candidate interface names, each leading to the files that carry it.
using TokenMap = std::unordered_map<std::string_view, std::vector<uint32_t>>;

// Every run of text that could be an interface name: it starts at the
// text's start or after a separator and ends at the text's end or, unless
// anchoredAtEnd, before a separator.
void AddNameTokens(std::string_view text, std::string_view separators, bool anchoredAtEnd,
                   uint32_t file, TokenMap& tokens)
{
    auto isSeparator = [&](size_t at) {
        return separators.find(text[at]) != std::string_view::npos;
    };
    for (size_t start = 0; start < text.size(); start++) {
        if (start > 0 && !isSeparator(start - 1)) {
            continue;
        }
        size_t last = std::min(text.size(), start + kMaxInterfaceName);
        for (size_t end = start + 1; end <= last; end++) {
            if (end == text.size() || (!anchoredAtEnd && isSeparator(end))) {
                std::vector<uint32_t>& files = tokens[text.substr(start, end - start)];
                if (files.empty() || files.back() != file) {
                    files.push_back(file);
                }
            }
        }
    }
}

// dhclient-<uuid>-<ifname>.lease and internal-<uuid>-<ifname>.lease
void AddNetworkManagerFiles(const LeaseStores& stores, std::vector<NamedFile>& files,
                            TokenMap& tokens)
{
    for (const std::string& name : stores.networkManager) {
        std::string_view middle = std::string_view(name).substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        NamedKind kind = HasPrefix(name, "dhclient-") ? NamedKind::kNetworkManagerDhclient
                                                      : NamedKind::kNetworkManagerInternal;
        AddNameTokens(middle, "-", true, static_cast<uint32_t>(files.size()), tokens);
        files.push_back(NamedFile{kind, name, {}, 0});
    }
}

// eth0.lease, dhcpcd-eth0.lease, eth0-<ssid>.lease
void AddDhcpcdFiles(const LeaseStores& stores, std::vector<NamedFile>& files, TokenMap& tokens)
{
    for (const std::string& name : stores.dhcpcd) {
        std::string_view stem = std::string_view(name).substr(0, name.size() - 6);
        AddNameTokens(stem, "-.", false, static_cast<uint32_t>(files.size()), tokens);
        files.push_back(NamedFile{NamedKind::kDhcpcd, name, {}, 0});
    }
}

// dhcpcd keeps its file from other users but tells them the lease over
// its control socket; the file's time, which anyone may see, still dates it.
void AskDhcpcd(const LeaseStores& stores, const NamedFile& named, std::vector<Candidate>& slot)
{
    struct stat info;
    std::string path = stores.dhcpcdDir + "/" + std::string(named.name);
    int64_t mtime = stat(path.c_str(), &info) == 0 ? info.st_mtim.tv_sec : -1;
    for (const std::string& entry :
         AskDhcpcdLease(stores.dhcpcdRunDir, named.interface, kDhcpcdTimeoutMilliseconds)) {
        Offer(slot, Store::kDhcpcd, ParseDhcpcdDump(entry, mtime), mtime, named.name);
    }
}

void ReadNamedFile(const LeaseStores& stores, const NamedFile& named, bool haveState,
                   std::vector<Candidate>& slot)
{
    if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {
        return;  // the runtime state holds all the file does, and more
    }
    const std::string& dir =
        named.kind == NamedKind::kDhcpcd ? stores.dhcpcdDir : stores.networkManagerDir;
    LeaseFile file;
    if (!ReadLeaseFile(dir, named.name, &file)) {
        if (named.kind == NamedKind::kDhcpcd && errno == EACCES) {
            AskDhcpcd(stores, named, slot);
        }
        return;
    }
    if (named.kind == NamedKind::kNetworkManagerDhclient) {
        for (auto& lease : ParseDhclientLeases(file.bytes, named.interface)) {
            Offer(slot, Store::kDhclient, std::move(lease.second), file.mtime, named.name);
        }
    } else if (named.kind == NamedKind::kNetworkManagerInternal) {
        Offer(slot, Store::kInternal, ParseInternalLease(file.bytes), file.mtime, named.name);
    } else {
        const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
        Offer(slot, Store::kDhcpcd, ParseDhcpcdLease(bytes, file.bytes.size(), file.mtime),
              file.mtime, named.name);
    }
}

// dhclient's own files name their interfaces inside, so all of them are read.
std::unordered_map<std::string, std::vector<Candidate>> ReadDhclientFiles(const LeaseStores& stores)
{
    std::unordered_map<std::string, std::vector<Candidate>> byName;
    for (const std::string& name : stores.dhclient) {
        LeaseFile file;
        if (!ReadLeaseFile(stores.dhclientDir, name, &file)) {
            continue;
        }
        auto parsed = ParseDhclientLeases(file.bytes, {});
        for (auto lease = parsed.begin(); lease != parsed.end(); lease = parsed.erase(lease)) {
            Offer(byName[lease->first], Store::kDhclient, std::move(lease->second), file.mtime,
                  name);
        }
    }
    return byName;
}

// Gives each file that carries interface names in its own name to the
// interface with the longest such name.
std::vector<NamedFile> AssignNamedFiles(const LeaseStores& stores,
                                        const std::vector<LeaseInterface>& interfaces)
{
    std::vector<NamedFile> named;
    TokenMap tokens;
    AddNetworkManagerFiles(stores, named, tokens);
    AddDhcpcdFiles(stores, named, tokens);
    if (tokens.empty()) {
        return named;
    }
    for (const LeaseInterface& interface : interfaces) {
        auto carriers = tokens.find(interface.name);
        if (carriers == tokens.end()) {
            continue;
        }
        for (uint32_t file : carriers->second) {
            if (interface.name.size() > named[file].interface.size()) {
                named[file].interface = carriers->first;
                named[file].index = interface.index;
            }
        }
    }
    return named;
}

// The most recently obtained lease first; see ReadLeases.
LeaseCandidates RankCandidates(std::vector<Candidate>& candidates)
{
    auto obtained = [](const Candidate& candidate) {
        return candidate.facts.obtainedKnown ? candidate.facts.obtained : candidate.mtime;
    };
    std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
        if (obtained(a) != obtained(b)) {
            return obtained(a) > obtained(b);
        }
        if (a.mtime != b.mtime) {
            return a.mtime > b.mtime;
        }
        return a.store != b.store ? a.store < b.store : a.file > b.file;
    });
    LeaseCandidates leases;
    leases.reserve(candidates.size());
    for (Candidate& candidate : candidates) {
        leases.push_back(std::move(candidate.facts));
    }
    return leases;
}

}  // namespace

LeaseStores ListLeaseStores(const std::string& root)
{
    LeaseStores stores;
    stores.networkdDir = JoinRoot(root, "/run/systemd/netif/leases");
    ListDirectory(stores.networkdDir, [&](std::string_view name) {
        uint64_t index = 0;
        if (ParseDecimal(name, UINT32_MAX, &index)) {
            stores.networkd.emplace_back(static_cast<uint32_t>(index), name);
        }
    });
    stores.dhclientDir = JoinRoot(root, "/var/lib/dhcp");
    ListDirectory(stores.dhclientDir, [&](std::string_view name) {
        if (HasPrefix(name, "dhclient") && HasSuffix(name, ".leases")) {
            stores.dhclient.emplace_back(name);
        }
    });
    stores.networkManagerDir = JoinRoot(root, "/var/lib/NetworkManager");
    ListDirectory(stores.networkManagerDir, [&](std::string_view name) {
        if ((HasPrefix(name, "dhclient-") || HasPrefix(name, "internal-")) &&
            HasSuffix(name, ".lease")) {
            stores.networkManager.emplace_back(name);
        }
    });
    // Not the IPv6 .lease6 files.
    stores.networkManagerStateDir = JoinRoot(root, "/run/NetworkManager/devices");
    ListDirectory(stores.networkManagerStateDir, [&](std::string_view name) {
        uint64_t index = 0;
        if (ParseDecimal(name, UINT32_MAX, &index)) {
            stores.networkManagerState.emplace_back(static_cast<uint32_t>(index), name);
        }
    });
    stores.dhcpcdRunDir = JoinRoot(root, "/run/dhcpcd");
    stores.dhcpcdDir = JoinRoot(root, "/var/lib/dhcpcd");
    ListDirectory(stores.dhcpcdDir, [&](std::string_view name) {
        if (HasSuffix(name, ".lease")) {
            stores.dhcpcd.emplace_back(name);
        }
    });
    return stores;
}

std::unordered_map<uint32_t, LeaseCandidates> ReadLeases(
    const LeaseStores& stores, const std::vector<LeaseInterface>& interfaces)
{
    std::unordered_map<uint32_t, LeaseCandidates> leases;
    if (stores.empty()) {
        return leases;
    }
    // Lookup structures come from the files found, never from the
    // interfaces, which may number thousands.
    std::vector<NamedFile> named = AssignNamedFiles(stores, interfaces);
    std::unordered_multimap<uint32_t, uint32_t> owned;
    for (uint32_t file = 0; file < named.size(); file++) {
        if (!named[file].interface.empty()) {
            owned.emplace(named[file].index, file);
        }
    }
    // Files named by interface index, each with its store.
    struct IndexedFile {
        Store store;
        std::string_view name;
    };
    std::unordered_multimap<uint32_t, IndexedFile> indexed;
    for (const auto& [index, name] : stores.networkd) {
        indexed.emplace(index, IndexedFile{Store::kNetworkd, name});
    }
    for (const auto& [index, name] : stores.networkManagerState) {
        indexed.emplace(index, IndexedFile{Store::kNetworkManagerState, name});
    }
    auto dhclient = ReadDhclientFiles(stores);

    std::vector<Candidate> slot;
    for (const LeaseInterface& interface : interfaces) {
        bool haveState = false;
        auto [first, last] = indexed.equal_range(interface.index);
        for (auto file = first; file != last; ++file) {
            bool networkd = file->second.store == Store::kNetworkd;
            LeaseFile lease;
            if (!ReadLeaseFile(networkd ? stores.networkdDir : stores.networkManagerStateDir,
                               file->second.name, &lease)) {
                continue;
            }
            LeaseFacts facts =
                networkd ? ParseNetworkdLease(lease.bytes) : ParseNetworkManagerState(lease.bytes);
            haveState = haveState || (!networkd && facts.found);
            Offer(slot, file->second.store, std::move(facts), lease.mtime, file->second.name);
        }
        auto blocks = dhclient.find(interface.name);
        if (blocks != dhclient.end()) {
            for (Candidate& candidate : blocks->second) {
                slot.push_back(std::move(candidate));
            }
            dhclient.erase(blocks);
        }
        auto [ownedFirst, ownedLast] = owned.equal_range(interface.index);
        for (auto file = ownedFirst; file != ownedLast; ++file) {
            ReadNamedFile(stores, named[file->second], haveState, slot);
        }
        if (!slot.empty()) {
            leases.emplace(interface.index, RankCandidates(slot));
            slot.clear();
        }
    }
    return leases;
}
