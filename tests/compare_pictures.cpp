// compare_pictures: compares the PPM frames of two folders, frame by frame,
// and says how far apart they are. Both folders must hold the same frames.
// Exits 0 when no colour channel of any pixel differs by more than the
// tolerance, 1 when one does or the frames do not match, 2 on bad usage.
//
//   compare_pictures FOLDER_A FOLDER_B TOLERANCE
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/picture_compare.h"
#include "viewer/ppm_file.h"

namespace {

std::set<std::string> FramesIn(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".ppm") names.insert(entry.path().filename().string());
    return names;
}

}  // namespace

int main(int argc, char** argv)
{
    char* end = nullptr;
    long tolerance = argc == 4 ? std::strtol(argv[3], &end, 10) : -1;
    if (argc != 4 || *end != '\0' || tolerance < 0 || tolerance > 255) {
        std::fprintf(stderr, "usage: compare_pictures FOLDER_A FOLDER_B TOLERANCE (0 to 255)\n");
        return 2;
    }
    const std::filesystem::path first = argv[1], second = argv[2];
    std::set<std::string> frames = FramesIn(first);
    if (frames.empty() || frames != FramesIn(second)) {
        std::printf("FAIL: %s and %s do not hold the same frames (%zu in the first)\n", argv[1], argv[2],
                    frames.size());
        return 1;
    }
    PictureDifference total;
    uint64_t pixels = 0;
    for (const std::string& name : frames) {
        Picture a, b;
        std::string error;
        if (!ReadPpm((first / name).string(), a, error) || !ReadPpm((second / name).string(), b, error)) {
            std::printf("FAIL: %s\n", error.c_str());
            return 1;
        }
        PictureDifference difference;
        if (!ComparePictures(a, b, static_cast<int>(tolerance), difference)) {
            std::printf("FAIL: %s is %ux%u in one folder, %ux%u in the other\n", name.c_str(), a.width, a.height,
                        b.width, b.height);
            return 1;
        }
        std::printf("%s: largest channel difference %d, %llu of %u pixels differ, %llu by more than %ld\n",
                    name.c_str(), difference.largest, static_cast<unsigned long long>(difference.differing),
                    a.width * a.height, static_cast<unsigned long long>(difference.beyond), tolerance);
        total.largest = std::max(total.largest, difference.largest);
        total.differing += difference.differing;
        total.beyond += difference.beyond;
        pixels += uint64_t{a.width} * a.height;
    }
    std::printf("%zu frames: largest channel difference %d, %llu of %llu pixels differ, %llu by more than %ld\n",
                frames.size(), total.largest, static_cast<unsigned long long>(total.differing),
                static_cast<unsigned long long>(pixels), static_cast<unsigned long long>(total.beyond), tolerance);
    return total.beyond == 0 ? 0 : 1;
}
