# One static library per area, built from every source file in its folder
# (sub-folders are areas of their own). An area with no sources yet is an
# interface library so that the dependency graph still holds.
function(zorblet_area name dir)
  cmake_parse_arguments(A "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/CODE/ENGINE ${PROJECT_SOURCE_DIR}/CODE)
    target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/CODE/ENGINE ${PROJECT_SOURCE_DIR}/CODE)
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# Every library of the engine, for test, benchmark and fuzz executables.
set(ZORBLET_ALL_LIBS zorblet_interface zorblet_background zorblet_game zorblet_text zorblet_render zorblet_window
    zorblet_image zorblet_jpeg zorblet_services zorblet_platform zorblet_cfg zorblet_core)

# The engine libraries a test suite, benchmark or fuzz harness links, chosen by
# the first word of its name, so that each links (and rebuilds) only what it
# exercises. Anything not listed links the whole engine.
function(zorblet_libs_for name out)
  string(REGEX MATCH "^[a-z0-9]+" word ${name})
  if(word STREQUAL "core")
    set(libs zorblet_core)
  elseif(word MATCHES "^(cfg|cfgmap)$")
    set(libs zorblet_cfg zorblet_core)
  elseif(word MATCHES "^(services|savefile)$")
    set(libs zorblet_services zorblet_platform zorblet_core)
  elseif(word STREQUAL "jpeg")
    set(libs zorblet_jpeg)
  elseif(word STREQUAL "platform")
    set(libs zorblet_platform zorblet_core)
  elseif(word MATCHES "^(image|render|blit)$")
    set(libs zorblet_render zorblet_window zorblet_image zorblet_jpeg zorblet_services zorblet_platform zorblet_core)
  else()
    set(libs ${ZORBLET_ALL_LIBS})
  endif()
  set(${out} ${libs} PARENT_SCOPE)
endfunction()
