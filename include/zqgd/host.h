/* Services of the host library family that the driver calls: keyed lists and
 * the material table, the memory manager and the bit routines.
 *
 * libzqhost implements them with the contracts the driver relies on; a real
 * host may bring its own implementation of the same names. */
#ifndef ZQGD_HOST_H
#define ZQGD_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Keyed lists --------------------------------------------------------
 * A three-word header embedded in the caller's records. An all-zero header is
 * an empty list; there is no initialisation call. Items carry a payload block
 * from the memory manager; a payload detached with _ZqGDeleteListItem belongs
 * to the caller, who frees it with MMfree. The header holds the iteration
 * position, so one list is walked by one loop at a time. */
typedef struct KeyedList {
    void* head;        /* first node */
    void* cursor;      /* node that _ZqGNextListItem returns next */
    intptr_t nextKey;  /* where the search for a free key starts (0: the list's first key) */
} KeyedList;

ZQGD_SIZE32(KeyedList, 12);

/* Creates an item with a payload of payloadSize bytes whose contents are
 * undefined (garbage in strict mode). With key 0 the list picks a positive key
 * not in use and stores it in *keyOut (when keyOut is not null); such an item
 * is found only under that key. With a nonzero key the caller has made sure
 * the key is free. Returns the payload, or null when memory runs out. The walk
 * order is the list's own: creation order, or newest first in strict mode. */
void* _ZqGCreateListItem(KeyedList* list, uint32_t payloadSize, int32_t* keyOut, int32_t key);
void* _ZqGFindListItem(KeyedList* list, int32_t key);
/* Unlinks the item and returns its payload (not freed); null for a missing key. */
void* _ZqGDeleteListItem(KeyedList* list, int32_t key);
void* _ZqGFirstListItem(KeyedList* list);
void* _ZqGNextListItem(KeyedList* list);
/* Removes every item and frees every payload block; the header is empty again. */
void _ZqGDeleteList(KeyedList* list);

/* ---- Material table -------------------------------------------------------
 * Exported data: the highest valid material index and the array of 68-byte
 * entries (see zqgd/geometry.h for the entry's fields). */
struct MaterialEntry;

typedef struct MaterialTable {
    uint32_t highestIndex;
    struct MaterialEntry* entries;
} MaterialTable;

ZQGD_SIZE32(MaterialTable, 8);

extern MaterialTable _ZqGmaterials;

/* ---- Memory manager --------------------------------------------------------
 * Sizes are the host's 32-bit sizes on every target. The contents of a fresh
 * block are undefined. */
void* MMmalloc(uint32_t size);  /* a block of at least size bytes, or null */
void MMfree(void* block);       /* null is ignored */
char* MMstrdup(const char* text);

/* Accounting and fault injection, for tests and for hosts that check leaks. */
uint32_t MMLiveBlocks(void);
uint64_t MMLiveBytes(void);
/* Makes the nth allocation from now fail (1: the next one); 0 switches it off. */
void MMFailNthAllocation(uint32_t n);
/* Number of allocations attempted since the process started. */
uint32_t MMAllocationCount(void);
/* Strict mode, on unless the environment sets ZQHOST_STRICT=0: fresh blocks
 * and payloads are filled with garbage, freed blocks are poisoned and held
 * back for a while, a double free or the free of a foreign pointer stops the
 * process with a message, keys chosen for key 0 lie far from small ids and
 * lists are walked newest first. Switching it off releases the held blocks. */
int32_t ZqHostStrict(void);
void ZqHostSetStrict(int32_t strict);
/* Gives the freed blocks held back in strict mode to the system now, so that
 * a measurement of the process's memory sees only live blocks. */
void MMReleaseHeldBlocks(void);

/* ---- Bit routines -----------------------------------------------------------
 * Bits are counted from 0 at the least significant end. For a value of 0,
 * ZqMMSB and ZqMLSB return 0, so that 1 << ZqMMSB(0) is 1 and a channel mask
 * of 0 gets shift 0. */
uint32_t ZqMMSB(uint32_t value);
uint32_t ZqMLSB(uint32_t mask);
uint32_t ZqMBitCount(uint32_t mask);
int32_t ZqMM3IsUnit(const float matrix[9]);
void ZqMM3Copy(const float source[9], float destination[9]);

/* ---- Files ---------------------------------------------------------------------- */

/* Length of the named file in bytes, or -1 when it cannot be had (also for
 * files of 2 GiB or more). */
int32_t ZqFLength(const char* path);
/* Opens a file with an fopen mode; null on failure. */
void* ZqFOpen(const char* path, const char* mode);
/* Reads length bytes from the start of the file; returns the count read. */
int32_t ZqFGetByteArray(void* file, int32_t length, void* buffer);
void ZqFClose(void* file);
/* The path under which a file called name is to be opened, or null. A name
 * with a '/' is taken as it is. A bare name is looked for, in this order, in
 * the directories of the environment variable ZQGD_FONT_PATH (separated by
 * ':'), the directories added with ZqFAddSearchDirectory, the current
 * directory, and the fonts of the installation: share/zqgd/fonts under the
 * prefix this library was installed to, found from the library's own place
 * (a copy in the build tree takes the build tree's fonts instead). The path
 * returned stays valid until the process ends. */
const char* ZqFFindFile(const char* name);
void ZqFAddSearchDirectory(const char* directory);

/* ---- Light-point visibility ------------------------------------------------------
 * The driver passes the addresses of a light point's parameter blocks; this
 * host library lays them out as below. A zeroed block means a steady light
 * seen from every direction. */
typedef struct BeaconFlash {
    uint32_t period;     /* milliseconds of one cycle; 0: always lit */
    uint32_t lit;        /* milliseconds lit at the start of each cycle */
    int32_t phase;       /* milliseconds added to the frame time */
} BeaconFlash;

typedef struct BeaconSector {
    float centre;        /* horizontal: heading from +z towards +x; vertical: elevation above the x-z plane (radians) */
    float halfWidth;     /* fully visible within centre +- halfWidth; 0 or less: no sector */
} BeaconSector;

ZQGD_SIZE(BeaconFlash, 12);
ZQGD_SIZE(BeaconSector, 8);

/* Nonzero when the light is lit at the frame time (milliseconds). */
int32_t ZqGBeaconFlash(const void* flash, int32_t frameTime);
/* Visibility factors of the direction from the light to the eye: 1 inside
 * the sector, falling linearly to 0 over fade radians beyond its edge, 0
 * further out. */
float ZqGBeaconHorizontalSector(const float eye[3], const float position[3], const void* sector, float fade);
float ZqGBeaconVerticalSector(const float eye[3], const float position[3], const void* sector, float fade);

/* ---- Bitmap utilities ---------------------------------------------------------
 * Images of 8, 15/16, 24 or 32 bits per pixel (1 to 4 bytes, little-endian),
 * with any channel order given by the masks. Channels are widened to 8 bits
 * exactly (full scale maps to 255) and narrowed with rounding. Bits of a
 * 32-bit destination pixel that no mask covers (the alpha byte) are set to
 * ones. Pixel memory comes from the memory manager. All return 0 on success
 * and 1 on failure (bad description, sizes that overflow, memory). */

/* Describes a width x height image with the given masks and attaches new
 * pixel memory, whose contents are undefined; the last two arguments are
 * reserved and ignored. */
int32_t ZqFConstructBitmap(Bitmap* bitmap, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                           uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t reserved1,
                           uint32_t reserved2);
/* Converts the pixels of source into the constructed destination of the same
 * size, in the destination's pixel format. */
int32_t ZqFChangeBitmapDepth(const Bitmap* source, Bitmap* destination);
/* Resamples source to destination's width and height, giving destination
 * source's pixel format and new pixel memory: area averaging where a side
 * shrinks, bilinear interpolation where it grows. */
int32_t ZqFScaleBitmap(const Bitmap* source, Bitmap* destination);
/* Releases the pixel memory and nulls the pointer. */
void ZqFDestroyBitmap(Bitmap* bitmap);
/* Conversions into 32-bit RGBA (red in the lowest byte) from 24-bit RGB and
 * BGR, 32-bit RGBA and BGRA, 16-bit 5-6-5 and 5-5-5 and 8-bit 3-3-2 take
 * straight loops; 0 sends them down the general path instead (tests compare
 * the two). On by default. */
void ZqFUseStraightPaths(int32_t on);

#ifdef __cplusplus
}
#endif

#endif
