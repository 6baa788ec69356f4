# zlib for block checksums, linked statically in both trees: the installer must not import zlib1.dll,
# which Windows would look for next to the downloaded installer.
find_library(ZLIB_STATIC_LIBRARY NAMES libz.a REQUIRED)
find_path(ZLIB_HEADER_DIR zlib.h REQUIRED)
add_library(zlib_static STATIC IMPORTED)
set_target_properties(zlib_static PROPERTIES IMPORTED_LOCATION ${ZLIB_STATIC_LIBRARY})
target_include_directories(zlib_static SYSTEM INTERFACE ${ZLIB_HEADER_DIR})
