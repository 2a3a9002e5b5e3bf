# kv_windows_resources(<target> <description>): the Windows program's icon
# (made from packaging/kv508.svg), version resource and manifest, compiled by
# windres and linked in. Needs rsvg-convert (librsvg2-bin) and icotool
# (icoutils); scripts/bootstrap installs both.
include_guard(GLOBAL)

find_program(KV_WINDRES NAMES ${CMAKE_CXX_COMPILER_TARGET}-windres x86_64-w64-mingw32-windres windres)
find_program(KV_RSVG_CONVERT_WIN rsvg-convert)
find_program(KV_ICOTOOL icotool)
foreach(tool KV_WINDRES:binutils-mingw-w64-x86-64 KV_RSVG_CONVERT_WIN:librsvg2-bin KV_ICOTOOL:icoutils)
  string(REPLACE ":" ";" parts ${tool})
  list(GET parts 0 var)
  list(GET parts 1 package)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not found for the Windows programs' resources (Debian: ${package}; scripts/bootstrap installs it)")
  endif()
endforeach()

function(kv_windows_resources target description)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(KV_PUBLISHER "The KV508 tool developers")
  set(KV_PROGRAM ${target})
  set(KV_DESCRIPTION "${description}")
  set(KV_ICON ${dir}/kv508.ico)
  set(KV_MANIFEST ${dir}/${target}.manifest)
  set(KV_FILE_VERSION ${PROJECT_VERSION}.0)
  string(REPLACE "." "," KV_VERSION_COMMAS "${PROJECT_VERSION},0")
  set(svg ${CMAKE_SOURCE_DIR}/packaging/kv508.svg)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kv508.manifest ${KV_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kv508.rc.in ${dir}/${target}.rc @ONLY)

  # The sizes Explorer and the taskbar ask for; 256 stays PNG inside the .ico.
  set(pngs "")
  set(commands "")
  foreach(size 16 24 32 48 64 128 256)
    list(APPEND commands COMMAND ${KV_RSVG_CONVERT_WIN} --width ${size} --height ${size} --output ${dir}/${size}.png ${svg})
    if(size EQUAL 256)
      list(APPEND pngs --raw=${dir}/${size}.png)
    else()
      list(APPEND pngs ${dir}/${size}.png)
    endif()
  endforeach()
  add_custom_command(OUTPUT ${KV_ICON}
    ${commands}
    COMMAND ${KV_ICOTOOL} --create --output=${KV_ICON} ${pngs}
    DEPENDS ${svg}
    COMMENT "Icon for ${target}.exe"
    VERBATIM)
  add_custom_command(OUTPUT ${dir}/${target}_res.o
    COMMAND ${KV_WINDRES} --input-format=rc --output-format=coff -i ${dir}/${target}.rc -o ${dir}/${target}_res.o
    DEPENDS ${dir}/${target}.rc ${KV_ICON} ${KV_MANIFEST}
    COMMENT "Resources of ${target}.exe"
    VERBATIM)
  set_source_files_properties(${dir}/${target}_res.o PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${dir}/${target}_res.o)
endfunction()
