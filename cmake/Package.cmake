# cpack -G DEB: two packages from the components of cmake/Install.cmake.
#   quorvel-cli_<version>_amd64.deb: quorvel-cli, its manual page, its shell completions and the
#     files it shares with the windows; it needs only the C and C++ libraries.
#   quorvel_<version>_amd64.deb: both windows and their data files, menu entries, icons and
#     AppStream metadata; it depends on quorvel-cli of the same version.
# Dependencies are worked out from the binaries by dpkg-shlibdeps, plus the Qt platform
# plugins, which the windows load at run time and so no binary names.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT "Velmora <quorvel-support@velmora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli gui)
set(CPACK_COMPONENT_GUI_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)  # quorvel: Depends: quorvel-cli (= version)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE quorvel)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)  # a tool for a game, not a game itself
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME quorvel-cli)
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "move the packages in Unreal Tournament's download cache (command line)
quorvel-cli lists the packages that Unreal Tournament downloaded into its
cache folder and moves the selected ones under their real names into the
game's folders for their types, into one folder, or into another folder
tree. It keeps the old cache index as a backup, writes a new one, logs
every step, can show what a run would do without doing it, and prints
its lists as JSON for scripts. It says what a package is (a map's title,
author, players and screenshot) and gives file managers map previews
through quorvel-thumbnailer and MIME types for Unreal packages. It shares
its settings and files with the desktop program in the package quorvel,
and needs no graphical libraries.")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME quorvel)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_COMPONENT_GUI_DESCRIPTION
    "move the packages in Unreal Tournament's download cache to where they belong
Quorvel lists the packages that Unreal Tournament downloaded into its
cache folder, with check boxes preselected by the user's rules, and moves
the checked ones under their real names into the game's folders for their
types, into one folder, or into another folder tree. It keeps the old
cache index as a backup, writes a new one, logs every step, and can purge
the cache, delete the game's temporary files and set the game's purge
interval.
.
The package also holds Quorvel Troubleshooter, which writes a plain-text
report to send to support.")

include(CPack)
