// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kernel's link notifications (RTMGRP_LINK) in the network namespace this object was made
// in, heard on a netlink socket of its own and looked at without waiting: no thread, and no
// wake-up of their own.
class LinkNotifications final
{
public:
    LinkNotifications();
    ~LinkNotifications();
    LinkNotifications(const LinkNotifications &) = delete;
    LinkNotifications &operator=(const LinkNotifications &) = delete;

    // Takes every notification waiting. True when there was one (a link added, removed,
    // renamed, made anew, or only gone up or down), when some were lost because they came
    // faster than they were taken, and always when the socket could not be made: the caller
    // then reads the whole interface table, which tells what changed.
    bool heard();

private:
    int m_socket = -1;
};
