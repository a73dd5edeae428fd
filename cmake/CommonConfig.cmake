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
