// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process has been asked to end (SIGTERM, SIGINT, SIGHUP). The signal handler sets it,
// before the event loop hears of the signal; a wait that the loop cannot interrupt (start-up
// waiting for another program's lock, see StoreSession::setStopOnRequest) reads it and gives
// up at once. Every function here is async-signal-safe.
namespace StopRequest {

void request(int signalNumber) noexcept;
bool requested() noexcept;
// For tests, which ask more than once in one process.
void clear() noexcept;

} // namespace StopRequest
