// Headers nearly every test file parses: the test framework, the platform's and DirectX's, and the standard library's
// common ones, compiled once per test program instead of once per file (tests/CMakeLists.txt).
#pragma once

#include <windows.h>
#include <d3d.h>
#include <ddraw.h>
#include <dsound.h>
#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
