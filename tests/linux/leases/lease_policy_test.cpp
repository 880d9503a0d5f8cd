// Which lease is live for an address the interface holds, and its times.
#include "lease_policy.h"

#include <gtest/gtest.h>

#include "lease_support.h"

// Which lease an interface shows and its times, by how the lease ends and
// how the kernel keeps the address; with none, the kernel's times if it
// counts the address down.
TEST(LiveLease, WhichLeaseAndWhichTimes)
{
    const int64_t now = 1800000000;
    const AssignedAddress forever = Own(false, now - 500, 0);
    const AssignedAddress counting = Own(true, now - 60, now + 540);
    // Set by hand, for good, a minute after the leases below were obtained.
    const AssignedAddress reset = Own(false, now - 240, 0);
    auto make = [](LeaseEnd end, int64_t expires, int64_t obtained, const char* server) {
        LeaseFacts facts;
        facts.haveAddress = true;
        facts.address = Ip("10.0.0.5");
        facts.haveServer = true;
        facts.server = Ip(server);
        facts.end = end;
        facts.expires = expires;
        facts.obtainedKnown = obtained >= 0;
        facts.obtained = obtained;
        return facts;
    };
    const LeaseFacts ended = make(LeaseEnd::kAt, now - 100, now - 700, "10.0.0.1");
    const LeaseFacts endsNow = make(LeaseEnd::kAt, now, now - 600, "10.0.0.1");
    const LeaseFacts live = make(LeaseEnd::kAt, now + 300, now - 300, "10.0.0.2");
    const LeaseFacts dated = make(LeaseEnd::kNever, 0, now - 1000, "10.0.0.3");
    // Written after the address was last set, and 6 s before it was reset
    // (a client sets it within 5), and again after.
    LeaseFacts undated = make(LeaseEnd::kNever, 0, -1, "10.0.0.4");
    undated.written = now - 246;
    LeaseFacts rewritten = undated;
    rewritten.written = now - 237;
    const LeaseFacts open = make(LeaseEnd::kUnknown, 0, -1, "10.0.0.5");
    LeaseFacts elsewhere = undated;
    elsewhere.address = Ip("10.0.0.6");
    LeaseFacts unnamed = undated;
    unnamed.haveAddress = false;
    // Obtained in the future, or before there was DHCP (1993): damaged.
    const LeaseFacts soon = make(LeaseEnd::kAt, now + 9, now + 1, "10.0.0.7");
    const LeaseFacts fresh = make(LeaseEnd::kAt, now + 9, now, "10.0.0.8");
    const LeaseFacts y1992 = make(LeaseEnd::kAt, now + 9, 725846399, "10.0.0.7");
    const LeaseFacts y1993 = make(LeaseEnd::kAt, now + 9, 725846400, "10.0.0.8");
    const AssignedAddress setAtStart = Own(false, now - 995, 0);  // 5 s after it was obtained
    const AssignedAddress renewedSince = Own(true, now - 240, now + 60);
    // ConnMan keeps no server or times and sets its address for good: it
    // wrote its settings 2 s after setting the address, or 6 s before the
    // address was reset.
    LeaseFacts connman;
    connman.haveAddress = true;
    connman.address = Ip("10.0.0.5");
    connman.end = LeaseEnd::kWithAddress;
    connman.written = now - 498;
    LeaseFacts connmanBefore = connman;
    connmanBefore.written = now - 246;
    // dhclient wrote its lease at now - 250, due to renew at now - 245; the
    // renewals after come faster than it writes them (every 15 s), and one
    // made the address permanent 15 s after the write (16 s: one it would
    // have written). The same address made permanent by hand a second
    // before the renewal was due, or over a lease of no server, or added
    // anew since the write, is still told.
    LeaseFacts renewing = make(LeaseEnd::kAt, now + 300, now - 250, "10.0.0.9");
    renewing.written = now - 250;
    renewing.renews = now - 245;
    LeaseFacts notDue = renewing;
    notDue.renews = now - 233;
    LeaseFacts serverless = renewing;
    serverless.haveServer = false;
    const AssignedAddress turnedInfinite = Own(false, now - 235, 0);
    const AssignedAddress setLater = Own(false, now - 234, 0);
    AssignedAddress addedAgain = turnedInfinite;
    addedAgain.created = now - 244;
    // The kernel renewed the lease 6 s after the file was written (5: as it
    // wrote it), while the file's lease ran, though the file's lease has
    // ended since; or it set the address after the file's lease had ended.
    LeaseFacts trailing = make(LeaseEnd::kAt, now - 10, now - 250, "10.0.0.9");
    trailing.written = now - 250;
    const AssignedAddress renewedUnwritten = Own(true, now - 244, now + 356);
    const AssignedAddress renewedAsWritten = Own(true, now - 245, now + 355);
    const AssignedAddress setAfterItEnded = Own(true, now - 10, now + 590);
    struct Case {
        const char* name;
        LeaseCandidates candidates;
        AssignedAddress assigned;
        const char* server;         // "": no lease applies
        int64_t obtained, expires;  // 0: not DHCP at all
    } cases[] = {
        {"ended, address counting down", {ended}, counting, "", now - 60, now + 540},
        {"ends this second", {endsNow}, counting, "", now - 60, now + 540},
        {"ended one passed over", {ended, live}, forever, "10.0.0.2", now - 300, now + 300},
        {"infinite, store's start", {dated}, setAtStart, "10.0.0.3", now - 1000, kLeaseNeverEnds},
        {"infinite, address's start", {undated}, forever, "10.0.0.4", now - 500, kLeaseNeverEnds},
        {"no end, kernel counting", {open}, counting, "10.0.0.5", now - 60, now + 540},
        {"no end, address kept forever", {open}, forever, "", 0, 0},
        {"another address, none named", {elsewhere, unnamed}, counting, "", now - 60, now + 540},
        {"live, address set for good since", {live}, reset, "", 0, 0},
        {"live, counting down since", {live}, renewedSince, "10.0.0.2", now - 300, now + 300},
        {"undated, rewritten since", {rewritten}, reset, "10.0.0.4", now - 240, kLeaseNeverEnds},
        {"undated, file written before the address", {undated}, reset, "", 0, 0},
        {"a second ahead, or in 1992", {soon, y1992}, counting, "", now - 60, now + 540},
        {"obtained this second", {fresh}, counting, "10.0.0.8", now, now + 9},
        {"obtained in 1993", {y1993}, counting, "10.0.0.8", 725846400, now + 9},
        {"ConnMan, address set as it wrote", {connman}, forever, "", now - 500, 0},
        {"ConnMan, address set by hand since", {connmanBefore}, reset, "", 0, 0},
        {"ConnMan, kernel counting", {connman}, counting, "", now - 60, now + 540},
        {"dhclient, infinite at a renewal",
         {renewing},
         turnedInfinite,
         "10.0.0.9",
         now - 250,
         now + 300},
        {"dhclient, permanent past its write interval", {renewing}, setLater, "", 0, 0},
        {"dhclient, permanent before the renewal", {notDue}, turnedInfinite, "", 0, 0},
        {"dhclient, permanent, no server", {serverless}, turnedInfinite, "", 0, 0},
        {"dhclient, added again since", {renewing}, addedAgain, "", 0, 0},
        {"store trails the kernel's renewal",
         {trailing},
         renewedUnwritten,
         "10.0.0.9",
         now - 244,
         now + 356},
        {"store written at the renewal", {trailing}, renewedAsWritten, "", now - 245, now + 355},
        {"kernel set it after the store's lease",
         {trailing},
         setAfterItEnded,
         "",
         now - 10,
         now + 590},
    };
    for (const Case& c : cases) {
        // An address past the count, which neither a lease nor the kernel's
        // times may come from.
        const AssignedAddress assigned[] = {c.assigned, {Ip("10.0.0.6"), true, 1, 2}};
        AdapterFacts facts;
        ApplyLeasePolicy(assigned, 1, &c.candidates, now, facts);
        EXPECT_EQ(Dotted(facts.haveDhcpServer, facts.dhcpServer), c.server) << c.name;
        EXPECT_EQ(facts.dhcpEnabled, c.obtained != 0) << c.name;
        EXPECT_EQ(facts.leaseObtained, c.obtained) << c.name;
        EXPECT_EQ(facts.leaseExpires, c.expires) << c.name;
    }
}
