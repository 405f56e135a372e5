# SPDX-License-Identifier: GPL-3.0-or-later
# The window's texts in other languages. Each translations/morrowtide_<lang>.ts is compiled (lrelease) into the GUI
# library under :/i18n, where the program finds the one of the system locale. The build also extracts every text the
# window marks for translation (lupdate) into morrowtide.ts in the build folder; a test checks that each language
# has them all. `cmake --build --preset release --target update_translations` brings new texts into the .ts files.
find_package(Qt6 COMPONENTS LinguistTools QUIET)
if(NOT Qt6LinguistTools_FOUND)
  message(WARNING "Qt6 LinguistTools not found (Debian: qt6-l10n-tools); the window is not translated")
  return()
endif()
file(GLOB MORROWTIDE_TS_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/translations/morrowtide_*.ts)
# The run engine's texts that the window shows (the summary, the folder and mask errors) are marked there too.
file(GLOB MORROWTIDE_GUI_TEXT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/gui/*.cpp
     ${PROJECT_SOURCE_DIR}/src/gui/*.h ${PROJECT_SOURCE_DIR}/src/app/*.cpp ${PROJECT_SOURCE_DIR}/src/app/*.h)
qt_add_translations(morrowtide_gui TS_FILES ${MORROWTIDE_TS_FILES} SOURCES ${MORROWTIDE_GUI_TEXT_SOURCES}
                    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/src RESOURCE_PREFIX /i18n LUPDATE_OPTIONS -no-obsolete -locations none)

set(MORROWTIDE_TS_TEMPLATE ${PROJECT_BINARY_DIR}/translations/morrowtide.ts)
add_custom_command(
  OUTPUT ${MORROWTIDE_TS_TEMPLATE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/translations
  COMMAND ${CMAKE_COMMAND} -E rm -f ${MORROWTIDE_TS_TEMPLATE}
  COMMAND Qt6::lupdate -silent -locations none -I ${PROJECT_SOURCE_DIR}/src ${MORROWTIDE_GUI_TEXT_SOURCES} -ts ${MORROWTIDE_TS_TEMPLATE}
  DEPENDS ${MORROWTIDE_GUI_TEXT_SOURCES}
  COMMENT "Extracting the window's texts into morrowtide.ts"
  VERBATIM)
add_custom_target(morrowtide_ts_template ALL DEPENDS ${MORROWTIDE_TS_TEMPLATE})
set(MORROWTIDE_TS_TEMPLATE ${MORROWTIDE_TS_TEMPLATE} PARENT_SCOPE)
set(MORROWTIDE_TS_FILES ${MORROWTIDE_TS_FILES} PARENT_SCOPE)
