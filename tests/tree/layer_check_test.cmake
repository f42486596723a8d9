# Proves that the layer check passes a tree whose includes go downwards and fails each planted
# include against the layers, naming the file. Run as a test:
#   cmake -DCHECKER=<check_layers.cmake> -DLAYERS=<layers.txt> -DWORK=<scratch folder> -P layer_check_test.cmake
set(failures 0)

# Writes a tree of files under `root`: pairs of "path" "included header or -".
function(write_tree root)
  file(REMOVE_RECURSE "${root}")
  set(args ${ARGN})
  list(LENGTH args count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET args ${i} path)
    list(GET args ${j} include)
    if(include STREQUAL "-")
      file(WRITE "${root}/${path}" "// no includes\n")
    else()
      file(WRITE "${root}/${path}" "#include <string>\n${include}\n\nint f();\n")
    endif()
  endforeach()
endfunction()

# Runs the checker on `root`; sets <rc> and <out> in the caller.
function(run_check root rc out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DLAYERS=${LAYERS} -DSTAMP=${root}/stamp -P ${CHECKER}
    RESULT_VARIABLE result OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
  set(${rc} ${result} PARENT_SCOPE)
  set(${out} "${stdout}${stderr}" PARENT_SCOPE)
endfunction()

# A tree whose every include goes to the same layer or one below.
set(good_tree
  platform/files.h -
  platform/console.h -
  platform/files.cpp "#include \"platform/files.h\""
  console/decode/line_cursor.h "#include \"platform/files.h\""
  console/decode/ascii_text.h -
  console/decode/base64_text.cpp "#include \"console/decode/ascii_text.h\""
  console/decode/gzip64.h "#include \"console/decode/line_cursor.h\""
  console/decode/gzip64.cpp "#include \"gzip64.h\""
  console/header/names.h "#include <console/decode/gzip64.h>"
  console/header/names.cpp "#include \"console/header/names.h\""
  console/run/walk.h "#include \"console/header/names.h\""
  console/run/walk.cpp "#include \"console/run/walk.h\""
  console/run/messages.cpp "#include \"platform/console.h\""
  console/main.cpp "#include \"console/run/walk.h\""
  tests/anything.cpp "#include \"console/run/walk.h\"")

set(root "${WORK}/good")
write_tree("${root}" ${good_tree})
run_check("${root}" rc out)
if(NOT rc EQUAL 0 OR NOT EXISTS "${root}/stamp")
  message(SEND_ERROR "a tree that keeps the layers was rejected:\n${out}")
  math(EXPR failures "${failures} + 1")
endif()

# Each row plants one include against the layers into the good tree: the file, its include.
set(bad_rows
  "text includes a decoder" console/decode/line_cursor.cpp "#include \"console/decode/gzip64.h\""
  "decoder includes the run" console/decode/gzip64.cpp "#include \"console/run/walk.h\""
  "header includes the run with angle brackets" console/header/names.cpp "#include <console/run/walk.h>"
  "platform includes the text layer" platform/files.cpp "#include \"console/decode/ascii_text.h\""
  "decoder includes a header reader by a relative path" console/decode/gzip64.cpp "#include \"../header/names.h\""
  "text includes a header reader, indented" console/decode/ascii_text.h "  #  include \"console/header/names.h\""
  "decoder includes the console" console/decode/gzip64.cpp "#include \"platform/console.h\""
  "header reader includes a stream library" console/header/names.cpp "#include <iostream>")
list(LENGTH bad_rows count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 3)
  math(EXPR j "${i} + 1")
  math(EXPR k "${i} + 2")
  list(GET bad_rows ${i} name)
  list(GET bad_rows ${j} path)
  list(GET bad_rows ${k} include)
  set(root "${WORK}/bad_${i}")
  write_tree("${root}" ${good_tree})
  file(APPEND "${root}/${path}" "${include}\n")
  run_check("${root}" rc out)
  if(rc EQUAL 0 OR EXISTS "${root}/stamp")
    message(SEND_ERROR "${name}: the planted include in ${path} passed the check")
    math(EXPR failures "${failures} + 1")
  elseif(NOT out MATCHES "layer check: ${path} \\(layer ")
    message(SEND_ERROR "${name}: the check failed without naming ${path}:\n${out}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} layer check case(s) failed")
endif()
message(STATUS "layer check: the good tree passes, all planted includes are caught")
