// The draw target and the draw area: selecting the back screen, the front screen or a graph in both back ends,
// the window rectangle the front screen is drawn through, the draw area clamped into the target, and the default
// camera for the target's size.
#include <algorithm>

#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/window.h"

namespace {

// The main window's client rectangle while the front screen is drawn straight into it, else all 0.
RECT WindowDrawRectFor(int target) {
    const DrawState& s = GetDrawState();
    const DisplayState& display = GetDisplayState();
    RECT rect = {0, 0, 0, 0};
    const bool softwareImages = IsMemImgDrawMode() && display.screenBits != 8;
    const bool masked = s.maskPresent && s.maskDrawActive;
    if (target == -4 && IsWindowMode() && !display.useTempPrimary && !softwareImages && !masked) {
        GetMainClientRectOnScreen(&rect);
    }
    return rect;
}

// Selects the target in both back ends; a target neither of them accepts is refused.
int SelectInBackEnds(int target, int previous) {
    const int result2D = SelectDrawTarget2D(target, previous);
    int result3D = -1;
    if (Is3DPathUp()) result3D = SelectDrawTarget3D(target);
    return (result2D != 0 && result3D != 0) ? -1 : 0;
}

// The camera that makes the target's pixels the unit of the 3D transforms.
void SetDefaultTransforms(int width, int height) {
    float matrix[16];
    SetIdentityMatrix(matrix);
    SetWorldMatrix(matrix);

    BuildViewportMatrix(matrix, static_cast<float>(width), static_cast<float>(height));
    SetViewportMatrix(matrix);

    const float distance = static_cast<float>(height / 2) * 1.9098593f;
    const float eye[3] = {width / 2.0f, height / 2.0f, 43.0f - distance};
    const float look[3] = {width / 2.0f, height / 2.0f, 43.0f - distance + 1.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    BuildViewMatrix(matrix, eye, look, up);
    SetViewMatrix(matrix);

    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);
    if (BuildPerspectiveMatrix(matrix, 1.0471976f, distance * 0.1f, distance + 1000.0f,
                               static_cast<float>(screenHeight) / static_cast<float>(screenWidth)) == 0) {
        SetProjectionMatrix(matrix);
    }
}

}  // namespace

int SetTargetScreenImpl(int target) {
    if (!IsGraphManagementUp()) return -1;
    WaitWhileInactive();
    DrawState& s = GetDrawState();
    // The mask follows the target; it is off while the target changes.
    const int maskRequested = GetMaskDrawFlag();
    SetMaskDrawFlag(0);

    int result = 0;
    if (target >= 0 && target < kGraphSlots && GetGraphHandleAtSlot(target) == -1) {
        result = -1;
    } else {
        const int previous = s.target;
        s.target = target;
        s.windowDrawRect = WindowDrawRectFor(target);
        if (SelectInBackEnds(target, previous) != 0) {
            // The old target stays: both back ends and the record go back to it.
            s.target = previous;
            s.windowDrawRect = WindowDrawRectFor(previous);
            SelectInBackEnds(previous, target);
            result = -1;
        } else {
            int width = 0, height = 0;
            GetGraphDimensionsImpl(target, &width, &height);
            const bool sameSize = width == s.targetWidth && height == s.targetHeight;
            s.targetWidth = width;
            s.targetHeight = height;
            if (sameSize) {
                const RECT area = s.drawArea;
                SetViewportRectImpl(area.left, area.top, area.right, area.bottom);
            } else {
                SetViewportRectImpl(0, 0, width, height);
            }
            SetDefaultTransforms(width, height);
        }
    }
    SetMaskDrawFlag(maskRequested);
    return result;
}

int GetTargetScreen() { return GetDrawState().target; }

int SetViewportRectImpl(int left, int top, int right, int bottom) {
    DrawState& s = GetDrawState();
    const char* bufferName;
    int width = 0, height = 0;
    int minX = 0, minY = 0;
    if (s.target == -4) {
        bufferName = "Front Buffer";
        GetScreenSize(&width, &height);
        RECT client = {0, 0, 0, 0};
        if (IsWindowMode() && GetMainClientRectOnScreen(&client) == 0) {
            // Only what the desktop shows of the client area can be drawn on the front screen.
            const int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
            const int desktopHeight = GetSystemMetrics(SM_CYSCREEN);
            if (client.left < 0) minX = std::min(width, static_cast<int>(-client.left));
            if (client.top < 0) minY = std::min(height, static_cast<int>(-client.top));
            if (desktopWidth > 0) width = std::max(minX, std::min(width, desktopWidth - static_cast<int>(client.left)));
            if (desktopHeight > 0) {
                height = std::max(minY, std::min(height, desktopHeight - static_cast<int>(client.top)));
            }
        }
    } else if (s.target == -2) {
        bufferName = "Back Buffer";
        GetScreenSize(&width, &height);
    } else {
        bufferName = "Image Buffer";
        if (GetGraphDimensionsImpl(s.target, &width, &height) != 0) return 0;
    }

    RECT area = {left, top, right, bottom};
    OrderRectCorners(&area);
    area.left = std::clamp(static_cast<int>(area.left), minX, width);
    area.right = std::clamp(static_cast<int>(area.right), minX, width);
    area.top = std::clamp(static_cast<int>(area.top), minY, height);
    area.bottom = std::clamp(static_cast<int>(area.bottom), minY, height);

    s.drawArea = area;
    s.drawAreaF[0] = static_cast<float>(area.left);
    s.drawAreaF[1] = static_cast<float>(area.top);
    s.drawAreaF[2] = static_cast<float>(area.right);
    s.drawAreaF[3] = static_cast<float>(area.bottom);
    if (area.left == area.right || area.top == area.bottom) {
        s.areaEmpty = 1;
        return 0;
    }
    s.areaEmpty = 0;
    if (Is3DPathUp() && SetDrawAreaViewport3D(&area) != 0) {
        WriteLogFormat("ビューポートの設定に失敗しました %s", bufferName);
    }
    return 0;
}

int SaveDrawArea(RECT* out) {
    if (out != nullptr) *out = GetDrawState().drawArea;
    return 0;
}
