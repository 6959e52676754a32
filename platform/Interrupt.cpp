// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Interrupt.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace corvane::platform {

namespace {

// Process-wide by nature: signals are. Slots are claimed with an atomic flag and hold a copy of the
// path, so the handler reads only memory that stays valid.
constexpr int Slots = 16;
constexpr std::size_t PathMax = 4096;
struct Slot {
    std::atomic<int> state{0}; // 0 free, 1 claimed and filled
    char path[PathMax];
};
Slot slots[Slots];
volatile std::sig_atomic_t signalSeen = 0;
std::atomic<bool> installed{false};

void removeTemporaries() {
    for (Slot& s : slots) {
        if (s.state.load() == 1) {
            ::unlink(s.path);
        }
    }
}

extern "C" void onSignal(int sig) {
    if (signalSeen != 0) {
        // Asked twice: leave nothing behind and go now.
        removeTemporaries();
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    signalSeen = sig;
}

} // namespace

void installInterruptHandlers() {
    if (installed.exchange(true)) {
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a blocking read returns so the job can see the flag
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool interrupted() { return signalSeen != 0; }

int interruptSignal() { return signalSeen; }

TemporaryFileGuard::TemporaryFileGuard(const char* path) {
    const std::size_t n = std::strlen(path);
    if (n >= PathMax) {
        return;
    }
    for (int k = 0; k < Slots; ++k) {
        int expected = 0;
        if (slots[k].state.compare_exchange_strong(expected, 2)) {
            std::memcpy(slots[k].path, path, n + 1);
            slots[k].state.store(1);
            slot_ = k;
            return;
        }
    }
}

TemporaryFileGuard::~TemporaryFileGuard() {
    if (slot_ >= 0) {
        slots[slot_].state.store(0);
    }
}

} // namespace corvane::platform
