// OutputFile: what a report written whole does to the paths a hostile user
// might hand the tools (links, long names, locked folders, modes), the
// up-front check that refuses before a run what the write would refuse after
// it, and nothing left behind by a write that a signal ends.
#include "core/OutputFile.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (dir)
        closedir(dir);
    return names;
}

bool Write(const std::string& path, const std::string& text, std::string* error) {
    return WriteFileWhole(path, text.data(), text.size(), error);
}

} // namespace

TEST(OutputFile, ASymbolicLinkIsWrittenThroughAndStaysALink) {
    TempDir dir("outputfile");
    ASSERT_TRUE(dir.Write("target.json", "old"));
    ASSERT_EQ(symlink("target.json", dir.File("link.json").c_str()), 0);
    std::string error;
    EXPECT_TRUE(CheckOutputFile(dir.File("link.json"), &error)) << error;
    ASSERT_TRUE(Write(dir.File("link.json"), "new", &error)) << error;
    struct stat info;
    ASSERT_EQ(lstat(dir.File("link.json").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link is kept";
    EXPECT_EQ(Read(dir.File("target.json")), "new") << "its target gets the report";
    EXPECT_EQ(Names(dir.Path()).size(), 2u) << "no temporary file left";
}

// Every refusal comes from the check before a run, with the reason, and the
// write itself refuses the same path the same way.
TEST(OutputFile, PathsTheWriteWouldRefuseAreRefusedUpFront) {
    TempDir dir("outputfile");
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
    ASSERT_EQ(symlink("missing.json", dir.File("dangling").c_str()), 0);
    ASSERT_EQ(symlink("folder", dir.File("to-folder").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case table[] = {
        {dir.File("folder"), "not a regular file"},
        {dir.File("to-folder"), "not a regular file"},
        {dir.File("fifo"), "not a regular file"},
        {dir.File("dangling"), "a symbolic link to a missing file"},
        {dir.File(std::string(256, 'n')), "File name too long"},
        {dir.File("no/such/folder/report.json"), "No such file or directory"},
        // A file anyone may write, in a folder nobody may add to.
        {"/proc/self/comm", "its folder takes no new file"},
    };
    for (const Case& c : table) {
        std::string error;
        EXPECT_FALSE(CheckOutputFile(c.path, &error)) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
        EXPECT_EQ(error.rfind("cannot write \"" + c.path + "\": ", 0), 0u) << error;
        if (c.path.rfind("/proc/", 0) == 0)
            continue; // the write would replace it (or fail): not tried
        error.clear();
        EXPECT_FALSE(Write(c.path, "report", &error)) << c.path;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(Names(dir.Path()).size(), 4u) << "no probe or temporary file left";
    if (geteuid() != 0) { // permissions bind only others than root
        ASSERT_TRUE(dir.Write("folder/old.json", "old"));
        ASSERT_EQ(chmod(dir.File("folder").c_str(), 0555), 0);
        std::string error;
        EXPECT_FALSE(CheckOutputFile(dir.File("folder/old.json"), &error));
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        chmod(dir.File("folder").c_str(), 0755);
    }
}

// Every name of the file or pipe standard output writes to is refused, up
// front and by the write (which would replace what was printed); "-" writes
// to standard output itself.
TEST(OutputFile, NamesOfStandardOutputAreRefusedAndDashWritesToIt) {
    TempDir dir("outputfile");
    ASSERT_TRUE(dir.Write("out.txt", ""));
    ASSERT_EQ(symlink("out.txt", dir.File("link.txt").c_str()), 0);
    int file = open(dir.File("out.txt").c_str(), O_WRONLY | O_APPEND), ends[2];
    ASSERT_TRUE(file >= 0 && pipe(ends) == 0);
    const int saved = dup(STDOUT_FILENO);
    const std::pair<int, std::string> refused[] = {
        {file, "/dev/stdout"},        {file, "/proc/self/fd/1"}, {file, dir.File("out.txt")},
        {file, dir.File("link.txt")}, {ends[1], "/dev/stdout"},  {ends[1], "/proc/self/fd/1"}};
    for (const auto& [output, path] : refused) {
        std::string checked, written;
        fflush(stdout);
        dup2(output, STDOUT_FILENO);
        EXPECT_FALSE(CheckOutputFile(path, &checked) || Write(path, "{}", &written)) << path;
        std::printf("table\n");
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        const std::string reason =
            "cannot write \"" + path + "\": it is this program's standard output";
        EXPECT_TRUE(checked == reason && written == reason) << checked << " / " << written;
    }
    std::string error;
    dup2(file, STDOUT_FILENO);
    EXPECT_TRUE(CheckOutputFile("-", &error) && WriteFileOrStandardOutput("-", "{}", 2, &error));
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    EXPECT_EQ(Read(dir.File("out.txt")), "table\ntable\ntable\ntable\n{}") << error;
    for (int fd : {file, ends[0], ends[1], saved})
        close(fd);
}

TEST(OutputFile, ALegalNameOfTwoHundredAndFiftyBytesIsWritten) {
    TempDir dir("outputfile");
    const std::string path = dir.File(std::string(245, 'r') + ".json");
    std::string error;
    EXPECT_TRUE(CheckOutputFile(path, &error)) << error;
    ASSERT_TRUE(Write(path, "report", &error)) << error;
    EXPECT_EQ(Read(path), "report");
    EXPECT_EQ(Names(dir.Path()).size(), 1u);
}

TEST(OutputFile, ARewrittenFileKeepsItsMode) {
    TempDir dir("outputfile");
    for (mode_t mode : {0600, 0640, 0400, 0664}) {
        const std::string path = dir.File("report.json");
        ASSERT_TRUE(dir.Write("report.json", "old"));
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        std::string error;
        ASSERT_TRUE(Write(path, "new", &error)) << error;
        struct stat info;
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(Read(path), "new");
    }
    // A new file gets the usual mode, less the umask.
    mode_t mask = umask(022);
    std::string error;
    ASSERT_TRUE(Write(dir.File("fresh.json"), "new", &error)) << error;
    umask(mask);
    struct stat info;
    ASSERT_EQ(stat(dir.File("fresh.json").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0644));
}

// A write that the file size limit stops raises SIGXFSZ in the middle of it
// (a signal that ends the process, as a hang-up would): the temporary file
// goes first, and the old report stays.
TEST(OutputFile, ASignalThatEndsTheProcessMidWriteLeavesNoTemporaryFile) {
    TempDir dir("outputfile");
    ASSERT_TRUE(dir.Write("report.json", "old"));
    pid_t child = fork();
    if (child == 0) {
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_DFL);
        std::string big(1 << 20, 'x'), error;
        Write(dir.File("report.json"), big, &error);
        _exit(0); // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.json"});
    EXPECT_EQ(Read(dir.File("report.json")), "old");
}

TEST(OutputFile, AClosedStandardOutputIsReportedNotIgnored) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]); // the reader is gone, as after `| head`
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_IGN);
        dup2(fds[1], STDOUT_FILENO);
        printf("a table nobody reads\n");
        _exit(FinishStandardOutput("tool") ? 0 : 3);
    }
    close(fds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
}
