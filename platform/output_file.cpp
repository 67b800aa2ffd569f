#include "platform/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

#include "platform/temp_file.h"

namespace quarn {

namespace {

// ---- names to remove when a signal ends the process ----
// A fixed table of fixed buffers: the handler may only use what is async-signal-safe.
constexpr size_t kMaxNamed = 8;
constexpr size_t kMaxNameLength = 4096;
std::array<std::atomic<bool>, kMaxNamed> g_used{};
std::array<std::array<char, kMaxNameLength>, kMaxNamed> g_names{};
std::atomic<bool> g_handlersInstalled{false};
constexpr int kCleanupSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGXFSZ};

void RemoveNamedAndDie(int signalNumber) {
  for (size_t i = 0; i < kMaxNamed; ++i) {
    if (g_used[i].load()) unlink(g_names[i].data());
  }
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void InstallHandlers() {
  if (g_handlersInstalled.exchange(true)) return;
  // Both callers hold the cleanup signals blocked, so the handler is set and the one it replaced
  // read in one call: none of them can arrive before an ignored one is ignored again.
  for (const int number : kCleanupSignals) {
    struct sigaction action {};
    action.sa_handler = RemoveNamedAndDie;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    // A signal the caller chose to ignore (SIGXFSZ, so that writes fail with EFBIG) stays so.
    if (sigaction(number, &action, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      sigaction(number, &previous, nullptr);
    }
  }
}

int Remember(const std::string& path) {
  if (path.size() >= kMaxNameLength) return -1;
  InstallHandlers();
  for (size_t i = 0; i < kMaxNamed; ++i) {
    if (g_used[i].load()) continue;
    std::memcpy(g_names[i].data(), path.c_str(), path.size() + 1);
    g_used[i].store(true);
    return static_cast<int>(i);
  }
  return -1;
}

void Forget(const std::string& path) {
  for (size_t i = 0; i < kMaxNamed; ++i) {
    if (g_used[i].load() && path == g_names[i].data()) g_used[i].store(false);
  }
}

// Holds back the cleanup signals while a file comes into being under a name and that name is
// noted (or leaves it and is forgotten): a signal that came in between would find a file the
// handler does not know of, and leave it behind. Held back, it is taken once the table is right.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int number : kCleanupSignals) sigaddset(&held, number);
    m_restore = pthread_sigmask(SIG_BLOCK, &held, &m_previous) == 0;
  }
  ~CleanupSignalsHeld() {
    if (m_restore) pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
  }
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

 private:
  sigset_t m_previous{};
  bool m_restore = false;
};

// Whether a failed call on extended attributes means that the file system has none.
bool NoExtendedAttributes(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

// The value of extended attribute `name` of `path`; nothing with errno set on failure.
std::optional<std::string> AttributeValue(const char* path, const char* name) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ssize_t size = getxattr(path, name, nullptr, 0);
    if (size < 0) return std::nullopt;
    std::string value(static_cast<size_t>(size), '\0');
    const ssize_t got = getxattr(path, name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      return value;
    }
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile
  }
  return std::nullopt;
}

// Copies the extended attributes of `from` onto the open file `to`. The user.* ones are the
// owner's data: one that cannot be copied fails the copy (errno set). The others (security
// labels, trusted.*, access lists in system.*) need privileges or a policy the process may
// not have, and the file system gives the new file its own: they are copied where permitted
// and otherwise left, silently. `withAccessLists` false leaves out system.* (access lists),
// for a file that could not keep the target's group.
bool CopyExtendedAttributes(const char* from, int to, bool withAccessLists) {
  std::string names;
  for (int attempt = 0;; ++attempt) {
    const ssize_t size = listxattr(from, nullptr, 0);
    if (size < 0) return NoExtendedAttributes(errno);
    if (size == 0) return true;
    names.assign(static_cast<size_t>(size), '\0');
    const ssize_t got = listxattr(from, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<size_t>(got));
      break;
    }
    if (errno != ERANGE || attempt == 3) return false;
  }
  for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    const char* name = names.c_str() + at;
    const bool owners = std::strncmp(name, "user.", 5) == 0;
    if (!withAccessLists && std::strncmp(name, "system.", 7) == 0) continue;
    const std::optional<std::string> value = AttributeValue(from, name);
    if (!value) {
      if (errno == ENODATA) continue;  // removed meanwhile
      if (owners) return false;
      continue;
    }
    if (fsetxattr(to, name, value->data(), value->size(), 0) != 0 && owners &&
        !NoExtendedAttributes(errno)) {
      return false;
    }
  }
  return true;
}

bool FailWith(int err) {
  errno = err;
  return false;
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::CreateBeside(const std::string& targetPath) {
  const std::string directory = DirectoryOf(targetPath);
#ifdef O_TMPFILE
  const int anonymous = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (anonymous >= 0) return std::unique_ptr<OutputFile>(new OutputFile(anonymous, ""));
  // Only a file system without unnamed files goes on to a named one; any other reason (no
  // such directory, no permission, no space) is the answer.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return nullptr;
#endif
  return CreateNamedIn(directory);
}

std::unique_ptr<OutputFile> OutputFile::CreateNamedIn(const std::string& directory) {
  const CleanupSignalsHeld held;
  std::optional<TempSibling> named = CreateTempSibling(directory);
  if (!named) return nullptr;
  Remember(named->path);
  return std::unique_ptr<OutputFile>(new OutputFile(named->fd, named->path));
}

OutputFile::~OutputFile() { Discard(); }

int OutputFile::DuplicateFd() const { return fcntl(m_fd, F_DUPFD_CLOEXEC, 0); }

void OutputFile::Discard() {
  if (!m_path.empty()) {
    unlink(m_path.c_str());
    Forget(m_path);
    m_path.clear();
  }
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool OutputFile::GiveTargetAttributes(const std::string& targetPath) const {
  struct stat target {};
  if (stat(targetPath.c_str(), &target) != 0) {
    // A new file takes the permissions the process gives any file it creates.
    const mode_t mask = umask(0);
    umask(mask);
    return fchmod(m_fd, 0666 & ~mask) == 0;
  }
  // Rewritten in place the file stays its owner's and its group's (only root may give a file
  // away; others keep the group when they belong to it). A file whose group could not be kept
  // does not hand that group's rights to ours.
  // Its extended attributes stay too; an access list comes after the mode, which it refines.
  if (fchown(m_fd, target.st_uid, target.st_gid) == 0 ||
      fchown(m_fd, static_cast<uid_t>(-1), target.st_gid) == 0) {
    return fchmod(m_fd, target.st_mode & 07777) == 0 &&
           CopyExtendedAttributes(targetPath.c_str(), m_fd, true);
  }
  return fchmod(m_fd, target.st_mode & 0707) == 0 &&
         CopyExtendedAttributes(targetPath.c_str(), m_fd, false);
}

// A name "qxXXXXXX.pdf" beside `targetPath` that nothing is known to use (the link that
// takes it fails with EEXIST when something does).
static std::string CandidateName(const std::string& targetPath) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::random_device source;
  std::string name = DirectoryOf(targetPath) + "/qx";
  for (int i = 0; i < 6; ++i) name += kLetters[source() % (sizeof kLetters - 1)];
  return name + ".pdf";
}

bool OutputFile::LinkBeside(const std::string& targetPath) {
  if (!m_path.empty()) return true;
  // The unnamed file gets a name only for the instant between link and rename.
  const std::string procPath = "/proc/self/fd/" + std::to_string(m_fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = CandidateName(targetPath);
    const CleanupSignalsHeld held;
    if (linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        (errno != EEXIST && linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)) {
      m_path = name;
      Remember(name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return FailWith(EEXIST);
}

bool OutputFile::Commit(const std::string& targetPath) {
  if (m_fd < 0) return FailWith(EBADF);
  // The attributes go to the disk with the data, before the name does.
  if (!GiveTargetAttributes(targetPath) || fsync(m_fd) != 0 || !LinkBeside(targetPath)) {
    const int err = errno;
    Discard();
    return FailWith(err);
  }
  {
    // Once renamed, the temporary's name is free again and may soon be another run's: it is
    // forgotten before a signal could remove it.
    const CleanupSignalsHeld held;
    if (std::rename(m_path.c_str(), targetPath.c_str()) != 0) {
      const int err = errno;
      Discard();
      return FailWith(err);
    }
    Forget(m_path);
  }
  m_path.clear();
  close(m_fd);
  m_fd = -1;
  // The rename has happened; a directory that cannot be synced (some file systems refuse)
  // does not undo it, so this step is best effort.
  const int dir = open(DirectoryOf(targetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)fsync(dir);
    close(dir);
  }
  return true;
}

}  // namespace quarn
