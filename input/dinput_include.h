// Brings in the DirectInput declarations for the input module. The module talks to both the version 7 and
// the version 8 interfaces, so it sees the version 8 declarations; the device interfaces of both derive
// from IDirectInputDevice7A, which is the one type the module keeps its devices in.
#pragma once

#undef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>
