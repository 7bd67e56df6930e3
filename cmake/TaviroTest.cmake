# taviro_add_test(NAME SOURCES ... LIBS ...)
# One QtTest executable a unit; it runs offscreen, and each test gets its own
# scratch folder through TAVIRO_TEST_TMP so parallel runs never share files.
function(taviro_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE taviro_options taviro_testsupport Qt6::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 240)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TAVIRO_NO_SOUND=1;TAVIRO_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# taviro_add_x_test(NAME SOURCES ... LIBS ...)
# A test that drives windows on a real X display with a window manager
# (Xvfb + openbox + xdotool, started by the test itself on a display number
# of its own). Labelled gui; it needs no offscreen platform.
function(taviro_add_x_test name)
    find_program(TAVIRO_XVFB Xvfb)
    find_program(TAVIRO_OPENBOX openbox)
    find_program(TAVIRO_XDOTOOL xdotool)
    if(NOT TAVIRO_XVFB OR NOT TAVIRO_OPENBOX OR NOT TAVIRO_XDOTOOL)
        message(STATUS "${name} needs Xvfb, openbox and xdotool (scripts/packages.txt); not built")
        return()
    endif()
    taviro_add_test(${name} ${ARGN} LABELS gui)
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=xcb;TAVIRO_NO_SOUND=1;TAVIRO_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
