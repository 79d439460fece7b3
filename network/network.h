// The network layer: TCP connections as network handles (type 9) driven by socket notifications to a hidden
// window, raw or length-prefixed, and a small HTTP/1.0 client. The runtime's start-up, pump, window procedure
// and shutdown call the services below; nothing in the program starts the network, so they find nothing to do.
#pragma once

#include <windows.h>

// The window message that carries socket notifications (WM_USER + 261).
constexpr UINT kSocketMessage = 1285;

// ---- Services the runtime calls ----
int HttpTableClear();                     // empties the HTTP request table; 0
// With closeFirst 1, first closes the handles whose loss was reported (auto-close) or that are in error;
// then dispatches the socket notifications queued when it began. 0.
int PumpNetworkMessages(int closeFirst);
int ServiceHttpRequests();                // one step of every live request; 0
// One socket notification: 1; AcceptNetWork's result for FD_ACCEPT; 0 (logged) for a socket of no record.
LRESULT OnSocketMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int HttpShutDown();                       // ends and frees every request; 0
int NetworkShutDown();                    // closes every handle, the socket window and WinSock; 0

// ---- Operations on network handles: -1 at once while the network is not started ----
int AcceptNetWork();                      // 1 with a new handle in the chain, or -1
int CloseNetWorkHandle(int handle);       // flushes (bounded), closes and frees; 0 or -1
int GetNetWorkAcceptState(int handle);    // 1 connected, 0 not (notes the loss as reported), -1
int GetNetWorkDataLength(int handle);     // bytes ready to be received, or -1
// Raw stream: recv's result. Length-prefixed: 0 after taking exactly `size` bytes, -1 when fewer are held.
int NetWorkRecv(int handle, void* buffer, int size);
int NetWorkRecvToPeek(int handle, void* buffer, int size);  // as NetWorkRecv, leaving the bytes
// Raw stream: send's result. Length-prefixed: 0 once queued (and pushed as far as the socket takes), or -1.
int NetWorkSend(int handle, const void* data, int length);
