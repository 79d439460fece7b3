// The Direct3D 7 back end as the rest of the graphics layer calls it: start and end after a screen mode is set, and
// the two calls every direct surface access makes first (send the pending vertices, close the scene).
#pragma once

int InitDirect3D();       // 0, or -1 when it is already up or the device cannot be used
int TerminateDirect3D();  // 0
int FlushVertexBatch3D();
int EndCurrentScene3D();
