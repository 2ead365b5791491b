#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

TEST(DebugOutput, GoesToStandardError)
{
    char path[] = "/tmp/osdebug-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    OutputDebugStringW(u"*** BOARDDRV DEBUGGING: \u00E9 ***\r\n");
    OutputDebugStringA("fputs failed\n");
    OutputDebugStringW(nullptr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    EXPECT_EQ(text.str(), "*** BOARDDRV DEBUGGING: \xC3\xA9 ***\r\nfputs failed\n");
}
