// A Windows host's first steps with zqgd.dll, run under Wine: load the
// module, describe it, open a channel on a real window with the format the
// scan picks, clear a view and read it back, swap, close, and find nothing
// left behind. Then zqgd-checked.dll in its place: it loads the driver beside
// it and reports a misuse in one line. Prints what it saw; exits 1 when
// something is wrong.
#include <windows.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "zqgd/driver.h"
#include "zqgd/host.h"
#include "zqgd/view.h"

namespace {

bool failed = false;

void Check(bool ok, const char* what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    failed |= !ok;
}

HWND MakeWindow(int width, int height)
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "zqgd smoke";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "zqgd smoke", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

// A fresh folder of the run's own under the temp folder: the unique file
// name Windows makes, turned into a folder.
std::string FreshFolder()
{
    char base[MAX_PATH], name[MAX_PATH];
    if (GetTempPathA(sizeof base, base) == 0 || GetTempFileNameA(base, "zqc", 0, name) == 0) return "";
    DeleteFileA(name);
    return CreateDirectoryA(name, nullptr) ? name : "";
}

// Overlay drawing outside BeginView ... EndFrame through zqgd-checked.dll:
// an error line naming DrawLine, and the close's summary. (Without a view
// the overlay's extent is empty, and GL refuses its projection: a second
// report, of the GL error DrawLine left.)
void CheckedModuleReportsAMisuse()
{
    std::string folder = FreshFolder();
    std::string log = folder + "\\checked.log";
    _putenv(("ZQGD_CHECKED_LOG=" + log).c_str());
    HMODULE module = LoadLibraryA("zqgd-checked.dll");
    Check(module != nullptr, "zqgd-checked.dll loads");
    auto open = reinterpret_cast<ZqGDOpenChannelFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ZqGDOpenChannel")));
    HWND window = MakeWindow(64, 48);
    ChannelRecord channel{};
    ChannelRequest request{0, 64, 48, 0, 0, 2, 0, 0, &window};
    ChannelOps ops{};
    Check(open != nullptr && open(&channel, &request, &ops, nullptr) == 0, "a channel opens through zqgd-checked.dll");
    if (channel.driverState != nullptr) {
        const int32_t from[2] = {0, 0}, to[2] = {10, 10};
        ops.DrawLine(&channel, from, to);
        ops.CloseChannel(&channel);
    }
    std::stringstream reports;
    reports << std::ifstream(log).rdbuf();
    std::printf("%s", reports.str().c_str());
    Check(reports.str().find("zqgd-checked: error: DrawLine: ") != std::string::npos &&
              reports.str().find(" [overlay-outside-frame]\n") != std::string::npos,
          "the misuse is reported");
    Check(reports.str().find("zqgd-checked: summary: CloseChannel: channel ") != std::string::npos,
          "the close sums up the reports");
    DestroyWindow(window);
    FreeLibrary(module);
    DeleteFileA(log.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main()
{
    HMODULE module = LoadLibraryA("zqgd.dll");
    Check(module != nullptr, "zqgd.dll loads");
    if (module == nullptr) return 1;
    auto describe = reinterpret_cast<ZqGDDescriptionFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ZqGDDescription")));
    auto open = reinterpret_cast<ZqGDOpenChannelFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ZqGDOpenChannel")));
    Check(describe != nullptr && open != nullptr, "both entry points are exported");
    if (describe == nullptr || open == nullptr) return 1;

    uint32_t blocks = MMLiveBlocks();
    DriverDescription description{};
    describe(&description);
    Check(description.description != nullptr && description.modeCount == 2, "the description has text and modes");
    if (description.description != nullptr) std::printf("     %s\n", description.description);
    MMfree(description.description);
    MMfree(description.modes);

    HWND window = MakeWindow(64, 48);
    Check(window != nullptr, "a window is created");
    ChannelRecord channel{};
    ChannelRequest request{0, 64, 48, 0, 0, 2, 0, 0, &window};
    ChannelOps ops{};
    Check(open(&channel, &request, &ops, nullptr) == 0, "the channel opens on the window");
    if (channel.driverState == nullptr) return 1;
    std::printf("     frame format: %u bits, red mask %08x\n", static_cast<unsigned>(channel.frameFormat.bitsPerPixel),
                static_cast<unsigned>(channel.frameFormat.redMask));
    Check(wglGetCurrentContext() != nullptr, "its context is current");

    ViewDescriptor descriptor{};
    descriptor.nearPlane = 0.1f;
    descriptor.farPlane = 100.0f;
    descriptor.fieldOfView = 1.0f;
    ViewRecord view{nullptr, nullptr, 0, &descriptor, &channel};
    ViewOps viewOps{};
    Check(ops.OpenView(&view, &viewOps) == 0, "a view opens");
    viewOps.SetViewSize(&view, 64, 48);
    BackgroundRecord background{0, {1.0f, 0.0f, 0.0f}, 0};
    viewOps.SetBackground(&view, &background);
    viewOps.SetRenderMode(&view, ZQGD_MODE_UNLIT);
    const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    viewOps.BeginView(&view, 0, identity, ZQGD_CLEAR_COLOUR | ZQGD_CLEAR_DEPTH);
    Bitmap pixels{};
    Check(viewOps.ReadPixels(&view, &pixels) == 0 && pixels.pixels != nullptr, "the view reads back");
    if (pixels.pixels != nullptr) {
        const auto* p = static_cast<const uint8_t*>(pixels.pixels) + 10 * pixels.bytesPerLine + 10 * 4;
        std::printf("     pixel (10, 10): %d %d %d\n", p[0], p[1], p[2]);
        Check(p[0] >= 250 && p[1] <= 5 && p[2] <= 5, "the view is cleared to its background colour");
        MMfree(pixels.pixels);
    }
    Check(ops.EndFrame(&channel) == 0, "the frame ends with a swap");
    viewOps.CloseView(&view);
    ops.CloseChannel(&channel);
    Check(wglGetCurrentContext() == nullptr, "no context is current after the close");
    Check(MMLiveBlocks() == blocks, "every block is given back");
    DestroyWindow(window);
    CheckedModuleReportsAMisuse();
    FreeLibrary(module);
    return failed ? 1 : 0;
}
