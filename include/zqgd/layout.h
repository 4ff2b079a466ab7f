/** \file
 * Compile-time checks of record layouts.
 *
 * The records that cross the module boundary are laid out by the host. On a
 * 32-bit target (pointers of 4 bytes) they must have the host's byte offsets
 * exactly; ZQGD_LAYOUT32 checks an offset there and nothing elsewhere. Records
 * without pointers are checked on every target with ZQGD_LAYOUT. */
#ifndef ZQGD_LAYOUT_H
#define ZQGD_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

/** A compile-time assertion in C and C++. */
#ifdef __cplusplus
#define ZQGD_STATIC_ASSERT(cond, what) static_assert(cond, what)
#else
#define ZQGD_STATIC_ASSERT(cond, what) _Static_assert(cond, what)
#endif

/** Checks, on every target, that field lies at byte offset of type. */
#define ZQGD_LAYOUT(type, field, offset) \
    ZQGD_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " must be at byte " #offset)
/** Checks, on every target, that type has size bytes. */
#define ZQGD_SIZE(type, size) \
    ZQGD_STATIC_ASSERT(sizeof(type) == (size), #type " must be " #size " bytes")

/** \def ZQGD_TARGET_32
 * 1 on a target with 4-byte pointers, the hosts' layout, else 0. */
/** \def ZQGD_LAYOUT32
 * Checks field's offset in type on a 32-bit target; nothing elsewhere. */
/** \def ZQGD_SIZE32
 * Checks type's size on a 32-bit target; nothing elsewhere. */
#if UINTPTR_MAX == 0xFFFFFFFFu
#define ZQGD_TARGET_32 1
#define ZQGD_LAYOUT32(type, field, offset) ZQGD_LAYOUT(type, field, offset)
#define ZQGD_SIZE32(type, size) ZQGD_SIZE(type, size)
#else
#define ZQGD_TARGET_32 0
#define ZQGD_LAYOUT32(type, field, offset) ZQGD_STATIC_ASSERT(1, "checked on 32-bit targets")
#define ZQGD_SIZE32(type, size) ZQGD_STATIC_ASSERT(1, "checked on 32-bit targets")
#endif

#endif
