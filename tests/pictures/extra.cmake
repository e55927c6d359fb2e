# The picture suite writes its files with the picture writer of tools/,
# which encodes with libjpeg-turbo. Until tools/ builds a library of its own
# the writer is compiled into the suite.
find_package(JPEG REQUIRED)
target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tools/PictureWriter.cpp)
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(${target} PRIVATE JPEG::JPEG)
