// The message pump that the game calls once a frame (ProcessMessage), the message thread that runs the
// same pump's services every 17 ms under the API lock, and the wait that holds drawing while the
// application is inactive.
#pragma once

#include <windows.h>

// One pump: dispatches the main thread's messages (waiting while the application is inactive) and runs the
// per-pass services. 0, or -1 once the application is quitting.
int ProcessMessageImpl();

// Starts the message thread (start-up); 0, or -1 when the thread could not be made.
int StartMessageThread();
// Waits until the message thread has ended and closes its handle. Must not be called on the message
// thread itself (it returns at once there). Returns 0.
int WaitMessageThreadEnd();
// The message thread's body.
DWORD WINAPI MessageThreadMain(LPVOID);
int IsMessageThread();
// 1 from the start of the message thread until it has ended.
int IsMessageThreadRunning();
// Passes the message thread has run since the program started (diagnostics and tests).
unsigned long GetMessageThreadPassCount();
// A function the message thread calls after each pass, still under the API lock (diagnostics; null = none).
typedef void (*MessageThreadPassHook)();
void SetMessageThreadPassHook(MessageThreadPassHook hook);

// Called by drawing functions: returns at once unless the application is inactive, else pumps until it is
// active again or quitting, then restores the output surfaces and the graphs.
int WaitWhileInactive();
