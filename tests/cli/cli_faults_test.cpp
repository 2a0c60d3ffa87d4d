// Faults while the built verifax-cli writes the repaired document: a full disk (a file
// size limit on the process, and a small tmpfs where this machine lets the test mount
// one) and the process killed at points of its write. Whatever happens, the document is
// wholly old or wholly new, and a backup that exists holds the old bytes.

#include <gtest/gtest.h>

#ifdef __linux__

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_test_util.h"

namespace verifax {
namespace {

using testing::ReadBytes;
using testing::ScratchDir;
namespace fs = std::filesystem;

const std::regex kBackupName(R"(saft_\d{8}_\d{6}\.bak_xml)");
const std::regex kTemporaryName(R"(saft\.xml\.verifax-.{6})");

// A child process with stdin from /dev/null and stdout, stderr into files.
class Child {
 public:
  // `file_size_limit`: RLIMIT_FSIZE for the child, with SIGXFSZ ignored so that a write
  // past it fails with EFBIG as on a full disk.
  // `as_user`: run as that unprivileged user (from root).
  Child(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err,
        std::optional<rlim_t> file_size_limit = std::nullopt, const passwd* as_user = nullptr) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      int in = ::open("/dev/null", O_RDONLY);
      int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0) ::_exit(126);
      ::dup2(in, 0);
      ::dup2(o, 1);
      ::dup2(e, 2);
      if (file_size_limit) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{*file_size_limit, *file_size_limit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      }
      if (as_user && (::setgroups(0, nullptr) != 0 || ::setgid(as_user->pw_gid) != 0 ||
                      ::setuid(as_user->pw_uid) != 0))
        ::_exit(126);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  void Kill() { ::kill(pid_, SIGKILL); }
  // Whether the child has ended, without waiting.
  bool Ended() {
    if (waited_) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) Record(status);
    return waited_;
  }
  // Exit status, or 128 + the signal that ended it.
  int Wait() {
    int status = 0;
    while (!waited_ && ::waitpid(pid_, &status, 0) == pid_) Record(status);
    return result_;
  }

 private:
  void Record(int status) {
    waited_ = true;
    result_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid_ = -1;
  bool waited_ = false;
  int result_ = -1;
};

class CliFaultsTest : public ::testing::Test {
 protected:
  fs::path docs() const { return scratch_.path() / "docs"; }
  fs::path doc() const { return docs() / "saft.xml"; }
  fs::path out() const { return scratch_.path() / "out"; }
  fs::path err() const { return scratch_.path() / "err"; }

  // A generated document of about `size` bytes with `blanks` repairs to make, kept in
  // the scratch folder as "original.xml".
  std::string Generate(const std::string& size, int blanks) {
    fs::path original = scratch_.path() / "original.xml";
    std::string command = std::string(VERIFAX_GEN_SAFT_EXE) + " --size " + size +
                          " --blank-units " + std::to_string(blanks) + " -o '" + original.string() +
                          "' >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(original);
  }

  // A fresh folder holding only the document with `bytes`.
  void PutDocument(const std::string& bytes) {
    std::error_code ec;
    fs::remove_all(docs(), ec);
    fs::create_directories(docs());
    testing::WriteBytes(doc(), bytes);
  }

  std::vector<std::string> CliArgs() const { return {VERIFAX_CLI_EXE, "--yes", doc().string()}; }

  // The names in the document's folder besides the document.
  std::vector<std::string> OtherFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(docs()))
      if (entry.path() != doc()) names.push_back(entry.path().filename());
    return names;
  }

  // A full disk: the run fails with the write error, the document keeps its bytes, the
  // backup holds them too and no temporary file is left behind.
  void ExpectFailedWriteLeftEverythingAsItWas(const std::string& original,
                                              const std::string& reason) {
    EXPECT_EQ(ReadBytes(out()), "");
    const std::string message = "Cannot write file \"" + doc().string() + "\". " + reason + "\n";
    EXPECT_EQ(ReadBytes(err()), message);
    EXPECT_TRUE(ReadBytes(doc()) == original) << "the document changed";
    std::vector<std::string> others = OtherFiles();
    ASSERT_EQ(others.size(), 1u) << ::testing::PrintToString(others);
    EXPECT_TRUE(std::regex_match(others[0], kBackupName)) << others[0];
    EXPECT_TRUE(ReadBytes(docs() / others[0]) == original) << "the backup differs";
  }

  // Moves this test process into a mount namespace of its own, so that nothing it
  // mounts is seen on the host, even if the test dies half way.
  static bool EnterMountNamespace() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  }

  // A tmpfs of `bytes` on the document's folder.
  bool MountTmpfs(std::size_t bytes) const {
    std::string options = "size=" + std::to_string(bytes);
    return ::mount("tmpfs", docs().c_str(), "tmpfs", 0, options.c_str()) == 0;
  }

  ScratchDir scratch_;
};

TEST_F(CliFaultsTest, FileSizeLimitDuringTheWrite) {
  // Large enough for part of it to be on its way to the disk in the background when the
  // write fails.
  const std::string original = Generate("80M", 20);
  PutDocument(original);
  // Half the document: the replacement file fills up halfway through.
  Child cli(CliArgs(), out(), err(), original.size() / 2);
  ASSERT_TRUE(cli.started());
  EXPECT_EQ(cli.Wait(), 2);
  ExpectFailedWriteLeftEverythingAsItWas(original, "File too large");
}

// Unmounts on the way out, whatever happens in between.
struct Unmount {
  fs::path at;
  ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
};

TEST_F(CliFaultsTest, FullDiskDuringTheWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  if (!EnterMountNamespace()) GTEST_SKIP() << "no mount namespace here";
  const std::string original = Generate("1M", 20);
  fs::create_directories(docs());
  // Room for the document and a quarter more; a backup that is a second name of the
  // document takes no room, the replacement file fills the rest.
  if (!MountTmpfs(original.size() + original.size() / 4)) GTEST_SKIP() << "no tmpfs here";
  Unmount unmount{docs()};
  testing::WriteBytes(doc(), original);
  {
    Child cli(CliArgs(), out(), err());
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.Wait(), 2);
  }
  ExpectFailedWriteLeftEverythingAsItWas(original, "No space left on device");
}

TEST_F(CliFaultsTest, FullDiskDuringTheBackupCopy) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  // A user may not give a second name to another user's file here, so the backup of a
  // root-owned document made by nobody has to be a copy.
  if (testing::ReadBytes("/proc/sys/fs/protected_hardlinks") != "1\n")
    GTEST_SKIP() << "hard links are not protected here: the backup would be a link";
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) GTEST_SKIP() << "no user nobody";
  if (!EnterMountNamespace()) GTEST_SKIP() << "no mount namespace here";
  const std::string original = Generate("1M", 20);
  fs::create_directories(docs());
  if (!MountTmpfs(original.size() + original.size() / 4)) GTEST_SKIP() << "no tmpfs here";
  Unmount unmount{docs()};
  ASSERT_EQ(::chmod(docs().c_str(), 0777), 0);
  testing::WriteBytes(doc(), original);
  // A copy of the program that nobody can reach.
  fs::path exe = scratch_.path() / "bin" / "verifax-cli";
  fs::create_directories(exe.parent_path());
  fs::copy_file(VERIFAX_CLI_EXE, exe);
  ::chmod(exe.parent_path().c_str(), 0755);
  ::chmod(exe.c_str(), 0755);
  {
    Child cli({exe.string(), "--yes", doc().string()}, out(), err(), std::nullopt, nobody);
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.Wait(), 2);
  }
  EXPECT_EQ(ReadBytes(out()), "");
  const std::string start =
      "Erro ao efetuar backup do ficheiro SAFT!\n"
      "Não é possível renomear o ficheiro.\n"
      "\"" +
      doc().string() + "\" -> \"" + (docs() / "saft_").string();
  const std::string message = ReadBytes(err());
  ASSERT_EQ(message.substr(0, start.size()), start) << message;
  EXPECT_TRUE(
      std::regex_match(message.substr(start.size()), std::regex(R"(\d{8}_\d{6}\.bak_xml"\n)")))
      << message;
  EXPECT_TRUE(ReadBytes(doc()) == original) << "the document changed";
  EXPECT_TRUE(OtherFiles().empty()) << ::testing::PrintToString(OtherFiles());
}

TEST_F(CliFaultsTest, KilledDuringTheWrite) {
  const std::string original = Generate("16M", 200);
  // The document as a run that is left alone writes it.
  PutDocument(original);
  {
    Child cli(CliArgs(), out(), err());
    ASSERT_TRUE(cli.started());
    ASSERT_EQ(cli.Wait(), 1) << ReadBytes(err());
  }
  const std::string repaired = ReadBytes(doc());
  ASSERT_EQ(repaired.size(), original.size() + 2 * 200);

  // Kill points: some time after the temporary file appeared, and some time after the
  // start (reaching into the load, the passes, the backup and the write).
  struct KillPoint {
    bool after_temporary_file;
    int delay_us;
  };
  std::vector<KillPoint> points;
  for (int us : {0, 0, 300, 2000, 10000}) points.push_back({true, us});
  for (int ms : {20, 200, 800, 3000}) points.push_back({false, ms * 1000});

  int killed_with_temporary_file = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE(::testing::Message()
                 << (point.after_temporary_file ? "temporary file + " : "start + ")
                 << point.delay_us << " us");
    PutDocument(original);
    Child cli(CliArgs(), out(), err());
    ASSERT_TRUE(cli.started());
    auto temporary_exists = [&] {
      for (const std::string& name : OtherFiles())
        if (std::regex_match(name, kTemporaryName)) return true;
      return false;
    };
    if (point.after_temporary_file) {
      while (!cli.Ended() && !temporary_exists()) {
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(point.delay_us));
    cli.Kill();
    int status = cli.Wait();

    const std::string now = ReadBytes(doc());
    EXPECT_TRUE(now == original || now == repaired) << "the document is half written";
    if (status == 1) {
      EXPECT_TRUE(now == repaired) << "the run succeeded but left the old text";
    }
    bool temporary_left = false;
    for (const std::string& name : OtherFiles()) {
      if (std::regex_match(name, kBackupName)) {
        EXPECT_TRUE(ReadBytes(docs() / name) == original) << "the backup " << name << " differs";
      } else if (std::regex_match(name, kTemporaryName)) {
        temporary_left = true;  // expected after a kill: nothing is left to remove it
      } else {
        // A backup copy cut short under its temporary name is allowed too.
        EXPECT_TRUE(name.ends_with(".partial") || name.ends_with(".detached")) << name;
      }
    }
    if (status == 128 + SIGKILL && temporary_left) ++killed_with_temporary_file;
  }
  // Otherwise every kill came before or after the write and nothing was tried.
  EXPECT_GT(killed_with_temporary_file, 0);
  RecordProperty("kills_during_the_write", killed_with_temporary_file);
}

}  // namespace
}  // namespace verifax

#endif  // __linux__
