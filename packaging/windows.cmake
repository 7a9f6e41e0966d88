# The Windows packages (`cpack` in the Windows build folder; scripts/package-windows does it):
# a portable zip, tarv.exe with everything it loads in one folder, and an NSIS installer with a
# Start-menu entry and an uninstaller that installs the same folder under Program Files.

# The plugins Qt loads at run time, by their place beside the executable. PNG, the only image
# format the program reads, is built into Qt itself.
set(TARV_WIN_PLUGINS platforms/qwindows.dll)

foreach(plugin ${TARV_WIN_PLUGINS})
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES "${TARV_WIN_QT_PREFIX}/plugins/${plugin}" DESTINATION ${folder})
endforeach()
find_program(TARV_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
set(system_dlls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
install(CODE "
    set(TARV_OBJDUMP \"${TARV_OBJDUMP}\")
    set(TARV_DLL_FOLDERS \"${TARV_WIN_DLL_FOLDERS}\")
    set(TARV_SYSTEM_DLLS \"${system_dlls}\")
    set(TARV_ROOTS \"tarv.exe;${TARV_WIN_PLUGINS}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/WindowsRuntime.cmake\")
")
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME tarv)
set(CPACK_PACKAGE_VENDOR "tarv developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split keyboard for General MIDI sound sources")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarv)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The zip unpacks into a folder of its name; the installer is named apart from it.
set(CPACK_PACKAGE_FILE_NAME tarv-${PROJECT_VERSION}-win64)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/WindowsPackages.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
    "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
    "  set(CPACK_PACKAGE_FILE_NAME tarv-${PROJECT_VERSION}-setup)\n"
    "else()\n"
    "  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)\n"
    "endif()\n")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME tarv)
set(CPACK_NSIS_DISPLAY_NAME tarv)
set(CPACK_NSIS_URL_INFO_ABOUT "${PROJECT_HOMEPAGE_URL}")
set(CPACK_NSIS_INSTALLED_ICON_NAME tarv.exe)
set(CPACK_NSIS_MUI_ICON ${TARV_WIN_ICON})
set(CPACK_NSIS_MUI_UNIICON ${TARV_WIN_ICON})
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program (NSIS makes 32-bit ones unless told).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# The Start-menu entry: the executable and the entry's name.
set(CPACK_PACKAGE_EXECUTABLES tarv tarv)
include(CPack)
