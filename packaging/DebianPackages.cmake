# The Debian packages, one per program, made by cpack's component-based DEB generator.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dornick)
set(CPACK_PACKAGE_VENDOR "dornick developers")
set(CPACK_PACKAGE_CONTACT "dornick developers <maintainers@dornick.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A tarnfield package asks for the dornick package of its own version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_DORNICK_PACKAGE_NAME dornick)
set(CPACK_DEBIAN_DORNICK_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_DORNICK_DESCRIPTION "take the attached files out of stored e-mail
dornick extracts every attachment of stored mail files (.eml) and winmail.dat
containers into a folder per sender and per day, decoding MIME, uuencode,
BinHex, yEnc and the file names of Japanese and international mail.")

set(CPACK_DEBIAN_TARNFIELD_PACKAGE_NAME tarnfield)
set(CPACK_DEBIAN_TARNFIELD_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_TARNFIELD_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_DEBIAN_TARNFIELD_DESCRIPTION "desktop front end of dornick
tarnfield searches a folder tree for stored mail (single mails, mbox files,
Maildir and MH folders), runs dornick on every mail it finds and shows its
progress and messages.")
set(CPACK_COMPONENT_TARNFIELD_DEPENDS dornick)

set(CPACK_COMPONENTS_ALL dornick)
if(DORNICK_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL tarnfield)
endif()
include(CPack)
