# Klangdeck on Windows: the program's icon and its Qt beside it, in the build
# folder as in the installed one, and the installer and zip
# (scripts/package-windows).
#
#   klangdeck.exe, Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, qt.conf
#   libgcc_s_dw2-1.dll, libwinpthread-1.dll    32-bit only
#   platforms\qwindows.dll, styles\qwindowsvistastyle.dll
#   translations\qtbase_de.qm      Qt's German texts
#   bass\bass.dll, bass\bassflac.dll, bass\bassopus.dll
#   Bibliotheken.txt               the libraries' names and licences

# The icon of the program file, which Explorer and the Start-menu link show.
set(ico ${CMAKE_CURRENT_BINARY_DIR}/klangdeck.ico)
add_custom_command(OUTPUT ${ico}
  COMMAND klangdeck-render-icon --ico ${ico} ${icons}
  DEPENDS klangdeck-render-icon ${icons}
  VERBATIM)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/klangdeck.rc
  CONTENT "IDI_ICON1 ICON \"${ico}\"\n")
target_sources(klangdeck PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/klangdeck.rc)
add_custom_target(klangdeck-ico DEPENDS ${ico})
add_dependencies(klangdeck klangdeck-ico)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/klangdeck.rc PROPERTIES OBJECT_DEPENDS ${ico})
# A window program: no console opens with it.
set_target_properties(klangdeck PROPERTIES WIN32_EXECUTABLE ON)

# Qt's libraries and plug-ins beside every program of the build (the Qt
# suites' too), as the installation has them. qt.conf makes the program's
# folder Qt's own, so that it finds its translations there.
set(qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets)
set(qt_plugins Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/qt.conf CONTENT "[Paths]\nPrefix = .\nPlugins = .\n")
find_file(KLANG_QT_GERMAN qtbase_de.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(copies)
foreach(library ${qt_libraries} Qt6::Test)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${library}> ${CMAKE_BINARY_DIR})
endforeach()
foreach(plugin ${qt_plugins})
  get_target_property(type ${plugin} QT_PLUGIN_TYPE)
  list(APPEND copies
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/${type}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${plugin}> ${CMAKE_BINARY_DIR}/${type})
endforeach()
add_custom_target(qt-runtime ALL ${copies}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/translations
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KLANG_QT_GERMAN} ${CMAKE_BINARY_DIR}/translations
  VERBATIM)
add_dependencies(klangui qt-runtime)

install(TARGETS klangdeck RUNTIME DESTINATION .)
install(TARGETS bass RUNTIME DESTINATION bass)
foreach(plugin bassflac bassopus)
  if(TARGET ${plugin})
    install(TARGETS ${plugin} LIBRARY DESTINATION bass RUNTIME DESTINATION bass)
  endif()
endforeach()
foreach(library ${qt_libraries})
  install(FILES $<TARGET_FILE:${library}> DESTINATION .)
endforeach()
foreach(plugin ${qt_plugins})
  get_target_property(type ${plugin} QT_PLUGIN_TYPE)
  install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${type})
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/qt.conf ${KLANG_WIN_RUNTIME_FILES} DESTINATION .)
# What the package carries of others, and under which licences.
install(FILES windows-notices.txt DESTINATION . RENAME Bibliotheken.txt)
install(FILES ${KLANG_QT_GERMAN} DESTINATION translations)

# The installer (NSIS) and the portable zip, named
# Klangdeck-VERSION-win32-setup.exe or -win64-setup.exe and -win32.zip or
# -win64.zip. The installer puts the program under the Program Files folder
# of its architecture, with a Start-menu link and an uninstaller that the
# system's list of programs knows.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  # The installer is a 32-bit program: it writes to and reads from the
  # 64-bit view of the registry, where 64-bit programs are registered.
  set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "SetRegView 64")
  # The uninstaller read the Start-menu folder from the 32-bit view; it is
  # the one the installer was given.
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "SetRegView 64
  StrCpy $START_MENU Klangdeck")
else()
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
endif()
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME Klangdeck)
set(CPACK_PACKAGE_VENDOR Klangdeck)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Klangdeck, ein kleiner Audio-Player")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Klangdeck)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Klangdeck)
set(CPACK_PACKAGE_EXECUTABLES klangdeck Klangdeck)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_DISPLAY_NAME Klangdeck)
set(CPACK_NSIS_PACKAGE_NAME Klangdeck)
set(CPACK_NSIS_INSTALLED_ICON_NAME klangdeck.exe)
set(CPACK_NSIS_MUI_ICON ${ico})
set(CPACK_NSIS_MUI_UNIICON ${ico})
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/copyright)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_FILE_NAME Klangdeck-${PROJECT_VERSION}-${KLANG_WIN_ARCH})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/package-names.cmake)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/package-names.cmake CONTENT [[
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
]] @ONLY)
include(CPack)
