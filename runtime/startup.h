// Start-up and shutdown of the whole runtime: the fixed order in which every module is brought up by
// StartUpLibrary and taken down by ShutDownLibrary (their Impl twins are the two sequences below), the
// library's life-cycle flags and the settings that skip a module's start.
#pragma once

// Brings every runtime module up; 0 on success, -1 on failure (a failing step unwinds through the
// shutdown sequence, except the refusal of a 24-bit colour depth, which returns at once).
int LibraryStartUpSequence();
// Takes every module down in reverse order; each step tolerates a module that never started. Returns 0.
int LibraryShutDownSequence();

// COM for the DirectX objects.
int StartCom();  // 0, or -1 when already started or CoInitialize failed
int EndCom();    // 0, or -1 when not started

// Processor check of the system report (system_info.cpp).
int IsMmxUsable();

// Life-cycle flags (written on the main thread, read by any thread).
int IsLibraryInitialising();
int IsLibraryRunning();
int IsLibraryEnding();
int IsComStarted();

// Settings that skip a part of the start-up; all 0 at load and never set by the game.
void SetLibraryNoWindow(int flag);
void SetLibraryNoInput(int flag);
void SetLibraryNoSound(int flag);
void SetLibraryNoGraphics(int flag);
int GetLibraryNoWindow();
int GetLibraryNoInput();
int GetLibraryNoSound();
int GetLibraryNoGraphics();
