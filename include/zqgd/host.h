/** \file
 * Services of the host library family that the driver calls: keyed lists and
 * the material table, the memory manager, the bit routines, files, bitmaps
 * and light-point visibility.
 *
 * libzqhost implements them with the contracts the driver relies on; a real
 * host may bring its own implementation of the same names. The driver relies
 * on nothing more than what is written here. */
#ifndef ZQGD_HOST_H
#define ZQGD_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "zqgd/bitmap.h"
#include "zqgd/layout.h"

#ifdef __cplusplus
extern "C" {
#endif

/** A keyed list: a three-word header embedded in the caller's records. An
 * all-zero header is an empty list; there is no initialisation call. Items
 * carry a payload block from the memory manager; a payload detached with
 * _ZqGDeleteListItem belongs to the caller, who frees it with MMfree. The
 * header holds the iteration position, so one list is walked by one loop at
 * a time. */
typedef struct KeyedList {
    void* head;        /**< First node. */
    void* cursor;      /**< Node that _ZqGNextListItem returns next. */
    intptr_t nextKey;  /**< Where the search for a free key starts (0: the list's first key). */
} KeyedList;

ZQGD_SIZE32(KeyedList, 12);

/** Creates an item with a payload of payloadSize bytes whose contents are
 * undefined (garbage in strict mode). With key 0 the list picks a positive key
 * not in use and stores it in *keyOut (when keyOut is not null); such an item
 * is found only under that key. With a nonzero key the caller has made sure
 * the key is free. Returns the payload, or null when memory runs out. The walk
 * order is the list's own: creation order, or newest first in strict mode. */
void* _ZqGCreateListItem(KeyedList* list, uint32_t payloadSize, int32_t* keyOut, int32_t key);
/** The payload of the item under key, or null. */
void* _ZqGFindListItem(KeyedList* list, int32_t key);
/** Unlinks the item and returns its payload (not freed); null for a missing key. */
void* _ZqGDeleteListItem(KeyedList* list, int32_t key);
/** Starts a walk: the payload of the list's first item in its walk order, or null. */
void* _ZqGFirstListItem(KeyedList* list);
/** Continues the walk: the next payload, or null at the end. */
void* _ZqGNextListItem(KeyedList* list);
/** Removes every item and frees every payload block; the header is empty again. */
void _ZqGDeleteList(KeyedList* list);

struct MaterialEntry;

/** The material table: exported data, the highest valid material index and
 * the array of 68-byte entries (see MaterialEntry in zqgd/geometry.h). */
typedef struct MaterialTable {
    uint32_t highestIndex;          /**< The highest valid index: entries holds highestIndex + 1 entries. An index above it means entry 0. */
    struct MaterialEntry* entries;  /**< The entries, the host's; read at every polygon. */
} MaterialTable;

ZQGD_SIZE32(MaterialTable, 8);

/** The host's material table. The host fills it before drawing: the driver
 * reads both words afresh at every lookup. */
extern MaterialTable _ZqGmaterials;

/** A block of at least size bytes (the host's 32-bit sizes on every
 * target), or null. The contents of a fresh block are undefined. */
void* MMmalloc(uint32_t size);
/** Frees a block of MMmalloc or MMstrdup; null is ignored. */
void MMfree(void* block);
/** A copy of text in a new block, or null. */
char* MMstrdup(const char* text);

/** Number of blocks allocated and not freed (for hosts and tests that check leaks). */
uint32_t MMLiveBlocks(void);
/** Number of bytes in live blocks. */
uint64_t MMLiveBytes(void);
/** Makes the nth allocation from now fail (1: the next one); 0 switches it off. */
void MMFailNthAllocation(uint32_t n);
/** Number of allocations attempted since the process started. */
uint32_t MMAllocationCount(void);
/** Strict mode, on unless the environment sets ZQHOST_STRICT=0: fresh blocks
 * and payloads are filled with garbage, freed blocks are poisoned and held
 * back for a while, a double free or the free of a foreign pointer stops the
 * process with a message, keys chosen for key 0 lie far from small ids and
 * lists are walked newest first. Switching it off releases the held blocks.
 * Returns whether it is on. */
int32_t ZqHostStrict(void);
/** Switches strict mode on (nonzero) or off. */
void ZqHostSetStrict(int32_t strict);
/** Gives the freed blocks held back in strict mode to the system now, so that
 * a measurement of the process's memory sees only live blocks. */
void MMReleaseHeldBlocks(void);

/** Index of the most significant set bit (bits counted from 0 at the least
 * significant end); 0 for 0, so that 1 << ZqMMSB(0) is 1. */
uint32_t ZqMMSB(uint32_t value);
/** Index of the least significant set bit; 0 for 0, so that a channel mask of 0 gets shift 0. */
uint32_t ZqMLSB(uint32_t mask);
/** Number of set bits. */
uint32_t ZqMBitCount(uint32_t mask);
/** Nonzero when the nine floats (3 x 3, in rows) are the identity. */
int32_t ZqMM3IsUnit(const float matrix[9]);
/** Copies a 3 x 3 matrix. */
void ZqMM3Copy(const float source[9], float destination[9]);

/** Length of the named file in bytes, or -1 when it cannot be had (also for
 * files of 2 GiB or more). */
int32_t ZqFLength(const char* path);
/** Opens a file with an fopen mode; null on failure. */
void* ZqFOpen(const char* path, const char* mode);
/** Reads length bytes from the start of the file; returns the count read. */
int32_t ZqFGetByteArray(void* file, int32_t length, void* buffer);
/** Closes a file of ZqFOpen; null is ignored. */
void ZqFClose(void* file);
/** The path under which a file called name is to be opened, or null. A name
 * with a '/' is taken as it is. A bare name is looked for, in this order, in
 * the directories of the environment variable ZQGD_FONT_PATH (separated by
 * ':'), the directories added with ZqFAddSearchDirectory, the current
 * directory, and the fonts of the installation: share/zqgd/fonts under the
 * prefix this library was installed to, found from the library's own place
 * (a copy in the build tree takes the build tree's fonts instead). The path
 * returned stays valid until the process ends. */
const char* ZqFFindFile(const char* name);
/** Adds a directory to the search of ZqFFindFile, after those of
 * ZQGD_FONT_PATH; null and empty names are ignored. */
void ZqFAddSearchDirectory(const char* directory);

/** A light point's flash pattern as this host library lays it out
 * (LightPointRecord::flash); zeroed: a steady light. */
typedef struct BeaconFlash {
    uint32_t period;     /**< Milliseconds of one cycle; 0: always lit. */
    uint32_t lit;        /**< Milliseconds lit at the start of each cycle. */
    int32_t phase;       /**< Milliseconds added to the frame time. */
} BeaconFlash;

/** A light point's visibility sector as this host library lays it out
 * (LightPointRecord::horizontalSector and verticalSector); zeroed: seen
 * from every direction. */
typedef struct BeaconSector {
    float centre;        /**< Horizontal: heading from +z towards +x; vertical: elevation above the x-z plane (radians). */
    float halfWidth;     /**< Fully visible within centre +- halfWidth; 0 or less: no sector. */
} BeaconSector;

ZQGD_SIZE(BeaconFlash, 12);
ZQGD_SIZE(BeaconSector, 8);

/** Nonzero when the light is lit at the frame time (milliseconds). */
int32_t ZqGBeaconFlash(const void* flash, int32_t frameTime);
/** Visibility factor of the direction from the light to the eye: 1 inside
 * the sector, falling linearly to 0 over fade radians beyond its edge, 0
 * further out (horizontal sector). */
float ZqGBeaconHorizontalSector(const float eye[3], const float position[3], const void* sector, float fade);
/** The same for the vertical sector. */
float ZqGBeaconVerticalSector(const float eye[3], const float position[3], const void* sector, float fade);

/* Bitmap utilities. Images of 8, 15/16, 24 or 32 bits per pixel (1 to 4 bytes, little-endian),
 * with any channel order given by the masks. Channels are widened to 8 bits
 * exactly (full scale maps to 255) and narrowed with rounding. Bits of a
 * 32-bit destination pixel that no mask covers (the alpha byte) are set to
 * ones. Pixel memory comes from the memory manager. All return 0 on success
 * and 1 on failure (bad description, sizes that overflow, memory). */

/** Describes a width x height image with the given masks and attaches new
 * pixel memory, whose contents are undefined; the last two arguments are
 * reserved and ignored. Returns 0, or 1 on failure (bad description,
 * sizes that overflow, memory). */
int32_t ZqFConstructBitmap(Bitmap* bitmap, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                           uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t reserved1,
                           uint32_t reserved2);
/** Converts the pixels of source into the constructed destination of the same
 * size, in the destination's pixel format. Returns 0, or 1 on failure. */
int32_t ZqFChangeBitmapDepth(const Bitmap* source, Bitmap* destination);
/** Resamples source to destination's width and height, giving destination
 * source's pixel format and new pixel memory: area averaging where a side
 * shrinks, bilinear interpolation where it grows. Returns 0, or 1 on failure. */
int32_t ZqFScaleBitmap(const Bitmap* source, Bitmap* destination);
/** Releases the pixel memory and nulls the pointer. */
void ZqFDestroyBitmap(Bitmap* bitmap);
/** Conversions into 32-bit RGBA (red in the lowest byte) from 24-bit RGB and
 * BGR, 32-bit RGBA and BGRA, 16-bit 5-6-5 and 5-5-5 and 8-bit 3-3-2 take
 * straight loops; 0 sends them down the general path instead (tests compare
 * the two). On by default. */
void ZqFUseStraightPaths(int32_t on);

#ifdef __cplusplus
}
#endif

#endif
