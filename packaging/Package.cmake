# The Debian package (make package): CPack's DEB generator over the install rules in this folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_CONTACT "${CORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVANE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are read from the programs' shared libraries (dpkg-shlibdeps), not listed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "model of eclipsing binary stars and their light curves")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Corvane draws both stars of a binary system as meshes of shaded, limb-darkened
cells, distorted by each other's gravity (Roche geometry) and joined by a neck
when they touch. It turns the pair through its orbit and measures each frame's
light into red, green, blue and luminance light curves, or computes them
exactly by integrating over the stars' surfaces.
.
It loads observed light curves (text or FITS, such as space-telescope series),
folds and compares them with the model, fits the system's parameters by grid
search, the simplex or an ensemble sampler of the posterior (also under MPI),
searches for the period and times the minima. A catalogue of 324 real
eclipsing binaries comes built in.
.
The package holds the window (corvane) and the batch tool (corvane-cli).")
include(CPack)
