// Every lease the stores hold for each interface, the most recently
// obtained first.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "interface_names.h"
#include "lease_files.h"
#include "leases.h"

namespace {

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
// that count. ConnMan keeps each service's settings in a folder of its own.
int ReadStoreFile(DIR* folder, Store store, std::string_view name, ReadBudget& budget,
                  LeaseFile* file)
{
    if (store == Store::kConnman) {
        Directory service;
        int error = OpenLeaseFolder(folder, name, &service);
        return error != 0 ? error : ReadLeaseFile(service.get(), "settings", budget, file);
    }
    bool dhclient = store == Store::kDhclient;
    int error =
        ReadLeaseFile(folder, name, budget, file, dhclient ? Oversize::kReadLast : Oversize::kSkip);
    if (error == 0 && file->partial) {
        file->bytes.erase(0, file->bytes.size() - SkipTornFirstBlock(file->bytes).size());
    }
    return error;
}

// dhcpcd keeps its file from other users but tells them the lease over
// its control socket; the file's time, which anyone may see, still dates it.
// Returns 0, or the errno value of a failure that loses the lease; a
// dhcpcd that does not answer, or answers nonsense, tells none.
int AskDhcpcd(const LeaseStoreFiles& stores, const OwnedFile& owned, int64_t& deadline,
              std::vector<Candidate>& slot)
{
    int64_t now = MonotonicMilliseconds();
    deadline = deadline != 0 ? deadline : now + kDhcpcdPatience;
    if (deadline <= now) {
        return 0;
    }
    struct stat info;
    std::string name(owned.name);
    int64_t mtime =
        fstatat(dirfd(owned.folder), name.c_str(), &info, 0) == 0 ? info.st_mtim.tv_sec : -1;
    std::vector<std::string> entries;
    int error = AskDhcpcdLease(stores.dhcpcdRunDir, owned.interface,
                               static_cast<int>(deadline - now), &entries);
    for (const std::string& entry : entries) {
        LeaseFacts facts;
        if (ParseDhcpcdDump(entry, mtime, &facts) == 0) {
            Offer(slot, Store::kDhcpcd, std::move(facts), mtime, owned.name);
        }
    }
    return LosesFacts(error) ? error : 0;
}

// The lease a file of one interface's holds, by its store's reader: 0, or
// the reader's error.
int ParseStoreFile(Store store, const LeaseFile& file, std::string_view interface,
                   LeaseFacts* facts)
{
    switch (store) {
        case Store::kNetworkd:
            return ParseNetworkdLease(file.bytes, facts);
        case Store::kNetworkManagerState:
            return ParseNetworkManagerState(file.bytes, facts);
        case Store::kNetworkManagerInternal:
            return ParseNetworkManagerInternalLease(file.bytes, facts);
        case Store::kDhcpcd:
            return ParseDhcpcdLease(file.bytes, file.mtime, facts);
        case Store::kConnman:
            return ParseConnmanSettings(file.bytes, facts);
        case Store::kDhclient: {
            auto leases = ParseDhclientLeases(file.bytes, interface);
            if (leases.empty()) {
                return ENOENT;
            }
            *facts = std::move(leases.begin()->second);
            return 0;
        }
    }
    return ENOENT;
}

// dhclient's own files name their interfaces inside, so all of them are
// read, one at a time; only the leases of the interfaces in *byName are
// kept. Returns 0, or the errno value of a failure that loses leases.
int ReadDhclientFiles(const LeaseStoreFiles& stores, ReadBudget& budget,
                      std::unordered_map<std::string_view, std::vector<Candidate>>* byName)
{
    for (const std::string& name : stores.dhclient) {
        LeaseFile file;
        int error = ReadStoreFile(stores.dhclientDir.get(), Store::kDhclient, name, budget, &file);
        if (LosesFacts(error)) {
            return error;
        }
        auto parsed = error == 0 ? ParseDhclientLeases(file.bytes, {})
                                 : std::unordered_map<std::string, LeaseFacts>{};
        for (auto lease = parsed.begin(); lease != parsed.end(); lease = parsed.erase(lease)) {
            auto slot = byName->find(lease->first);
            if (slot != byName->end()) {
                Offer(slot->second, Store::kDhclient, std::move(lease->second), file.mtime, name);
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
    auto before = [&](const Candidate& a, const Candidate& b) {
        if (obtained(a) != obtained(b)) {
            return obtained(a) > obtained(b);
        }
        if (a.mtime != b.mtime) {
            return a.mtime > b.mtime;
        }
        return a.store != b.store ? a.store < b.store : a.file > b.file;
    };
    // What ties is the entries of one dhcpcd answer: they keep its order.
    std::stable_sort(candidates.begin(), candidates.end(), before);
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
    ReadBudget budget;
    int64_t dhcpcdDeadline = 0;
    std::unordered_map<std::string_view, std::vector<Candidate>> dhclient;
    for (const LeaseInterface& interface : interfaces) {
        dhclient.emplace(interface.name, std::vector<Candidate>{});
    }
    if (int error = ReadDhclientFiles(stores, budget, &dhclient); error != 0) {
        return error;
    }
    std::vector<OwnedFile> owned = AssignStoreFiles(stores, interfaces);
    for (const LeaseInterface& interface : interfaces) {
        std::vector<Candidate> slot = std::move(dhclient[interface.name]);
        dhclient.erase(interface.name);
        bool haveState = false;
        auto [first, last] = std::equal_range(
            owned.begin(), owned.end(),
            OwnedFile{Store::kNetworkd, nullptr, {}, {}, interface.index},
            [](const OwnedFile& a, const OwnedFile& b) { return a.index < b.index; });
        for (auto file = first; file != last; ++file) {
            if (file->store == Store::kNetworkManagerInternal && haveState) {
                continue;  // the runtime state holds all the file does, and more
            }
            LeaseFile read;
            int error = ReadStoreFile(file->folder, file->store, file->name, budget, &read);
            if (error == EACCES && file->store == Store::kDhcpcd) {
                error = AskDhcpcd(stores, *file, dhcpcdDeadline, slot);
                if (error != 0) {
                    return error;
                }
                continue;
            }
            if (LosesFacts(error)) {
                return error;
            }
            LeaseFacts facts;
            if (error == 0 && ParseStoreFile(file->store, read, file->interface, &facts) == 0) {
                haveState = haveState || file->store == Store::kNetworkManagerState;
                Offer(slot, file->store, std::move(facts), read.mtime, file->name);
            }
        }
        if (!slot.empty()) {
            leases->emplace(interface.index, RankCandidates(slot));
        }
    }
    return 0;
}
