# Fails when a logic source includes a widget or GUI header. Widget sources are named after
# what they are (window, form, dialog, prompter, tray) and are exempt.
file(GLOB_RECURSE sources
    ${ROOT}/src/platform/*.cpp ${ROOT}/src/platform/*.h
    ${ROOT}/src/core/*.cpp ${ROOT}/src/core/*.h
    ${ROOT}/src/shell/*.cpp ${ROOT}/src/shell/*.h
    ${ROOT}/src/todolist/*.cpp ${ROOT}/src/todolist/*.h
    ${ROOT}/src/scheduler/*.cpp ${ROOT}/src/scheduler/*.h
    ${ROOT}/src/power/*.cpp ${ROOT}/src/power/*.h
    ${ROOT}/src/entry/*.cpp ${ROOT}/src/entry/*.h
    ${ROOT}/src/settingsdialog/*.cpp ${ROOT}/src/settingsdialog/*.h)
set(bad "")
foreach(f IN LISTS sources)
    get_filename_component(name ${f} NAME)
    if(name MATCHES "(window|form|dialog|prompter|tray)")
        continue()
    endif()
    file(STRINGS ${f} hits REGEX "#include <(QtWidgets/|QtGui/|QWidget|QMessageBox|QDialog|QApplication|QMainWindow|QFileDialog|QLabel|QPushButton|QSystemTrayIcon|QMenu|QAction|QIcon|QColor|QPixmap|QGuiApplication|QScreen)")
    if(hits)
        list(APPEND bad "${f}: ${hits}")
    endif()
endforeach()
if(bad)
    message(FATAL_ERROR "Logic sources include widget headers:\n${bad}")
endif()
message(STATUS "${CMAKE_CURRENT_LIST_FILE}: no widget headers in logic sources")
