/* What the tight programs share: failing with a message, and allocation that never returns NULL.
 * The including file defines TIGHT_PROGRAM, its name as the messages give it. The allocators are
 * inline so that a program may leave one unused without a warning. */
#ifndef CARVEL_BENCH_TIGHT_COMMON_H
#define CARVEL_BENCH_TIGHT_COMMON_H

#include <stdio.h>
#include <stdlib.h>

#ifndef TIGHT_PROGRAM
#error "define TIGHT_PROGRAM before including tight_common.h"
#endif

/* Prints "PROGRAM: what name" to stderr and exits with status 1. */
static void fail(const char* what, const char* name) {
    fprintf(stderr, TIGHT_PROGRAM ": %s %s\n", what, name);
    exit(1);
}

/* Uninitialised room for `count` elements of `size` bytes (at least one element). */
static inline void* allocate(size_t count, size_t size) {
    void* p = malloc((count ? count : 1) * size);
    if (p == NULL) {
        fail("out of memory for", "a buffer");
    }
    return p;
}

/* The same, zeroed, as calloc gives it. */
static inline void* allocateZeroed(size_t count, size_t size) {
    void* p = calloc(count ? count : 1, size);
    if (p == NULL) {
        fail("out of memory for", "a buffer");
    }
    return p;
}

/* Room for one more element after `used`, doubling the array when it is full. */
static inline void* grow(void* array, long* capacity, long used, size_t size) {
    if (used < *capacity) {
        return array;
    }
    *capacity = *capacity ? *capacity * 2 : 256;
    array = realloc(array, (size_t)*capacity * size);
    if (array == NULL) {
        fail("out of memory for", "a list");
    }
    return array;
}

#endif
