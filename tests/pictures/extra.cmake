# The picture suite writes its files with the picture writer of tools/.
target_link_libraries(${target} PRIVATE zorblet_tools)
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
