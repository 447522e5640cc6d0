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

# libFuzzer executables (clang, native only), one per source in SOURCES, each linked with an
# instrumented copy of our library `lib` so the fuzzer sees the coverage inside it.
#   SUPPORT      further sources every fuzzer of the call builds with (test writers)
#   INCLUDES     their include folders
#   CORPUS       a folder holding one seed folder per fuzzer, named after it
#   DEPENDS      the target that writes those seeds
#   RUN_SECONDS  also run each fuzzer that long as a test
function(hml_add_fuzzers lib)
    cmake_parse_arguments(FUZZ "" "RUN_SECONDS;CORPUS;DEPENDS" "SOURCES;SUPPORT;INCLUDES" ${ARGN})
    if(NOT HML_FUZZ OR WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    set(copy ${lib}_fuzz)
    if(NOT TARGET ${copy})
        get_target_property(lib_sources ${lib} SOURCES)
        get_target_property(lib_source_dir ${lib} SOURCE_DIR)
        list(TRANSFORM lib_sources PREPEND "${lib_source_dir}/" REGEX "^[^/]")
        # Options of single sources (the vector kernels' instruction sets) belong to the library's
        # folder; the copy needs them here too.
        foreach(source IN LISTS lib_sources)
            get_source_file_property(options ${source} DIRECTORY ${lib_source_dir} COMPILE_OPTIONS)
            if(options)
                set_source_files_properties(${source} PROPERTIES COMPILE_OPTIONS "${options}")
            endif()
        endforeach()
        get_target_property(lib_links ${lib} LINK_LIBRARIES)
        add_library(${copy} STATIC ${lib_sources})
        target_include_directories(${copy} PUBLIC ${CMAKE_SOURCE_DIR}/src)
        target_compile_options(${copy} PRIVATE -fsanitize=fuzzer-no-link)
        if(lib_links)
            target_link_libraries(${copy} PUBLIC ${lib_links})
        endif()
        hml_warnings(${copy})
    endif()
    foreach(src IN LISTS FUZZ_SOURCES)
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src} ${FUZZ_SUPPORT})
        target_include_directories(${name} PRIVATE ${FUZZ_INCLUDES})
        hml_warnings(${name})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE ${copy})
        if(FUZZ_DEPENDS)
            add_dependencies(${name} ${FUZZ_DEPENDS})
        endif()
        if(HML_TESTS AND FUZZ_RUN_SECONDS)
            set(corpus)
            if(FUZZ_CORPUS)
                set(corpus ${FUZZ_CORPUS}/${name})
            endif()
            add_test(NAME fuzz.${name}
                     COMMAND ${name} -max_total_time=${FUZZ_RUN_SECONDS} -rss_limit_mb=2048
                             -timeout=10 ${corpus})
            set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120)
        endif()
    endforeach()
endfunction()
