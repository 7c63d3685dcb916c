#include "platform/linux/heap.h"

#include <malloc.h>

void keep_freed_heap_memory(void)
{
    // 32 MiB is the largest mmap threshold glibc takes on 64-bit; setting
    // either value also stops glibc from adjusting them itself.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}
