# Run by CPack once it has made the .deb (CPACK_POST_BUILD_SCRIPTS in DebianPackage.cmake).
#
# CPack's Installed-Size adds up every entry's size on the build machine's file system, so
# each directory counts as a whole block (4 KiB on ext4), where dpkg-gencontrol counts
# 1 KiB: with thirty directories and 1.5 MB of files, that was 5 % too much. This puts
# dpkg-gencontrol's own count in the control file instead: every regular file and symbolic
# link rounded up to whole KiB, 1 KiB for every other entry, the top directory included.
#
# The package is then made again by dpkg-deb from what CPack packed, with the owner root,
# the same compression, and the times clamped to SOURCE_DATE_EPOCH, which CPack set them
# to: two runs over the same build give the same bytes.
find_program(DPKG_DEB dpkg-deb REQUIRED)

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(root "${deb}.contents")
  file(REMOVE_RECURSE "${root}")
  execute_process(COMMAND "${DPKG_DEB}" --raw-extract "${deb}" "${root}"
                  COMMAND_ERROR_IS_FATAL ANY)

  set(kib 1)  # the top directory
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${root}" "${root}/*")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^DEBIAN(/|$)")
      continue()
    endif()
    set(path "${root}/${entry}")
    if(IS_SYMLINK "${path}")
      file(READ_SYMLINK "${path}" target)
      string(LENGTH "${target}" bytes)
    elseif(IS_DIRECTORY "${path}")
      math(EXPR kib "${kib} + 1")
      continue()
    else()
      file(SIZE "${path}" bytes)
    endif()
    math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
  endforeach()

  file(READ "${root}/DEBIAN/control" control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control
                       "${control}")
  if(NOT control MATCHES "\nInstalled-Size: ${kib}\n")
    message(FATAL_ERROR "no Installed-Size field in the control file of ${deb}")
  endif()
  file(WRITE "${root}/DEBIAN/control" "${control}")

  set(compression gzip)
  if(CPACK_DEBIAN_COMPRESSION_TYPE MATCHES "^(xz|zstd|none)$")
    set(compression ${CPACK_DEBIAN_COMPRESSION_TYPE})
  endif()
  execute_process(COMMAND "${DPKG_DEB}" --root-owner-group -Z${compression} --build "${root}"
                          "${deb}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${root}")
  message(STATUS "Installed-Size of ${deb}: ${kib} KiB")
endforeach()
