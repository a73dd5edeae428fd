// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/LinkNotifications.h"

#include <cerrno>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Notifications taken at one look; the rest wait for the next, which reads the table again.
constexpr int mostTaken = 256;
} // namespace

LinkNotifications::LinkNotifications()
{
    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    sockaddr_nl groups {};
    groups.nl_family = AF_NETLINK;
    groups.nl_groups = RTMGRP_LINK;
    if (m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr *>(&groups), sizeof groups) != 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

LinkNotifications::~LinkNotifications()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool LinkNotifications::heard()
{
    if (m_socket < 0)
        return true;
    // What a notification says is not read, so a small buffer does: the kernel drops the
    // rest of a message that does not fit.
    char message[256];
    bool heard = false;
    for (int taken = 0; taken < mostTaken; ++taken) {
        if (::recv(m_socket, message, sizeof message, MSG_DONTWAIT) >= 0) {
            heard = true;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return heard;
        } else if (errno != EINTR) {
            // ENOBUFS: some were lost. Anything else: the socket cannot be trusted to tell.
            heard = true;
            if (errno != ENOBUFS)
                return true;
        }
    }
    return true;
}
