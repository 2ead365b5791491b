// The host's web folder: seeding and what a request path may reach.
#include "test_support.h"
#include "web_folder.h"

#include <os/deviceroot.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace
{
void writeFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(WebFolder, SeedingCopiesShippedFilesAndKeepsTheDevicesOwn)
{
    ostest::TempDeviceRoot root;
    const std::string folder = root.path() + "/Hard Disk/UPnP/UpnpWebsite";
    writeFile(folder + "/INDEX.HTM", "the device's own page");
    ASSERT_TRUE(upnphost::seedWebFolder());
    // What the build ships beside the program: the pages and icons.
    for (const char* shipped : {"icon16.gif", "icon32.gif"})
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + shipped)) << shipped;
    EXPECT_FALSE(std::filesystem::exists(folder + "/index.htm"));
    EXPECT_EQ(upnphost::readWebFile("index.htm")->body, "the device's own page");
    EXPECT_EQ(upnphost::readWebFile("")->body, "the device's own page");
    EXPECT_EQ(upnphost::readWebFile("Icon16.GIF")->contentType, "image/gif");
}

TEST(WebFolder, OnlyPlainFilesOfTheFolderAreServed)
{
    ostest::TempDeviceRoot root;
    writeFile(root.path() + "/Hard Disk/UPnP/UpnpWebsite/sub/page.htm", "<p>sub</p>");
    writeFile(root.path() + "/Hard Disk/UPnP/secret.txt", "secret");
    EXPECT_EQ(upnphost::readWebFile("sub/page.htm")->body, "<p>sub</p>");
    EXPECT_EQ(upnphost::readWebFile("sub/page.htm")->contentType, "text/html");
    for (const char* refused : {"../secret.txt", "sub/../../secret.txt", "./sub/page.htm", "sub",
                                "sub//page.htm", "missing.htm", "sub/"})
        EXPECT_FALSE(upnphost::readWebFile(refused)) << refused;
}

TEST(WebFolder, BackslashesAndRepeatedSlashesReadAsOne)
{
    struct Case
    {
        const char* path;
        const char* normalised;
    };
    const Case cases[] = {
        {"/UpnpWebsite/icon16.gif", "/UpnpWebsite/icon16.gif"},
        {"/\\UpnpWebsite\\icon16.gif", "/UpnpWebsite/icon16.gif"},
        {"//UpnpWebsite//sub\\\\x", "/UpnpWebsite/sub/x"},
        {"\\upnp\\a.xml", "/upnp/a.xml"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(upnphost::normalisePath(c.path), c.normalised) << c.path;
}
} // namespace
