// ShellWords: every awkward word comes back byte for byte from dash and bash,
// in text that JSON carries unchanged and a terminal shows without acting on
// it; a program's word is never read as an assignment, a comment or a home.
#include "core/ShellWords.h"

#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Json.h"
#include "support/TempDir.h"

namespace {

const char* const kShells[] = {"/bin/sh", "/bin/bash"};

const std::vector<std::string> kAwkwardWords = {"",
                                                "a b",
                                                "it's",
                                                "'",
                                                "v=1",
                                                "-x",
                                                "~",
                                                "~root/x",
                                                "#note",
                                                "x#y",
                                                "*.obj",
                                                "?",
                                                "[ab]",
                                                "$HOME",
                                                "${HOME}",
                                                "`id`",
                                                "$(id)",
                                                "a\"b",
                                                "back\\slash",
                                                "!bang",
                                                "semi;colon",
                                                "a&b",
                                                "a|b",
                                                "<in>",
                                                "(x)",
                                                "{a,b}",
                                                "line\nbreak",
                                                "trailing\n",
                                                "\n",
                                                "tab\there",
                                                "\xff",
                                                "a\xff\x62\xfe",
                                                "\xff'\xfe",
                                                "esc\x1b[31mred",
                                                "del\x7f",
                                                "caf\xc3\xa9",
                                                "\xe2\x82\xac",
                                                "\xf0\x9f\x98\x80",
                                                "cut\xc3",
                                                "\xed\xa0\x80",
                                                "\xc0\xaf",
                                                "\xf4\x90\x80\x80",
                                                "%d %s",
                                                "a\\377b",
                                                "\"$(printf '\\377')\""};

// What shell prints for script (run as shell -c script), and its status.
std::string RunShell(const char* shell, const std::string& script, int* status) {
    int out[2];
    if (pipe(out) != 0)
        return "<no pipe>";
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(shell, shell, "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof(buffer))) > 0)
        text.append(buffer, size_t(got));
    close(out[0]);
    waitpid(child, status, 0);
    return text;
}

std::string Printable(const std::string& bytes) {
    return Json(bytes).dump(-1, ' ', true, Json::error_handler_t::replace);
}

} // namespace

TEST(ShellWords, EveryWordComesBackByteForByteFromTheShell) {
    for (const char* shell : kShells) {
        for (const std::string& word : kAwkwardWords) {
            SCOPED_TRACE(std::string(shell) + " " + Printable(word) + " as " + ShellWord(word));
            int status = -1;
            EXPECT_EQ(RunShell(shell, "printf %s " + ShellWord(word), &status), word);
            EXPECT_EQ(status, 0);
        }
    }
}

// A JSON string holds it without a byte replaced, and a log line without a
// control character a terminal would act on.
TEST(ShellWords, TheWrittenWordIsUtf8WithoutControlCharacters) {
    for (const std::string& word : kAwkwardWords) {
        const std::string written = ShellWord(word);
        SCOPED_TRACE(Printable(word) + " as " + Printable(written));
        EXPECT_NO_THROW(Json(written).dump()) << "strict UTF-8";
        for (unsigned char c : written)
            EXPECT_TRUE((c >= 0x20 && c != 0x7f) || c == '\t' || c == '\n') << int(c);
    }
}

TEST(ShellWords, WordsThatNeedNoQuotesStayAsTheyAreOthersReadEasily) {
    const struct {
        std::string word;
        std::string written;
    } cases[] = {
        {"--model", "--model"},
        {"./build/vesperon", "./build/vesperon"},
        {"-95.1,8,1e-07", "-95.1,8,1e-07"},
        {"v=1/vesperon", "'v=1/vesperon'"},
        {"/tmp/a b/it's.obj", "'/tmp/a b/it'\\''s.obj'"},
        {"box\xff.obj", "'box'\"$(printf '\\377')\"'.obj'"},
        {"\xfe\xff", "\"$(printf '\\376\\377')\""},
        {"caf\xc3\xa9", "'caf\xc3\xa9'"},
        {"", "''"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShellWord(c.word), c.written) << Printable(c.word);
}

// Run by a shell from the folder that holds them, programs under awkward
// folder names get their own path and the arguments exactly.
TEST(ShellWords, AProgramsWordIsNeverAnAssignmentACommentOrAHome) {
    TempDir dir("shellwords");
    ASSERT_FALSE(dir.Path().empty());
    // The kernel hands the interpreter the script's path, which may start
    // with '-': the lone "-" ends the interpreter's options first.
    const std::string echo = "#!/bin/sh -\nprintf '%s\\0' \"$0\" \"$@\"\n";
    const std::vector<std::string> args = {"--model", "it's a \xff.obj", "v=2", ""};
    for (const std::string folder : {"v=1", "a b", "#x", "~", "-x", "x*", "\xff"}) {
        SCOPED_TRACE(Printable(folder));
        ASSERT_EQ(mkdir(dir.File(folder).c_str(), 0755), 0);
        const std::string program = folder + "/echo";
        ASSERT_TRUE(dir.Write(program, echo));
        ASSERT_EQ(chmod(dir.File(program).c_str(), 0755), 0);
        std::vector<std::string> words = {program};
        words.insert(words.end(), args.begin(), args.end());
        std::string expected;
        for (const std::string& word : words)
            expected += word + '\0';
        for (const char* shell : kShells) {
            int status = -1;
            const std::string command =
                "cd " + ShellWord(dir.Path()) + " && " + ShellCommand(words);
            EXPECT_EQ(RunShell(shell, command, &status), expected) << shell << ": " << command;
            EXPECT_EQ(status, 0) << shell;
        }
    }
}
