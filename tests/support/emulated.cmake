# Cross-built (the arm64 preset), ctest runs every test executable under the emulator the
# toolchain names (CMAKE_CROSSCOMPILING_EMULATOR), and the programs the tests start must run
# there too. Sets run_zq80415 and run_zq80415-sim to what a test starts for each program: the
# program itself, or cross-built a starter under emulated/, named as the program, that runs it
# in the emulator. zq_emulated_launcher(TEST) readies an emulated test executable to start them
# and to wait for them longer.
# Included by tests/CMakeLists.txt.

foreach(program zq80415 zq80415-sim)
    set(run_${program} $<TARGET_FILE:${program}>)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
        set(run_${program} ${CMAKE_BINARY_DIR}/emulated/${program})
        file(GENERATE OUTPUT ${run_${program}}
             CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:${program}> \"$@\"\n"
             FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                              WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()

# The emulator cannot start a process the way QProcess tries first: tests/support/no_pidfd.c,
# preloaded, turns it to the way it falls back to.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_library(no_pidfd MODULE ${CMAKE_CURRENT_LIST_DIR}/no_pidfd.c)
    target_link_libraries(no_pidfd PRIVATE ${CMAKE_DL_LIBS})
endif()
# Emulated, a test's code runs several times slower than on the machine it was written for:
# once every test of this folder is defined, each has three times its time limit.
function(zq_emulated_time_limits)
    get_property(tests DIRECTORY PROPERTY TESTS)
    foreach(test ${tests})
        get_test_property(${test} TIMEOUT limit)
        if(limit)
            math(EXPR limit "${limit} * 3")
            set_tests_properties(${test} PROPERTIES TIMEOUT ${limit})
        endif()
    endforeach()
endfunction()
if(CMAKE_CROSSCOMPILING_EMULATOR)
    cmake_language(DEFER CALL zq_emulated_time_limits)
endif()

function(zq_emulated_launcher test)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        add_dependencies(${test} no_pidfd)
        target_compile_definitions(${test} PRIVATE ZQ_TIME_SCALE=3)
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT LD_PRELOAD=$<TARGET_FILE:no_pidfd>)
    endif()
endfunction()
