# Shared build settings: one INTERFACE target for warnings and defines, and
# helpers that every folder uses to declare its library and its tests.

add_library(kv_options INTERFACE)
target_compile_options(kv_options INTERFACE -Wall -Wextra -Wpedantic)
if(KV_WERROR)
    target_compile_options(kv_options INTERFACE -Werror)
endif()
target_compile_definitions(kv_options INTERFACE
    QT_NO_KEYWORDS
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    GST_DISABLE_DEPRECATED
    KV_VERSION="${PROJECT_VERSION}")

if(KV_SANITIZE)
    add_compile_options(-fsanitize=${KV_SANITIZE} -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=${KV_SANITIZE})
    if(KV_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

# kv_add_library(NAME SOURCES ... [LIBS ...]): one static library per source folder.
function(kv_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC kv_options ${ARG_LIBS})
endfunction()

# kv_add_test(NAME SOURCES ... [LIBS ...] [LABELS ...]): a GoogleTest program whose
# cases CTest runs one by one, each under the offscreen Qt platform.
# With CORE_APP the program runs under a QCoreApplication only, as the
# recorder does without a window.
function(kv_add_test name)
    cmake_parse_arguments(ARG "CORE_APP" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_CORE_APP)
        target_link_libraries(${name} PRIVATE kv_test_core_main ${ARG_LIBS})
    else()
        target_link_libraries(${name} PRIVATE kv_test_main ${ARG_LIBS})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if("tsan" IN_LIST ARG_LABELS)
        add_dependencies(tsan_tests ${name})
    endif()
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
            LABELS "${ARG_LABELS}"
            TIMEOUT ${ARG_TIMEOUT})
endfunction()
