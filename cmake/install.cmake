# Installation and the Debian package.
#
# <prefix>/lib/dorvel/   dorvel and the wake-up tool side by side (dorvel looks for Nocturo.exe
#                        in its own folder), the stand-in viewer and the demo generator
# <prefix>/bin/          links to dorvel and dorvel-demo; a program started through a link
#                        still finds its folder, because Qt resolves /proc/self/exe
# <prefix>/share/        menu entry, AppStream metainfo, hicolor icons, README, polkit rule
# <prefix>/lib/udev/     the udev rule for the RTC's wake alarm
#
# The program's folder is not writable once installed, so the event log goes to
# $XDG_STATE_HOME/Dorvel/. Nothing of the user's (settings, log, autostart entry) lives in the
# installed tree: an install over an older version cannot touch it.

set(DORVEL_PROGRAM_DIR lib/dorvel)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS dorvel nocturo orbivu-standin dorvel-demo
    RUNTIME DESTINATION ${DORVEL_PROGRAM_DIR})

# Relative links, so that any prefix works (also one with blanks, and a staging root).
foreach(program dorvel dorvel-demo)
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
        file(MAKE_DIRECTORY \"\${bin}\")
        message(STATUS \"Installing: \${bin}/${program} -> ../${DORVEL_PROGRAM_DIR}/${program}\")
        file(CREATE_LINK \"../${DORVEL_PROGRAM_DIR}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin}/${program}\")
    ")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/data/dorvel.desktop
    DESTINATION share/applications RENAME ${DORVEL_APP_ID}.desktop)
configure_file(${CMAKE_SOURCE_DIR}/data/dorvel.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/data/${DORVEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/${DORVEL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
# The whole theme folder: every icon added there is installed without a change here.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons/hicolor DESTINATION share/icons)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/dorvel)

# Set-up for unattended recording: the group "wakealarm" may arm the RTC's wake alarm (udev)
# and power off and suspend without a password (polkit). Below the prefix, so that a scratch
# or staged install stays inside it; with the prefix /usr (the Debian package) they land where
# udev and polkit read them. The package's postinst creates the group.
install(FILES ${CMAKE_SOURCE_DIR}/data/system/60-dorvel-wakealarm.rules
    DESTINATION lib/udev/rules.d)
install(FILES ${CMAKE_SOURCE_DIR}/data/system/60-dorvel-power.rules
    DESTINATION share/polkit-1/rules.d)

# cpack -G DEB in the build folder. Library dependencies come from dpkg-shlibdeps; the Qt
# plugins that are loaded, not linked, are named here: the SQLite driver for the viewer's
# database and the SVG icon engine for the icons.
set(CPACK_PACKAGE_NAME dorvel)
set(CPACK_PACKAGE_VENDOR "Dorvel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scheduler for unattended TV recordings with Orbivu")
set(CPACK_PACKAGE_DESCRIPTION
    "Dorvel sits in the tray and reads the timer entries of the viewer Orbivu from the
viewer's database. At each launch time it starts the viewer with the switches that
record the right channel into a file named after the programme, and afterwards keeps
the PC on, lets it sleep until the next recording or powers it off. A stand-in viewer
and a demo generator (dorvel-demo) let it be tried without the viewer.")
set(CPACK_PACKAGE_CONTACT "Dorvel developers <dorvel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6svg6, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/data/system/postinst)
set(CPACK_GENERATOR DEB)
include(CPack)
