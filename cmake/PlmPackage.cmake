# `cpack -G DEB` (make package) builds plmview_<version>_<arch>.deb from the
# install rules. The libraries come from dpkg-shlibdeps; the rest is what the
# program needs at run time that no library link shows: the Japanese font of
# the sheet and the report, and Qt's Japanese texts for its standard dialogs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plmview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record keeper and viewer for a circuit-breaker timing tester")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "PLMView receives the measurements of a portable circuit-breaker timing
tester over a serial line, or reads a captured transfer, and files them
under customer, test circuit and measurement name with their test
conditions. It shows a measurement as a test sheet with a timing chart,
prints it as a test report, writes it as a CSV file and moves customers
between installations as export files. The user interface is Japanese.
.
The package also holds plmtool, which does the same jobs without a display.")
set(PLM_PACKAGE_MAINTAINER "PLMView developers <plmview@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLM_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
# xdg-open opens CSV files and folders with the desktop's programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
