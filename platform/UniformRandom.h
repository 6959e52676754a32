// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cstdint>

namespace corvane::platform {

// The program's uniform pseudo-random generator: SplitMix64 from a fixed start seed, so every run
// draws the same sequence (the granulation pattern and the "random" systems repeat from run to run).
// One generator per form; never reseeded from the clock.
class UniformRandom {
public:
    static constexpr std::uint64_t StartSeed = 0x5DEECE66DULL;

    UniformRandom() = default;
    // A generator of its own sequence (the sampler's, one per step from the run's seed).
    explicit UniformRandom(std::uint64_t seed) : state_(seed) {}

    // The next number, uniform in [0, 1), with 53 random bits.
    double next() {
        state_ += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t state_ = StartSeed;
};

} // namespace corvane::platform
