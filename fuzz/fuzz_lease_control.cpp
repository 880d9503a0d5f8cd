// dhcpcd's control socket as the lease reader asks it: a listener in a
// folder of our own takes the question and answers with the input's bytes,
// then hangs up. The answer is a count of entries and each entry's length
// (native size_t) and bytes; whatever of it comes whole is read as dumps.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "fuzz_input.h"
#include "fuzz_lease_checks.h"
#include "fuzz_scratch.h"
#include "leases.h"

namespace {

std::string runDir;
int listener = -1;

// Takes one question and answers it: false when no question came.
bool Answer(const uint8_t* data, size_t size)
{
    pollfd waiting = {listener, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1) {
        return false;
    }
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string expected = std::string("dhcpcd\0-4\0-U\0eth0\0", 18);
    std::string question(expected.size(), '\0');
    size_t have = 0;
    while (have < question.size()) {
        ssize_t got = read(fd, &question[have], question.size() - have);
        if (got <= 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    if (question != expected) {
        abort();
    }
    // The reader hangs up once it has what it wants or gives up.
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            break;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    close(fd);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    runDir = MakeScratchFolder();
    std::string socketPath = runDir + "/unpriv.sock";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketPath.size() >= sizeof(address.sun_path) || listener < 0) {
        fprintf(stderr, "no listener at %s\n", socketPath.c_str());
        exit(1);
    }
    socketPath.copy(address.sun_path, socketPath.size());
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 1) != 0) {
        perror("bind");
        exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bool answered = false;
    std::thread dhcpcd([&] { answered = Answer(data, size); });
    std::vector<std::string> entries;
    int error = AskDhcpcdLease(runDir, "eth0", 10000, &entries);
    dhcpcd.join();
    if (!answered) {
        abort();
    }

    // The entries that came whole are the input's, in order; the reader
    // stops at the first bound passed or at the end of the answer.
    InputBytes answer = {data, size};
    size_t count = answer.Take<size_t>();
    size_t whole = 0;
    bool fits = size >= sizeof(size_t) && count <= 8;
    for (; fits && whole < count; whole++) {
        size_t length = answer.left >= sizeof(size_t) ? answer.Take<size_t>() : SIZE_MAX;
        if (answer.left < length || length > 64 * 1024) {
            fits = false;
            break;
        }
        if (whole >= entries.size() || entries[whole] != answer.Bytes(length)) {
            abort();
        }
    }
    if (entries.size() != whole || (error == 0) != fits || (error != 0 && error != EBADMSG)) {
        abort();
    }
    for (const std::string& entry : entries) {
        LeaseFacts facts;
        CheckFacts(ParseDhcpcdDump(entry, 1700000000, &facts), facts);
    }
    return 0;
}
