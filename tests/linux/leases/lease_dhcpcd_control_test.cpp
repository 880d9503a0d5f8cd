// Asking dhcpcd for a lease over its control socket.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <string>
#include <vector>

#include "lease_store_support.h"

namespace {

// The socket's answer is untrusted: counts and lengths are bounded, a
// silent or short reply ends at the deadline with what came complete.
TEST(DhcpcdLeases, ControlSocketRepliesAreBounded)
{
    static const char kEntry[] = "protocol=dhcp\0ip_address=10.0.0.5\0";
    const std::string entry(kEntry, sizeof kEntry - 1);
    struct Case {
        const char* name;
        const char* socket;
        std::string reply;
        bool hangs;
        int error;
        size_t entries;
        bool signalled = false;  // its waits cut short every millisecond
    } cases[] = {
        {"two states, signals", "eth0-4.unpriv.sock", Framed({entry, "x"}, 2), false, 0, 2, true},
        {"no lease", "eth0.unpriv.sock", Framed({}, 0), false, 0, 0},
        {"as many and as long entries as may come", "eth0-4.unpriv.sock",
         Framed({entry, std::string(64 * 1024, 'x'), "", "", "", "", "", ""}, 8), false, 0, 8},
        {"one entry too many", "eth0-4.unpriv.sock", Framed({entry}, 9), true, EBADMSG, 0},
        {"an entry a byte too long", "eth0-4.unpriv.sock",
         Framed({std::string(64 * 1024 + 1, 'x')}, 1).substr(0, 2 * sizeof(size_t)), true, EBADMSG,
         0},
        {"short entry, then silence", "eth0-4.unpriv.sock",
         Framed({entry}, 2) + Framed({}, 64) + "abc", true, ETIMEDOUT, 1},
        {"silence", "eth0-4.unpriv.sock", "", true, ETIMEDOUT, 0},
    };
    std::vector<std::string> entries;
    for (const Case& c : cases) {
        TempDir root;
        root.Write("run/dhcpcd/.keep", "");
        {
            DescriptorsKept kept;
            FakeDhcpcd dhcpcd(root.path() + "/run/dhcpcd/" + c.socket, c.reply, c.hangs);
            struct sigaction ignore = {};
            ignore.sa_handler = [](int) {};
            sigaction(SIGALRM, &ignore, nullptr);
            itimerval every = {{0, c.signalled ? 1000 : 0}, {0, c.signalled ? 1000 : 0}};
            setitimer(ITIMER_REAL, &every, nullptr);
            EXPECT_EQ(AskDhcpcdLease(root.path() + "/run/dhcpcd", "eth0", 300, &entries), c.error)
                << c.name;
            every = {};
            setitimer(ITIMER_REAL, &every, nullptr);
            EXPECT_EQ(dhcpcd.request(), std::string("dhcpcd\0-4\0-U\0eth0\0", 18)) << c.name;
        }
        EXPECT_EQ(entries.size(), c.entries) << c.name;
        if (!entries.empty()) {
            EXPECT_EQ(entries[0], entry) << c.name;
        }
    }
    // So deep a run directory that only the shared socket's name fits.
    TempDir deep;
    std::string runDir =
        deep.Write(std::string(88 - deep.path().size(), 'd') + "/x", "").substr(0, 89);
    {
        FakeDhcpcd shared(runDir + "/unpriv.sock", Framed({entry}, 1));
        EXPECT_EQ(AskDhcpcdLease(runDir, "eth0", 300, &entries), 0);
        EXPECT_EQ(entries.size(), 1u);
    }
    TempDir empty;
    EXPECT_EQ(AskDhcpcdLease(empty.path(), std::string(15, 'e'), 300, &entries), ENOENT);
    EXPECT_EQ(AskDhcpcdLease(empty.path(), std::string(16, 'e'), 300, &entries), EINVAL);
}

}  // namespace
