# Tests that need D-Bus run inside their own dbus-run-session against fake services (the fake
# logind among them), so that nothing they do can reach the machine's logind. NOCTURO builds
# the wake-up tool first and passes its path (NOCTURO_PATH), as FAKE_LOGIN1_PATH always is.
#   dorvel_add_dbus_test(NAME <name> SOURCES <files...> LIBS <targets...> [NOCTURO])
function(dorvel_add_dbus_test)
    cmake_parse_arguments(T "NOCTURO" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/fakemachine.h)
    target_link_libraries(${T_NAME} PRIVATE dorvel_testsupport ${T_LIBS} Qt6::DBus Qt6::Test)
    target_compile_definitions(${T_NAME} PRIVATE FAKE_LOGIN1_PATH="$<TARGET_FILE:fake_login1>")
    add_dependencies(${T_NAME} fake_login1)
    if(T_NOCTURO)
        target_compile_definitions(${T_NAME} PRIVATE NOCTURO_PATH="$<TARGET_FILE:nocturo>")
        add_dependencies(${T_NAME} nocturo)
    endif()
    add_test(NAME ${T_NAME} COMMAND dbus-run-session -- $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES LABELS unit TIMEOUT 120 ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;TZ=Europe/Berlin;LANG=C.UTF-8;LC_ALL=C.UTF-8;DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/dorvel-test-system-bus")
    add_dependencies(dorvel_unit_tests ${T_NAME})
endfunction()
