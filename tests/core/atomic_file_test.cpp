#include "toolkit/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/test_images.h"

namespace {

TEST(WriteFileAtomically, NeverModeLeavesAnExistingFileAndSaysSo) {
    const std::string dir = makeTempDir();
    writeBytes(dir + "kept", {'o', 'l', 'd'});
    const uint8_t data[] = {'n', 'e', 'w'};
    FileWriteResult r = writeFileAtomically(dir + "kept", data, 3, ReplaceMode::Never);
    EXPECT_EQ(r.error, EEXIST);
    EXPECT_EQ(readBytes(dir + "kept"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    // A dangling link is something existing too.
    std::filesystem::create_symlink(dir + "nowhere", dir + "link");
    EXPECT_EQ(writeFileAtomically(dir + "link", data, 3, ReplaceMode::Never).error, EEXIST);
    EXPECT_TRUE(writeFileAtomically(dir + "fresh", data, 3, ReplaceMode::Never).ok());
    EXPECT_EQ(readBytes(dir + "fresh"), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_TRUE(writeFileAtomically(dir + "kept", data, 3, ReplaceMode::Always).ok());
    EXPECT_EQ(readBytes(dir + "kept"), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"fresh", "kept", "link"}));
}

TEST(WriteFileAtomically, AKillWhileWritingLeavesNoTemporaryFile) {
    const std::string dir = makeTempDir();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        removeTemporaryFilesOnSignal();
        // Large files one after another, so that a write is nearly always under way.
        std::thread writer([&] {
            std::vector<uint8_t> data(size_t{64} << 20, 7);
            for (int i = 0;; ++i) {
                writeFileAtomically(dir + "f" + std::to_string(i % 4), data.data(), data.size(),
                                    ReplaceMode::Always);
            }
        });
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < giveUp) {
            for (const std::string& name : folderEntries(dir)) {
                if (name.find(".saving-") != std::string::npos) ::raise(SIGTERM);
            }
        }
        ::_exit(3);  // no temporary file seen
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    for (const std::string& name : folderEntries(dir)) {
        EXPECT_EQ(name.find(".saving-"), std::string::npos) << name;
    }
}

}  // namespace
