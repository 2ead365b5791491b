// A fresh device root per test with COM initialised and the server trace written to a
// file in it, so tests can read back the messages the code under test wrote.
#pragma once

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

class OpcwatchTestRoot : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file below the device root; returns its host path in device form for the file calls.
    std::u16string writeFile(const std::string& name, const std::string& bytes) const;
    std::string hostPath(const std::string& name) const { return m_root.path() + "/" + name; }

    // The trace lines written since SetUp (or the last clearTrace), as level and message.
    std::vector<std::pair<int, std::string>> traceMessages() const;
    void clearTrace();
    // Every line of a trace file, as level and message.
    static std::vector<std::pair<int, std::string>> traceMessagesOf(const std::string& hostFile);

    // "Program" below the root ("\Program" to the file calls) with its empty PKI folders.
    void makeProgramFolder() const;
    // "Program/Opcwatch.xml" with these elements in "UaServerConfig".
    void writeConfiguration(const std::string& settings) const;

private:
    ostest::TempDeviceRoot m_root;
    std::string m_traceFile;
    size_t m_traceSkip = 0;
};
