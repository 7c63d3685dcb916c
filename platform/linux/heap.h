// The C library's heap under Mesa, for the Linux backends.
#ifndef BRINDLEC_LINUX_HEAP_H
#define BRINDLEC_LINUX_HEAP_H

// Makes the heap keep the memory freed at its top, and serve large blocks
// too, instead of giving memory back to the kernel as soon as it is freed.
// llvmpipe allocates and frees its command bins every frame: given back,
// that memory faults in page by page again, which cost every fortieth
// frame of scene 1 several milliseconds. Call once, before the GL context
// is created.
void keep_freed_heap_memory(void);

#endif
