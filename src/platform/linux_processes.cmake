#Process table and process start on Linux : / proc, pidfd, detached start.
target_sources(dorvel_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR} /
               linux_processes.cpp ${CMAKE_CURRENT_LIST_DIR} / linux_processes.h)
