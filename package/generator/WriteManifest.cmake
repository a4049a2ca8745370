# Writes the package manifest (docs/package-manifest.md) of the default images at build time:
# one line "SHA-256 size name" per image, sorted by name.
#   cmake -DOUT=<manifest file> -DFILES=<image;image;...> -P WriteManifest.cmake
set(lines "# Flintcast package manifest: SHA-256, size in bytes, file name\n")
set(sorted ${FILES})
list(SORT sorted)
foreach(path ${sorted})
  file(SHA256 ${path} digest)
  file(SIZE ${path} size)
  get_filename_component(name ${path} NAME)
  string(APPEND lines "${digest} ${size} ${name}\n")
endforeach()
file(WRITE ${OUT}.new "${lines}")
file(RENAME ${OUT}.new ${OUT})
