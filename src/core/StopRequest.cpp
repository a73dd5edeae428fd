// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StopRequest.h"

#include <atomic>

namespace {

// A lock-free atomic may be written from a signal handler.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> g_signal {0};

} // namespace

void StopRequest::request(int signalNumber) noexcept
{
    g_signal.store(signalNumber, std::memory_order_relaxed);
}

bool StopRequest::requested() noexcept
{
    return g_signal.load(std::memory_order_relaxed) != 0;
}

void StopRequest::clear() noexcept
{
    g_signal.store(0, std::memory_order_relaxed);
}
