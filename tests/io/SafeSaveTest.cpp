// Saving without ever leaving a damaged file: refusals, kept mode, owner
// and links, temporaries, and an ordinary user's rights.
#include "io/SafeSave.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "support/GuiTest.h"

namespace {

struct stat statOf(const std::string& path) { struct stat st = {}; EXPECT_EQ(0, lstat(path.c_str(), &st)) << path; return st; }

// The names in a directory, hidden ones included, one line each.
std::string entries(const std::string& dir) {
  std::string names;
  FILE* ls = popen(("LC_ALL=C ls -A " + dir).c_str(), "r");
  for (int c; (c = fgetc(ls)) != EOF;) names += (char)c;
  return pclose(ls), names;
}

class SafeSave : public testing::Test {
protected:
  void SetUp() override { dir = kivotest::tempDir(); }
  SaveStatus save(const std::string& path) {
    return saveSafely(path.c_str(), [&](std::ostream& out) { out << content; }, error);
  }

  std::string dir, content = "new\n";
  int error = 0;
};

// Refusals and failures change nothing and leave no temporary.
TEST_F(SafeSave, RefusesWhatIsNotAWritableRegularFileAndChangesNothing) {
  const std::string fifo = dir + "/fifo", sub = dir + "/sub", locked = dir + "/locked.msk", device = dir + "/null";
  kivotest::writeFile(locked, "old\n");
  // Root may write the locked file, but no one is meant to.
  ASSERT_TRUE(mkfifo(fifo.c_str(), 0644) == 0 && mkdir(sub.c_str(), 0755) == 0 && chmod(locked.c_str(), 0444) == 0 &&
              mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0);
  const std::pair<std::string, SaveStatus> rows[] = {
      {fifo, SAVE_NOT_REGULAR}, {sub, SAVE_NOT_REGULAR}, {device, SAVE_NOT_REGULAR},
      {locked, SAVE_WRITE_PROTECTED}, {dir + "/no/a.msk", SAVE_CREATE_FAILED}};
  for (const auto& row : rows) EXPECT_EQ(row.second, save(row.first)) << row.first;
  EXPECT_EQ(" not saved: No such file or directory\nThe file on disk is unchanged.",
            saveFailureText(SAVE_CREATE_FAILED, error));
  // A write that fails midway, under a file size limit: the save ignores
  // SIGXFSZ, so the write fails instead of ending the program.
  const std::string old = dir + "/old.msk";
  kivotest::writeFile(old, "old\n");
  content.assign(400 << 10, 'x');
  rlimit unlimited, small;
  getrlimit(RLIMIT_FSIZE, &unlimited), small = unlimited, small.rlim_cur = 64 << 10;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_EQ(SAVE_WRITE_FAILED, save(old));
  setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(" not saved: File too large\nThe file on disk is unchanged.", saveFailureText(SAVE_WRITE_FAILED, error));
  EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode) && S_ISCHR(statOf(device).st_mode));
  EXPECT_EQ(0444u, statOf(locked).st_mode & 07777);
  EXPECT_EQ("old\nold\n", kivotest::readFile(locked) + kivotest::readFile(old));
  EXPECT_EQ("fifo\nlocked.msk\nnull\nold.msk\nsub\n", entries(dir));  // no temporaries left
}

TEST_F(SafeSave, KeepsModeOwnerLinksAndLeavesNoTemporary) {
  const std::string target = dir + "/real.msk", link = dir + "/link.msk", hard = dir + "/hard.msk";
  kivotest::writeFile(target, "old\n");
  ASSERT_TRUE(chmod(target.c_str(), 0640) == 0 && chown(target.c_str(), 65534, 65534) == 0 &&
              symlink("real.msk", link.c_str()) == 0);
  // The content is written while the temporary is readable by its owner alone.
  std::vector<mode_t> modes;  // of the files open in dir
  ASSERT_EQ(SAVE_OK, saveSafely(link.c_str(), [&](std::ostream& out) {
    for (int fd = 3; fd < 1024; fd++) {
      std::string self = "/proc/self/fd/" + std::to_string(fd), name(4096, '\0');
      struct stat st;
      if (readlink(self.c_str(), &name[0], name.size()) > 0 && name.rfind(dir + "/", 0) == 0 &&
          stat(self.c_str(), &st) == 0)
        modes.push_back(st.st_mode & 07777);
    }
    out << content;
  }, error));
  EXPECT_EQ(std::vector<mode_t>{0600}, modes);
  EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
  struct stat st = statOf(target);
  EXPECT_TRUE((st.st_mode & 07777) == 0640 && st.st_uid == 65534 && st.st_gid == 65534) << std::oct << st.st_mode;
  EXPECT_EQ(content, kivotest::readFile(target));

  // Every name of a file with several links sees the new content.
  kivotest::writeFile(hard, "old\n");
  ASSERT_EQ(0, ::link(hard.c_str(), (dir + "/other.msk").c_str()));
  ino_t inode = statOf(hard).st_ino;
  ASSERT_EQ(SAVE_OK, save(hard));
  EXPECT_EQ(content, kivotest::readFile(dir + "/other.msk"));
  EXPECT_EQ(inode, statOf(hard).st_ino);

  // New files: 0666 less the umask, also with the longest names.
  mode_t oldMask = umask(027);
  const std::string longName = dir + "/" + std::string(250, 'a') + ".msk";
  EXPECT_EQ(SAVE_OK, save(longName));
  umask(oldMask);
  EXPECT_EQ(0640u, statOf(longName).st_mode & 07777);
  EXPECT_EQ(content, kivotest::readFile(longName));

  // Temporaries of a save that crashed go; those of running processes stay.
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string stale = dir + "/.kivo-" + std::to_string(child) + "-7", live = dir + "/.kivo-1-7";
  kivotest::writeFile(stale, "crashed");
  kivotest::writeFile(live, "saving");
  ASSERT_EQ(SAVE_OK, save(target));
  EXPECT_EQ(".kivo-1-7\n" + std::string(250, 'a') + ".msk\nhard.msk\nlink.msk\nother.msk\nreal.msk\n", entries(dir));
}

// Takes the ids of the user nobody while alive, as an ordinary user runs Kivo.
struct AsNobody {
  AsNobody() { EXPECT_TRUE(setegid(65534) == 0 && seteuid(65534) == 0); }
  ~AsNobody() { EXPECT_TRUE(seteuid(0) == 0 && setegid(0) == 0); }
};

TEST_F(SafeSave, OrdinaryUserMayNotReplaceFilesTheyCannotWrite) {
  const std::string own = dir + "/own.msk", open = dir + "/open", spare = dir + "/spare";
  for (const std::string& d : {open, spare}) ASSERT_TRUE(mkdir(d.c_str(), 0755) == 0 && chown(d.c_str(), 65534, 65534) == 0);
  ASSERT_EQ(0, chmod(dir.c_str(), 0755));  // not writable for nobody
  const std::string locked = open + "/locked.msk", foreign = open + "/root.msk";
  for (const std::string& f : {own, locked, foreign}) kivotest::writeFile(f, "old\n");
  ASSERT_TRUE(chown(own.c_str(), 65534, 65534) == 0 && chown(locked.c_str(), 65534, 65534) == 0 &&
              chmod(locked.c_str(), 0444) == 0);
  ino_t inode = statOf(own).st_ino;
  setenv("TMPDIR", spare.c_str(), 1);
  mode_t oldMask = umask(022);
  {
    AsNobody nobody;
    EXPECT_TRUE(save(locked) == SAVE_WRITE_PROTECTED && save(foreign) == SAVE_WRITE_PROTECTED);
    EXPECT_EQ(SAVE_CREATE_FAILED, save(dir + "/new.msk"));
    EXPECT_EQ(" not saved: Permission denied\nThe file on disk is unchanged.", saveFailureText(SAVE_CREATE_FAILED, error));
    EXPECT_TRUE(save(own) == SAVE_OK && save(open + "/new.msk") == SAVE_OK);  // own: in place, after a copy in $TMPDIR
  }
  umask(oldMask);
  unsetenv("TMPDIR");
  EXPECT_EQ("old\nold\n", kivotest::readFile(locked) + kivotest::readFile(foreign));
  EXPECT_EQ(content, kivotest::readFile(own));
  struct stat st = statOf(own), fresh = statOf(open + "/new.msk");
  EXPECT_TRUE(st.st_ino == inode && st.st_uid == 65534 && (st.st_mode & 07777) == 0644 && fresh.st_uid == 65534 &&
              (fresh.st_mode & 07777) == 0644);
  EXPECT_EQ("locked.msk\nnew.msk\nroot.msk\n||open\nown.msk\nspare\n", entries(open) + "|" + entries(spare) + "|" + entries(dir));
}

}  // namespace
