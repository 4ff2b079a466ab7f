// Loading BDF fonts: the driver's loader against FreeType's BDF driver on the
// same files, in the same run. The files are every font of Debian's
// xfonts-base, converted with pcf2bdf into a fresh temporary folder; one
// iteration loads all of them, whatever their cell size. Process CPU time;
// prints the FreeType/driver ratios at the end.
//
// Baselines: "FreeType" opens each file with the BDF driver (which parses
// every glyph and its bitmap at open) and loads the rendered monochrome
// bitmap of every code 0..255 the font has, the result the driver's loader
// delivers; "FreeTypeOpen" only opens and closes the face, the smallest
// work FreeType does on a file.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "overlay/bdf_font.h"
#include "zqgd/host.h"

namespace {

// The converted fonts, in a folder of their own made with mkdtemp and removed
// with everything in it at exit.
struct Fonts {
    std::filesystem::path folder;
    std::vector<std::string> paths;
    uintmax_t bytes = 0;

    Fonts()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zqgd-bdf-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        FILE* list = popen("dpkg -L xfonts-base | grep 'pcf.gz$'", "r");
        if (list == nullptr) std::abort();
        char line[512];
        while (std::fgets(line, sizeof line, list) != nullptr) {
            std::string pcf = line;
            pcf.erase(pcf.find_last_not_of('\n') + 1);
            std::string bdf = (folder / (std::to_string(paths.size()) + ".bdf")).string();
            if (std::system(("pcf2bdf -o " + bdf + " " + pcf).c_str()) != 0) continue;
            paths.push_back(bdf);
            bytes += std::filesystem::file_size(bdf);
        }
        pclose(list);
        if (paths.empty()) std::abort();
    }
    ~Fonts() { std::filesystem::remove_all(folder); }
};

Fonts& TheFonts()
{
    static Fonts fonts;
    return fonts;
}

FT_Library TheLibrary()
{
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0) std::abort();
        return made;
    }();
    return library;
}

void CountFiles(benchmark::State& state, const Fonts& fonts)
{
    state.counters["files"] = double(fonts.paths.size());
    state.counters["bytes/s"] = benchmark::Counter(double(fonts.bytes), benchmark::Counter::kIsIterationInvariantRate,
                                                   benchmark::Counter::kIs1024);
}

void Driver(benchmark::State& state)
{
    ZqHostSetStrict(0);  // a release host: no fill of fresh blocks
    const Fonts& fonts = TheFonts();
    for (auto _ : state) {
        for (const std::string& path : fonts.paths) {
            BitmapFont* font = LoadBdfFont(path.c_str());
            benchmark::DoNotOptimize(font);
            MMfree(font);
        }
    }
    CountFiles(state, fonts);
}

// Opens the face with the BDF driver named, so that no time goes to the
// other drivers' probes.
FT_Face OpenBdfFace(FT_Library library, const std::string& path)
{
    FT_Open_Args args{};
    args.flags = FT_OPEN_PATHNAME | FT_OPEN_DRIVER;
    args.pathname = const_cast<char*>(path.c_str());
    args.driver = FT_Get_Module(library, "bdf");
    FT_Face face = nullptr;
    return FT_Open_Face(library, &args, 0, &face) == 0 ? face : nullptr;
}

// Argument: 1 to load the bitmaps of codes 0..255, 0 to open the face only.
void FreeType(benchmark::State& state)
{
    const Fonts& fonts = TheFonts();
    FT_Library library = TheLibrary();
    bool loadGlyphs = state.range(0) != 0;
    for (auto _ : state) {
        for (const std::string& path : fonts.paths) {
            FT_Face face = OpenBdfFace(library, path);
            if (face == nullptr) {
                state.SkipWithError("FreeType refused a font");
                break;
            }
            for (FT_ULong code = 0; loadGlyphs && code < 256; ++code) {
                FT_UInt index = FT_Get_Char_Index(face, code);
                if (index == 0) continue;
                if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_MONOCHROME) != 0)
                    state.SkipWithError("FreeType refused a glyph");
                benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
            }
            FT_Done_Face(face);
        }
    }
    CountFiles(state, fonts);
}

// Prints the FreeType / driver ratios after the run.
class RatioReporter : public MedianReporter {
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const Run* driver = kept("Driver");
        if (driver == nullptr) return;
        double driverTime = driver->GetAdjustedCPUTime();
        std::printf("\n%-34s %10s %10s %7s\n", "baseline", "driver ms", "base ms", "ratio");
        for (const auto& [key, label] : {std::pair{"FreeType/1", "FreeType (open + codes 0..255)"},
                                         std::pair{"FreeType/0", "FreeType (open only)"}}) {
            const Run* base = kept(key);
            if (base == nullptr) continue;
            double baseTime = base->GetAdjustedCPUTime();
            std::printf("%-34s %10.2f %10.2f %7.2f  ratio FreeType/driver\n", label, driverTime, baseTime,
                        baseTime / driverTime);
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("Driver", Driver)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FreeType", FreeType)
        ->Arg(1)
        ->Arg(0)
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
