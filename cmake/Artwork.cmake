# The program's artwork as a Qt resource (KLANG_ARTWORK), and the host tool
# that renders SVG pictures (target klangdeck-render-icon, for desktop/ too).
#
# Linux draws the SVG files of assets/assets.qrc itself. The Windows build
# has no SVG module: every picture reaches it as PNGs at 1x (NAME.png) and
# 2x (NAME@2x.png), rendered here at build time, under the same resource
# paths with ".png" for ".svg".
if(NOT WIN32)
  add_subdirectory(${CMAKE_SOURCE_DIR}/desktop/render ${CMAKE_BINARY_DIR}/render)
  set(KLANG_ARTWORK ${CMAKE_SOURCE_DIR}/assets/assets.qrc)
  return()
endif()

# Built for this machine with its Linux Qt.
include(ExternalProject)
set(render ${CMAKE_BINARY_DIR}/render/klangdeck-render-icon)
ExternalProject_Add(render-host
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/desktop/render
  BINARY_DIR ${CMAKE_BINARY_DIR}/render
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${render})
add_executable(klangdeck-render-icon IMPORTED GLOBAL)
set_target_properties(klangdeck-render-icon PROPERTIES IMPORTED_LOCATION ${render})
add_dependencies(klangdeck-render-icon render-host)

set(qrc ${CMAKE_SOURCE_DIR}/assets/assets.qrc)
set(dir ${CMAKE_BINARY_DIR}/artwork)
file(STRINGS ${qrc} lines REGEX "<file>.*\\.svg</file>")
set(args)
set(pngs)
set(svgs)
set(entries)
foreach(line ${lines})
  string(REGEX REPLACE ".*<file>(.*)\\.svg</file>.*" "\\1" name "${line}")
  set(svg ${CMAKE_SOURCE_DIR}/assets/${name}.svg)
  list(APPEND svgs ${svg})
  foreach(scale 1 2)
    set(png ${name}.png)
    if(scale EQUAL 2)
      set(png ${name}@2x.png)
    endif()
    list(APPEND args ${svg} x${scale} ${dir}/${png})
    list(APPEND pngs ${dir}/${png})
    string(APPEND entries "    <file>${png}</file>\n")
    get_filename_component(sub ${dir}/${png} DIRECTORY)
    file(MAKE_DIRECTORY ${sub})
  endforeach()
endforeach()
# A picture that serves under a second name too (a play mode's glyph in the
# menu) keeps that name in both sizes.
file(STRINGS ${qrc} aliases REGEX "<file alias=\".*\\.svg\">.*\\.svg</file>")
foreach(line ${aliases})
  string(REGEX REPLACE ".*<file alias=\"(.*)\\.svg\">(.*)\\.svg</file>.*" "\\1;\\2" pair "${line}")
  list(GET pair 0 alias)
  list(GET pair 1 name)
  string(APPEND entries "    <file alias=\"${alias}.png\">${name}.png</file>\n"
         "    <file alias=\"${alias}@2x.png\">${name}@2x.png</file>\n")
endforeach()
file(CONFIGURE OUTPUT ${dir}/artwork.qrc
  CONTENT "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n${entries}</qresource>\n</RCC>\n")
add_custom_command(OUTPUT ${pngs}
  COMMAND klangdeck-render-icon ${args}
  DEPENDS klangdeck-render-icon ${svgs} ${qrc}
  COMMENT "Rendering the artwork to PNG"
  VERBATIM)
# Named "assets" as the Linux resource, which the program initialises by name.
add_custom_command(OUTPUT ${dir}/qrc_assets.cpp
  COMMAND Qt6::rcc --name assets --output ${dir}/qrc_assets.cpp ${dir}/artwork.qrc
  DEPENDS ${pngs} ${dir}/artwork.qrc
  VERBATIM)
set_source_files_properties(${dir}/qrc_assets.cpp PROPERTIES SKIP_AUTOGEN ON)
set(KLANG_ARTWORK ${dir}/qrc_assets.cpp)
