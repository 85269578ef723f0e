// The corvalis tool never loses data: a render stopped by a signal, or one
// whose disk is full or read-only, leaves neither OUT nor a temporary file,
// says what went wrong in one line naming the file, and exits non-zero.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/e2e/cli_fixture.h"

namespace {

using e2e::Has;

// Exit code of the child when the system does not let it set up the disk.
constexpr int kCannotSetUp = 77;

// The names in a folder, each followed by a space.
std::string Listing(const std::string& folder) {
  std::string names;
  std::error_code missing;
  for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
    names += entry.path().filename().string() + " ";
  }
  return names;
}

// How the disk under the output folder fails.
enum class Disk { kFull, kReadOnly, kFileSizeLimit };

class ReliabilityTest : public e2e::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    ASSERT_EQ(mkdir(OutputFolder().c_str(), 0777), 0);
  }

  std::string OutputFolder() const { return Path("disk"); }
  std::string Output(const std::string& name = "out.mkv") const {
    return OutputFolder() + "/" + name;
  }

  // A project on a generated interlaced clip of SIZE and `seconds`.
  std::string WriteProject(const std::string& size, int seconds) const {
    Write("p.json", R"({ "source": "lavfi:testsrc2=size=)" + size +
                        ":rate=50:duration=" + std::to_string(seconds) +
                        R"(,interlace=scan=tff", "parameters": {"deinterlace": "Adaptive"},)"
                        R"( "keys": [{"frame": 0, "speed": 80}] })");
    return Path("p.json");
  }

  // Starts `corvalis args...` with stderr going to a file; returns its pid.
  pid_t Start(const std::vector<std::string>& args) const {
    std::string errPath = Path("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(CORVALIS_CLI));
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(CORVALIS_CLI, argv.data());
      _exit(127);
    }
    return pid;
  }

  static int ExitCodeOf(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Waits until the render has begun writing its temporary file.
  bool WaitForTemporary(pid_t pid) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Listing(OutputFolder()).find(".part") != std::string::npos) return true;
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Renders with the output folder on a failing disk. The full and read-only
  // disks are small file systems mounted in a mount namespace of the child
  // alone (which needs root); the file size limit works for anyone. The
  // result's `out` is what the output folder holds afterwards.
  e2e::Result RenderOnFailingDisk(Disk disk, const std::vector<std::string>& args) const {
    std::string listingPath = Path("listing.txt");
    pid_t pid = fork();
    if (pid == 0) {
      if (disk == Disk::kFileSizeLimit) {
        rlimit limit{64 << 10, 64 << 10};
        std::signal(SIGXFSZ, SIG_IGN);  // writes then fail with EFBIG instead
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kCannotSetUp);
      } else {
        const unsigned long flags = disk == Disk::kReadOnly ? MS_RDONLY : 0;
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", OutputFolder().c_str(), "tmpfs", flags, "size=256k") != 0) {
          _exit(kCannotSetUp);
        }
      }
      int code = ExitCodeOf(Start(args));
      // The namespace, and its disk, end with this process: look now.
      std::ofstream(listingPath) << Listing(OutputFolder());
      _exit(code);
    }
    const int code = ExitCodeOf(pid);
    return {code, Read(listingPath), Read(Path("stderr.txt"))};
  }
};

int LineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST_F(ReliabilityTest, InterruptedRenderLeavesNothingAndExitsWithTheSignal) {
  // Long enough that the render is still going when the signal comes.
  const std::string project = WriteProject("160x120", 90);
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
    pid_t pid =
        Start({"render", project, "-q", "-o", Output(), "--console", Output("console.txt")});
    ASSERT_TRUE(WaitForTemporary(pid)) << Read(Path("stderr.txt"));
    ASSERT_EQ(kill(pid, signal), 0);
    EXPECT_EQ(ExitCodeOf(pid), 128 + signal);
    EXPECT_EQ(Listing(OutputFolder()), "");
    std::string err = Read(Path("stderr.txt"));
    EXPECT_TRUE(Has(err, Output() + ": interrupted by "));
    EXPECT_EQ(LineCount(err), 1) << err;
  }
}

TEST_F(ReliabilityTest, FailingDisksGiveOneClearLineAndLeaveNothing) {
  const std::string project = WriteProject("64x48", 4);
  struct Case {
    Disk disk;
    const char* reason;
  };
  int ran = 0;
  for (const Case& c : {Case{Disk::kFull, "No space left on device"},
                        Case{Disk::kReadOnly, "Read-only file system"},
                        Case{Disk::kFileSizeLimit, "File too large"}}) {
    SCOPED_TRACE(c.reason);
    e2e::Result outcome = RenderOnFailingDisk(c.disk, {"render", project, "-q", "-o", Output()});
    if (outcome.exitCode == kCannotSetUp) continue;  // no mount namespace without root
    ++ran;
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(Has(outcome.err, "corvalis: " + Output() + ": "));
    EXPECT_TRUE(Has(outcome.err, c.reason));
    EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_GE(ran, 1);

  // The console file is an output too: on a read-only disk the render does
  // not start, and OUT elsewhere is not made.
  std::string elsewhere = Path("elsewhere.mkv");
  e2e::Result console = RenderOnFailingDisk(
      Disk::kReadOnly, {"render", project, "-o", elsewhere, "--console", Output("c.txt")});
  if (console.exitCode != kCannotSetUp) {
    EXPECT_EQ(console.exitCode, 1);
    EXPECT_TRUE(Has(console.err, Output("c.txt") + ": "));
    EXPECT_TRUE(Has(console.err, "Read-only file system"));
    struct stat info;
    EXPECT_NE(stat(elsewhere.c_str(), &info), 0) << "OUT was written";
  }
}

}  // namespace
