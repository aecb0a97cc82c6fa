# cpack -G DEB: quorvel_<version>_amd64.deb with everything cmake --install puts under /usr.
# Its dependencies are worked out from the binaries by dpkg-shlibdeps, plus the Qt platform
# plugins, which the programs load at run time and so no binary names.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <quorvel-support@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "move the packages in Unreal Tournament's download cache to where they belong")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel lists the packages that Unreal Tournament downloaded into its
cache folder, with check boxes preselected by the user's rules, and moves
the checked ones under their real names into the game's folders for their
types, into one folder, or into another folder tree. It keeps the old
cache index as a backup, writes a new one, logs every step, and can purge
the cache, delete the game's temporary files and set the game's purge
interval.
.
The package also holds Quorvel Troubleshooter, which writes a plain-text
report to send to support, and quorvel-cli, which does Quorvel's work
from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)  # a tool for a game, not a game itself
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
