#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "CliTestSupport.h"
#include "OutputFiles.h"
#include "Progress.h"
#include "VtkOutput.h"

namespace nembra_cli {
namespace {

using nembra_cli_test::FilesContaining;
using nembra_cli_test::ReadText;
using nembra_cli_test::ScratchFolder;

TEST(CliWriteAtomically, ReplacesTheFileOnlyWhenTheWriteSucceeds) {
    ScratchFolder scratch("atomic");
    fs::create_directories(scratch.Path());
    const fs::path path = scratch.Path() / "result.txt";
    WriteTextAtomically(path, "first");
    EXPECT_EQ(ReadText(path), "first");

    EXPECT_THROW(WriteAtomically(path,
                                 [](const fs::path& temporary) {
                                     std::ofstream(temporary) << "half";
                                     return false;
                                 }),
                 OutputError);
    EXPECT_THROW(WriteAtomically(path,
                                 [](const fs::path& temporary) -> bool {
                                     std::ofstream(temporary) << "half";
                                     throw std::runtime_error("encoder failed");
                                 }),
                 std::runtime_error);
    EXPECT_EQ(ReadText(path), "first");
    EXPECT_EQ(FilesContaining(scratch.Path(), ".part").size(), 0u);
}

TEST(CliPrepareOutputDirectory, CreatesNestedFolders) {
    ScratchFolder scratch("prepare");
    PrepareOutputDirectory(scratch.Path() / "a" / "b");
    EXPECT_TRUE(fs::is_directory(scratch.Path() / "a" / "b"));
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "a" / "b"));
}

// The id of a process that has come and gone: what a temporary's name holds after its run was
// killed.
std::string IdOfExitedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return std::to_string(child);
}

TEST(CliPrepareOutputDirectory, RemovesOnlyTheTemporariesOfRunsThatNoLongerRun) {
    ScratchFolder scratch("stale");
    const fs::path folder = scratch.Path();
    fs::create_directories(folder);
    const std::string gone = IdOfExitedProcess();
    const auto touch = [&](const std::string& name) { std::ofstream(folder / name) << "part"; };
    const std::vector<std::string> stale = {".checkpoint.h5.part-" + gone,
                                            ".density_000010.png.part-" + gone};
    const std::vector<std::string> kept = {
        ".checkpoint.h5.part-" + std::to_string(::getpid()),  // this process is writing it
        ".flow.pvd.part-" + std::to_string(::getppid()),      // another live process is
        "notes.part-" + gone,                                 // not hidden: not ours
        ".checkpoint.h5.part-" + gone + "x",                  // no process id at its end
        ".part-" + gone,                                      // no file name before the mark
        "summary.json",
    };
    for (const std::string& name : stale) {
        touch(name);
    }
    for (const std::string& name : kept) {
        touch(name);
    }
    fs::create_directories(folder / (".snapshots.part-" + gone));  // only files are removed

    PrepareOutputDirectory(folder, false, true);  // a resumed run's folder

    for (const std::string& name : stale) {
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    }
    for (const std::string& name : kept) {
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    }
    EXPECT_TRUE(fs::is_directory(folder / (".snapshots.part-" + gone)));
}

TEST(CliPrepareOutputDirectory, RemovesStaleTemporariesBeforeANewRunToo) {
    ScratchFolder scratch("stale-new");
    fs::create_directories(scratch.Path());
    const fs::path temporary = scratch.Path() / (".checkpoint.h5.part-" + IdOfExitedProcess());
    std::ofstream(temporary) << "part";
    EXPECT_NO_THROW(PrepareOutputDirectory(scratch.Path()));
    EXPECT_FALSE(fs::exists(temporary));
}

TEST(CliEncodeBase64, PadsPartialGroups) {
    const auto encode = [](const std::string& text) {
        return EncodeBase64(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    };
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("M"), "TQ==");
    EXPECT_EQ(encode("Ma"), "TWE=");
    EXPECT_EQ(encode("Man"), "TWFu");
    EXPECT_EQ(encode(std::string("\xff\xfe\x00\x01", 4)), "//4AAQ==");  // high bytes, a zero
}

TEST(CliNextFrameTime, KeepsModelTimeWhileItAdvancesAndStaysStrictlyIncreasing) {
    std::vector<PvdEntry> entries;
    EXPECT_EQ(NextFrameTime(entries, 0.0), 0.0);
    entries.push_back({0.0, "a"});
    EXPECT_EQ(NextFrameTime(entries, 2.5e-11), 2.5e-11);
    entries.push_back({2.5e-11, "b"});
    const double repeated = NextFrameTime(entries, 2.5e-11);
    EXPECT_GT(repeated, 2.5e-11);
    EXPECT_EQ(repeated, std::nextafter(2.5e-11, 1.0));
    entries.push_back({repeated, "c"});
    EXPECT_GT(NextFrameTime(entries, 2.5e-11), repeated);
}

TEST(CliProgress, WritesPlainLinesAtEachTenth) {
    std::ostringstream out;
    Progress progress(out, ProgressStyle::Lines, "run", 50);
    for (int done = 1; done <= 50; ++done) {
        progress.Update(done);
    }
    progress.Finish();
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10) << text;
    EXPECT_NE(text.find("run: 5/50 (10%)"), std::string::npos) << text;
    EXPECT_NE(text.find("run: 50/50 (100%)"), std::string::npos) << text;
}

TEST(CliProgress, RedrawsOneLineAsABarAndEndsIt) {
    std::ostringstream out;
    Progress progress(out, ProgressStyle::Bar, "run", 4);
    for (int done = 1; done <= 4; ++done) {
        progress.Update(done);
    }
    progress.Finish();
    const std::string text = out.str();
    EXPECT_EQ(text.front(), '\r');
    EXPECT_NE(text.find("4/4"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(text.back(), '\n');
}

TEST(CliProgress, StaysSilentWhenAsked) {
    std::ostringstream out;
    Progress progress(out, ProgressStyle::Silent, "run", 3);
    progress.Update(3);
    progress.Finish();
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace nembra_cli
