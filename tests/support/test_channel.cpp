#include "test_channel.h"

namespace {

int32_t NoTexture(int32_t, TextureDefinition*) { return 1; }

}  // namespace

TestChannel::TestChannel(uint32_t width, uint32_t height, uint32_t bufferMode)
{
    window = ZqCreateWindow(width, height, "test");
    request.width = width;
    request.height = height;
    request.bufferMode = bufferMode;
    request.window = &window;
}

TestChannel::~TestChannel()
{
    close();
    ZqDestroyWindow(window);
}

int32_t TestChannel::open() { return ZqGDOpenChannel(&record, &request, &ops, NoTexture); }

void TestChannel::close()
{
    if (isOpen()) ops.CloseChannel(&record);
}

Image TestChannel::front() const
{
    Image image{request.width, request.height, std::vector<uint8_t>(size_t{request.width} * request.height * 4)};
    EXPECT_EQ(ZqReadFrontImage(window, image.rgba.data(), image.width, image.height), 0);
    return image;
}

Image TestChannel::drawn() const
{
    MakeChannelCurrent(state());
    Image image{request.width, request.height, std::vector<uint8_t>(size_t{request.width} * request.height * 4)};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, static_cast<GLsizei>(image.width), static_cast<GLsizei>(image.height), GL_RGBA,
                 GL_UNSIGNED_BYTE, image.rgba.data());
    return image;
}
