// Every lease the stores hold for each interface, the most recently
// obtained first.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "interface_names.h"
#include "lease_files.h"
#include "leases.h"

namespace {

// The stores, in the order that breaks a tie between equally recent leases.
enum class Store { kNetworkd, kDhclient, kDhcpcd, kNetworkManagerState, kInternal };

// How long dhcpcds that do not answer hold up the report, all of them
// together: one deadline in milliseconds, set when the first is asked.
constexpr int64_t kDhcpcdPatience = 1000;

struct Candidate {
    LeaseFacts facts;
    Store store;
    int64_t mtime = 0;
    std::string_view file;
};

void Offer(std::vector<Candidate>& slot, Store store, LeaseFacts facts, int64_t mtime,
           std::string_view file)
{
    facts.written = mtime > 0 ? mtime : 0;
    slot.push_back(Candidate{std::move(facts), store, mtime, file});
}

// dhclient appends a block at every bind and renewal and writes its newest
// last: of a file too large to read whole, its last part holds the leases
// that count.
int ReadDhclientFile(DIR* dir, std::string_view name, ReadBudget& budget, LeaseFile* file,
                     std::string_view* text)
{
    int error = ReadLeaseFile(dir, name, budget, file, Oversize::kReadLast);
    if (error == 0) {
        *text = file->partial ? SkipTornFirstBlock(file->bytes) : file->bytes;
    }
    return error;
}

// dhcpcd keeps its file from other users but tells them the lease over
// its control socket; the file's time, which anyone may see, still dates it.
// Returns 0, or the errno value of a failure that loses the lease; a
// dhcpcd that does not answer, or answers nonsense, tells none.
int AskDhcpcd(const LeaseStoreFiles& stores, const NamedFile& named, int64_t& deadline,
              std::vector<Candidate>& slot)
{
    int64_t now = MonotonicMilliseconds();
    deadline = deadline != 0 ? deadline : now + kDhcpcdPatience;
    if (deadline <= now) {
        return 0;
    }
    struct stat info;
    std::string name(named.name);
    int64_t mtime = fstatat(dirfd(stores.dhcpcdDir.get()), name.c_str(), &info, 0) == 0
                        ? info.st_mtim.tv_sec
                        : -1;
    std::vector<std::string> entries;
    int error = AskDhcpcdLease(stores.dhcpcdRunDir, named.interface,
                               static_cast<int>(deadline - now), &entries);
    for (const std::string& entry : entries) {
        LeaseFacts facts;
        if (ParseDhcpcdDump(entry, mtime, &facts) == 0) {
            Offer(slot, Store::kDhcpcd, std::move(facts), mtime, named.name);
        }
    }
    return LosesFacts(error) ? error : 0;
}

// Reads a file whose name carries its interface's. Returns 0, or the
// errno value of a failure that loses leases (see ReadLeaseFile).
int ReadNamedFile(const LeaseStoreFiles& stores, const NamedFile& named, bool haveState,
                  ReadBudget& budget, int64_t& dhcpcdDeadline, std::vector<Candidate>& slot)
{
    if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {
        return 0;  // the runtime state holds all the file does, and more
    }
    DIR* dir =
        named.kind == NamedKind::kDhcpcd ? stores.dhcpcdDir.get() : stores.networkManagerDir.get();
    LeaseFile file;
    std::string_view text;
    int error = named.kind == NamedKind::kNetworkManagerDhclient
                    ? ReadDhclientFile(dir, named.name, budget, &file, &text)
                    : ReadLeaseFile(dir, named.name, budget, &file);
    if (error != 0) {
        if (named.kind == NamedKind::kDhcpcd && error == EACCES) {
            return AskDhcpcd(stores, named, dhcpcdDeadline, slot);
        }
        return LosesFacts(error) ? error : 0;
    }
    LeaseFacts facts;
    if (named.kind == NamedKind::kNetworkManagerDhclient) {
        for (auto& lease : ParseDhclientLeases(text, named.interface)) {
            Offer(slot, Store::kDhclient, std::move(lease.second), file.mtime, named.name);
        }
    } else if (named.kind == NamedKind::kNetworkManagerInternal) {
        if (ParseNetworkManagerInternalLease(file.bytes, &facts) == 0) {
            Offer(slot, Store::kInternal, std::move(facts), file.mtime, named.name);
        }
    } else {
        const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
        if (ParseDhcpcdLease(bytes, file.bytes.size(), file.mtime, &facts) == 0) {
            Offer(slot, Store::kDhcpcd, std::move(facts), file.mtime, named.name);
        }
    }
    return 0;
}

// dhclient's own files name their interfaces inside, so all of them are
// read, one at a time; only the leases of interfaces that exist are kept.
// Returns 0, or the errno value of a failure that loses leases.
int ReadDhclientFiles(const LeaseStoreFiles& stores, const InterfaceNames& names,
                      ReadBudget& budget,
                      std::unordered_map<std::string, std::vector<Candidate>>* byName)
{
    for (const std::string& name : stores.dhclient) {
        LeaseFile file;
        std::string_view text;
        if (int error = ReadDhclientFile(stores.dhclientDir.get(), name, budget, &file, &text);
            error != 0) {
            if (LosesFacts(error)) {
                return error;
            }
            continue;
        }
        auto parsed = ParseDhclientLeases(text, {});
        for (auto lease = parsed.begin(); lease != parsed.end(); lease = parsed.erase(lease)) {
            if (names.Has(lease->first)) {
                Offer((*byName)[lease->first], Store::kDhclient, std::move(lease->second),
                      file.mtime, name);
            }
        }
    }
    return 0;
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

int ReadLeases(const LeaseStoreFiles& stores, const std::vector<LeaseInterface>& interfaces,
               std::unordered_map<uint32_t, LeaseCandidates>* leases)
{
    leases->clear();
    if (stores.empty()) {
        return 0;
    }
    ReadBudget budget;
    int64_t dhcpcdDeadline = 0;
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
    std::unordered_map<std::string, std::vector<Candidate>> dhclient;
    if (int error = ReadDhclientFiles(stores, names, budget, &dhclient); error != 0) {
        return error;
    }

    std::vector<Candidate> slot;
    for (const LeaseInterface& interface : interfaces) {
        bool haveState = false;
        auto [first, last] = indexed.equal_range(interface.index);
        for (auto file = first; file != last; ++file) {
            bool networkd = file->second.store == Store::kNetworkd;
            LeaseFile lease;
            DIR* dir = networkd ? stores.networkdDir.get() : stores.networkManagerStateDir.get();
            int error = ReadLeaseFile(dir, file->second.name, budget, &lease);
            if (LosesFacts(error)) {
                return error;
            }
            LeaseFacts facts;
            if (error == 0) {
                error = networkd ? ParseNetworkdLease(lease.bytes, &facts)
                                 : ParseNetworkManagerState(lease.bytes, &facts);
            }
            if (error != 0) {
                continue;  // a file that holds no lease
            }
            haveState = haveState || !networkd;
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
            int error =
                ReadNamedFile(stores, named[file->second], haveState, budget, dhcpcdDeadline, slot);
            if (error != 0) {
                return error;
            }
        }
        if (!slot.empty()) {
            leases->emplace(interface.index, RankCandidates(slot));
            slot.clear();
        }
    }
    return 0;
}
