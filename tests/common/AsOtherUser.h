// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <unistd.h>

// Root writes any file whatever its mode. To see how the program meets a file or folder it
// may not write, a test run as root takes the identity of "nobody" for a while; run as an
// ordinary user it changes nothing, the modes alone already apply.
class AsOtherUser
{
public:
    AsOtherUser()
    {
        if (::geteuid() == 0) {
            m_switched = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        }
    }
    ~AsOtherUser()
    {
        if (m_switched) {
            [[maybe_unused]] int ignored = ::seteuid(0);
            ignored = ::setegid(0);
        }
    }
    AsOtherUser(const AsOtherUser &) = delete;
    AsOtherUser &operator=(const AsOtherUser &) = delete;

private:
    bool m_switched = false;
};
