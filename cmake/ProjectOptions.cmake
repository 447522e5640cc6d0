# Compiler settings shared by every target of the project.

# Applies our warning policy to one of our own targets (never to third-party code).
function(hml_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow
                                             -Wnon-virtual-dtor -Wno-missing-field-initializers)
endfunction()

if(WIN32)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                            WINVER=0x0A00)
    # One self-contained executable: no libstdc++/libgcc/winpthread DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(HML_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Adds a Windows GUI or console program with a Unicode entry point.
function(hml_windows_entry target)
    if(WIN32)
        target_link_options(${target} PRIVATE -municode)
    endif()
endfunction()

# Adds a GoogleTest executable. Under the cross build the tests are discovered when CTest runs,
# through Wine (the cross-compiling emulator), so building needs no Wine.
function(hml_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    hml_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE HML_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                               HML_SHARED_DIR="${HML_SHARED_DIR}")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# libFuzzer executables, one per source in the calling folder's fuzz/, linked with `lib` (clang,
# native only). With RUN_SECONDS they also run that long as tests.
function(hml_add_fuzzers lib)
    cmake_parse_arguments(FUZZ "" "RUN_SECONDS" "" ${ARGN})
    if(NOT HML_FUZZ OR WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp)
    foreach(src IN LISTS sources)
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src})
        hml_warnings(${name})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE ${lib})
        if(HML_TESTS AND FUZZ_RUN_SECONDS)
            add_test(NAME ${name} COMMAND ${name} -max_total_time=${FUZZ_RUN_SECONDS}
                                                  -rss_limit_mb=1024)
            set_tests_properties(${name} PROPERTIES TIMEOUT 60)
        endif()
    endforeach()
endfunction()
