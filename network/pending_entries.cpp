// Network entries that start-up, shutdown, the message pump and the window procedure call, in their least
// form until the network layer is built: there are no network records or HTTP requests, so every service
// finds nothing to do and a socket notification names no live record. Each function leaves this file when
// the network layer implements it.
#include "network/network.h"

#include "runtime/log.h"

int HttpTableClear() { return 0; }
int PumpNetworkMessages(int) { return 0; }
int ServiceHttpRequests() { return 0; }
LRESULT OnSocketMessage(HWND, UINT, WPARAM, LPARAM) {
    WriteLog("通信エラー No.1\n");
    return 0;
}
int HttpShutDown() { return 0; }
int NetworkShutDown() { return 0; }
