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

// What one probe of the current context set, from null entry points, with
// the strings and the environment variable given (null: Mesa's own string,
// the variable unset).
struct ProbeInput {
    const char* vendor;
    const char* environment;
    const char* version;
    const char* extensions;
};

enum class Path { Core, Extensions, Nothing };

struct ProbeOutcome {
    Path path;
    bool vertexArrays;    // the extension's vertex-array entry points
    bool textureObjects;  // the extension's texture-object entry points
};

void ExpectProbe(const ProbeInput& input, const ProbeOutcome& expected)
{
    SCOPED_TRACE(::testing::Message() << "vendor " << (input.vendor ? input.vendor : "(Mesa)") << ", GL_TEXTURE_OBJECT "
                                      << (input.environment ? input.environment : "(unset)") << ", version "
                                      << (input.version ? input.version : "(Mesa)") << ", extensions "
                                      << (input.extensions ? input.extensions : "(null)"));
    capabilities = CapabilityEntryPoints{};
    if (input.environment != nullptr)
        setenv("GL_TEXTURE_OBJECT", input.environment, 1);
    else
        unsetenv("GL_TEXTURE_OBJECT");
    recorder::OverrideString(GL_VENDOR, input.vendor);
    recorder::OverrideString(GL_VERSION, input.version);
    if (input.extensions != nullptr)
        recorder::OverrideString(GL_EXTENSIONS, input.extensions);
    else
        recorder::NullString(GL_EXTENSIONS);
    ProbeCapabilities();
    recorder::OverrideString(GL_VENDOR, nullptr);
    recorder::OverrideString(GL_VERSION, nullptr);
    recorder::OverrideString(GL_EXTENSIONS, nullptr);
    unsetenv("GL_TEXTURE_OBJECT");
    switch (expected.path) {
    case Path::Core:
        ExpectCoreEntryPoints();
        break;
    case Path::Nothing:
        ExpectNothingSet();
        break;
    case Path::Extensions:
        EXPECT_EQ(capabilities.vertexPointer, nullptr);
        EXPECT_EQ(capabilities.vertexPointerExt != nullptr, expected.vertexArrays);
        EXPECT_EQ(capabilities.arrayElement != nullptr, expected.vertexArrays);
        EXPECT_EQ(capabilities.bindTexture != nullptr, expected.textureObjects);
        EXPECT_EQ(capabilities.genTextures != nullptr, expected.textureObjects);
        EXPECT_EQ(capabilities.deleteTextures != nullptr, expected.textureObjects);
        break;
    }
}

// Every class of each input of the probe: the variable unset, 0, 1, other
// numbers and text that is no number; the vendor in any case and names that
// only begin or end like it; versions 1.0, 1.1, 1.2, 2.0, without a dot
// and with a dot at the end; extension lists with one, both, longer names
// and none. The probe runs again on one context, from null entry points.
TEST(ProbeCore, EveryClassOfEachInput)
{
    ASSERT_FALSE(Version10());
    ExpectNothingProbedYet();
    TestChannel channel;
    ASSERT_EQ(channel.open(), 0);
    const char* both = "GL_EXT_abgr GL_EXT_vertex_array GL_EXT_texture_object";
    const ProbeOutcome withTextures{Path::Extensions, true, true}, withoutTextures{Path::Extensions, true, false};

    // GL_TEXTURE_OBJECT read as a decimal number.
    ExpectProbe({"Mesa", nullptr, "1.0", both}, withTextures);
    ExpectProbe({"Mesa", "0", "1.0", both}, withoutTextures);
    ExpectProbe({"Mesa", "00", "1.0", both}, withoutTextures);
    ExpectProbe({"Mesa", "", "1.0", both}, withoutTextures);
    ExpectProbe({"Mesa", "yes", "1.0", both}, withoutTextures);
    ExpectProbe({"Mesa", "0x10", "1.0", both}, withoutTextures);
    ExpectProbe({"Mesa", "1", "1.0", both}, withTextures);
    ExpectProbe({"Mesa", "2", "1.0", both}, withTextures);
    ExpectProbe({"Mesa", "-1", "1.0", both}, withTextures);
    ExpectProbe({"Mesa", "12abc", "1.0", both}, withTextures);

    // The vendor 3Dlabs in any case refuses, whatever the variable says;
    // only the whole name counts.
    ExpectProbe({"3Dlabs", nullptr, "1.0", both}, withoutTextures);
    ExpectProbe({"3DLABS", "1", "1.0", both}, withoutTextures);
    ExpectProbe({"3dlabs", nullptr, "1.0", both}, withoutTextures);
    ExpectProbe({"3dLaBs", nullptr, "1.0", both}, withoutTextures);
    ExpectProbe({"3Dlabs Inc.", nullptr, "1.0", both}, withTextures);
    ExpectProbe({"3Dlab", nullptr, "1.0", both}, withTextures);
    ExpectProbe({"Not 3Dlabs", nullptr, "1.0", both}, withTextures);

    // The digit right after the first dot decides: 0 is 1.0, anything
    // else (or no dot) 1.1 or later, where vendor and variable play no part.
    ExpectProbe({"Mesa", nullptr, "1.0.5 Mesa", both}, withTextures);
    ExpectProbe({"Mesa", nullptr, "2.0", both}, withTextures);
    ExpectProbe({"Mesa", nullptr, "1.1", both}, {Path::Core, false, false});
    ExpectProbe({"Mesa", nullptr, "1.1.0", both}, {Path::Core, false, false});
    ExpectProbe({"3Dlabs", "0", "1.2", both}, {Path::Core, false, false});
    ExpectProbe({"Mesa", nullptr, "2.1 Mesa", both}, {Path::Core, false, false});
    ExpectProbe({"Mesa", nullptr, "2", both}, {Path::Core, false, false});
    ExpectProbe({"Mesa", nullptr, "1.", both}, {Path::Core, false, false});

    // On 1.0 each extension gives its own entry points; a name that only
    // begins with a tested one counts, one that stops short does not.
    ExpectProbe({"Mesa", nullptr, "1.0", "GL_EXT_texture_object"}, {Path::Extensions, false, true});
    ExpectProbe({"Mesa", nullptr, "1.0", "GL_EXT_vertex_array"}, withoutTextures);
    ExpectProbe({"Mesa", nullptr, "1.0", "GL_EXT_vertex_arrays GL_EXT_texture_object_x"}, withTextures);
    ExpectProbe({"Mesa", nullptr, "1.0", "GL_EXT_vertex_arra GL_EXT_texture_objec"}, {Path::Nothing, false, false});
    ExpectProbe({"Mesa", nullptr, "1.0", ""}, {Path::Nothing, false, false});
    ExpectProbe({"Mesa", nullptr, "1.0", nullptr}, {Path::Nothing, false, false});
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
    ASSERT_NE(capabilities.genTextures, nullptr);
    ASSERT_NE(capabilities.deleteTextures, nullptr);
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
