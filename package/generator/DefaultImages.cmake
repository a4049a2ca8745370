# The package generator and the images of the default package, made at build time
# into ${FLINTCAST_DEFAULT_IMAGE_DIR}. Included from package/CMakeLists.txt; sets
# FLINTCAST_DEFAULT_IMAGE_FILES (resource=path items) and the target
# flintcast_default_images that makes them.
add_executable(flintcast-mkpackage
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/intel_hex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filler.cpp)
target_link_libraries(flintcast-mkpackage PRIVATE flintcast_codec fmt::fmt)

find_program(XORRISO xorriso REQUIRED)

set(FLINTCAST_DEFAULT_IMAGE_DIR ${CMAKE_BINARY_DIR}/package/default)
set(cdrom_dir ${CMAKE_BINARY_DIR}/package/cdrom)
set(image_names NPRG6260.hex partition.mbn amss.mbn dbl.mbn fsbl.mbn osbl.mbn dsp1.mbn dsp2.mbn cefs_apps.mbn)
set(image_paths "")
foreach(name ${image_names})
  list(APPEND image_paths ${FLINTCAST_DEFAULT_IMAGE_DIR}/${name})
endforeach()

add_custom_command(
  OUTPUT ${image_paths} ${cdrom_dir}/setup.exe
  COMMAND flintcast-mkpackage --out ${FLINTCAST_DEFAULT_IMAGE_DIR} --project 46 --cdrom-dir ${cdrom_dir}
  DEPENDS flintcast-mkpackage
  COMMENT "Generating the default package images"
  VERBATIM)
# A real ISO 9660 image; fixed dates keep it identical from build to build.
add_custom_command(
  OUTPUT ${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000
          ${XORRISO} -as mkisofs -quiet -V FLINTCAST_PCSUITE -J -r
          --set_all_file_dates 2023111422131000
          -o ${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso ${cdrom_dir}
  DEPENDS ${cdrom_dir}/setup.exe
  COMMENT "Making the PC-suite CD-ROM image"
  VERBATIM)
# The package's manifest of its images, so the images staged from the program are checked too.
set(manifest ${FLINTCAST_DEFAULT_IMAGE_DIR}/manifest.sha256)
add_custom_command(
  OUTPUT ${manifest}
  COMMAND ${CMAKE_COMMAND} -DOUT=${manifest} "-DFILES=${image_paths};${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso"
          -P ${CMAKE_CURRENT_LIST_DIR}/WriteManifest.cmake
  DEPENDS ${image_paths} ${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso ${CMAKE_CURRENT_LIST_DIR}/WriteManifest.cmake
  COMMENT "Writing the default package's manifest"
  VERBATIM)
add_custom_target(flintcast_default_images ALL
  DEPENDS ${image_paths} ${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso ${manifest})

set(FLINTCAST_DEFAULT_IMAGE_FILES ${image_paths} ${FLINTCAST_DEFAULT_IMAGE_DIR}/CDROM.iso ${manifest})
