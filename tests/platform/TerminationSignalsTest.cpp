// Every signal that ends the program removes the temporary files of unfinished outputs and then ends
// it as that signal would have (a shell sees 128 + its number); a closed pipe only stops the printing.
#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

namespace skelvane {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A child with the handlers installed and a half-written replacement of `path` open; it waits.
pid_t StartWriter(const std::string& path, bool ignoreHangUp) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT's default action would leave a core file
    if (ignoreHangUp) std::signal(SIGHUP, SIG_IGN);  // as nohup starts a program
    TerminationSignals::Install();
    AtomicFile file;
    if (file.Open(path) != 0 || !file.Write("partial", 7)) _exit(2);
    if (write(ready[1], "r", 1) != 1) _exit(3);
    for (;;) pause();
  }
  char byte = 0;
  const bool started = child > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  close(ready[1]);
  return started ? child : -1;
}

TEST(TerminationSignals, EachRemovesThePendingFileAndEndsTheProgramAsItself) {
  test::TempDir dir;
  const std::string path = dir.Write("TT1.ktt", "complete");
  for (const int signalNumber : TerminationSignals::kSignals) {
    SCOPED_TRACE(strsignal(signalNumber));
    const pid_t child = StartWriter(path, false);
    ASSERT_GT(child, 0);
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
    ASSERT_EQ(kill(child, signalNumber), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    EXPECT_EQ(Contents(path), "complete");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  }
}

TEST(TerminationSignals, ASignalIgnoredAtStartStaysIgnored) {
  test::TempDir dir;
  const pid_t child = StartWriter(dir.File("out.bin"), true);
  ASSERT_GT(child, 0);
  ASSERT_EQ(kill(child, SIGHUP), 0);
  usleep(100'000);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "a hang-up ended a program started under nohup";
  ASSERT_EQ(kill(child, SIGTERM), 0);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

TEST(TerminationSignals, WritingToAClosedPipeFailsInsteadOfEndingTheProgram) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TerminationSignals::Install();
    int ends[2];
    if (pipe(ends) != 0) _exit(2);
    close(ends[0]);
    const bool failed = write(ends[1], "x", 1) < 0 && errno == EPIPE;
    _exit(failed ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace skelvane
