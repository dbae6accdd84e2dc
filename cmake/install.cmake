# What `cmake --install` puts where, and the Debian package made of it (`make package`).
# An installed program finds its shipped data in <prefix>/share/kestrine, beside bin.
include(GNUInstallDirs)
set(KESTRINE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kestrine)

install(TARGETS kestrine RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/run/help.txt DESTINATION ${KESTRINE_DATA_DIR})

# The click sounds: short square-wave ticks, the accent higher than the beat.
find_program(SOX_PROGRAM sox)
if(SOX_PROGRAM)
  set(clicks ${CMAKE_BINARY_DIR}/clicks)
  add_custom_command(
    OUTPUT ${clicks}/accent.wav ${clicks}/beat.wav
    COMMAND ${CMAKE_COMMAND} -E make_directory ${clicks}
    COMMAND ${SOX_PROGRAM} -q -n -r 48000 -c 2 -b 16 ${clicks}/accent.wav synth 0.03 square 1760 vol 0.4 fade 0 0.03 0.02
    COMMAND ${SOX_PROGRAM} -q -n -r 48000 -c 2 -b 16 ${clicks}/beat.wav synth 0.03 square 880 vol 0.4 fade 0 0.03 0.02
    COMMENT "Making the click sounds")
  add_custom_target(click_sounds ALL DEPENDS ${clicks}/accent.wav ${clicks}/beat.wav)
  install(FILES ${clicks}/accent.wav ${clicks}/beat.wav DESTINATION ${KESTRINE_DATA_DIR})
else()
  message(WARNING "sox was not found: the installation will have no click sounds")
endif()

if(TARGET shipped_skins)
  install(DIRECTORY ${KESTRINE_SKINS_DIR}/ DESTINATION ${KESTRINE_DATA_DIR}/Skins)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/kestrine.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/kestrine.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/kestrine.1.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/kestrine.1 ${CMAKE_BINARY_DIR}/kestrine.1
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/kestrine.1
  DEPENDS ${PROJECT_SOURCE_DIR}/data/kestrine.1
  COMMENT "Compressing the manual page")
add_custom_target(manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/kestrine.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/kestrine.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# What a Debian package carries in its doc folder: the copyright and a compressed changelog.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/changelog ${CMAKE_BINARY_DIR}/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog
  COMMENT "Compressing the changelog")
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrine)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrine)
# The version the program shows is the package's.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/app/app.h version_line REGEX "kAppVersion = \"[0-9.]+\"")
string(REGEX MATCH "[0-9][0-9.]*" CPACK_PACKAGE_VERSION "${version_line}")
set(CPACK_PACKAGE_VENDOR "Kestrine")
set(CPACK_PACKAGE_CONTACT "Kestrine developers <kestrine@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live audio looper")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Kestrine records phrases from an audio input into eight loop tracks and\n"
       "layers them live: overdub with feedback, insert, multiply, divide,\n"
       "reverse, half speed, erase, undo and redo, with a mixer strip per track,\n"
       "a master effects chain, a metronome and MIDI control.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The libraries the program links are found by dpkg-shlibdeps; a JACK server is what it
# plays through best, but ALSA will do.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2")
include(CPack)
