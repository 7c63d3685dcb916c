/* What brindlec-pack hands the packed executable's start-up code: the
   payload, a C file of three definitions (below) that is linked into the
   start-up code's section. */
#ifndef BRINDLEC_PACKED_H
#define BRINDLEC_PACKED_H

#include <stdint.h>

/* A section of the unpacked image whose pages do not stay read-write: the
   start-up code gives them their own protection once the image is in
   place and its imports bound. */
typedef struct {
    uint32_t rva;        /* first byte, from the image base: a page boundary */
    uint32_t size;       /* bytes */
    uint32_t protection; /* PAGE_EXECUTE_READ, PAGE_READONLY, ... */
} PackedSection;

/* The stream decodes to the image, from its first section to its end,
   followed by the list of its imports: for each DLL its name, the
   image-relative address of its address list (4 bytes) and the names of
   its functions, each name ending in a zero and the functions in an empty
   name; an empty DLL name ends the list. The image's own import tables
   are cleared (its address lists start out empty). */
typedef struct {
    uint32_t image_rva;     /* where the decoded bytes go: the first section */
    uint32_t image_size;    /* bytes of image the stream decodes to */
    uint32_t imports_size;  /* bytes of import list after them */
    uint32_t entry_rva;     /* the image's entry point */
    uint32_t stream_size;   /* bytes of LZMA stream */
    uint8_t lc, lp, pb;     /* the stream's literal context, literal and match position bits */
    uint8_t x86_branches;   /* 1 when the x86 branch filter is to be undone */
    uint32_t section_count; /* entries of the section list */
} PackedHeader;

/* The largest section list the start-up code takes. */
#define PACKED_SECTIONS_MAX 16

extern const PackedHeader packed_header;
extern const PackedSection packed_sections[]; /* section_count of them */
extern const uint8_t packed_stream[];         /* stream_size bytes */

#endif
