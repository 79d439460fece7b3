// The draw state's transforms: world, view, projection and viewport matrices (row-major, row vectors, left-handed),
// their product, and the builders the draw-target selection uses for its default camera. The game draws only
// pre-transformed quads, so the device sees these matrices but nothing of the game depends on them.
#include <cmath>
#include <cstring>

#include "graphics/d3d/device3d.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"

void SetIdentityMatrix(float* m) {
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void MultiplyMatrix(float* out, const float* a, const float* b) {
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + col];
            out[row * 4 + col] = sum;
        }
    }
}

void NormalizeVector(float* v) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) return;  // a null vector has no direction to keep
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

namespace {
void Cross(float* out, const float* a, const float* b) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
}  // namespace

void BuildViewMatrix(float* m, const float* eye, const float* target, const float* up) {
    float z[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    NormalizeVector(z);
    float x[3];
    Cross(x, up, z);
    NormalizeVector(x);
    float y[3];
    Cross(y, z, x);
    NormalizeVector(y);
    // The axes stand as columns; the last row moves the eye to the origin.
    const float rows[4][4] = {
        {x[0], y[0], z[0], 0.0f},
        {x[1], y[1], z[1], 0.0f},
        {x[2], y[2], z[2], 0.0f},
        {-Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1.0f},
    };
    std::memcpy(m, rows, sizeof(rows));
}

int BuildPerspectiveMatrix(float* m, float fov, float nearPlane, float farPlane, float aspectHeightToWidth) {
    const float half = fov * 0.5f;
    if (std::fabs(farPlane - nearPlane) < 0.01f || std::fabs(std::sin(half)) < 0.01f) return -1;
    const float yScale = std::cos(half) / std::sin(half);
    const float depth = farPlane / (farPlane - nearPlane);
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = yScale * aspectHeightToWidth;
    m[5] = yScale;
    m[10] = depth;
    m[11] = 1.0f;
    m[14] = -nearPlane * depth;
    return 0;
}

void BuildViewportMatrix(float* m, float width, float height) {
    SetIdentityMatrix(m);
    m[0] = width / 2.0f;
    m[5] = -height / 2.0f;
    m[12] = width / 2.0f;
    m[13] = height / 2.0f;
}

void UpdateTransformProduct() {
    DrawState& s = GetDrawState();
    float worldView[16], withProjection[16];
    MultiplyMatrix(worldView, s.world, s.view);
    MultiplyMatrix(withProjection, worldView, s.projection);
    MultiplyMatrix(s.product, withProjection, s.viewport);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) s.viewRotation[row * 3 + col] = s.view[col * 4 + row];
    }
}

int SetWorldMatrix(const float* matrix) {
    DrawState& s = GetDrawState();
    std::memcpy(s.world, matrix, sizeof(s.world));
    UpdateTransformProduct();
    if (Is3DPathUp()) SetWorldTransform3D(s.world);
    return 0;
}

int SetViewMatrix(const float* matrix) {
    DrawState& s = GetDrawState();
    std::memcpy(s.view, matrix, sizeof(s.view));
    UpdateTransformProduct();
    if (Is3DPathUp()) SetViewTransform3D(s.view);
    return 0;
}

int SetProjectionMatrix(const float* matrix) {
    DrawState& s = GetDrawState();
    std::memcpy(s.projection, matrix, sizeof(s.projection));
    UpdateTransformProduct();
    if (Is3DPathUp()) SetProjectionTransform3D(s.projection);
    return 0;
}

int SetViewportMatrix(const float* matrix) {
    DrawState& s = GetDrawState();
    std::memcpy(s.viewport, matrix, sizeof(s.viewport));
    UpdateTransformProduct();
    return 0;
}
