# The Debian package (cpack -G DEB in the build folder), and the names the installed files
# share with it.

set(TALLYKEEP_APP_ID "org.example.tallykeep" CACHE STRING "AppStream id of the program")
set(TALLYKEEP_HOMEPAGE "https://tallykeep.example.org/" CACHE STRING
    "Home page, ending in /; the screenshot is screenshot.png there")
set(CPACK_PACKAGE_CONTACT "The Tallykeep developers <tallykeep@example.org>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallykeep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "The Tallykeep developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "envelope budgeting for your accounts")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tallykeep divides the money of your checking, savings and credit-card
accounts into envelopes grouped in folders. It shows how much money is left
to budget and what is over budget, records expenses, deposits, transfers and
card payments, imports bank statements (QIF), shows reports and prints the
budget. The whole budget lives in one workbook that any spreadsheet program
can open.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TALLYKEEP_HOMEPAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins (the window itself) and the
# fonts with the program's symbols are loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji | fonts-symbola")
set(CPACK_STRIP_FILES ON)
# The package installs where this build was configured to: the program's rule for where the
# budget lives knows that folder.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
