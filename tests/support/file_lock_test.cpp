#include "support/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "common/temp_dir.h"

namespace plm::support {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A child process that runs `body` and exits with its result. `ready` lets
// the child tell the parent that it holds what it was asked to hold.
class Child {
  public:
    explicit Child(const std::function<int(int readyFd)>& body) {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::system_error(errno, std::generic_category());
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            _exit(body(fds[1]));
        }
        close(fds[1]);
        readyFd_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0)
            wait();
        close(readyFd_);
    }
    void waitReady() {
        char c;
        ASSERT_EQ(read(readyFd_, &c, 1), 1);
    }
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    static void signalReady(int fd) { (void)!write(fd, "r", 1); }

  private:
    pid_t pid_ = -1;
    int readyFd_ = -1;
};

// A child that holds an exclusive flock on path for `hold`, then exits.
Child holdLock(const std::string& path, std::chrono::milliseconds hold) {
    return Child([=](int ready) {
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0)
            return 1;
        Child::signalReady(ready);
        usleep(static_cast<useconds_t>(hold.count() * 1000));
        return 0;
    });
}

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

OpenOptions exclusiveRead(std::chrono::milliseconds limit) {
    OpenOptions o;
    o.exclusive = true;
    o.limit = limit;
    return o;
}

TEST(FileLock, OpenWaitsForAnotherProcessToReleaseItsLock) {
    test::TempDir dir;
    const std::string path = dir.file("data");
    test::writeFile(path, "content");
    Child child = holdLock(path, 500ms);
    child.waitReady();
    const auto start = Clock::now();
    UniqueFd fd = openWithRetry(path, exclusiveRead(5000ms));
    ASSERT_TRUE(fd);
    EXPECT_GE(msSince(start), 350);
    EXPECT_EQ(readAll(fd.get()), "content");
}

TEST(FileLock, OpenGivesUpAtTheLimitOrWhenTold) {
    test::TempDir dir;
    const std::string path = dir.file("data");
    test::writeFile(path, "x");
    Child child = holdLock(path, 1500ms);
    child.waitReady();

    auto start = Clock::now();
    UniqueFd fd = openWithRetry(path, exclusiveRead(300ms));
    EXPECT_FALSE(fd);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_GE(msSince(start), 250);
    EXPECT_LT(msSince(start), 1000);

    int asked = 0;
    OpenOptions cancel = exclusiveRead(60000ms);
    cancel.keepWaiting = [&] { return ++asked < 2; };
    start = Clock::now();
    EXPECT_FALSE(openWithRetry(path, cancel));
    EXPECT_EQ(asked, 2);
    EXPECT_LT(msSince(start), 1000);

    // Shared readers do not wait for each other, only for the writer.
    OpenOptions shared;
    shared.limit = 0ms;
    EXPECT_FALSE(openWithRetry(path, shared));
}

TEST(FileLock, MissingFilesAndFoldersFailAtOnce) {
    test::TempDir dir;
    const auto start = Clock::now();
    EXPECT_FALSE(openWithRetry(dir.file("missing"), exclusiveRead(60000ms)));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(openWithRetry(dir.path().string(), exclusiveRead(60000ms)));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_LT(msSince(start), 1000);

    OpenOptions create;
    create.mode = OpenMode::Write;
    create.create = true;
    UniqueFd fd = openWithRetry(dir.file("new"), create);
    ASSERT_TRUE(fd);
    writeAll(fd.get(), "abc", 3);
    OpenOptions shared;
    UniqueFd a = openWithRetry(dir.file("new"), shared);
    UniqueFd b = openWithRetry(dir.file("new"), shared);
    EXPECT_TRUE(a && b);
    EXPECT_EQ(readAll(a.get()), "abc");
}

TEST(FileLock, ReplaceWritesNewContentAndKeepsPermissions) {
    test::TempDir dir;
    const std::string path = dir.file("data.dat");
    replaceFileAtomically(path, "first");
    EXPECT_EQ(test::readFile(path), "first");
    chmod(path.c_str(), 0640);
    const std::string big(1 << 20, 'z');
    replaceFileAtomically(path, big);
    EXPECT_EQ(test::readFile(path), big);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FileLock, FailedReplaceKeepsTheOldFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.file("data.dat");
    test::writeFile(path, "old content");
    // A child whose file size limit makes the write fail half way (a full disk).
    Child child([&](int) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            replaceFileAtomically(path, std::string(100000, 'n'));
        } catch (const std::system_error& e) {
            return e.code().value() == EFBIG ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(test::readFile(path), "old content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // A file held by another process past the limit is not replaced either.
    Child holder = holdLock(path, 1000ms);
    holder.waitReady();
    EXPECT_THROW(replaceFileAtomically(path, "new", exclusiveRead(200ms)), std::system_error);
    EXPECT_EQ(test::readFile(path), "old content");
}

TEST(FileLock, WriterWaitingForTheLockReadsTheReplacedFile) {
    test::TempDir dir;
    const std::string path = dir.file("shared.ini");
    test::writeFile(path, "0");
    UniqueFd mine = lockForReplace(path);
    ASSERT_TRUE(mine);
    // The child appends to whatever it finds once it holds the lock.
    Child child([&](int ready) {
        Child::signalReady(ready);
        UniqueFd fd = lockForReplace(path);
        if (!fd)
            return 1;
        replaceLockedFile(path, readAll(fd.get()) + "B", fd.get());
        return 0;
    });
    child.waitReady();
    usleep(300000);
    replaceLockedFile(path, readAll(mine.get()) + "A", mine.get());
    mine.reset();
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(test::readFile(path), "0AB");
}

}  // namespace
}  // namespace plm::support
