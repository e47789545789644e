# `cpack -G DEB` in the build folder makes a Debian package of what `cmake --install` installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stowline)
set(CPACK_PACKAGE_VENDOR "The Stowline developers")
set(CPACK_PACKAGE_CONTACT "Stowline developers <${STOWLINE_BUG_MAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore legacy mail data as one archive")
set(CPACK_PACKAGE_DESCRIPTION
    "Stowline backs up the identities of a classic e-mail client (messages,
mail and news accounts, preferences, rules and registry key), the address
book and the browser Favorites into one .stw archive and restores them from
it, through wizards or as a scheduled backup run by a systemd user timer.
stowline-regedit exports and imports its registry store as .reg files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/stowline/stowline")
# Library dependencies are read from the binaries by dpkg-shlibdeps, never listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The toolkit finds no display without its platform plugins; they are a plugin, not a linked library.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
