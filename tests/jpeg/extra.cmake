# The JPEG suite encodes its pictures with libjpeg-turbo and compares against
# its decoder.
find_package(JPEG REQUIRED)
target_link_libraries(${target} PRIVATE JPEG::JPEG)
