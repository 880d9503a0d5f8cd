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

int OpenForReading(const char* path, int flags)
{
    return open(path, flags);
}

LeaseFileCalls calls = {opendir, readdir, OpenForReading, read};

// A signal storm must not keep us re-issuing a call for ever.
constexpr int kMaxInterruptions = 100;

// What one pass over the stores may still read, and the failure that ended
// it early.
struct ReadBudget {
    size_t bytesLeft = kLeaseReadLimit;
    int error = 0;
};

// Running short of descriptors or memory, or a failing disk, loses a lease
// that is there; anything else that keeps a file from us (gone since the
// listing, not ours to read, a socket or device) means it holds none.
bool LosesLeases(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == EIO;
}

ssize_t ReadInterrupted(int fd, char* buffer, size_t size)
{
    ssize_t got = -1;
    for (int attempt = 0; attempt < kMaxInterruptions; attempt++) {
        got = calls.readFile(fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            break;
        }
    }
    return got;
}

// Only regular files up to the limit; FIFOs and devices must not block or
// feed us forever. The bytes go straight into the file's own buffer, sized
// from the file, so no large block ever sits on the stack.
bool ReadLeaseFile(const std::string& dir, std::string_view name, ReadBudget& budget,
                   LeaseFile* file)
{
    if (budget.error != 0 || budget.bytesLeft == 0) {
        return false;
    }
    std::string path = dir;
    path += '/';
    path += name;
    FdOwner owner{calls.openFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (owner.fd < 0) {
        budget.error = LosesLeases(errno) ? errno : 0;
        return false;
    }
    struct stat info;
    if (fstat(owner.fd, &info) != 0) {
        budget.error = LosesLeases(errno) ? errno : 0;
        return false;
    }
    size_t limit = std::min(kLeaseFileLimit, budget.bytesLeft);
    if (!S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > kLeaseFileLimit) {
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        budget.bytesLeft = 0;  // the rest of the stores stay unread
        return false;
    }
    file->mtime = info.st_mtim.tv_sec;
    // One byte beyond the size tells a file that grew since fstat.
    file->bytes.resize(static_cast<size_t>(info.st_size) + 1);
    size_t have = 0;
    for (;;) {
        ssize_t got = ReadInterrupted(owner.fd, &file->bytes[have], file->bytes.size() - have);
        if (got < 0) {
            budget.error = LosesLeases(errno) ? errno : 0;
            return false;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<size_t>(got);
        if (have == file->bytes.size()) {
            if (have > limit) {
                budget.bytesLeft -= std::min(have, budget.bytesLeft);
                return false;  // grew past the limit while we read it
            }
            file->bytes.resize(std::min(2 * have, limit + 1));
        }
    }
    file->bytes.resize(have);
    budget.bytesLeft -= have;
    return true;
}

// Lists a store's directory, no further than kLeaseEntryLimit entries.
// Returns 0, or the errno value of a failure that hides entries that are
// there. A store that is absent or not ours to read has none.
int ListDirectory(const std::string& path, const std::function<void(std::string_view name)>& visit)
{
    errno = 0;
    std::unique_ptr<DIR, DirCloser> dir(calls.openDirectory(path.c_str()));
    if (!dir) {
        int error = errno;
        bool absent = error == ENOENT || error == ENOTDIR || error == ELOOP;
        return absent || error == EACCES || error == EPERM ? 0 : error;
    }
    for (size_t seen = 0; seen < kLeaseEntryLimit; seen++) {
        errno = 0;
        const dirent* entry = calls.readDirectory(dir.get());
        if (entry == nullptr) {
            // A directory removed while we list it has simply ended.
            return errno == ENOENT ? 0 : errno;
        }
        visit(entry->d_name);
    }
    return 0;
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

// The interfaces sorted by name, then by their place in the list, so that
// the names a file name carries are found by narrowing a range one
// character at a time: the work for a name follows its length, never how
// many pieces it splits into, and nothing is kept per piece.
class InterfaceNames {
   public:
    explicit InterfaceNames(const std::vector<LeaseInterface>& interfaces)
    {
        sorted_.reserve(interfaces.size());
        for (size_t place = 0; place < interfaces.size(); place++) {
            sorted_.push_back({interfaces[place].name, place});
        }
        std::sort(sorted_.begin(), sorted_.end());
    }

    bool Has(std::string_view name) const
    {
        auto found = std::lower_bound(sorted_.begin(), sorted_.end(), Entry{name, 0});
        return found != sorted_.end() && found->first == name;
    }

    // The interface with the longest name that some run of text carries:
    // the run starts at the text's start or after a separator and ends at
    // the text's end or, unless anchoredAtEnd, before a separator. Of two
    // equally long names the one earlier in the list wins. Answers the
    // name's place in the list, or npos.
    size_t LongestIn(std::string_view text, std::string_view separators, bool anchoredAtEnd) const
    {
        auto isSeparator = [&](size_t at) {
            return separators.find(text[at]) != std::string_view::npos;
        };
        size_t best = std::string_view::npos;
        size_t bestLength = 0;
        for (size_t start = 0; start < text.size(); start++) {
            if (start > 0 && !isSeparator(start - 1)) {
                continue;
            }
            auto first = sorted_.begin();
            auto last = sorted_.end();
            for (size_t k = 0; k < kMaxInterfaceName && start + k < text.size(); k++) {
                // [first, last) share the run's first k characters: those of
                // exactly k characters sort first, the rest by character k.
                unsigned char c = static_cast<unsigned char>(text[start + k]);
                first = std::lower_bound(first, last, c, [k](const Entry& entry, unsigned char c) {
                    return entry.first.size() <= k ||
                           static_cast<unsigned char>(entry.first[k]) < c;
                });
                last = std::upper_bound(first, last, c, [k](unsigned char c, const Entry& entry) {
                    return entry.first.size() > k && c < static_cast<unsigned char>(entry.first[k]);
                });
                if (first == last) {
                    break;
                }
                size_t end = start + k + 1;
                bool ends = end == text.size() || (!anchoredAtEnd && isSeparator(end));
                if (ends && first->first.size() == k + 1 &&
                    (k + 1 > bestLength || (k + 1 == bestLength && first->second < best))) {
                    best = first->second;
                    bestLength = k + 1;
                }
            }
        }
        return best;
    }

   private:
    using Entry = std::pair<std::string_view, size_t>;  // name, place in the list
    std::vector<Entry> sorted_;
};

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
                   ReadBudget& budget, std::vector<Candidate>& slot)
{
    if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {
        return;  // the runtime state holds all the file does, and more
    }
    const std::string& dir =
        named.kind == NamedKind::kDhcpcd ? stores.dhcpcdDir : stores.networkManagerDir;
    LeaseFile file;
    errno = 0;
    if (!ReadLeaseFile(dir, named.name, budget, &file)) {
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

// dhclient's own files name their interfaces inside, so all of them are
// read, one at a time; only the leases of interfaces that exist are kept.
std::unordered_map<std::string, std::vector<Candidate>> ReadDhclientFiles(
    const LeaseStores& stores, const InterfaceNames& names, ReadBudget& budget)
{
    std::unordered_map<std::string, std::vector<Candidate>> byName;
    for (const std::string& name : stores.dhclient) {
        LeaseFile file;
        if (!ReadLeaseFile(stores.dhclientDir, name, budget, &file)) {
            continue;
        }
        auto parsed = ParseDhclientLeases(file.bytes, {});
        for (auto lease = parsed.begin(); lease != parsed.end(); lease = parsed.erase(lease)) {
            if (names.Has(lease->first)) {
                Offer(byName[lease->first], Store::kDhclient, std::move(lease->second), file.mtime,
                      name);
            }
        }
    }
    return byName;
}

// Gives each file that carries interface names in its own name to the
// interface with the longest such name:
// dhclient-<uuid>-<ifname>.lease and internal-<uuid>-<ifname>.lease of
// NetworkManager; eth0.lease, dhcpcd-eth0.lease, eth0-<ssid>.lease of dhcpcd.
std::vector<NamedFile> AssignNamedFiles(const LeaseStores& stores,
                                        const std::vector<LeaseInterface>& interfaces,
                                        const InterfaceNames& names)
{
    std::vector<NamedFile> named;
    auto assign = [&](NamedFile file, std::string_view text, std::string_view separators,
                      bool anchoredAtEnd) {
        size_t place = names.LongestIn(text, separators, anchoredAtEnd);
        if (place != std::string_view::npos) {
            file.interface = interfaces[place].name;
            file.index = interfaces[place].index;
            named.push_back(file);
        }
    };
    for (const std::string& name : stores.networkManager) {
        std::string_view middle = std::string_view(name).substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        NamedKind kind = HasPrefix(name, "dhclient-") ? NamedKind::kNetworkManagerDhclient
                                                      : NamedKind::kNetworkManagerInternal;
        assign(NamedFile{kind, name, {}, 0}, middle, "-", true);
    }
    for (const std::string& name : stores.dhcpcd) {
        std::string_view stem = std::string_view(name).substr(0, name.size() - 6);
        assign(NamedFile{NamedKind::kDhcpcd, name, {}, 0}, stem, "-.", false);
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
    stores.dhclientDir = JoinRoot(root, "/var/lib/dhcp");
    stores.networkManagerDir = JoinRoot(root, "/var/lib/NetworkManager");
    stores.dhcpcdDir = JoinRoot(root, "/var/lib/dhcpcd");
    stores.networkManagerStateDir = JoinRoot(root, "/run/NetworkManager/devices");
    stores.dhcpcdRunDir = JoinRoot(root, "/run/dhcpcd");
    stores.error = ListDirectory(stores.networkdDir, [&](std::string_view name) {
        uint64_t index = 0;
        if (ParseDecimal(name, UINT32_MAX, &index)) {
            stores.networkd.emplace_back(static_cast<uint32_t>(index), name);
        }
    });
    if (stores.error == 0) {
        stores.error = ListDirectory(stores.dhclientDir, [&](std::string_view name) {
            if (HasPrefix(name, "dhclient") && HasSuffix(name, ".leases")) {
                stores.dhclient.emplace_back(name);
            }
        });
    }
    if (stores.error == 0) {
        stores.error = ListDirectory(stores.networkManagerDir, [&](std::string_view name) {
            if ((HasPrefix(name, "dhclient-") || HasPrefix(name, "internal-")) &&
                HasSuffix(name, ".lease")) {
                stores.networkManager.emplace_back(name);
            }
        });
    }
    // Not the IPv6 .lease6 files.
    if (stores.error == 0) {
        stores.error = ListDirectory(stores.networkManagerStateDir, [&](std::string_view name) {
            uint64_t index = 0;
            if (ParseDecimal(name, UINT32_MAX, &index)) {
                stores.networkManagerState.emplace_back(static_cast<uint32_t>(index), name);
            }
        });
    }
    if (stores.error == 0) {
        stores.error = ListDirectory(stores.dhcpcdDir, [&](std::string_view name) {
            if (HasSuffix(name, ".lease")) {
                stores.dhcpcd.emplace_back(name);
            }
        });
    }
    return stores;
}

std::unordered_map<uint32_t, LeaseCandidates> ReadLeases(
    const LeaseStores& stores, const std::vector<LeaseInterface>& interfaces, int* error)
{
    std::unordered_map<uint32_t, LeaseCandidates> leases;
    *error = stores.error;
    if (stores.empty() || stores.error != 0) {
        return leases;
    }
    ReadBudget budget;
    InterfaceNames names(interfaces);
    std::vector<NamedFile> named = AssignNamedFiles(stores, interfaces, names);
    std::unordered_multimap<uint32_t, uint32_t> owned;
    for (uint32_t file = 0; file < named.size(); file++) {
        owned.emplace(named[file].index, file);
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
    auto dhclient = ReadDhclientFiles(stores, names, budget);

    std::vector<Candidate> slot;
    for (const LeaseInterface& interface : interfaces) {
        bool haveState = false;
        auto [first, last] = indexed.equal_range(interface.index);
        for (auto file = first; file != last; ++file) {
            bool networkd = file->second.store == Store::kNetworkd;
            LeaseFile lease;
            if (!ReadLeaseFile(networkd ? stores.networkdDir : stores.networkManagerStateDir,
                               file->second.name, budget, &lease)) {
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
            ReadNamedFile(stores, named[file->second], haveState, budget, slot);
        }
        if (!slot.empty()) {
            leases.emplace(interface.index, RankCandidates(slot));
            slot.clear();
        }
    }
    *error = budget.error;
    return leases;
}

LeaseFileCalls SetLeaseFileCalls(const LeaseFileCalls& replacement)
{
    LeaseFileCalls before = calls;
    calls.openDirectory = replacement.openDirectory ? replacement.openDirectory : opendir;
    calls.readDirectory = replacement.readDirectory ? replacement.readDirectory : readdir;
    calls.openFile = replacement.openFile ? replacement.openFile : OpenForReading;
    calls.readFile = replacement.readFile ? replacement.readFile : read;
    return before;
}
