// The part every draw entry shares once it knows what it draws and where: the mask and software front-screen work
// around the back end, and subtract on the Direct3D path drawn as invert, add, invert. Only the draw entry files
// include this.
#pragma once

#include <windows.h>

#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/blit2d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/ddraw/present.h"

// The front screen drawn through software images: every draw shows in the window at once.
inline bool IsFrontScreenInSoftware() {
    return GetDrawState().target == -4 && IsMemImgDrawMode() && GetDisplayState().screenBits != 8;
}

// A white box in subtract mode turns the destination into its inverse on the Direct3D path (the blend factors are
// ZERO and INVDESTCOLOR); the colour scale is white for the box and put back after it.
inline void InvertRect3D(const RECT& rect, int parameter) {
    const unsigned int scale = GetDrawState().colorScale;
    SetDrawColorScaleRgb(0xFFFFFF);
    SetBlendModeImpl(3, parameter);
    DrawBoxFilled3D(rect.left, rect.top, rect.right, rect.bottom,
                    static_cast<int>(RgbToScreenPixelImpl(255, 255, 255)));
    SetDrawColorScaleRgb(scale);
}

// Subtract as the device can do it: invert the rectangle, add the draw (blend mode 5 at the caller's parameter),
// invert back; dst - src * alpha is what remains. The box parameter is 255, or the caller's for strings.
template <typename Draw>
int SubtractOn3D(const RECT& rect, int boxParameter, Draw draw) {
    const int parameter = GetDrawState().blendParameter;
    if (boxParameter < 0) boxParameter = parameter;
    InvertRect3D(rect, boxParameter);
    SetBlendModeImpl(5, parameter);
    const int result = draw();
    InvertRect3D(rect, boxParameter);
    SetBlendModeImpl(3, parameter);
    return result;
}

// Runs one draw on the back end the caller chose (on3D), with the mask prepared and applied around it (applyMask),
// the window read back into the software front screen first when it shows something newer, and the drawn
// rectangle shown in the window afterwards. Subtract on the Direct3D path inverts with boxes at boxParameter
// (-1: the caller's blend parameter).
template <typename Draw3D, typename DrawOther>
int RunDraw(const RECT& rect, bool on3D, bool applyMask, int boxParameter, Draw3D draw3D, DrawOther drawOther) {
    const DrawState& s = GetDrawState();
    const bool masked = applyMask && s.maskDrawActive != 0;
    const bool front = IsFrontScreenInSoftware();
    if (masked) PrepareMaskForDraw(&rect);
    if (front && IsWindowShowingBackScreen()) CaptureWindowToBackBuffer();
    int result;
    if (on3D) {
        result = s.blendMode == 3 ? SubtractOn3D(rect, boxParameter, draw3D) : draw3D();
    } else {
        result = drawOther();
    }
    if (masked) ApplyMaskAfterDraw(&rect);
    if (front) PresentMemImgRect(&rect);
    return result;
}
