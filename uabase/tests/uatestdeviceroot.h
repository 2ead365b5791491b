// A fresh device root per test: a temporary folder named in DEVICE_ROOT, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class TempDeviceRoot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string pattern = (std::filesystem::temp_directory_path() / "uabase-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(::mkdtemp(buffer.data()), nullptr) << info->name();
        m_root = buffer.data();
        ::setenv("DEVICE_ROOT", m_root.c_str(), 1);
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    // Host path of a name below the root.
    std::string path(const std::string& name) const { return (m_root / name).string(); }

    static std::string readText(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void writeText(const std::string& file, const std::string& text)
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }

    static std::vector<std::string> readLines(const std::string& file)
    {
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path m_root;
};
