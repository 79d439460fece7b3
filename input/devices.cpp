// Bringing the input devices up and down: DirectInput 7, else 8, else the WinMM joystick functions with
// GetKeyboardState; the joypad enumeration with its axis settings and force-feedback effects; and the
// re-acquire on activation. The queries that read the devices live in polling.cpp.
#include <string.h>

#include "input/device_state.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/window.h"

namespace {

InputState g_input;
int g_noDirectInput = 0;
int g_noKeyboardDevice = 0;

constexpr DWORD kBackgroundNonExclusive = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // 10
constexpr DWORD kForegroundExclusive = DISCL_EXCLUSIVE | DISCL_FOREGROUND;        // 5
constexpr LONG kAxisRange = 1000;
constexpr DWORD kAxisDeadZone = 2500;
constexpr DWORD kKeyboardBufferSize = 100;

template <typename T>
void ReleaseCom(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

void CloseEvent(HANDLE& event) {
    if (event != nullptr) {
        CloseHandle(event);
        event = nullptr;
    }
}

// Makes a device on whichever DirectInput object is in use.
HRESULT CreateDevice(REFGUID guid, IDirectInputDevice7A** device) {
    *device = nullptr;
    if (g_input.directInput8 != nullptr) {
        IDirectInputDevice8A* device8 = nullptr;
        HRESULT hr = g_input.directInput8->CreateDevice(guid, &device8, nullptr);
        if (SUCCEEDED(hr)) *device = device8;  // the version 8 device extends the version 7 one
        return hr;
    }
    if (g_input.directInput7 != nullptr) {
        return g_input.directInput7->CreateDeviceEx(guid, IID_IDirectInputDevice7A,
                                                    reinterpret_cast<void**>(device), nullptr);
    }
    return E_FAIL;
}

HRESULT SetAxisRange(IDirectInputDevice7A* device, DWORD axis) {
    DIPROPRANGE range{};
    range.diph.dwSize = sizeof(range);
    range.diph.dwHeaderSize = sizeof(range.diph);
    range.diph.dwObj = axis;
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -kAxisRange;
    range.lMax = kAxisRange;
    return device->SetProperty(DIPROP_RANGE, &range.diph);
}

HRESULT SetDwordProperty(IDirectInputDevice7A* device, REFGUID property, DWORD object, DWORD how, DWORD value) {
    DIPROPDWORD prop{};
    prop.diph.dwSize = sizeof(prop);
    prop.diph.dwHeaderSize = sizeof(prop.diph);
    prop.diph.dwObj = object;
    prop.diph.dwHow = how;
    prop.dwData = value;
    return device->SetProperty(property, &prop.diph);
}

// The two vibration effects of a pad: a sine wave with an envelope and a constant force, both on X and Y
// and running until stopped.
void CreateJoypadEffects(JoypadRecord& pad) {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};

    DIENVELOPE envelope{};
    envelope.dwSize = sizeof(envelope);
    envelope.dwAttackLevel = 0;
    envelope.dwAttackTime = (DWORD)(0.5 * DI_SECONDS);
    envelope.dwFadeLevel = 0;
    envelope.dwFadeTime = (DWORD)(1.0 * DI_SECONDS);

    DIPERIODIC periodic{};
    periodic.dwMagnitude = DI_FFNOMINALMAX;
    periodic.lOffset = 0;
    periodic.dwPhase = 0;
    periodic.dwPeriod = (DWORD)(1.5 * DI_SECONDS);

    DIEFFECT sine{};
    sine.dwSize = sizeof(sine);
    sine.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
    sine.dwDuration = INFINITE;
    sine.dwGain = DI_FFNOMINALMAX;
    sine.dwTriggerButton = DIEB_NOTRIGGER;
    sine.cAxes = 2;
    sine.rgdwAxes = axes;
    sine.rglDirection = directions;
    sine.lpEnvelope = &envelope;
    sine.cbTypeSpecificParams = sizeof(periodic);
    sine.lpvTypeSpecificParams = &periodic;
    if (FAILED(pad.device->CreateEffect(GUID_Sine, &sine, &pad.sineEffect, nullptr))) pad.sineEffect = nullptr;

    LONG cartesian[2] = {1, 0};
    DICONSTANTFORCE constant{};
    constant.lMagnitude = DI_FFNOMINALMAX;

    DIEFFECT force{};
    force.dwSize = sizeof(force);
    force.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    force.dwDuration = INFINITE;
    force.dwGain = DI_FFNOMINALMAX;
    force.dwTriggerButton = DIEB_NOTRIGGER;
    force.cAxes = 2;
    force.rgdwAxes = axes;
    force.rglDirection = cartesian;
    force.cbTypeSpecificParams = sizeof(constant);
    force.lpvTypeSpecificParams = &constant;
    if (FAILED(pad.device->CreateEffect(GUID_ConstantForce, &force, &pad.constantEffect, nullptr))) {
        pad.constantEffect = nullptr;
        WriteLog("周期的エフェクトの作成に失敗しました。\n");
    }
}

void ReleaseJoypadEffects(JoypadRecord& pad) {
    if (pad.sineEffect != nullptr) pad.sineEffect->Stop();
    if (pad.constantEffect != nullptr) pad.constantEffect->Stop();
    ReleaseCom(pad.sineEffect);
    ReleaseCom(pad.constantEffect);
}

// A pad that failed part-way is taken apart again; the enumeration goes on.
BOOL DropJoypad(JoypadRecord& pad, const char* message) {
    WriteLog(message);
    ReleaseJoypadEffects(pad);
    ReleaseCom(pad.device);
    CloseEvent(pad.event);
    pad = JoypadRecord{};
    return DIENUM_CONTINUE;
}

BOOL CALLBACK EnumJoypadCallback(LPCDIDEVICEINSTANCEA instance, LPVOID) {
    if (g_input.padCount >= kMaxJoypads) return DIENUM_STOP;
    JoypadRecord& pad = g_input.pads[g_input.padCount];
    pad = JoypadRecord{};
    WriteLog("入力装置を見つけました\n");
    if (FAILED(CreateDevice(instance->guidInstance, &pad.device)) || pad.device == nullptr) {
        pad.device = nullptr;
        WriteLog("入力装置の取得に失敗しました\n");
        return DIENUM_CONTINUE;
    }
    lstrcpynA(pad.instanceName, instance->tszInstanceName, sizeof(pad.instanceName));
    lstrcpynA(pad.productName, instance->tszProductName, sizeof(pad.productName));
    WriteLogFormat("デバイスの登録名:%s", pad.instanceName);
    WriteLogFormat("デバイスの製品登録名:%s", pad.productName);

    if (FAILED(pad.device->SetDataFormat(&c_dfDIJoystick))) {
        return DropJoypad(pad, "ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    }
    if (FAILED(pad.device->SetCooperativeLevel(GetMainHwnd(), kForegroundExclusive))) {
        return DropJoypad(pad, "ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
    }
    if (FAILED(SetAxisRange(pad.device, DIJOFS_X))) {
        return DropJoypad(pad, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
    }
    if (FAILED(SetAxisRange(pad.device, DIJOFS_Y))) {
        return DropJoypad(pad, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
    }
    SetAxisRange(pad.device, DIJOFS_Z);  // optional axes: a pad without them is still a pad
    SetAxisRange(pad.device, DIJOFS_RZ);
    if (FAILED(SetDwordProperty(pad.device, DIPROP_DEADZONE, DIJOFS_X, DIPH_BYOFFSET, kAxisDeadZone))) {
        return DropJoypad(pad, "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
    }
    if (FAILED(SetDwordProperty(pad.device, DIPROP_DEADZONE, DIJOFS_Y, DIPH_BYOFFSET, kAxisDeadZone))) {
        return DropJoypad(pad, "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
    }
    SetDwordProperty(pad.device, DIPROP_DEADZONE, DIJOFS_Z, DIPH_BYOFFSET, kAxisDeadZone);
    SetDwordProperty(pad.device, DIPROP_DEADZONE, DIJOFS_RZ, DIPH_BYOFFSET, kAxisDeadZone);

    CreateJoypadEffects(pad);
    pad.effect = JoypadEffectState{};
    pad.effect.power = DI_FFNOMINALMAX;

    pad.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT hr = pad.event != nullptr ? pad.device->SetEventNotification(pad.event) : E_FAIL;
    if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
        return DropJoypad(pad, "ジョイパッドイベントのセットアップが失敗しました\n");
    }
    pad.device->Acquire();
    pad.state = DIJOYSTATE{};
    pad.winmmId = 0;
    g_input.padCount++;
    WriteLog("ジョイパッドの追加は正常に終了しました\n");
    return g_input.padCount >= kMaxJoypads ? DIENUM_STOP : DIENUM_CONTINUE;
}

// Creates and initialises a DirectInput object of one version; logs the outcome. Null on failure.
template <typename Interface>
Interface* CreateDirectInputObject(REFCLSID clsid, REFIID iid, DWORD version) {
    Interface* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
    if (FAILED(hr) || object == nullptr) {
        WriteLogFormat("取得に失敗。");
        WriteLogPrintf("エラーコード 0x%x\n", (unsigned)hr);
        return nullptr;
    }
    WriteLog("成功\n");
    LogIndentIn();
    WriteLog("引き続き初期化処理... ");
    hr = object->Initialize(GetModuleHandleA(nullptr), version);
    if (FAILED(hr)) {
        WriteLogFormat("初期化に失敗。");
        object->Release();
        object = nullptr;
    } else {
        WriteLog("初期化成功\n");
    }
    LogIndentOut();
    return object;
}

void StartWinmmJoypads() {
    for (UINT id = 0; id < (UINT)kMaxJoypads; ++id) {
        JOYCAPSA caps{};
        if (joyGetDevCapsA(id, &caps, sizeof(caps)) != JOYERR_NOERROR) break;
        JoypadRecord& pad = g_input.pads[g_input.padCount];
        pad = JoypadRecord{};
        pad.winmmId = id;
        pad.hasZAndR = (caps.wCaps & JOYCAPS_HASZ) && (caps.wCaps & JOYCAPS_HASR) ? 1 : 0;
        pad.effect.power = DI_FFNOMINALMAX;
        g_input.padCount++;
    }
    WriteLogPrintf("パッドの数は %d 個です\n", g_input.padCount);
}

// What a failing step of a system device's set-up says on the fatal path.
struct SystemDeviceTexts {
    const char* create;
    const char* dataFormat;
    const char* cooperativeLevel;
};

// Makes a system device with its data format, non-exclusive in the background; every failure is fatal.
void MakeSystemDevice(REFGUID guid, const DIDATAFORMAT* format, HWND window, const SystemDeviceTexts& texts,
                      IDirectInputDevice7A** device) {
    if (FAILED(CreateDevice(guid, device)) || *device == nullptr) {
        *device = nullptr;
        FatalError(texts.create);
    }
    if (FAILED((*device)->SetDataFormat(format))) FatalError(texts.dataFormat);
    if (FAILED((*device)->SetCooperativeLevel(window, kBackgroundNonExclusive))) FatalError(texts.cooperativeLevel);
}

void StartMouse(HWND window) {
    WriteLog("マウスデバイスの初期化... ");
    MakeSystemDevice(GUID_SysMouse, &c_dfDIMouse, window,
                     {"マウスデバイスの取得に失敗しました", "マウスデバイスのデータ形式の設定に失敗しました",
                      "マウスデバイスの協調レベルの設定に失敗しました"},
                     &g_input.mouse);
    WriteLog("成功\n");
}

// The system keyboard. 0 when ready, 1 when its notification could not be set up.
int StartKeyboard(HWND window) {
    WriteLog("キーボードデバイスの初期化... ");
    MakeSystemDevice(GUID_SysKeyboard, &c_dfDIKeyboard, window,
                     {"キーボードデバイスの取得に失敗しました", "キーボードデバイスのデータ形式の設定に失敗しました",
                      "キーボードデバイスの協調レベルの設定に失敗しました"},
                     &g_input.keyboard);
    if (FAILED(SetDwordProperty(g_input.keyboard, DIPROP_BUFFERSIZE, 0, DIPH_DEVICE, kKeyboardBufferSize))) {
        WriteLog("キーボードのプロパティ設定に失敗しました\n");
    }
    g_input.keyboardEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT hr = g_input.keyboardEvent != nullptr ? g_input.keyboard->SetEventNotification(g_input.keyboardEvent)
                                                  : E_FAIL;
    if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
        WriteLog("キーボードイベントのセットアップが失敗しました\n");
        // The keyboard stays without notification; the polls then go by the clock alone.
        CloseEvent(g_input.keyboardEvent);
        return 1;
    }
    if (FAILED(g_input.keyboard->Acquire()) && FAILED(g_input.keyboard->Acquire())) {
        FatalError("キーボードデバイスの取得に失敗しました");
    }
    WriteLog("成功\n");
    // The time is noted, but the first query after the start reads the device whatever the clock says:
    // a query that started input lazily must still be answered.
    g_input.keyboardPollTime = timeGetTime();
    g_input.keyboardPolled = 0;
    return 0;
}

}  // namespace

InputState& InputDeviceState() { return g_input; }

void ResetInputState() { g_input = InputState{}; }

int IsInputStarted() {
    return g_input.directInput7 != nullptr || g_input.directInput8 != nullptr || g_input.startedWithoutDirectInput;
}
int IsInputUsingDirectInput() { return g_input.directInput7 != nullptr || g_input.directInput8 != nullptr; }
int IsDirectInput8() { return g_input.directInput8 != nullptr; }

void SetInputNoDirectInput(int flag) { g_noDirectInput = flag; }
int GetInputNoDirectInput() { return g_noDirectInput; }
void SetInputNoKeyboardDevice(int flag) { g_noKeyboardDevice = flag; }
int GetInputNoKeyboardDevice() { return g_noKeyboardDevice; }

int SetInputWindowFlags(int mask, int set) {
    mask &= 3;
    if (set) {
        g_input.windowFlags |= mask;
    } else {
        g_input.windowFlags &= ~mask;
    }
    return 0;
}
int GetInputWindowFlags() { return g_input.windowFlags; }

int AddMouseWheelCount(int notches) {
    g_input.wheelCount += notches;
    return 0;
}
int GetMouseWheelCount() { return g_input.wheelCount; }

int StartInput() {
    if (IsInputStarted()) return 0;
    ResetInputState();

    int indented = 0;
    if (!g_noDirectInput) {
        WriteLog("DirectInput関係初期化処理\n");
        LogIndentIn();
        indented = 1;
        WriteLog("DirectInput7 の取得中... ");
        g_input.directInput7 =
            CreateDirectInputObject<IDirectInput7A>(CLSID_DirectInput, IID_IDirectInput7A, 0x0700);
        if (g_input.directInput7 == nullptr) {
            WriteLog("DirectInput8 の取得を試みます...");
            g_input.directInput8 =
                CreateDirectInputObject<IDirectInput8A>(CLSID_DirectInput8, IID_IDirectInput8A, 0x0800);
        }
        if (!IsInputUsingDirectInput()) WriteLog("DirectInput を使用しません。\n");
    }

    if (!IsInputUsingDirectInput()) {
        StartWinmmJoypads();
        if (indented) LogIndentOut();
        g_input.startedWithoutDirectInput = 1;
        WriteLog("入力関連の初期化をしました\n");
        return 0;
    }

    LogIndentOut();
    HWND window = GetMainHwnd();
    if (window != nullptr) BringWindowToTop(window);
    ProcessMessageImpl();

    WriteLog("ジョイパッドの初期化... \n");
    if (g_input.directInput8 != nullptr) {
        g_input.directInput8->EnumDevices(DI8DEVCLASS_GAMECTRL, EnumJoypadCallback, nullptr, DIEDFL_ATTACHEDONLY);
    } else {
        g_input.directInput7->EnumDevices(DIDEVTYPE_JOYSTICK, EnumJoypadCallback, nullptr, DIEDFL_ATTACHEDONLY);
    }
    WriteLog("ジョイパッドの初期化は正常に終了しました\n");

    StartMouse(window);
    int result = 0;
    if (!g_noKeyboardDevice) {
        result = StartKeyboard(window);
        if (result != 0) return result;
    }
    WriteLog("DirectInput 関連の初期化は正常に終了しました\n");
    return 0;
}

int EndInput() {
    if (!IsInputStarted()) return 0;
    if (!IsInputUsingDirectInput()) {
        WriteLog("入力関連の終了処理... 完了\n");
        ResetInputState();
        return 0;
    }
    WriteLog("DirectInput 関連の終了処理... 完了\n");
    for (int i = 0; i < g_input.padCount; ++i) {
        JoypadRecord& pad = g_input.pads[i];
        if (pad.device != nullptr) {
            pad.device->Unacquire();
            pad.device->SetEventNotification(nullptr);
        }
        ReleaseJoypadEffects(pad);
        ReleaseCom(pad.device);
        CloseEvent(pad.event);
    }
    if (g_input.mouse != nullptr) g_input.mouse->Unacquire();
    ReleaseCom(g_input.mouse);
    if (g_input.keyboard != nullptr) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->SetEventNotification(nullptr);
    }
    ReleaseCom(g_input.keyboard);
    CloseEvent(g_input.keyboardEvent);
    ReleaseCom(g_input.directInput7);
    ReleaseCom(g_input.directInput8);
    ResetInputState();
    return 0;
}

int ReacquireInputDevices() {
    if (!IsInputUsingDirectInput()) return 0;
    const DWORD level = IsAppActive() ? kForegroundExclusive : kBackgroundNonExclusive;
    HWND window = GetMainHwnd();
    for (int i = 0; i < g_input.padCount; ++i) {
        IDirectInputDevice7A* device = g_input.pads[i].device;
        if (device == nullptr) continue;
        device->Unacquire();
        device->SetCooperativeLevel(window, level);
        device->Acquire();
    }
    if (g_input.keyboard != nullptr) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->Acquire();
    }
    return 0;
}
