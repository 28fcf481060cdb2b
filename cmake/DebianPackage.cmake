# The .deb: `cpack -G DEB` in a tree configured with CMAKE_INSTALL_PREFIX=/usr, as
# scripts/build-deb.sh does. Only what `cmake --install` installs goes in. With
# SOURCE_DATE_EPOCH set, CPack gives every member that time, so the same build packs into
# the same bytes (the gzipped files in it are made with gzip -n).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME echora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tarnwick)
set(CPACK_PACKAGE_CONTACT ${ECHORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live echo sound processor for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Echora records live stereo sound, rewrites it with a multi-tap echo (equally\n\
spaced repeats with linearly graded weights), a gain of up to 50 times and hard\n\
clipping, and plays the result four buffer periods later. It lives in the\n\
notification area, with a small borderless window of presets and settings.\n\
\n\
echora-cli runs the same engine on sound files or on live devices. Both work\n\
with PulseAudio and with PipeWire's PulseAudio service.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ECHORA_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Sound needs a server on the PulseAudio protocol, which the libraries alone do not bring;
# on a Wayland desktop without XWayland, Qt needs its Wayland platform.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed-Size as dpkg counts it; CPack's own counts directories at their block size.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianInstalledSize.cmake)
include(CPack)
