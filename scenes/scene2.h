// Scene 2's own state, which its two files share: scene2.cpp animates it,
// scene2_shapes.cpp draws the shapes from it. The rest of the scene's
// state, which the tests watch too, is in scenes/scenes.h.
#ifndef BRINDLEC_SCENE2_H
#define BRINDLEC_SCENE2_H

#include "scenes/scenes.h"

// One face of the box: on its own axis the distance of the face plane from
// the centre (once the box breaks, the signed position of its shards), on
// the two other axes the half-extents of the face.
struct BoxFace {
    float x, y, z;
};
enum { FACE_FRONT, FACE_BACK, FACE_LEFT, FACE_RIGHT, FACE_TOP, FACE_BOTTOM, BOX_FACE_COUNT };

extern float wire_half_size;
extern BoxFace box_faces[BOX_FACE_COUNT];
extern float shard_spread;      // sideways move of each shard from its face's centre line
extern float spike_extent[18];  // x of the six spikes (+x -x +y -y +z -z), then y, then z

void draw_wire_frame(void);
void draw_box(void);
void draw_shards(void);
void draw_star(void);

#endif
