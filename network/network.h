// The network layer's services that start-up, shutdown, the message pump and the window procedure call.
// The program opens no connection, so each finds nothing to do, but they run in their places.
#pragma once

#include <windows.h>

// The window message that carries socket notifications to the main window.
constexpr UINT kSocketMessage = 1285;

int HttpTableClear();                     // empties the HTTP request table; 0
int PumpNetworkMessages(int sendFirst);   // 0
int ServiceHttpRequests();                // 0
LRESULT OnSocketMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int HttpShutDown();                       // 0
int NetworkShutDown();                    // 0
