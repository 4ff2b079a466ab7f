// The checked module as a host loads it: each rule, broken by a small misuse,
// is reported once, with its level, operation and tag; the driver alone,
// given the same misuse, returns what the layer returns and prints nothing.
// Both modules are loaded with dlopen, as a host loads them, under the
// strict host.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch_folder.h"
#include "support/test_object.h"
#include "zqgd/driver.h"
#include "zqgd/platform.h"
#include "zqgd/texture.h"
#include "zqgd/view.h"

namespace {

ZqGDOpenChannelFunction EntryOf(const std::string& path)
{
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return module == nullptr ? nullptr : reinterpret_cast<ZqGDOpenChannelFunction>(dlsym(module, "ZqGDOpenChannel"));
}

// A copy of the checked module in a folder without the driver, loaded once.
ZqGDOpenChannelFunction CheckedModuleAlone()
{
    static ScratchFolder alone("checked-alone");
    static ZqGDOpenChannelFunction entry = [] {
        std::filesystem::copy_file(ZQGD_CHECKED_MODULE_FILE, alone / "libzqgd-checked.so");
        return EntryOf(alone / "libzqgd-checked.so");
    }();
    return entry;
}

int32_t Refuse(int32_t, TextureDefinition*) { return 1; }

// A host in the middle of a frame: a window, a channel and a view opened
// through one module, a material table and a quad in front of the eye.
struct Host {
    explicit Host(ZqGDOpenChannelFunction entry) : open(entry)
    {
        window = ZqCreateWindow(32, 32, "checked");
        request = {0, 32, 32, 0, 0, ZQGD_DOUBLE_BUFFERED, 0, 0, &window};
        if (open(&channel, &request, &ops, Refuse) != 0) return;
        descriptor.nearPlane = 0.1f;
        descriptor.farPlane = 100.0f;
        descriptor.fieldOfView = 1.0f;
        view = {nullptr, &selection, 0, &descriptor, &channel};
        if (ops.OpenView(&view, &viewOps) != 0) return;
        const BackgroundRecord background{0, {0, 0, 0}, 0};
        viewOps.SetBackground(&view, &background);
        viewOps.SetViewSize(&view, 32, 32);
        viewOps.SetRenderMode(&view, ZQGD_MODE_UNLIT);
        begin();
        object.square(1, 5);
        object.finish();
        ready = true;
    }
    ~Host()
    {
        viewOps.CloseView(&view);
        ops.CloseChannel(&channel);
        ZqDestroyWindow(window);
    }
    void begin(const float* matrix = kIdentity) { viewOps.BeginView(&view, 0, matrix, ZQGD_CLEAR_COLOUR); }
    void draw() { viewOps.DrawPolygons(&view, nullptr, &object.block); }
    // A texture map of the given size in 32-bit RGBA, used in place.
    TextureDefinition texture(uint32_t width, uint32_t height)
    {
        texels.assign(size_t{width} * height, 0xFF808080u);
        TextureDefinition definition{};
        definition.image = {texels.data(), width * 4, width, height,   32, 4, 0xFF, 0, 8,
                            0xFF00,        8,         8,     0xFF0000, 16, 8, 0};
        definition.operation = ZQGD_DEFINE_TEXTURE;
        definition.keyRed = 256;
        definition.textureMatrix[0] = definition.textureMatrix[4] = definition.textureMatrix[8] = 1;
        return definition;
    }
    int32_t define(int32_t id, TextureDefinition definition) { return ops.DefineTexture(&channel, id, &definition, 1); }

    static constexpr float kIdentity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    ZqGDOpenChannelFunction open;
    bool ready = false;
    HWND window = nullptr;
    ChannelRequest request{};
    ChannelRecord channel{};
    ChannelOps ops{};
    ViewDescriptor descriptor{};
    MaterialSelection selection{0, 0, 0};
    ViewRecord view{};
    ViewOps viewOps{};
    TestMaterials materials{2};
    TestObject object;
    std::vector<uint32_t> texels;
};

struct Row {
    const char* tag;
    const char* level;
    const char* operation;
    bool comparable;  // the driver alone survives the misuse: the layer returns what it returns
    int32_t (*misuse)(Host& host);
};

const Row kRows[] = {
    {"closed-channel", "warning", "EndFrame", true,
     [](Host& h) {
         h.ops.CloseChannel(&h.channel);
         return h.ops.EndFrame(&h.channel);
     }},
    {"closed-view", "warning", "SetViewSize", true,
     [](Host& h) {
         h.viewOps.CloseView(&h.view);
         return h.viewOps.SetViewSize(&h.view, 8, 8);
     }},
    {"foreign-channel", "error", "BeginView", true,
     [](Host& h) {
         Host other(h.open);
         other.ops.CloseChannel(&other.channel);
         h.view.channel = &other.channel;  // the crash the driver had
         h.begin();
         h.view.channel = &h.channel;
         return 0;
     }},
    {"window-destroyed", "error", "EndFrame", true,
     [](Host& h) {
         ZqDestroyWindow(h.window);
         h.window = nullptr;
         return h.ops.EndFrame(&h.channel);
     }},
    {"draw-outside-frame", "error", "DrawPolygons", true,
     [](Host& h) {
         h.ops.EndFrame(&h.channel);
         h.draw();
         return 0;
     }},
    {"overlay-outside-frame", "error", "DrawLine", true,
     [](Host& h) {
         const int32_t from[2] = {0, 0}, to[2] = {9, 9};
         h.ops.EndFrame(&h.channel);
         h.ops.DrawLine(&h.channel, from, to);
         return 0;
     }},
    {"missing-record", "error", "DrawPolygons", false,
     [](Host& h) {
         h.object.block.objectMatrix = nullptr;
         h.draw();
         return 0;
     }},
    {"vertex-index", "error", "DrawPolygons", false,
     [](Host& h) {
         h.object.polygons[0].corners[2].vertexIndex = 99;
         h.draw();
         return 0;
     }},
    {"not-finite", "error", "BeginView", true,
     [](Host& h) {
         const float matrix[12] = {1, 0, 0, NAN, 0, 1, 0, 0, 0, 0, 1, 0};
         h.begin(matrix);
         return 0;
     }},
    {"corner-count", "warning", "DrawPolygons", true,
     [](Host& h) {
         h.object.polygons[0].vertexCount = 5;
         h.draw();
         return 0;
     }},
    {"material-index", "warning", "DrawPolygons", true,
     [](Host& h) {
         h.selection.usePolygonMaterial = 1;
         h.object.polygons[0].materialIndex = 9;
         h.draw();
         return 0;
     }},
    {"material-table", "error", "DrawPolygons", true,
     [](Host& h) {
         _ZqGmaterials = {0, nullptr};
         h.draw();
         h.materials.install();
         return 0;
     }},
    {"unknown-texture", "warning", "DeleteTexture", true,
     [](Host& h) {
         h.ops.DeleteTexture(&h.channel, 77);
         return 0;
     }},
    {"texture-operation", "warning", "DefineTexture", true,
     [](Host& h) {
         TextureDefinition definition = h.texture(2, 2);
         definition.operation = 7;
         return h.define(3, definition);
     }},
    {"bitmap-fields", "error", "DefineTexture", true,
     [](Host& h) {
         TextureDefinition definition = h.texture(2, 2);
         definition.image.greenShift = 3;
         return h.define(3, definition);
     }},
    {"id-zero", "error", "DefineTexture", true, [](Host& h) { return h.define(0, h.texture(2, 2)); }},
    {"degenerate-matrix", "warning", "DefineTexture", true,
     [](Host& h) {
         TextureDefinition definition = h.texture(2, 2);
         definition.textureMatrix[4] = 0;  // t' no longer depends on t
         return h.define(3, definition);
     }},
    {"zero-key", "warning", "DefineTexture", true,
     [](Host& h) {
         TextureDefinition definition = h.texture(2, 2);
         definition.keyRed = 0;
         return h.define(3, definition);
     }},
    {"loader-refused", "warning", "TextureLoadCallback", true,
     [](Host& h) {
         h.materials.entries[1].textured = 1;
         h.materials.entries[1].textureId = 9;
         h.selection.defaultMaterial = 1;
         h.draw();
         return 0;
     }},
    {"view-volume", "error", "BeginView", true,
     [](Host& h) {
         h.descriptor.farPlane = 0.1f;
         h.begin();
         return 0;
     }},
    // Wider than any GL's largest texture: glTexImage2D refuses it.
    {"gl-error", "error", "DefineTexture", true, [](Host& h) { return h.define(3, h.texture(1u << 20, 1)); }},
    {"driver-missing", "error", "ZqGDOpenChannel", false,
     [](Host& h) {
         ChannelRecord channel{};
         ChannelOps ops{};
         return CheckedModuleAlone()(&channel, &h.request, &ops, nullptr);
     }},
};

// Standard error of the process written into a file while it lives.
class CapturedErrors {
public:
    explicit CapturedErrors(const std::string& path) : saved_(dup(STDERR_FILENO)), path_(path)
    {
        std::fflush(stderr);
        FILE* file = std::fopen(path.c_str(), "w");
        dup2(fileno(file), STDERR_FILENO);
        std::fclose(file);
    }
    ~CapturedErrors()
    {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    std::string text() const
    {
        std::fflush(stderr);
        std::stringstream contents;
        contents << std::ifstream(path_).rdbuf();
        return contents.str();
    }

private:
    int saved_;
    std::string path_;
};

class CheckedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch = new ScratchFolder("checked");
        setenv("ZQGD_CHECKED_LOG", (*scratch / "reports.log").c_str(), 1);
        plain = EntryOf(ZQGD_MODULE_FILE);
        checked = EntryOf(ZQGD_CHECKED_MODULE_FILE);
    }
    static void TearDownTestSuite() { delete scratch; }

    // The lines the layer wrote since the last call, summaries among them or not.
    std::vector<std::string> NewLines(bool summaries)
    {
        std::ifstream log(*scratch / "reports.log");
        log.seekg(read_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line); read_ += static_cast<std::streamoff>(line.size()) + 1)
            if (summaries || line.find(": summary: ") == std::string::npos) lines.push_back(line);
        return lines;
    }

    static ScratchFolder* scratch;
    static ZqGDOpenChannelFunction plain, checked;
    std::streamoff read_ = 0;
};

ScratchFolder* CheckedTest::scratch = nullptr;
ZqGDOpenChannelFunction CheckedTest::plain = nullptr;
ZqGDOpenChannelFunction CheckedTest::checked = nullptr;

// Each misuse runs twice through the layer, on a fresh host each time: one
// line, the repeat only counted. Then once through the driver alone.
TEST_F(CheckedTest, EachRuleIsReportedOnceWithItsLevelAndTheDriverAloneBehavesAsBefore)
{
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(checked, nullptr);
    NewLines(true);
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.tag);
        int32_t outcome = -1;
        for (int run = 0; run < 2; ++run) {
            Host host(checked);
            ASSERT_TRUE(host.ready);
            outcome = row.misuse(host);
        }
        std::vector<std::string> reports = NewLines(false);
        ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(reports);
        const std::string start = std::string("zqgd-checked: ") + row.level + ": " + row.operation + ": ";
        const std::string end = std::string(" [") + row.tag + "]";
        EXPECT_EQ(reports[0].rfind(start, 0), 0u) << reports[0];
        EXPECT_TRUE(reports[0].ends_with(end)) << reports[0];
        if (!row.comparable) continue;
        CapturedErrors errors(*scratch / (std::string(row.tag) + ".stderr"));
        Host host(plain);
        ASSERT_TRUE(host.ready);
        EXPECT_EQ(row.misuse(host), outcome);
        EXPECT_EQ(errors.text(), "") << "the driver prints nothing";
    }
    EXPECT_EQ(NewLines(true), std::vector<std::string>{}) << "the driver alone reports nothing";
}

// CloseChannel sums up what was reported of the channel, repeats included.
TEST_F(CheckedTest, CloseChannelSumsUpTheChannelsReports)
{
    NewLines(true);
    {
        Host host(checked);
        ASSERT_TRUE(host.ready);
        host.ops.EndFrame(&host.channel);
        for (int i = 0; i < 3; ++i) host.draw();
        host.ops.DeleteTexture(&host.channel, 77);
    }
    std::vector<std::string> summary = NewLines(true);
    ASSERT_GE(summary.size(), 2u);
    EXPECT_TRUE(summary[summary.size() - 2].ends_with(": 3 errors, 1 warnings")) << summary[summary.size() - 2];
    EXPECT_EQ(summary.back(),
              "zqgd-checked: summary: CloseChannel:   DrawPolygons: error 3 times [draw-outside-frame]");
}

// ZQGD_CHECKED_BREAK stops the program at the first error, for a debugger
// (a fresh copy of the module reads the setting, on standard error).
TEST_F(CheckedTest, BreakStopsAtTheFirstError)
{
    ScratchFolder alone("checked-break");
    std::filesystem::copy_file(ZQGD_CHECKED_MODULE_FILE, alone / "libzqgd-checked.so");
    EXPECT_DEATH(
        {
            setenv("ZQGD_CHECKED_BREAK", "1", 1);
            setenv("ZQGD_CHECKED_LOG", "", 1);
            EntryOf(alone / "libzqgd-checked.so")(nullptr, nullptr, nullptr, nullptr);
        },
        "zqgd-checked: error: ZqGDOpenChannel: .* \\[driver-missing\\]");
}

}  // namespace
