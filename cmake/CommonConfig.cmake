# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target carries the language level, the warnings and the sanitizer switch;
# every target of the project links it.
add_library(varnolt_common INTERFACE)
target_compile_features(varnolt_common INTERFACE cxx_std_20)
target_compile_options(varnolt_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(varnolt_common INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER
    VARNOLT_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VARNOLT_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VARNOLT_VERSION_COMMENT="${VARNOLT_VERSION_COMMENT}")
if(VARNOLT_SANITIZE)
    target_compile_options(varnolt_common INTERFACE
        -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow -fno-omit-frame-pointer)
    target_link_options(varnolt_common INTERFACE -fsanitize=address,undefined,float-cast-overflow)
endif()
if(VARNOLT_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VARNOLT_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++), not ${CMAKE_CXX_COMPILER_ID}")
    endif()
    if(VARNOLT_SANITIZE)
        message(FATAL_ERROR "VARNOLT_FUZZ already builds with the sanitizers; leave VARNOLT_SANITIZE off")
    endif()
    # Coverage for libFuzzer and the sanitizers on everything this build compiles; the fuzz
    # targets link the fuzzer itself (fuzz/CMakeLists.txt). Undefined behaviour aborts, so
    # that the fuzzer reports it as a crash.
    target_compile_options(varnolt_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(varnolt_common INTERFACE -fsanitize=address,undefined)
endif()
