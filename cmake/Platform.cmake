# Compiler settings shared by all of our own code, and the Windows system libraries the runtime calls.

add_library(kavorin_platform INTERFACE)
target_include_directories(kavorin_platform INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(kavorin_platform INTERFACE
  NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 DIRECTINPUT_VERSION=0x0700 DIRECTSOUND_VERSION=0x0700)
# Everything static, so the executables run on a clean Windows without the compiler's DLLs.
target_link_options(kavorin_platform INTERFACE -static -static-libgcc -static-libstdc++)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # SSE arithmetic on the shipped 32-bit build, so float rounding matches the tested 64-bit build.
  target_compile_options(kavorin_platform INTERFACE -msse2 -mfpmath=sse)
endif()

add_library(kavorin_system_libs INTERFACE)
target_link_libraries(kavorin_system_libs INTERFACE
  ddraw dxguid dinput8 dsound msacm32 winmm imm32 ole32 uuid strmiids comctl32 shell32 wsock32 ws2_32
  gdi32 user32 kernel32 advapi32)

# Our own code: strict warnings, and log texts compiled to Shift-JIS bytes.
function(kavorin_own_code target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=CP932> $<$<COMPILE_LANGUAGE:C>:-fexec-charset=CP932>)
endfunction()
