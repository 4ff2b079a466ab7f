// Helpers shared by the suites: a window with a channel opened on it through
// the driver's entry point, and pixel probes that print expected and observed
// values on failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/channel.h"
#include "zqgd/platform.h"

struct Rgb {
    int red, green, blue;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& rgb)
{
    return out << "(" << rgb.red << ", " << rgb.green << ", " << rgb.blue << ")";
}

// RGBA pixels, bottom row first, as the platform and glReadPixels give them.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;

    // x from the left, y from the bottom.
    Rgb at(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

// Whether every channel is within tolerance.
inline ::testing::AssertionResult Near(const Rgb& observed, const Rgb& expected, int tolerance = 2)
{
    if (std::abs(observed.red - expected.red) <= tolerance && std::abs(observed.green - expected.green) <= tolerance &&
        std::abs(observed.blue - expected.blue) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << ", observed " << observed;
}

// A window with a channel on it, closed and destroyed at the end of scope.
class TestChannel {
public:
    explicit TestChannel(uint32_t width = 64, uint32_t height = 48, uint32_t bufferMode = 2);
    ~TestChannel();
    TestChannel(const TestChannel&) = delete;
    TestChannel& operator=(const TestChannel&) = delete;

    // Opens the channel; returns the entry point's status.
    int32_t open();
    void close();
    bool isOpen() const { return record.driverState != nullptr; }

    ChannelState* state() const { return StateOf(&record); }
    Image front() const;   // what the window shows
    Image drawn() const;   // the colour buffer the driver draws into (glReadPixels)

    HWND window = nullptr;
    ChannelRecord record{};
    ChannelRequest request{};
    ChannelOps ops{};
};

// Checks that the operation just run left the channel and its context
// current, then makes the other channel current for the next operation.
inline void ExpectCurrentThenYield(const TestChannel& channel, const TestChannel& other, const char* operation)
{
    EXPECT_EQ(currentChannel, channel.state()) << operation;
    EXPECT_EQ(wglGetCurrentContext(), channel.state()->glContext) << operation;
    MakeChannelCurrent(other.state());
}
