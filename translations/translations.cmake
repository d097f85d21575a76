# The English translation: translations/delvora_en.ts holds the Chinese
# source texts with their English; lrelease makes the .qm that the programs
# load, beside them in the build tree (translations/) and under
# share/delvora/translations once installed.
find_package(Qt6 COMPONENTS LinguistTools REQUIRED)
set(DELVORA_TS_FILE ${CMAKE_SOURCE_DIR}/translations/delvora_en.ts)
set(DELVORA_QM_FILE ${CMAKE_CURRENT_BINARY_DIR}/translations/delvora_en.qm)
add_custom_command(OUTPUT ${DELVORA_QM_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/translations
  COMMAND Qt6::lrelease -silent ${DELVORA_TS_FILE} -qm ${DELVORA_QM_FILE}
  DEPENDS ${DELVORA_TS_FILE}
  VERBATIM)
add_custom_target(delvora_translations ALL DEPENDS ${DELVORA_QM_FILE})
add_dependencies(delvora delvora_translations)
add_dependencies(delvora-cli delvora_translations)
include(GNUInstallDirs)
install(FILES ${DELVORA_QM_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/delvora/translations)

# The lupdate options every run uses: the core's Tr("Context", "source")
# counts as a translate() call and TrNoop as QT_TRANSLATE_NOOP; no line numbers, so that edits elsewhere do
# not churn the file.
set(DELVORA_LUPDATE_OPTIONS -tr-function-alias translate+=Tr,QT_TRANSLATE_NOOP+=TrNoop -locations none -no-obsolete -silent)
# Brings the .ts up to date with the sources (new texts come in unfinished):
#   cmake --build build --target update_translations
add_custom_target(update_translations
  COMMAND Qt6::lupdate ${DELVORA_LUPDATE_OPTIONS} ${CMAKE_SOURCE_DIR}/src -ts ${DELVORA_TS_FILE}
  VERBATIM)
