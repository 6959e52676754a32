// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Built with MPI: the processes of a launcher's run.
#include "Ranks.h"

#include <mpi.h>

#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace corvane::fitting::ranks {

namespace {

bool gJoined = false;
int gRank = 0;
int gSize = 1;
int gLocalSize = 1;

// Launchers say so in the environment (OpenMPI, MPICH and Slurm's PMI). Initialising MPI in a
// process nobody launched would start a singleton run: slow, and it may print network warnings.
bool launched() {
    for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMIX_RANK", "PMI_RANK", "MPI_LOCALNRANKS"}) {
        if (std::getenv(name) != nullptr) {
            return true;
        }
    }
    return false;
}

} // namespace

void start(int* argc, char*** argv) {
    if (gJoined || !launched()) {
        return;
    }
    int provided = 0;
    // The model evaluations run on worker threads; only the main thread talks to the other ranks.
    if (MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
        return;
    }
    gJoined = true;
    MPI_Comm_rank(MPI_COMM_WORLD, &gRank);
    MPI_Comm_size(MPI_COMM_WORLD, &gSize);
    MPI_Comm local;
    if (MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, gRank, MPI_INFO_NULL, &local) == MPI_SUCCESS) {
        MPI_Comm_size(local, &gLocalSize);
        MPI_Comm_free(&local);
    }
}

void stop() {
    if (gJoined) {
        MPI_Finalize();
        gJoined = false;
        gRank = 0;
        gSize = 1;
        gLocalSize = 1;
    }
}

bool joined() { return gJoined; }
int rank() { return gRank; }
int size() { return gSize; }
bool root() { return gRank == 0; }
int localSize() { return gLocalSize; }
bool available() { return true; }

std::vector<std::string> allGather(const std::string& mine) {
    if (!gJoined || gSize == 1) {
        return {mine};
    }
    if (mine.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw std::length_error("a rank's share is too large to send");
    }
    int count = static_cast<int>(mine.size());
    std::vector<int> counts(static_cast<std::size_t>(gSize));
    MPI_Allgather(&count, 1, MPI_INT, counts.data(), 1, MPI_INT, MPI_COMM_WORLD);
    std::vector<int> offsets(counts.size());
    long long total = 0;
    for (std::size_t r = 0; r < counts.size(); ++r) {
        offsets[r] = static_cast<int>(total);
        total += counts[r];
        if (total > std::numeric_limits<int>::max()) {
            throw std::length_error("the ranks' shares are too large to gather");
        }
    }
    std::string all(static_cast<std::size_t>(total), '\0');
    MPI_Allgatherv(mine.data(), count, MPI_CHAR, all.data(), counts.data(), offsets.data(), MPI_CHAR, MPI_COMM_WORLD);
    std::vector<std::string> out;
    for (std::size_t r = 0; r < counts.size(); ++r) {
        out.push_back(all.substr(static_cast<std::size_t>(offsets[r]), static_cast<std::size_t>(counts[r])));
    }
    return out;
}

bool anyTrue(bool mine) {
    if (!gJoined || gSize == 1) {
        return mine;
    }
    int in = mine ? 1 : 0;
    int out = 0;
    MPI_Allreduce(&in, &out, 1, MPI_INT, MPI_LOR, MPI_COMM_WORLD);
    return out != 0;
}

} // namespace corvane::fitting::ranks
