// A view opened on a test channel through the channel's OpenView slot.
#pragma once

#include "support/test_channel.h"
#include "view/view.h"

class TestView {
public:
    TestView(TestChannel& channel, int32_t x, int32_t y, uint32_t width, uint32_t height)
    {
        descriptor.nearPlane = 0.1f;
        descriptor.farPlane = 100.0f;
        descriptor.fieldOfView = 1.0f;
        record.view = &descriptor;
        record.channel = &channel.record;
        status = channel.ops.OpenView(&record, &ops);
        if (status != 0) return;
        ops.SetViewPosition(&record, x, y);
        ops.SetViewSize(&record, width, height);
    }
    ~TestView()
    {
        if (descriptor.state != nullptr) ops.CloseView(&record);
    }
    TestView(const TestView&) = delete;
    TestView& operator=(const TestView&) = delete;

    ViewState* state() const { return StateOf(&descriptor); }

    // Sets a plain background and starts a frame of the view, clearing it.
    void clearTo(float red, float green, float blue, int32_t mode = ZQGD_MODE_UNLIT)
    {
        BackgroundRecord background{0, {red, green, blue}, 0};
        ops.SetBackground(&record, &background);
        ops.SetRenderMode(&record, mode);
        begin(ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    }

    void begin(uint32_t clearFlags)
    {
        static const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        ops.BeginView(&record, 0, identity, clearFlags);
    }

    ViewDescriptor descriptor{};
    ViewRecord record{};
    ViewOps ops{};
    int32_t status = -1;
};
