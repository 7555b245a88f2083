// What only the POSIX backend does: case fallback, links, hidden dot names, locks between
// processes, terminals, signals and the message box on standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Platform.h"
#include "TestUtil.h"

using TestUtil::TempDir;

namespace {

std::string In(const TempDir& d, const std::string& rel) {
    return d.Path() + rel;
}

std::string ReadVia(const std::string& path) {
    Plat::Handle h = Plat::OpenFile(path, Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting,
                                    Plat::AttrNormal);
    if (h == Plat::InvalidHandle) return "<cannot open>";
    std::string buf(256, '\0');
    uint32_t n = 0;
    Plat::ReadFile(h, buf.data(), 256, n);
    Plat::CloseFile(h);
    buf.resize(n);
    return buf;
}

std::vector<std::string> Names(const std::string& mask) {
    std::vector<std::string> out;
    Plat::FindData fd;
    Plat::Handle h = Plat::FindFirst(mask, fd);
    if (h == Plat::InvalidHandle) return out;
    do out.push_back(fd.name);
    while (Plat::FindNext(h, fd));
    Plat::FindClose(h);
    return out;
}

bool FindEntry(const std::string& mask, const std::string& name, Plat::FindData& out) {
    Plat::FindData fd;
    Plat::Handle h = Plat::FindFirst(mask, fd);
    bool found = false;
    if (h == Plat::InvalidHandle) return false;
    do
        if (fd.name == name) out = fd, found = true;
    while (Plat::FindNext(h, fd));
    Plat::FindClose(h);
    return found;
}

// Puts fd over one of the standard descriptors for the life of the object.
class Redirect {
  public:
    Redirect(int target, int fd) : Target(target), Saved(dup(target)) { dup2(fd, target); }
    ~Redirect() {
        dup2(Saved, Target);
        close(Saved);
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

  private:
    int Target, Saved;
};

// A pseudo terminal: the test plays the user on the master side.
struct Pty {
    int master = -1, slave = -1;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    bool Ok() const { return slave >= 0; }
    // Bytes the program wrote to the terminal, waiting a little for them.
    std::string Output() {
        std::string out;
        char buf[256];
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 200) > 0) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
};

// Types keys on the master side, again and again until stopped: WaitKey flushes what came
// before it started, so a single early key could be lost.
class Typist {
  public:
    Typist(int master, std::string keys)
        : Worker([this, master, keys] {
              while (!Stop.load()) {
                  if (write(master, keys.data(), keys.size()) < 0) return;
                  std::this_thread::sleep_for(std::chrono::milliseconds(150));
              }
          }) {}
    ~Typist() {
        Stop.store(true);
        Worker.join();
    }

  private:
    std::atomic<bool> Stop{false};
    std::thread Worker;
};

int WaitKeyWith(Pty& pty, const std::string& keys, bool& ok) {
    Redirect in(STDIN_FILENO, pty.slave);
    Typist typist(pty.master, keys);
    int c = -1;
    ok = Plat::WaitKey(c);
    return c;
}

}  // namespace

TEST(PlatformPosix, CaseFallbackForEachComponent) {
    TempDir d;
    TestUtil::WriteFile(d / "Data/Sub/File.TXT", "payload");
    EXPECT_TRUE(Plat::FileExists(In(d, "data\\SUB\\file.txt")));
    EXPECT_EQ(ReadVia(In(d, "DATA/sub/FILE.txt")), "payload");
    EXPECT_NE(Plat::GetAttributes(In(d, "dAtA\\sUb")) & Plat::AttrDirectory, 0u);
    EXPECT_EQ(Names(In(d, "DATA\\SUB\\*.txt")), std::vector<std::string>{"File.TXT"});
    // A search for one name gives the name as the directory spells it.
    EXPECT_EQ(Names(In(d, "DATA\\SUB\\file.txt")), std::vector<std::string>{"File.TXT"});
    // A new name lands in the existing directories, spelled as the caller gave it.
    Plat::Handle h = Plat::OpenFile(In(d, "DATA\\SUB\\New.ini"), Plat::GenericWrite, 0,
                                    Plat::CreateNew, Plat::AttrNormal);
    ASSERT_NE(h, Plat::InvalidHandle);
    Plat::CloseFile(h);
    EXPECT_TRUE(TestUtil::Exists(d / "Data/Sub/New.ini"));
    EXPECT_FALSE(Plat::FileExists(In(d, "data\\missing\\file.txt")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
}

// The program names files in Windows-1252; the file system spells them in UTF-8.
TEST(PlatformPosix, NamesAreConvertedToAndFromUtf8) {
    if (Plat::AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << Plat::AnsiCodePage();
    TempDir d;
    TestUtil::WriteFile(d / "\xC3\x84rger/caf\xC3\xA9.txt", "utf-8 on disk");
    TestUtil::WriteFile(d / "\xE6\x97\xA5.txt", "no room in 1252");
    EXPECT_EQ(ReadVia(In(d, "\xC4rger\\caf\xE9.txt")), "utf-8 on disk");
    EXPECT_EQ(ReadVia(In(d, "\xC4RGER\\CAF\xE9.TXT")), "utf-8 on disk") << "case fallback";
    EXPECT_EQ(Names(In(d, "\xC4rger\\*.txt")), std::vector<std::string>{"caf\xE9.txt"});
    EXPECT_EQ(Names(In(d, "\xC4rger\\caf\xE9.txt")), std::vector<std::string>{"caf\xE9.txt"});
    Plat::FindData data;
    Plat::Handle h = Plat::FindFirst(In(d, "*.txt"), data);
    ASSERT_NE(h, Plat::InvalidHandle);
    Plat::FindClose(h);
    EXPECT_EQ(data.name, "?.txt");
    EXPECT_FALSE(data.nameFits);
    EXPECT_EQ(Names(In(d, "\xC4*")), std::vector<std::string>{"\xC4rger"});
    // New names reach the disk in UTF-8.
    ASSERT_TRUE(Plat::CreateDirectory(In(d,
                                         "\xDC"
                                         "bersicht")));
    EXPECT_TRUE(TestUtil::Exists(d / "\xC3\x9C"
                                     "bersicht"));
}

TEST(PlatformPosix, ExactSpellingWinsAndSeveralMatchesPickTheSmallest) {
    TempDir d;
    TestUtil::WriteFile(d / "abc", "lower");
    TestUtil::WriteFile(d / "ABC", "upper");
    TestUtil::WriteFile(d / "aBc", "mixed");
    EXPECT_EQ(ReadVia(In(d, "abc")), "lower");
    EXPECT_EQ(ReadVia(In(d, "aBc")), "mixed");
    EXPECT_EQ(ReadVia(In(d, "Abc")), "upper");  // "ABC" is the byte-wise smallest match
    EXPECT_EQ(Names(In(d, "Abc")), std::vector<std::string>{"ABC"});
    EXPECT_EQ(Names(In(d, "*")), (std::vector<std::string>{".", "..", "ABC", "aBc", "abc"}));
}

TEST(PlatformPosix, DotNamesAreHidden) {
    TempDir d;
    TestUtil::WriteFile(d / ".hidden", "");
    TestUtil::WriteFile(d / "shown", "");
    EXPECT_NE(Plat::GetAttributes(In(d, ".hidden")) & Plat::AttrHidden, 0u);
    EXPECT_EQ(Plat::GetAttributes(In(d, "shown")) & Plat::AttrHidden, 0u);
    Plat::FindData fd;
    ASSERT_TRUE(FindEntry(In(d, "*.*"), ".", fd));
    EXPECT_EQ(fd.attributes, Plat::AttrDirectory);
    ASSERT_TRUE(FindEntry(In(d, "*.*"), ".hidden", fd));
    EXPECT_EQ(fd.attributes, Plat::AttrHidden | Plat::AttrArchive);
}

TEST(PlatformPosix, ReadOnlyClearsAndRestoresWriteBits) {
    TempDir d;
    TestUtil::WriteFile(d / "f", "");
    std::string p = d / "f";
    chmod(p.c_str(), 0664);
    ASSERT_TRUE(Plat::SetAttributes(In(d, "f"), Plat::AttrReadOnly | Plat::AttrArchive));
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_TRUE(Plat::SetAttributes(In(d, "f"), Plat::AttrNormal));
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, (0666u & ~mask) | 0644u);
}

TEST(PlatformPosix, PrivateDirectoriesAreTheOwnersAloneAndNeverReused) {
    TempDir d;
    ASSERT_TRUE(Plat::CreatePrivateDirectory(In(d, "build")));
    struct stat st;
    ASSERT_EQ(stat((d / "build").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(Plat::CreatePrivateDirectory(In(d, "build")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrAlreadyExists);
    // A link planted under the name is not followed.
    ASSERT_EQ(symlink("build", (d / "planted").c_str()), 0);
    EXPECT_FALSE(Plat::CreatePrivateDirectory(In(d, "planted")));
    EXPECT_FALSE(Plat::CreatePrivateDirectory(In(d, "missing\\build")));
    EXPECT_EQ(Plat::LastError(), Plat::ErrPathNotFound);
}

TEST(PlatformPosix, LinksAreFollowedForReadingButRemovedAsLinks) {
    TempDir d;
    TestUtil::WriteFile(d / "target.txt", "xyz");
    TestUtil::WriteFile(d / "dir/inner", "keep");
    ASSERT_EQ(symlink("target.txt", (d / "lf").c_str()), 0);
    ASSERT_EQ(symlink("dir", (d / "ld").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (d / "dangling").c_str()), 0);
    EXPECT_EQ(Names(In(d, "*")),
              (std::vector<std::string>{".", "..", "dir", "ld", "lf", "target.txt"}));
    Plat::FindData fd;
    ASSERT_TRUE(FindEntry(In(d, "*"), "lf", fd));
    EXPECT_EQ(fd.attributes, Plat::AttrArchive | Plat::AttrReparsePoint);
    EXPECT_EQ(fd.size, 3u);
    ASSERT_TRUE(FindEntry(In(d, "*"), "ld", fd));
    EXPECT_EQ(fd.attributes, Plat::AttrDirectory | Plat::AttrReparsePoint);
    EXPECT_EQ(ReadVia(In(d, "ld\\inner")), "keep");
    EXPECT_EQ(Plat::GetAttributes(In(d, "dangling")), Plat::InvalidAttributes);
    uint64_t v1, i1, v2, i2;
    ASSERT_TRUE(Plat::FileIdentity(In(d, "ld"), v1, i1));
    ASSERT_TRUE(Plat::FileIdentity(In(d, "dir"), v2, i2));
    EXPECT_TRUE(v1 == v2 && i1 == i2);
    EXPECT_TRUE(Plat::DeleteFile(In(d, "lf")));
    EXPECT_EQ(TestUtil::ReadFile(d / "target.txt"), "xyz");
    EXPECT_TRUE(Plat::RemoveDirectory(In(d, "ld")));
    EXPECT_EQ(TestUtil::ReadFile(d / "dir/inner"), "keep");
    EXPECT_FALSE(TestUtil::Exists(d / "ld"));
}

TEST(PlatformPosix, SecondWriterInAnotherProcessIsRefused) {
    TempDir d;
    std::string p = In(d, "shared.ini");
    Plat::Handle h = Plat::OpenFile(p, Plat::GenericWrite, Plat::ShareRead, Plat::CreateAlways, 0);
    ASSERT_NE(h, Plat::InvalidHandle);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Plat::Handle g =
            Plat::OpenFile(p, Plat::GenericWrite, Plat::ShareRead, Plat::OpenAlways, 0);
        _exit(g == Plat::InvalidHandle ? static_cast<int>(Plat::LastError()) : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    Plat::CloseFile(h);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(Plat::ErrSharingViolation));
}

TEST(PlatformPosix, ClosingHandleZeroLeavesStandardInputAlone) {
    int null = open("/dev/null", O_RDONLY);
    ASSERT_GE(null, 0);
    bool closed, stillOpen;
    {
        Redirect in(STDIN_FILENO, null);
        closed = Plat::CloseFile(0);  // what a caller holds after closing its handle
        stillOpen = fcntl(STDIN_FILENO, F_GETFD) != -1;
    }
    close(null);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(stillOpen);
}

TEST(PlatformPosix, FifosAreRefusedInsteadOfBlocking) {
    TempDir d;
    ASSERT_EQ(mkfifo((d / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(
        Plat::OpenFile(In(d, "pipe"), Plat::GenericRead, Plat::ShareRead, Plat::OpenExisting, 0),
        Plat::InvalidHandle);
    EXPECT_EQ(Plat::LastError(), Plat::ErrAccessDenied);
    uint32_t ms, ls;
    EXPECT_FALSE(Plat::FileVersion(In(d, "pipe"), ms, ls));
}

TEST(PlatformPosix, PathsReturnedUseBackslashes) {
    EXPECT_EQ(Plat::CurrentDir().find('/'), std::string::npos);
    EXPECT_EQ(Plat::ProgramFile().find('/'), std::string::npos);
    std::string saved = TestUtil::Env("TMPDIR");
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(Plat::TempPath(), "\\var\\tmp\\");
    unsetenv("TMPDIR");
    EXPECT_EQ(Plat::TempPath(), "\\tmp\\");
    if (!saved.empty()) setenv("TMPDIR", saved.c_str(), 1);
    EXPECT_EQ(Plat::FullPath("/a/b/../c"), "\\a\\c");
}

TEST(PlatformPosix, ConsoleCallsKeepQuietWithoutATerminal) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    bool isConsole, moved;
    {
        Redirect out(STDOUT_FILENO, fds[1]);
        isConsole = Plat::StdoutIsConsole();
        moved = Plat::CursorToLineAbove();
        Plat::SetConsoleTitle("title");
        Plat::WriteStdout("plain");
    }
    close(fds[1]);
    char buf[64];
    ssize_t n = read(fds[0], buf, sizeof buf);
    close(fds[0]);
    EXPECT_FALSE(isConsole);
    EXPECT_FALSE(moved);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "plain");
}

TEST(PlatformPosix, ConsoleSequencesOnATerminal) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    bool isConsole, moved;
    {
        Redirect out(STDOUT_FILENO, pty.slave);
        isConsole = Plat::StdoutIsConsole();
        moved = Plat::CursorToLineAbove();
        Plat::SetConsoleTitle("Kest\x1b]evil\a build");  // control bytes must not pass
    }
    EXPECT_TRUE(isConsole);
    EXPECT_TRUE(moved);
    EXPECT_EQ(pty.Output(), "\x1b[1A\x1b[G\x1b]0;Kest]evil build\a");
}

TEST(PlatformPosix, WaitKeyFailsWithoutATerminal) {
    int null = open("/dev/null", O_RDONLY);
    ASSERT_GE(null, 0);
    bool ok;
    {
        Redirect in(STDIN_FILENO, null);
        int c = 0;
        ok = Plat::WaitKey(c);
        EXPECT_FALSE(Plat::StdinIsConsole());
    }
    close(null);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Plat::LastError(), Plat::ErrInvalidHandle);
}

TEST(PlatformPosix, WaitKeyReadsOneKeyInRawModeAndRestoresTheMode) {
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    termios before;
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    // Typed before the wait: must be discarded, not taken as the key.
    ASSERT_EQ(write(pty.master, "x\n", 2), 2);
    pollfd p{pty.slave, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    struct Case {
        std::string keys;
        int expect;
    };
    const Case cases[] = {{"q", 'q'},    {"\x1b", 27}, {"\x1b[A", 0},
                          {"\x1bOP", 0}, {"\r", 13},   {"\x03", 3}};
    for (const Case& c : cases) {
        bool ok = false;
        int got = WaitKeyWith(pty, c.keys, ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(got, c.expect) << "keys of length " << c.keys.size();
        termios after;
        ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
    }
}

TEST(PlatformPosix, MessageBoxWritesOneBlockToStandardError) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int ok, yes, retry;
    {
        Redirect err(STDERR_FILENO, fds[1]);
        ok = Plat::MessageBox("Error", "File x is not found!", 16 | 8192 | 65536);
        yes = Plat::MessageBoxOwned(0, "Q", "Go on?", 4);
        retry = Plat::MessageBox("Q", "Again?", 5);
    }
    close(fds[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
    close(fds[0]);
    EXPECT_EQ(ok, 1);     // IDOK
    EXPECT_EQ(yes, 6);    // IDYES, the default button
    EXPECT_EQ(retry, 4);  // IDRETRY
    EXPECT_EQ(text, "Error:\nFile x is not found!\nQ:\nGo on?\nQ:\nAgain?\n");
}

namespace {
int gMarkFd = -1;
void MarkInterrupt() {
    if (write(gMarkFd, "H", 1) < 0) _exit(99);
    kill(getpid(), SIGINT);  // a second interrupt meanwhile must not run the handler again
}
}  // namespace

TEST(PlatformPosix, InterruptRunsTheHandlerOnceThenExits) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            gMarkFd = fds[1];
            Plat::OnInterrupt(MarkInterrupt);
            kill(getpid(), sig);
            // The main thread goes on working while the handler runs on its own thread.
            for (int i = 0; i < 500; ++i) usleep(10000);
            _exit(0);
        }
        close(fds[1]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        std::string marks;
        char buf[8];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) marks.append(buf, n);
        close(fds[0]);
        ASSERT_TRUE(WIFEXITED(status)) << sig;
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_EQ(marks, "H") << sig;
    }
}
