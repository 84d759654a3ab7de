// Whole runs held to stored bits: the hash of every byte of every node after a fixed number of
// calls of the default run, of the flat plate with either wall and of closed boxes of odd
// sizes. Any change to the step that is meant to keep every result (a new arrangement of the
// loops, another kernel) must leave these hashes as they are.
//
// The step's results are fixed by the formulas and correctly rounded IEEE arithmetic, except
// where a value comes from the C library's pow (the pow(x, 1.5) shortcut keeps pow's own result;
// the arguments it leaves to pow get whatever that pow returns). The stored values therefore
// belong to one C library each; elsewhere the test is skipped with a message.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Nembra/NavierStokesEquations2D.h"
#include "Nembra/SupersonicFlatPlate.h"
#include "support/MeshHash.h"

#if defined(__GLIBC__)
#include <gnu/libc-version.h>
#endif

namespace Nembra {
namespace {

// The C library whose pow the stored hashes were taken with.
std::string CLibrary() {
#if defined(__GLIBC__)
    return std::string("GNU C library ") + gnu_get_libc_version();
#else
    return "";
#endif
}

struct StoredRun {
    const char* name;
    std::uint64_t hash;
};

struct RunCase {
    const char* name;
    int calls;
    std::unique_ptr<NavierStokesEquations2D> (*make)();
};

// The first call lays the initial field; every later one advances one step.
const RunCase kRuns[] = {
    {"default run", 300, [] { return std::make_unique<NavierStokesEquations2D>(); }},
    {"flat plate, isothermal wall", 300,
     [] {
         return std::unique_ptr<NavierStokesEquations2D>(std::make_unique<SupersonicFlatPlate>());
     }},
    {"flat plate, adiabatic wall", 300,
     [] {
         return std::unique_ptr<NavierStokesEquations2D>(
             std::make_unique<SupersonicFlatPlate>(SupersonicFlatPlate::WallCondition::Adiabatic));
     }},
    {"closed box 37 x 23", 300,
     [] { return std::make_unique<NavierStokesEquations2D>(37, 23, 1e-5, 10000); }},
    {"closed box 5 x 7", 300,
     [] { return std::make_unique<NavierStokesEquations2D>(5, 7, 1e-5, 10000); }},
    {"closed box 75 x 81", 120,
     [] { return std::make_unique<NavierStokesEquations2D>(75, 81, 2e-5, 10000); }},
};

struct StoredLibrary {
    const char* library;
    StoredRun runs[6];
};

const StoredLibrary kStored[] = {
    {"GNU C library 2.36",
     {{"default run", 0x4589fd2c4ca677e2ULL},
      {"flat plate, isothermal wall", 0xf52719d13b8da8a4ULL},
      {"flat plate, adiabatic wall", 0x4228faf7f1f5e768ULL},
      {"closed box 37 x 23", 0x673ee25a5494b835ULL},
      {"closed box 5 x 7", 0x947132bdc9959612ULL},
      {"closed box 75 x 81", 0xd09a0cc719c29c00ULL}}},
};

const StoredLibrary* StoredFor(const std::string& library) {
    for (const StoredLibrary& stored : kStored) {
        if (library == stored.library) {
            return &stored;
        }
    }
    return nullptr;
}

std::uint64_t HashAfterRun(const RunCase& run) {
    auto solver = run.make();
    for (int call = 0; call < run.calls; ++call) {
        solver->UpdateDatas();
    }
    return HashOfMesh(*solver);
}

TEST(FlowRunHash, EveryNodeHoldsTheStoredBitsAfterEachRun) {
    const StoredLibrary* stored = StoredFor(CLibrary());
    if (stored == nullptr) {
        GTEST_SKIP() << "no hashes stored for this C library (" << CLibrary()
                     << "): its pow may round the arguments the shortcut leaves to it otherwise";
    }
    for (std::size_t k = 0; k < std::size(kRuns); ++k) {
        const RunCase& run = kRuns[k];
        ASSERT_STREQ(stored->runs[k].name, run.name);
        char actual[32];
        char expected[32];
        std::snprintf(actual, sizeof actual, "0x%016llx",
                      static_cast<unsigned long long>(HashAfterRun(run)));
        std::snprintf(expected, sizeof expected, "0x%016llx",
                      static_cast<unsigned long long>(stored->runs[k].hash));
        EXPECT_STREQ(actual, expected) << run.name << " after " << run.calls << " calls";
    }
}

}  // namespace
}  // namespace Nembra
