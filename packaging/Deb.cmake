# The Debian package (`make deb`, CPack's DEB generator): the install rules above under /usr,
# its dependencies computed from the programs by dpkg-shlibdeps. The desktop entry, MIME
# package and icons are registered by the triggers of desktop-file-utils, shared-mime-info and
# the icon theme, so the package needs no scripts of its own, and a purge leaves nothing behind.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunemill)
set(CPACK_PACKAGE_VENDOR "Larkfield Software")
set(CPACK_PACKAGE_CONTACT "Larkfield Software <tunemill@larkfield.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pattern-based music composer")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://larkfield.example/tunemill/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Without them the menu, the file types and the icons are not refreshed; they are not needed to
# run the programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, shared-mime-info, hicolor-icon-theme")
# The first line of the control file's description is the summary above; CPack indents these
# lines and marks the empty one as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tunemill builds songs from named patterns; a pattern holds voices, each voice
plays one instrument, and its notes lie on a grid of ticks with volume,
balance and tempo curves beside them. MOD and S3M modules are imported and
exported, songs and instruments render to WAV, FLAC, Ogg Vorbis, MP3 and
Opus, and notes come from the mouse, the PC keyboard or a MIDI keyboard.

The package holds the composer tmw, the command-line tool tmw-cli, the
stock instrument bank, help pages in English and German and demo songs.")
include(CPack)
