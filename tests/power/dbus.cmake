# Tests that need D-Bus run inside their own dbus-run-session against fake services, so that
# nothing they do can reach the machine's logind.
#   dorvel_add_dbus_test(NAME <name> SOURCES <files...> LIBS <targets...> LABELS <labels...>
#                        [ENV <vars...>] [TIMEOUT <s>] [NOCTURO] [FAKE_LOGIN1])
# NOCTURO and FAKE_LOGIN1 build the wake-up tool or the fake logind first and pass the test
# their paths (NOCTURO_PATH, FAKE_LOGIN1_PATH).
function(dorvel_add_dbus_test)
    cmake_parse_arguments(T "NOCTURO;FAKE_LOGIN1" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/fakemachine.h)
    target_link_libraries(${T_NAME} PRIVATE dorvel_testsupport ${T_LIBS} Qt6::DBus Qt6::Test)
    foreach(tool nocturo fake_login1)
        string(TOUPPER ${tool} flag)
        if(T_${flag})
            target_compile_definitions(${T_NAME} PRIVATE ${flag}_PATH="$<TARGET_FILE:${tool}>")
            add_dependencies(${T_NAME} ${tool})
        endif()
    endforeach()
    add_test(NAME ${T_NAME} COMMAND dbus-run-session -- $<TARGET_FILE:${T_NAME}>)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=Europe/Berlin;LANG=C.UTF-8;LC_ALL=C.UTF-8;DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/dorvel-test-system-bus;${T_ENV}")
    if("unit" IN_LIST T_LABELS)
        add_dependencies(dorvel_unit_tests ${T_NAME})
    endif()
endfunction()
