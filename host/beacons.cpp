// Light-point visibility: flashing driven by the frame time, and horizontal
// and vertical sectors with a fade at their edges.
#include <cmath>
#include <cstring>

#include "zqgd/host.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The absolute difference of two angles, brought into 0..pi.
double AngleBetween(double a, double b)
{
    double difference = std::fmod(std::fabs(a - b), 2 * kPi);
    return difference > kPi ? 2 * kPi - difference : difference;
}

float SectorFactor(double angle, const void* block, float fade)
{
    BeaconSector sector;
    std::memcpy(&sector, block, sizeof sector);
    if (!(sector.halfWidth > 0.0f)) return 1.0f;
    double off = AngleBetween(angle, sector.centre) - sector.halfWidth;
    if (off <= 0) return 1.0f;
    if (!(fade > 0.0f) || off >= fade) return 0.0f;
    return static_cast<float>(1.0 - off / fade);
}

}  // namespace

extern "C" int32_t ZqGBeaconFlash(const void* block, int32_t frameTime)
{
    BeaconFlash flash;
    std::memcpy(&flash, block, sizeof flash);
    if (flash.period == 0) return 1;
    int64_t time = int64_t{frameTime} + flash.phase;
    int64_t inCycle = ((time % flash.period) + flash.period) % flash.period;
    return inCycle < flash.lit ? 1 : 0;
}

extern "C" float ZqGBeaconHorizontalSector(const float eye[3], const float position[3], const void* sector,
                                           float fade)
{
    double heading = std::atan2(double{eye[0]} - position[0], double{eye[2]} - position[2]);
    return SectorFactor(heading, sector, fade);
}

extern "C" float ZqGBeaconVerticalSector(const float eye[3], const float position[3], const void* sector, float fade)
{
    double dx = double{eye[0]} - position[0], dz = double{eye[2]} - position[2];
    double elevation = std::atan2(double{eye[1]} - position[1], std::sqrt(dx * dx + dz * dz));
    return SectorFactor(elevation, sector, fade);
}
