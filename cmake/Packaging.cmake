# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack` in a build folder (after `cmake --build`) writes morrowtide_<version>_<arch>.deb with
# everything `cmake --install` puts in place: the two programs, the help file, the desktop entry and the icons.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morrowtide)
set(CPACK_PACKAGE_VENDOR "Morrowtide")
set(CPACK_PACKAGE_CONTACT "Morrowtide <support@morrowtide.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Corrects the EXIF dates of photos taken with a wrongly set camera clock")
# Lines of the description fit the 80 columns of a package manager's view.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Morrowtide moves the three EXIF dates of every JPEG photo under a folder by\n"
       "one offset and writes a corrected copy of each, renamed after its corrected\n"
       "capture time. The image data is copied byte for byte, never re-compressed.\n"
       "The package has the program window (morrowtide) and the command-line\n"
       "program (morrowtide-cli).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY morrowtide)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The package keeps the project's version as it stands, the number the About box and --version show.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://morrowtide.org")
# The runtime libraries are worked out from the programs themselves when dpkg-shlibdeps (dpkg-dev) is there;
# otherwise the packages the programs link against on Debian 12 are named by hand.
find_program(MORROWTIDE_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(MORROWTIDE_FILE_PROGRAM file)
if(MORROWTIDE_DPKG_SHLIBDEPS AND MORROWTIDE_FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6help6 (>= 6.4), libjpeg62-turbo (>= 1:2.1), libc6, libstdc++6")
endif()

include(CPack)
