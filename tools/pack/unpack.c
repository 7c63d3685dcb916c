/* The packed release's decoder: raw LZMA and the x86 branch filter.

   LZMA codes a byte stream as literals and matches (copies from earlier
   output) with an adaptive binary range coder: every decision is one bit
   coded with an 11-bit probability that moves 1/32 of the way towards
   each bit seen. A state machine of 12 states remembers what the last
   few symbols were (literal, match, repeated match, short repeat), and
   the four most recent match distances can be used again cheaply.

   Written for size as much as for reading: the start-up code of the
   packed release carries it uncompressed. */
#include "tools/pack/unpack.h"

/* The branch targets are read and written as the little-endian machines
   this runs on (x86, and the machines that build it) hold them, with the
   compiler's own copy: the start-up code has no C library. */
_Static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a little-endian machine");

enum {
    PROBABILITY_BITS = 11,
    PROBABILITY_ONE = 1 << PROBABILITY_BITS,
    ADAPT_SHIFT = 5,
    RANGE_TOP = 1 << 24, /* below this the range takes another input byte */
    STATES = 12,
    LITERAL_STATES = 7,   /* states below this follow a literal */
    POSITION_STATES = 16, /* 1 << the largest pb */
    END_MARKER = 0xFFFFFFFF /* the distance that ends the stream */
};

/* Where each group of probabilities starts in the model. */
enum {
    IS_MATCH = 0,                                             /* state x position state */
    IS_REP = IS_MATCH + STATES * POSITION_STATES,             /* per state */
    IS_REP0 = IS_REP + STATES,                                /* per state */
    IS_REP1 = IS_REP0 + STATES,                               /* per state */
    IS_REP2 = IS_REP1 + STATES,                               /* per state */
    IS_REP0_LONG = IS_REP2 + STATES,                          /* state x position state */
    DISTANCE_SLOT = IS_REP0_LONG + STATES * POSITION_STATES,  /* 4 length states x 6-bit tree */
    DISTANCE_SPECIAL = DISTANCE_SLOT + 4 * 64,                /* reverse trees of slots 4..13 */
    DISTANCE_ALIGN = DISTANCE_SPECIAL + 114,                  /* the low 4 bits of long distances */
    MATCH_LENGTH = DISTANCE_ALIGN + 16,
    REP_LENGTH = MATCH_LENGTH + 514,
    LITERAL = REP_LENGTH + 514, /* 0x300 per literal context */
    /* Within a length model: two choices, then per position state a
       3-bit tree for lengths 0..7 and one for 8..15, and one 8-bit tree
       for 16..271 (all less the shortest match, 2). */
    LENGTH_CHOICE = 0,
    LENGTH_CHOICE2 = 1,
    LENGTH_LOW = 2,
    LENGTH_MID = LENGTH_LOW + POSITION_STATES * 8,
    LENGTH_HIGH = LENGTH_MID + POSITION_STATES * 8
};

typedef struct {
    const uint8_t* input;
    size_t input_size;
    size_t taken; /* input bytes taken, counting those wanted beyond the end */
    uint32_t range;
    uint32_t code;
    uint16_t* model;
} Decoder;

/* Takes one more input byte once the range has shrunk below 2^24. Past the
   end of the input it takes zeros, and the stream is refused when it ends
   (decoding stops by itself: every symbol adds to the bounded output). */
static void normalise(Decoder* decoder)
{
    if (decoder->range >= RANGE_TOP) return;
    decoder->range <<= 8;
    decoder->code <<= 8;
    if (decoder->taken < decoder->input_size) decoder->code |= decoder->input[decoder->taken];
    decoder->taken++;
}

/* One bit with the probability model[index] that it is 0, which learns. */
static unsigned decode_bit(Decoder* decoder, unsigned index)
{
    uint16_t* probability = &decoder->model[index];
    normalise(decoder);
    uint32_t bound = (decoder->range >> PROBABILITY_BITS) * *probability;
    if (decoder->code < bound) {
        decoder->range = bound;
        *probability += (PROBABILITY_ONE - *probability) >> ADAPT_SHIFT;
        return 0;
    }
    decoder->range -= bound;
    decoder->code -= bound;
    *probability -= *probability >> ADAPT_SHIFT;
    return 1;
}

/* A value of `bits` bits down the tree of probabilities at model[tree]:
   highest bit first, or lowest first for a reverse tree. */
static unsigned decode_tree(Decoder* decoder, unsigned tree, unsigned bits, int reverse)
{
    unsigned node = 1;
    unsigned value = 0;
    for (unsigned i = 0; i < bits; i++) {
        unsigned bit = decode_bit(decoder, tree + node);
        node = node << 1 | bit;
        value |= bit << i;
    }
    return reverse ? value : node - (1u << bits);
}

/* Bits at even odds, without a probability. */
static uint32_t decode_direct(Decoder* decoder, unsigned bits)
{
    uint32_t value = 0;
    while (bits--) {
        normalise(decoder);
        decoder->range >>= 1;
        uint32_t bit = decoder->code >= decoder->range;
        if (bit) decoder->code -= decoder->range;
        value = value << 1 | bit;
    }
    return value;
}

/* A match length less the shortest (2): 0..271. */
static unsigned decode_length(Decoder* decoder, unsigned model, unsigned position_state)
{
    unsigned shortest = 0, tree = model + LENGTH_LOW + position_state * 8, bits = 3;
    if (decode_bit(decoder, model + LENGTH_CHOICE)) {
        shortest = 8, tree += LENGTH_MID - LENGTH_LOW;
        if (decode_bit(decoder, model + LENGTH_CHOICE2)) shortest = 16, tree = model + LENGTH_HIGH, bits = 8;
    }
    return shortest + decode_tree(decoder, tree, bits, 0);
}

/* A match distance less 1: a 6-bit slot (its model chosen by the length)
   gives the top two bits and how many follow; up to slot 13 these come
   from reverse trees of their own, above it as direct bits with the low
   four from a shared reverse tree. */
static uint32_t decode_distance(Decoder* decoder, unsigned length)
{
    unsigned slot = decode_tree(decoder, DISTANCE_SLOT + (length < 3 ? length : 3) * 64, 6, 0);
    if (slot < 4) return slot;
    unsigned extra_bits = (slot >> 1) - 1;
    uint32_t distance = (2u | (slot & 1)) << extra_bits;
    if (slot < 14) return distance + decode_tree(decoder, DISTANCE_SPECIAL + distance - slot - 1, extra_bits, 1);
    distance += decode_direct(decoder, extra_bits - 4) << 4;
    return distance + decode_tree(decoder, DISTANCE_ALIGN, 4, 1);
}

/* One literal byte from the tree at model[tree]. After a match the byte
   at the last distance guides the first bits, through a model of their
   own, as long as they agree with it: `guide` is 0x100 while they do and
   0 from the first difference on. */
static unsigned decode_literal(Decoder* decoder, unsigned tree, unsigned guide, unsigned match_byte)
{
    unsigned symbol = 1;
    do {
        match_byte <<= 1;
        unsigned match_bit = match_byte & guide;
        unsigned bit = decode_bit(decoder, tree + guide + match_bit + symbol);
        symbol = symbol << 1 | bit;
        guide &= bit ? match_bit : ~match_bit;
    } while (symbol < 0x100);
    return symbol & 0xFF;
}

int unpack_lzma(const uint8_t* input, size_t input_size, uint8_t* output, size_t output_size, unsigned lc,
                unsigned lp, unsigned pb, uint16_t* probabilities)
{
    if (lc + lp > UNPACK_MAX_LC_LP || pb > 4 || input_size < 5 || input[0] != 0) return 0;
    for (uint32_t i = 0; i < UNPACK_PROBABILITIES(lc + lp); i++) probabilities[i] = PROBABILITY_ONE / 2;
    Decoder decoder = {input, input_size, 5, 0xFFFFFFFF, 0, probabilities};
    for (int i = 1; i < 5; i++) decoder.code = decoder.code << 8 | input[i];

    size_t position = 0;
    unsigned state = 0;
    uint32_t rep[4] = {0, 0, 0, 0}; /* the last four distances, less 1, latest first */
    for (;;) {
        unsigned position_state = position & ((1u << pb) - 1);
        unsigned length;
        if (!decode_bit(&decoder, IS_MATCH + state * POSITION_STATES + position_state)) {
            if (position == output_size) return 0;
            unsigned previous = position ? output[position - 1] : 0;
            unsigned context = ((position & ((1u << lp) - 1)) << lc) + (previous >> (8 - lc));
            /* In a state after a match, rep[0] < position: the match was checked. */
            int after_match = state >= LITERAL_STATES;
            output[position] = (uint8_t)decode_literal(&decoder, LITERAL + 0x300 * context, after_match ? 0x100 : 0,
                                                       after_match ? output[position - rep[0] - 1] : 0);
            position++;
            state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
            continue;
        }
        /* Which distance: a new one (4), or the one that many back in rep. */
        unsigned which = 4;
        if (decode_bit(&decoder, IS_REP + state)) {
            which = 0;
            if (decode_bit(&decoder, IS_REP0 + state)) {
                which = 1;
                if (decode_bit(&decoder, IS_REP1 + state)) which = 2 + decode_bit(&decoder, IS_REP2 + state);
            } else if (!decode_bit(&decoder, IS_REP0_LONG + state * POSITION_STATES + position_state)) {
                /* A short repeat: one byte from the last distance. */
                state = state < LITERAL_STATES ? 9 : 11;
                length = 1;
                goto copy;
            }
        }
        /* The distance used moves to the front; a new one pushes the oldest out. */
        uint32_t distance = rep[which & 3];
        for (unsigned i = which < 4 ? which : 3; i > 0; i--) rep[i] = rep[i - 1];
        if (which < 4) {
            length = decode_length(&decoder, REP_LENGTH, position_state);
            state = state < LITERAL_STATES ? 8 : 11;
        } else {
            length = decode_length(&decoder, MATCH_LENGTH, position_state);
            state = state < LITERAL_STATES ? 7 : 10;
            distance = decode_distance(&decoder, length);
            if (distance == END_MARKER) return decoder.taken <= input_size && position == output_size;
        }
        rep[0] = distance;
        length += 2;
    copy:
        if (rep[0] >= position || length > output_size - position) return 0;
        do {
            output[position] = output[position - rep[0] - 1];
            position++;
        } while (--length);
    }
}

void unpack_x86_branches(uint8_t* data, size_t size, uint32_t offset)
{
    /* Bit n of `recent`: an E8/E9 byte n + 1 bytes back that was not taken
       as an instruction (bit n + 4: and its last operand byte looked like
       the top of a target). Some patterns of them forbid taking this one;
       others call for testing one more byte of the target. Four bytes on,
       a byte has left no trace. */
    uint32_t recent = 0;
    size_t previous = 0;
    for (size_t i = 0; i + 5 <= size; i++) {
        if ((data[i] & 0xFE) != 0xE8) continue;
        for (size_t gap = i - previous; gap && recent; gap--) recent = (recent & 0x77) << 1;
        previous = i;
        uint8_t top = data[i + 4];
        int plausible = top == 0 || top == 0xFF; /* a target within 16 MiB either way */
        unsigned pattern = recent >> 1;
        if (!plausible || (0xE8 >> (pattern & 7) & 1) || pattern >= 0x10) {
            recent |= plausible ? 0x11 : 0x01;
            continue;
        }
        uint32_t stored, target;
        __builtin_memcpy(&stored, data + i + 1, 4);
        for (;;) {
            target = stored - (offset + (uint32_t)i + 5);
            if (recent == 0) break;
            /* Byte 1, 2 or 3 from the top, as high as the pattern's highest bit. */
            unsigned shift = 24;
            for (unsigned p = pattern & 7; p; p >>= 1) shift -= 8;
            uint8_t tested = (uint8_t)(target >> shift);
            if (tested != 0 && tested != 0xFF) break;
            stored = target ^ (0xFFFFFFFFu >> (24 - shift));
        }
        /* The top byte repeats bit 24: 00 or FF. */
        target = (target & 0x01FFFFFF) | (0u - (target >> 24 & 1)) << 25;
        __builtin_memcpy(data + i + 1, &target, 4);
        i += 4;
        recent = 0;
    }
}
