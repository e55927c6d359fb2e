# The JPEG suite encodes its pictures with libjpeg-turbo and compares against
# its decoder.
find_package(JPEG REQUIRED)
target_link_libraries(${target} PRIVATE JPEG::JPEG)

# Files made by another encoder, kept with their licence in the tests' own data
# folder so that a plain clone of the repository runs every case.
target_compile_definitions(${target} PRIVATE ZORBLET_JPEG_FILES="${CMAKE_CURRENT_SOURCE_DIR}/data/jpeg")
