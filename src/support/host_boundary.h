/* Conventions of every record that crosses the host boundary. Plain C, so
 * that a host written in C includes the boundary headers as they are.
 *
 * The real host is a 32-bit program: records are packed, pointers and
 * counts are 32 bits there, and each record's size is checked at compile time
 * for that layout, as is the offset of each of its fields (64-bit builds
 * widen the pointers and skip the checks).
 * Host words that may carry a pointer (contexts, user words) are uintptr_t. */
#ifndef VORN_SUPPORT_HOST_BOUNDARY_H
#define VORN_SUPPORT_HOST_BOUNDARY_H

#include <stddef.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
#define VORN_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#define VORN_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* A record of `bytes` bytes on the 32-bit host interface. */
#define VORN_HOST_RECORD_SIZE(record, bytes) \
    VORN_STATIC_ASSERT(sizeof(void*) != 4 || sizeof(record) == (bytes), #record " is " #bytes " bytes on the host interface")

/* A field at byte `offset` of its record on the 32-bit host interface: two
 * fields of one size swapped keep the size but not the offsets. */
#define VORN_HOST_RECORD_OFFSET(record, field, offset)                                  \
    VORN_STATIC_ASSERT(sizeof(void*) != 4 || offsetof(record, field) == (offset),      \
                       #record "." #field " is at offset " #offset " on the host interface")

/* The calling convention of every function pointer that crosses the boundary:
 * the C default of the platform's compilers (cdecl on 32-bit Windows). */
#if defined(_WIN32) && !defined(_WIN64)
#define VORN_HOST_CALL __cdecl
#else
#define VORN_HOST_CALL
#endif

#endif
