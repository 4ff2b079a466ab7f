// Defining textures and backdrops as a host does (DefineTexture with a new
// image, redefining the same id), against a raw baseline that does the
// necessary work in plain C++ in the same run: allocate, convert or resample,
// upload into a new texture object (or compile it into a display list),
// free. Process CPU time; prints the driver/raw ratios at the end.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "driver/probe.h"
#include "texture/texture_store.h"
#include "zqgd/platform.h"

namespace {

// A source layout: bytes per pixel and masks, named in memory order.
struct Layout {
    const char* name;
    uint32_t bits, red, green, blue;
};

const Layout kLayouts[] = {{"RGB24", 24, 0xFF, 0xFF00, 0xFF0000},  {"BGR24", 24, 0xFF0000, 0xFF00, 0xFF},
                           {"RGBA32", 32, 0xFF, 0xFF00, 0xFF0000}, {"BGRA32", 32, 0xFF0000, 0xFF00, 0xFF},
                           {"RGB565", 16, 0xF800, 0x07E0, 0x001F}, {"RGB555", 15, 0x7C00, 0x03E0, 0x001F},
                           {"RGB332", 8, 0xE0, 0x1C, 0x03}};
constexpr int kLayoutCount = sizeof kLayouts / sizeof kLayouts[0];

enum Target { kTextureObject, kDisplayList, kBackdrop, kTargetCount };
const char* const kTargetNames[kTargetCount] = {"object", "list", "backdrop"};

struct Size {
    uint32_t width, height;
};
const Size kSizes[] = {{1024, 1024}, {1000, 700}};

// One image per layout and size, filled with noise.
struct SourceImage {
    std::vector<uint8_t> pixels;
    Bitmap bitmap{};
    SourceImage(const Layout& layout, Size size)
    {
        uint32_t bytes = (layout.bits + 7) / 8;
        bitmap = {nullptr,     size.width * bytes, size.width,         size.height, layout.bits,
                  bytes,       layout.red,         ZqMLSB(layout.red), ZqMBitCount(layout.red),
                  layout.green, ZqMLSB(layout.green), ZqMBitCount(layout.green), layout.blue,
                  ZqMLSB(layout.blue), ZqMBitCount(layout.blue), 0};
        pixels.resize(size_t{bitmap.bytesPerLine} * size.height);
        std::mt19937 random(7);
        for (uint8_t& byte : pixels) byte = static_cast<uint8_t>(random());
        bitmap.pixels = pixels.data();
    }
};

// A channel on a small window; the probe's entry points are saved, so that
// the display-list cases can switch texture objects off and on again.
struct Bench {
    HWND window = nullptr;
    ChannelRecord channel{};
    ChannelRequest request{};
    ChannelOps ops{};
    CapabilityEntryPoints probed{};

    Bench()
    {
        ZqHostSetStrict(0);  // a release host: no fill of fresh blocks
        window = ZqCreateWindow(64, 64, "bench");
        request = {0, 64, 64, 0, 0, 2, 0, 0, &window};
        if (ZqGDOpenChannel(&channel, &request, &ops, nullptr) != 0) std::abort();
        probed = capabilities;
    }
    void usePath(Target target)
    {
        capabilities = probed;
        if (target == kDisplayList) {
            capabilities.genTextures = nullptr;
            capabilities.bindTexture = nullptr;
            capabilities.deleteTextures = nullptr;
        }
    }
};

Bench& TheBench()
{
    static Bench bench;
    return bench;
}

// ---- The raw baseline: straightforward C++ for the same result -----------

// One source pixel as RGBA, red in the lowest byte, written the plain way:
// fields taken out with constant shifts and widened with constant divisions.
template <int Layout>
uint32_t RgbaOf(const uint8_t* p)
{
    uint32_t v;
    switch (Layout) {
    case 0: return p[0] | p[1] << 8 | p[2] << 16 | 0xFF000000u;
    case 1: return p[2] | p[1] << 8 | p[0] << 16 | 0xFF000000u;
    case 2: std::memcpy(&v, p, 4); return v | 0xFF000000u;
    case 3: std::memcpy(&v, p, 4); return (v >> 16 & 0xFF) | (v & 0xFF00) | (v & 0xFF) << 16 | 0xFF000000u;
    case 4:
        v = uint32_t{p[0]} | uint32_t{p[1]} << 8;
        return ((v >> 11) * 255 + 15) / 31 | (((v >> 5) & 63) * 255 + 31) / 63 << 8 | ((v & 31) * 255 + 15) / 31 << 16 |
               0xFF000000u;
    case 5:
        v = uint32_t{p[0]} | uint32_t{p[1]} << 8;
        return (((v >> 10) & 31) * 255 + 15) / 31 | (((v >> 5) & 31) * 255 + 15) / 31 << 8 |
               ((v & 31) * 255 + 15) / 31 << 16 | 0xFF000000u;
    default:
        v = p[0];
        return ((v >> 5) * 255 + 3) / 7 | (((v >> 2) & 7) * 255 + 3) / 7 << 8 | ((v & 3) * 255 + 1) / 3 << 16 |
               0xFF000000u;
    }
}

using RgbaReader = uint32_t (*)(const uint8_t*);

RgbaReader ReaderOf(int layout)
{
    const RgbaReader readers[kLayoutCount] = {RgbaOf<0>, RgbaOf<1>, RgbaOf<2>, RgbaOf<3>,
                                              RgbaOf<4>, RgbaOf<5>, RgbaOf<6>};
    return readers[layout];
}

// The plain loop, with the pixel size known to the compiler.
template <int Layout>
void ConvertRaw(const Bitmap& source, uint32_t* out, bool flip)
{
    constexpr size_t kBytes = Layout < 2 ? 3 : 4;
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(source.pixels) + size_t{y} * source.bytesPerLine;
        uint32_t* to = out + size_t{flip ? source.height - 1 - y : y} * source.width;
        for (uint32_t x = 0; x < source.width; ++x) to[x] = RgbaOf<Layout>(row + x * kBytes);
    }
}

// Pixels of one or two bytes go through a table of every pixel value.
template <int Layout, uint32_t Bytes>
void ConvertThroughTable(const Bitmap& source, uint32_t* out, bool flip)
{
    std::vector<uint32_t> table(size_t{1} << (8 * Bytes));
    for (uint32_t value = 0; value < table.size(); ++value) {
        const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
        table[value] = RgbaOf<Layout>(bytes);
    }
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(source.pixels) + size_t{y} * source.bytesPerLine;
        uint32_t* to = out + size_t{flip ? source.height - 1 - y : y} * source.width;
        for (uint32_t x = 0; x < source.width; ++x)
            to[x] = table[Bytes == 1 ? row[x] : uint32_t{row[2 * x]} | uint32_t{row[2 * x + 1]} << 8];
    }
}

void ConvertRaw(int layout, const Bitmap& source, uint32_t* out, bool flip)
{
    using Converter = void (*)(const Bitmap&, uint32_t*, bool);
    const Converter converters[kLayoutCount] = {ConvertRaw<0>,
                                                ConvertRaw<1>,
                                                ConvertRaw<2>,
                                                ConvertRaw<3>,
                                                ConvertThroughTable<4, 2>,
                                                ConvertThroughTable<5, 2>,
                                                ConvertThroughTable<6, 1>};
    converters[layout](source, out, flip);
}

// Separable area-averaging shrink into RGBA: weights per axis, rows across
// into floats, then down.
struct Taps {
    std::vector<uint32_t> first, index;
    std::vector<float> weight;
    Taps(uint32_t from, uint32_t to)
    {
        double scale = double(from) / to;
        for (uint32_t i = 0; i < to; ++i) {
            first.push_back(uint32_t(index.size()));
            double start = i * scale, end = start + scale;
            for (uint32_t j = uint32_t(start); j < from && j < end; ++j) {
                double overlap = std::fmin(end, j + 1.0) - std::fmax(start, double(j));
                if (overlap > 0) {
                    index.push_back(j);
                    weight.push_back(float(overlap / scale));
                }
            }
        }
        first.push_back(uint32_t(index.size()));
    }
};

void ShrinkRaw(int layout, const Bitmap& source, uint32_t width, uint32_t height, uint32_t* out)
{
    Taps across(source.width, width), down(source.height, height);
    RgbaReader read = ReaderOf(layout);
    uint32_t bytes = source.bytesPerPixel;
    std::vector<float> rows(size_t{width} * 3 * source.height);
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(source.pixels) + size_t{y} * source.bytesPerLine;
        float* to = &rows[size_t{y} * width * 3];
        for (uint32_t x = 0; x < width; ++x) {
            float sum[3] = {0, 0, 0};
            for (uint32_t t = across.first[x]; t < across.first[x + 1]; ++t) {
                uint32_t rgba = read(row + size_t{across.index[t]} * bytes);
                for (int c = 0; c < 3; ++c) sum[c] += across.weight[t] * float((rgba >> (8 * c)) & 0xFF);
            }
            std::memcpy(to + x * 3, sum, sizeof sum);
        }
    }
    std::vector<float> sum(size_t{width} * 3);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (uint32_t t = down.first[y]; t < down.first[y + 1]; ++t) {
            const float* row = &rows[size_t{down.index[t]} * width * 3];
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += down.weight[t] * row[i];
        }
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t pixel = 0xFF000000u;
            for (int c = 0; c < 3; ++c) pixel |= uint32_t(std::lround(sum[x * 3 + c])) << (8 * c);
            out[size_t{y} * width + x] = pixel;
        }
    }
}

void UploadRaw(Target target, const uint32_t* pixels, uint32_t width, uint32_t height, GLuint& name)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(width));
    if (target == kTextureObject) {
        GLuint previous = name;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(width), GLsizei(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (previous != 0) glDeleteTextures(1, &previous);
    } else {
        if (name == 0) name = glGenLists(1);
        glNewList(name, GL_COMPILE);
        glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(width), GLsizei(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glEndList();
    }
}

// The minor page faults of the process so far; a case reports those of
// its timed iterations, per iteration.
long PageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void ReportPageFaults(benchmark::State& state, long before)
{
    state.counters["faults"] = benchmark::Counter(double(PageFaults() - before), benchmark::Counter::kAvgIterations);
}

uint32_t PowerOfTwoBelow(uint32_t side) { return 1u << (31 - __builtin_clz(side)); }

// Arguments: layout, size, target.
void Raw(benchmark::State& state)
{
    int layout = int(state.range(0));
    Size size = kSizes[state.range(1)];
    auto target = Target(state.range(2));
    Bench& bench = TheBench();
    bench.usePath(kTextureObject);
    SourceImage image(kLayouts[layout], size);
    GLuint name = 0;
    long faults = PageFaults();
    for (auto _ : state) {
        bool backdrop = target == kBackdrop;
        uint32_t width = backdrop ? size.width : PowerOfTwoBelow(size.width);
        uint32_t height = backdrop ? size.height : PowerOfTwoBelow(size.height);
        auto* pixels = static_cast<uint32_t*>(std::malloc(size_t{width} * height * 4));
        if (width == size.width && height == size.height)
            ConvertRaw(layout, image.bitmap, pixels, backdrop);
        else
            ShrinkRaw(layout, image.bitmap, width, height, pixels);
        if (!backdrop) UploadRaw(target, pixels, width, height, name);
        benchmark::DoNotOptimize(pixels[0]);
        std::free(pixels);
    }
    ReportPageFaults(state, faults);
    if (target == kTextureObject && name != 0) glDeleteTextures(1, &name);
    if (target == kDisplayList && name != 0) glDeleteLists(name, 1);
    glFinish();
}

void Driver(benchmark::State& state)
{
    int layout = int(state.range(0));
    Size size = kSizes[state.range(1)];
    auto target = Target(state.range(2));
    Bench& bench = TheBench();
    bench.usePath(target);
    SourceImage image(kLayouts[layout], size);
    TextureDefinition definition{};
    definition.image = image.bitmap;
    definition.operation = target == kBackdrop ? ZQGD_DEFINE_BACKDROP : ZQGD_DEFINE_TEXTURE;
    definition.flags = ZQGD_TEXTURE_MODULATE | ZQGD_TEXTURE_LINEAR;
    definition.keyRed = 256;
    definition.textureMatrix[0] = definition.textureMatrix[4] = definition.textureMatrix[8] = 1;
    definition.angularWidth = 1;
    long faults = PageFaults();
    for (auto _ : state) {
        if (bench.ops.DefineTexture(&bench.channel, 1, &definition, 1) != 0) state.SkipWithError("refused");
    }
    ReportPageFaults(state, faults);
    bench.ops.DeleteTexture(&bench.channel, 1);
    bench.usePath(kTextureObject);
    glFinish();
}

std::string CaseName(int layout, int size, int target)
{
    return std::string(kLayouts[layout].name) + "/" + (size == 0 ? "1024x1024" : "1000x700") + "/" +
           kTargetNames[target];
}

// Prints the driver / raw ratios and both sides' page faults after the run.
class RatioReporter : public MedianReporter {
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %10s %10s %7s %14s\n", "case", "driver ms", "raw ms", "ratio", "faults d/raw");
        for (int target = 0; target < kTargetCount; ++target)
            for (int size = 0; size < 2; ++size)
                for (int layout = 0; layout < kLayoutCount; ++layout) {
                    std::string args =
                        "/" + std::to_string(layout) + "/" + std::to_string(size) + "/" + std::to_string(target);
                    const Run* driver = kept("Driver" + args);
                    const Run* raw = kept("Raw" + args);
                    if (driver == nullptr || raw == nullptr) continue;
                    double driverTime = driver->GetAdjustedCPUTime(), rawTime = raw->GetAdjustedCPUTime();
                    std::printf("%-28s %10.3f %10.3f %7.2f %7.0f/%-6.0f\n", CaseName(layout, size, target).c_str(),
                                driverTime, rawTime, driverTime / rawTime, Faults(*driver), Faults(*raw));
                }
    }

private:
    static double Faults(const Run& run)
    {
        auto faults = run.counters.find("faults");
        return faults != run.counters.end() ? faults->second.value : 0;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // A lean allocator for both sides: blocks of any size come from the heap
    // and freed memory stays there, so that neither pays page faults for
    // memory that glibc maps and unmaps by its own history.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    for (int target = 0; target < kTargetCount; ++target)
        for (int size = 0; size < 2; ++size)
            for (int layout = 0; layout < kLayoutCount; ++layout)
                for (auto* benchmark :
                     {benchmark::RegisterBenchmark("Raw", Raw), benchmark::RegisterBenchmark("Driver", Driver)})
                    benchmark->Args({layout, size, target})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
