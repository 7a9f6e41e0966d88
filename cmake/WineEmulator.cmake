# The Windows build runs its own executables (the tests' discovery and the tests) under Wine:
# CMAKE_CROSSCOMPILING_EMULATOR is a small script that finds the Qt and MinGW run-time DLLs and
# Qt's plugins and fonts, keeps Wine's own prefix in the build folder, and drops the carriage returns that
# the Windows programs' text output carries (ctest and the test discovery read lines).
#
# The folders of the DLLs are found first, with or without Wine: the Windows packages take their
# DLLs from them too (packaging/windows.cmake).
get_filename_component(qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
set(TARV_WIN_QT_PREFIX "${qt_prefix}" CACHE INTERNAL "The Qt built for Windows")
set(dll_folders "${qt_prefix}/bin")
foreach(dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_seh-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
        get_filename_component(folder "${found}" DIRECTORY)
        list(APPEND dll_folders "${folder}")
    endif()
endforeach()
list(REMOVE_DUPLICATES dll_folders)
set(TARV_WIN_DLL_FOLDERS "${dll_folders}" CACHE INTERNAL "Folders of the DLLs the Windows executables load")

find_program(WINE_EXECUTABLE NAMES wine wine64)
if(NOT WINE_EXECUTABLE)
    message(STATUS "Wine is missing: the Windows executables are built but cannot run here")
    return()
endif()
set(wine_path "")
foreach(folder ${dll_folders})
    string(APPEND wine_path "Z:${folder};")
endforeach()

# Qt's offscreen platform, which the tests use, reads its fonts on Windows from one folder
# (QT_QPA_FONTDIR): the faces that the skin asks for first, as the Linux suite has them.
set(font_dir "${CMAKE_BINARY_DIR}/fonts")
file(MAKE_DIRECTORY "${font_dir}")
file(GLOB faces /usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-*.otf /usr/share/fonts/truetype/dejavu/*.ttf)
foreach(face ${faces})
    get_filename_component(name "${face}" NAME)
    file(CREATE_LINK "${face}" "${font_dir}/${name}" SYMBOLIC)
endforeach()

set(script "${CMAKE_BINARY_DIR}/wine-run")
file(WRITE "${script}" "#!/usr/bin/env bash
# Runs a Windows executable of this build under Wine (made by cmake/WineEmulator.cmake).
set -o pipefail
export WINEPATH='${wine_path}'
export QT_PLUGIN_PATH='Z:${qt_prefix}/plugins'
export QT_QPA_FONTDIR='Z:${font_dir}'
export WINEPREFIX=\"\${TARV_WINEPREFIX:-${CMAKE_BINARY_DIR}/wine}\"
export WINEDEBUG=\"\${WINEDEBUG:--all}\"
export WINEDLLOVERRIDES='mscoree,mshtml='
'${WINE_EXECUTABLE}' \"$@\" | tr -d '\\r'
")
file(CHMOD "${script}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${script}")
