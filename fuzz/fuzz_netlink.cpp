// One input: a dump kind byte, then one datagram as the kernel would send
// it. The reader takes the sequence and port of the first message, so that
// recorded dumps replay; whatever it accepts is gathered into adapter facts
// and laid out as records. A route datagram is also read as a next-hop
// dump, so that one input can hold routes and the objects they name.
#include <cstdint>
#include <cstring>
#include <vector>

#include "adapter_records.h"
#include "gather_facts.h"
#include "messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 + 16) {
        return 0;
    }
    DumpReader reader;
    reader.kind = static_cast<DumpKind>(data[0] % 4);
    memcpy(&reader.sequence, data + 1 + 8, sizeof(reader.sequence));
    memcpy(&reader.portId, data + 1 + 12, sizeof(reader.portId));
    // A copy of exactly the datagram's size, so any over-read is caught.
    std::vector<uint8_t> datagram(data + 1, data + size);
    NetSnapshot snapshot;
    ReadDumpDatagram(reader, datagram.data(), datagram.size(), snapshot);
    if (reader.kind == DumpKind::kRoutes) {
        DumpReader objects = reader;
        objects.kind = DumpKind::kNexthops;
        objects.done = false;
        ReadDumpDatagram(objects, datagram.data(), datagram.size(), snapshot);
    }
    ResolveNexthops(snapshot);

    NetInterface fallback;
    fallback.index = 1;
    if (snapshot.links.empty()) {
        snapshot.links.push_back(fallback);
    }
    std::vector<AdapterFacts> adapters;
    GatherAdapterFacts(snapshot, {}, KernelClock(), "/nonexistent", &adapters);
    ULONG length = 0;
    if (WriteAdapterRecords(adapters, nullptr, &length) == ERROR_BUFFER_OVERFLOW) {
        std::vector<uint64_t> storage((length + 7) / 8);
        if (WriteAdapterRecords(adapters, reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()),
                                &length) != ERROR_SUCCESS) {
            __builtin_trap();  // the measured length must hold the chain
        }
    }
    return 0;
}
