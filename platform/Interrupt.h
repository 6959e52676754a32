// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

// SIGINT and SIGTERM for the batch tool: the first one only raises a flag that long jobs poll, so
// they can stop cleanly and keep what they finished; a second one removes any temporary file still
// being written and ends the process at once. Temporary files register themselves while they exist.

namespace corvane::platform {

// Installs the handlers (idempotent). Only the batch tool calls it; the window has its own close.
void installInterruptHandlers();

// True once SIGINT or SIGTERM has arrived.
bool interrupted();

// The signal that arrived (0 for none).
int interruptSignal();

// A temporary file being written: removed by the handler if the process is ended while it exists.
// Paths longer than the registry holds are not registered (they are still removed on every normal
// and failed path by their writer).
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(const char* path);
    ~TemporaryFileGuard();
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

private:
    int slot_ = -1;
};

} // namespace corvane::platform
