# Power through systemd-logind and the wake alarm, the simulated power backend, and the XDG
# autostart entry.
target_sources(dorvel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/power.h
    ${CMAKE_CURRENT_LIST_DIR}/power_wakealarm.cpp ${CMAKE_CURRENT_LIST_DIR}/power_wakealarm.h
    ${CMAKE_CURRENT_LIST_DIR}/power_logind.cpp ${CMAKE_CURRENT_LIST_DIR}/power_logind.h
    ${CMAKE_CURRENT_LIST_DIR}/power_simulated.cpp ${CMAKE_CURRENT_LIST_DIR}/power_simulated.h
    ${CMAKE_CURRENT_LIST_DIR}/linux_autostart.cpp ${CMAKE_CURRENT_LIST_DIR}/linux_autostart.h
)

# The RTC and logind as the wake-up tool and the readiness check read them.
target_sources(dorvel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/rtcalarm.cpp ${CMAKE_CURRENT_LIST_DIR}/rtcalarm.h
    ${CMAKE_CURRENT_LIST_DIR}/logindcheck.cpp ${CMAKE_CURRENT_LIST_DIR}/logindcheck.h
    ${CMAKE_CURRENT_LIST_DIR}/powerreadiness.cpp ${CMAKE_CURRENT_LIST_DIR}/powerreadiness.h
)
