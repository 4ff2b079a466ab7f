// The capability probe on the real Mesa. The entry points are process-wide
// and never reset, so each case runs in its own process with its own
// environment (see tests/CMakeLists.txt); the case checks that environment.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "driver/probe.h"
#include "recorder/gl_recorder.h"
#include "support/test_channel.h"

namespace {

bool Version10() { return std::getenv("MESA_GL_VERSION_OVERRIDE") != nullptr; }

void* Core(const char* name) { return dlsym(RTLD_DEFAULT, name); }

template <typename Function>
void* Address(Function function)
{
    return reinterpret_cast<void*>(function);
}

TEST(ProbeCore, Version11TakesTheCoreEntryPoints)
{
    ASSERT_FALSE(Version10());
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(Address(capabilities.bindTexture), Core("glBindTexture"));
    EXPECT_EQ(Address(capabilities.genTextures), Core("glGenTextures"));
    EXPECT_EQ(Address(capabilities.deleteTextures), Core("glDeleteTextures"));
    EXPECT_EQ(Address(capabilities.vertexPointer), Core("glVertexPointer"));
    EXPECT_EQ(Address(capabilities.arrayElement), Core("glArrayElement"));
    EXPECT_EQ(capabilities.vertexPointerExt, nullptr);
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(ProbeCore, VendorAndEnvironmentDoNotMatterOnVersion11)
{
    ASSERT_FALSE(Version10());
    setenv("GL_TEXTURE_OBJECT", "0", 1);
    recorder::OverrideString(GL_VENDOR, "3Dlabs");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VENDOR, nullptr);
    unsetenv("GL_TEXTURE_OBJECT");
    EXPECT_EQ(Address(capabilities.bindTexture), Core("glBindTexture"));
}

TEST(ProbeCore, VersionOneZeroIsTheDigitAfterTheFirstDot)
{
    ASSERT_FALSE(Version10());
    // A 1.0 version whose extensions name neither facility sets nothing: the
    // pointers keep what the probe of an earlier channel set.
    TestChannel first;
    ASSERT_EQ(first.open(), 0);
    void* before = Address(capabilities.bindTexture);
    recorder::OverrideString(GL_VERSION, "1.0 Mesa");
    recorder::OverrideString(GL_EXTENSIONS, "");
    TestChannel second;
    ASSERT_EQ(second.open(), 0);
    EXPECT_EQ(Address(capabilities.bindTexture), before);
    EXPECT_EQ(capabilities.vertexPointerExt, nullptr);
    recorder::OverrideString(GL_VERSION, "2");
    recorder::OverrideString(GL_EXTENSIONS, nullptr);
    TestChannel third;
    ASSERT_EQ(third.open(), 0) << "a version without a dot is taken as 1.1 or later";
    recorder::OverrideString(GL_VERSION, nullptr);
    EXPECT_EQ(capabilities.vertexPointerExt, nullptr);
    EXPECT_EQ(Address(capabilities.vertexPointer), Core("glVertexPointer"));
}

TEST(ProbeVersion10, ExtensionsGiveVertexArraysAndTextureObjects)
{
    ASSERT_TRUE(Version10());
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(std::strncmp(reinterpret_cast<const char*>(glGetString(GL_VERSION)), "1.0", 3), 0);
    EXPECT_NE(capabilities.vertexPointerExt, nullptr);
    EXPECT_NE(capabilities.arrayElement, nullptr);
    EXPECT_EQ(capabilities.vertexPointer, nullptr);
    EXPECT_NE(capabilities.bindTexture, nullptr);
    EXPECT_NE(capabilities.genTextures, nullptr);
    EXPECT_NE(capabilities.deleteTextures, nullptr);
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    GLuint name = 0;
    capabilities.genTextures(1, &name);
    EXPECT_NE(name, 0u) << "the extension entry points work";
    capabilities.deleteTextures(1, &name);
}

TEST(ProbeNoTextureObjects, EnvironmentZeroRefusesTextureObjects)
{
    ASSERT_TRUE(Version10());
    ASSERT_STREQ(std::getenv("GL_TEXTURE_OBJECT"), "0");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
    EXPECT_EQ(capabilities.genTextures, nullptr);
    EXPECT_EQ(capabilities.deleteTextures, nullptr);
    EXPECT_NE(capabilities.vertexPointerExt, nullptr);
}

TEST(Probe3Dlabs, VendorRefusesTextureObjects)
{
    ASSERT_TRUE(Version10());
    recorder::OverrideString(GL_VENDOR, "3DLABS");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VENDOR, nullptr);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
    EXPECT_EQ(capabilities.genTextures, nullptr);
    EXPECT_NE(capabilities.vertexPointerExt, nullptr);
}

TEST(ProbeWithoutExtensionObjects, MissingExtensionMeansNoTextureObjects)
{
    ASSERT_TRUE(Version10());
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(std::strstr(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_EXT_texture_object"),
              nullptr);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
}

}  // namespace
