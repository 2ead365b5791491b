// For the tests of Boardkit built against the recording stand-in of QbWmDevApi.
#pragma once

#include <fake_wmdevapi.h>

#include <gtest/gtest.h>

#include <cstring>

namespace boardkit::testing
{

constexpr DWORD kUntouched = 0xDEADBEEF;

class FakeApiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wmfake::reset();
        SetLastError(kUntouched);
    }
    void TearDown() override { wmfake::reset(); }
};

// An answer of these bytes, delivering as many.
inline wmfake::Answer bytes(std::vector<BYTE> data)
{
    wmfake::Answer answer;
    answer.data = std::move(data);
    return answer;
}

// An answer that fails with the driver's error.
inline wmfake::Answer failure(DWORD error)
{
    wmfake::Answer answer;
    answer.error = error;
    return answer;
}

} // namespace boardkit::testing
