// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Interrupt.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace corvane::cli {

// A signal only raises a flag; this watcher turns it into a long job's cancel, so the job ends as
// it does when cancelled (keeping what it finished) before the tool exits.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::atomic<bool>& cancel)
        : thread_([this, &cancel] {
              while (!finished_) {
                  if (platform::interrupted()) {
                      cancel = true;
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~InterruptWatcher() { stop(); }
    void stop() {
        finished_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

} // namespace corvane::cli
