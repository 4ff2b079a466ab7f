// The capability probe on the real Mesa. The entry points are process-wide
// and never reset, so each case runs in a process of its own with its own
// environment (see tests/CMakeLists.txt) and first checks that no probe ran
// before it.
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

// Every entry point is still null: no probe ran before in this process.
void ExpectNothingProbedYet()
{
    ASSERT_EQ(capabilities.bindTexture, nullptr);
    ASSERT_EQ(capabilities.vertexPointer, nullptr);
    ASSERT_EQ(capabilities.vertexPointerExt, nullptr);
}

void ExpectNothingSet()
{
    EXPECT_EQ(capabilities.bindTexture, nullptr);
    EXPECT_EQ(capabilities.genTextures, nullptr);
    EXPECT_EQ(capabilities.deleteTextures, nullptr);
    EXPECT_EQ(capabilities.vertexPointer, nullptr);
    EXPECT_EQ(capabilities.vertexPointerExt, nullptr);
    EXPECT_EQ(capabilities.arrayElement, nullptr);
}

void ExpectCoreEntryPoints()
{
    EXPECT_EQ(Address(capabilities.bindTexture), Core("glBindTexture"));
    EXPECT_EQ(Address(capabilities.genTextures), Core("glGenTextures"));
    EXPECT_EQ(Address(capabilities.deleteTextures), Core("glDeleteTextures"));
    EXPECT_EQ(Address(capabilities.vertexPointer), Core("glVertexPointer"));
    EXPECT_EQ(Address(capabilities.arrayElement), Core("glArrayElement"));
    EXPECT_EQ(capabilities.vertexPointerExt, nullptr);
}

TEST(ProbeCore, Version11TakesTheCoreEntryPoints)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    ExpectCoreEntryPoints();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(ProbeCore, Version11IgnoresVendorAndEnvironment)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    setenv("GL_TEXTURE_OBJECT", "0", 1);
    recorder::OverrideString(GL_VENDOR, "3Dlabs");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VENDOR, nullptr);
    unsetenv("GL_TEXTURE_OBJECT");
    ExpectCoreEntryPoints();
}

TEST(ProbeCore, Version10WithoutTheExtensionsSetsNothing)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    recorder::OverrideString(GL_VERSION, "1.0 Mesa 1.1");
    recorder::OverrideString(GL_EXTENSIONS, "GL_EXT_abgr");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VERSION, nullptr);
    recorder::OverrideString(GL_EXTENSIONS, nullptr);
    ExpectNothingSet();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
}

TEST(ProbeCore, Version10WithNullExtensionsSetsNothing)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    recorder::OverrideString(GL_VERSION, "1.0");
    recorder::NullString(GL_EXTENSIONS);
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VERSION, nullptr);
    recorder::OverrideString(GL_EXTENSIONS, nullptr);
    ExpectNothingSet();
}

TEST(ProbeCore, TheMinorVersionIsTheDigitAfterTheFirstDot)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    // "2.0" is not 1.0: only the digit right after the first dot counts,
    // and a 0 there would be 1.0.
    recorder::OverrideString(GL_VERSION, "1.10 Mesa");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VERSION, nullptr);
    ExpectCoreEntryPoints();
}

TEST(ProbeCore, AVersionWithoutADotIsTakenAs11)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    recorder::OverrideString(GL_VERSION, "2");
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    recorder::OverrideString(GL_VERSION, nullptr);
    ExpectCoreEntryPoints();
}

TEST(ProbeVersion10, ExtensionsGiveVertexArraysAndTextureObjects)
{
    ASSERT_TRUE(Version10());
    ExpectNothingProbedYet();
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

// GL_TEXTURE_OBJECT is read as a number: 0, and text that is no number,
// refuse texture objects; 1 permits them.
TEST(ProbeNoTextureObjects, EnvironmentZeroRefusesTextureObjects)
{
    ASSERT_TRUE(Version10());
    ASSERT_STREQ(std::getenv("GL_TEXTURE_OBJECT"), "0");
    ExpectNothingProbedYet();
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
    EXPECT_EQ(capabilities.genTextures, nullptr);
    EXPECT_EQ(capabilities.deleteTextures, nullptr);
    EXPECT_NE(capabilities.vertexPointerExt, nullptr);
}

TEST(ProbeNoTextureObjects, EnvironmentNotANumberRefusesTextureObjects)
{
    ASSERT_TRUE(Version10());
    ExpectNothingProbedYet();
    setenv("GL_TEXTURE_OBJECT", "yes", 1);
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
    EXPECT_NE(capabilities.vertexPointerExt, nullptr);
}

TEST(ProbeNoTextureObjects, EnvironmentOnePermitsTextureObjects)
{
    ASSERT_TRUE(Version10());
    ExpectNothingProbedYet();
    setenv("GL_TEXTURE_OBJECT", "1", 1);
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_NE(capabilities.bindTexture, nullptr);
    EXPECT_NE(capabilities.genTextures, nullptr);
}

TEST(Probe3Dlabs, VendorRefusesTextureObjects)
{
    ASSERT_TRUE(Version10());
    ExpectNothingProbedYet();
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
    ExpectNothingProbedYet();
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    EXPECT_EQ(std::strstr(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_EXT_texture_object"),
              nullptr);
    EXPECT_EQ(capabilities.bindTexture, nullptr);
}

}  // namespace
