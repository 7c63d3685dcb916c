/* The packed release's decoder: raw LZMA (the LZMA1 stream without a
   header, as liblzma's raw encoder writes it) and the x86 branch filter.
   The packed executable's start-up code unpacks the intro with it; the
   packer and the tests run the same code natively.

   Plain C without a C library: the start-up code links nothing else. */
#ifndef BRINDLEC_UNPACK_H
#define BRINDLEC_UNPACK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The largest lc + lp the decoder takes (the LZMA1 limit is 4). */
#define UNPACK_MAX_LC_LP 4

/* Probabilities the decoder needs for a given lc + lp. */
#define UNPACK_PROBABILITIES(lc_lp) (1846 + (0x300u << (lc_lp)))

/* Decodes the raw LZMA stream input[0 .. input_size) with the literal
   context bits lc, literal position bits lp (lc + lp at most
   UNPACK_MAX_LC_LP) and position bits pb (0..4) into output[0 ..
   output_size), using `probabilities` (UNPACK_PROBABILITIES(lc + lp)
   entries) as its model. Returns 1 when the stream holds exactly
   output_size bytes followed by its end marker; 0 for bad properties or
   a damaged stream: one that would need input beyond input_size, refers
   back before the first byte, runs past output_size or ends early. Never
   reads or writes outside the three buffers; on failure the output holds
   whatever was decoded. */
int unpack_lzma(const uint8_t* input, size_t input_size, uint8_t* output, size_t output_size, unsigned lc,
                unsigned lp, unsigned pb, uint16_t* probabilities);

/* Undoes the x86 branch filter (E8 calls and E9 jumps carried with
   absolute targets) over data[0 .. size), which started at `offset` in
   the filtered stream. */
void unpack_x86_branches(uint8_t* data, size_t size, uint32_t offset);

#ifdef __cplusplus
}
#endif

#endif
