# Compiler options shared by every target of the project.
add_library(zt_options INTERFACE)

if(MSVC)
  target_compile_options(zt_options INTERFACE /W4 /permissive- /utf-8)
  if(ZT_WARNINGS_AS_ERRORS)
    target_compile_options(zt_options INTERFACE /WX)
  endif()
else()
  target_compile_options(zt_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast)
  if(ZT_WARNINGS_AS_ERRORS)
    target_compile_options(zt_options INTERFACE -Werror)
  endif()
endif()

if(WIN32)
  # Narrow Win32 API (the A functions), no min/max macros, Windows 7 and later.
  target_compile_definitions(zt_options INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  if(MINGW)
    target_link_options(zt_options INTERFACE -static -static-libgcc -static-libstdc++)
  endif()
endif()

if(ZT_SANITIZERS AND NOT WIN32)
  target_compile_options(zt_options INTERFACE
    -fsanitize=${ZT_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(zt_options INTERFACE -fsanitize=${ZT_SANITIZERS})
endif()

# The fuzz targets link the core library: give all code the fuzzer's coverage
# instrumentation so it can steer into the core's branches.
if(ZT_BUILD_FUZZERS AND NOT WIN32)
  target_compile_options(zt_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The hardening Debian builds its packages with: checked string and memory
# functions, a read-only relocation table bound at start, a stack protector.
if(ZT_HARDENED AND NOT WIN32)
  target_compile_options(zt_options INTERFACE -D_FORTIFY_SOURCE=2 -fstack-protector-strong)
  target_link_options(zt_options INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()
