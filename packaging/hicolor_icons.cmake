# Makes the hicolor theme's PNG icons from the program's own icon (cmake -P, at build time):
#   OUT/hicolor/NxN/apps/kelvorant.png for each N of SIZES.
# The icon's own images (16, 32 and 48 pixels, deepest colour) are taken as they are, by icotool; a larger
# size is the largest of them that divides it, each pixel repeated (ImageMagick's -scale), so the pixel art
# stays sharp.
# Variables: ICO, OUT, SIZES (separated by commas), ICOTOOL, CONVERT.
set(native 48 32 16)
string(REPLACE "," ";" SIZES "${SIZES}")
file(REMOVE_RECURSE ${OUT}/hicolor)
foreach(size IN LISTS SIZES)
  set(source "")
  foreach(n IN LISTS native)
    math(EXPR rest "${size} % ${n}")
    if(rest EQUAL 0)
      set(source ${n})
      break()
    endif()
  endforeach()
  if(NOT source)
    message(FATAL_ERROR "no image of ${ICO} scales to ${size} pixels: its sizes are ${native}")
  endif()
  set(dir ${OUT}/hicolor/${size}x${size}/apps)
  file(MAKE_DIRECTORY ${dir} ${OUT}/native)
  set(native_png ${OUT}/native/${source}.png)
  if(NOT EXISTS ${native_png})
    execute_process(COMMAND ${ICOTOOL} --extract --width=${source} --height=${source} --bit-depth=32
                            --output=${native_png} ${ICO}
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0 OR NOT EXISTS ${native_png})
      message(FATAL_ERROR "icotool could not take the ${source} x ${source} image out of ${ICO}: ${error}")
    endif()
  endif()
  math(EXPR percent "${size} * 100 / ${source}")
  # -strip: no time stamps in the file, so that two builds make the same package.
  execute_process(COMMAND ${CONVERT} ${native_png} -scale ${percent}% -strip ${dir}/kelvorant.png
                  RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ImageMagick could not make the ${size} x ${size} icon: ${error}")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUT}/native)
