// dhcpcd's unprivileged control socket, which tells any local user the
// lease its root-only file holds.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "interface_names.h"
#include "leases.h"
#include "posix.h"

namespace {

// A dump holds one entry per state of the interface (DHCP, IPv4LL, static).
constexpr size_t kMaxDumpEntries = 8;
constexpr size_t kMaxDumpEntry = 64 * 1024;

// Waits for events on fd until the deadline: 0, ETIMEDOUT, or poll's errno.
int Await(int fd, short events, int64_t deadline)
{
    for (;;) {
        int64_t left = deadline - MonotonicMilliseconds();
        if (left <= 0) {
            return ETIMEDOUT;
        }
        pollfd watched = {fd, events, 0};
        int ready = poll(&watched, 1, static_cast<int>(left));
        if (ready > 0) {
            return 0;
        }
        if (ready < 0 && errno != EINTR) {
            return errno;
        }
    }
}

enum class Direction { kSend, kReceive };

// Sends size bytes from at, or receives them into it: 0; ETIMEDOUT;
// EBADMSG when the reply ends short; or the errno of send or read.
int Transfer(int fd, Direction direction, void* at, size_t size, int64_t deadline)
{
    auto* bytes = static_cast<char*>(at);
    bool sending = direction == Direction::kSend;
    while (size > 0) {
        if (int error = Await(fd, sending ? POLLOUT : POLLIN, deadline); error != 0) {
            return error;
        }
        ssize_t done = sending ? send(fd, bytes, size, MSG_NOSIGNAL) : read(fd, bytes, size);
        if (done == 0) {
            return EBADMSG;
        }
        if (done < 0 && errno != EINTR && errno != EAGAIN) {
            return errno;
        }
        if (done > 0) {
            bytes += done;
            size -= static_cast<size_t>(done);
        }
    }
    return 0;
}

// Connects *fd to the listener at path: 0; EOVERFLOW when the path does
// not fit; or the errno of socket or connect, such as ECONNREFUSED or
// EAGAIN for a full backlog (a Unix socket's connect does not wait in the
// background).
int Connect(const std::string& path, Descriptor* fd)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return EOVERFLOW;
    }
    memcpy(address.sun_path, path.data(), path.size());
    fd->Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd->get() < 0 ||
        connect(fd->get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        int error = errno;
        fd->Reset();
        return error;
    }
    return 0;
}

}  // namespace

int AskDhcpcdLease(const std::string& runDir, std::string_view interface, int timeoutMilliseconds,
                   std::vector<std::string>* entries)
{
    entries->clear();
    if (interface.empty() || interface.size() > kMaxInterfaceName) {
        return EINVAL;
    }
    int64_t deadline = MonotonicMilliseconds() + timeoutMilliseconds;
    // The interface's own dhcpcd (IPv4 only, or both families), else one
    // dhcpcd managing every interface.
    std::string name(interface);
    Descriptor socket;
    int error = 0;
    for (const std::string& socketName :
         {name + "-4.unpriv.sock", name + ".unpriv.sock", std::string("unpriv.sock")}) {
        error = Connect(runDir + "/" + socketName, &socket);
        if (error == 0 || LosesFacts(error)) {
            break;
        }
    }
    // The request is dhcpcd's own command line, each argument ended by a NUL.
    std::string request = std::string("dhcpcd\0-4\0-U\0", 13) + name + '\0';
    size_t count = 0;
    if (error == 0) {
        error = Transfer(socket.get(), Direction::kSend, request.data(), request.size(), deadline);
    }
    if (error == 0) {
        error = Transfer(socket.get(), Direction::kReceive, &count, sizeof(count), deadline);
    }
    if (error == 0 && count > kMaxDumpEntries) {
        error = EBADMSG;
    }
    for (size_t i = 0; error == 0 && i < count; i++) {
        size_t length = 0;
        error = Transfer(socket.get(), Direction::kReceive, &length, sizeof(length), deadline);
        if (error == 0 && length > kMaxDumpEntry) {
            error = EBADMSG;
        }
        std::string entry(error == 0 ? length : 0, '\0');
        if (error == 0) {
            error = Transfer(socket.get(), Direction::kReceive, entry.data(), length, deadline);
        }
        if (error == 0) {
            entries->push_back(std::move(entry));
        }
    }
    return error;
}
