# What ffprobe reads from an AVI file that voxa_avi wrote: the video stream's
# codec tag, picture size and frame count must be those of the clip.
#   cmake -DAVI=<file> -DFRAMES=<n> [-DWIDTH=720] [-DHEIGHT=576] -P CheckAviProbe.cmake
if(NOT DEFINED AVI OR NOT DEFINED FRAMES)
  message(FATAL_ERROR "CheckAviProbe.cmake: AVI and FRAMES are required")
endif()
if(NOT DEFINED WIDTH)
  set(WIDTH 720)
endif()
if(NOT DEFINED HEIGHT)
  set(HEIGHT 576)
endif()
if(NOT EXISTS "${AVI}")
  message(FATAL_ERROR "avi-probe: no file ${AVI}")
endif()
find_program(FFPROBE ffprobe)
if(NOT FFPROBE)
  message(FATAL_ERROR "avi-probe: ffprobe not found (Debian package ffmpeg: scripts/install-deps.sh windows)")
endif()

execute_process(
  COMMAND "${FFPROBE}" -v error -select_streams v:0
          -show_entries stream=codec_tag_string,width,height,nb_frames
          -of default=noprint_wrappers=1 "${AVI}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "avi-probe: ffprobe exited with ${status}: ${errors}")
endif()

set(wrong "")
foreach(pair IN ITEMS "codec_tag_string=VOXA" "width=${WIDTH}" "height=${HEIGHT}"
                      "nb_frames=${FRAMES}")
  string(REGEX MATCH "^[a-z_]+" key "${pair}")
  string(REGEX MATCH "(^|\n)${key}=[^\n]*" found "${output}")
  string(STRIP "${found}" found)
  if(NOT found STREQUAL pair)
    list(APPEND wrong "expected ${pair}, ffprobe says '${found}'")
  endif()
endforeach()
if(wrong)
  list(JOIN wrong "; " text)
  message(FATAL_ERROR "avi-probe: ${text}")
endif()
message("avi-probe: ${AVI}: VOXA, ${WIDTH}x${HEIGHT}, ${FRAMES} frames")
