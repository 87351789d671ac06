# Renders every window with take-screenshots and keeps the few the software-centre data shows:
# cmake -DTOOL=take-screenshots -DOUT=FOLDER -P render-screenshots.cmake
# Writes OUT/main.png (the same in both languages) and OUT/settings-{en,ja}.png, drawn from the
# skin's bitmaps for 200 % screens, so that they stay sharp at the size software centres show.

foreach(variable TOOL OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "render-screenshots.cmake needs -D${variable}=...")
  endif()
endforeach()

# A fresh folder, so that no picture of an earlier run is taken for a new one.
set(all "${OUT}.all")
file(REMOVE_RECURSE "${all}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "${TOOL}" "${all}"
  RESULT_VARIABLE result
  OUTPUT_QUIET
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "take-screenshots failed (${result}):\n${errors}")
endif()

file(MAKE_DIRECTORY "${OUT}")
foreach(pair "main-en;main" "settings-8khz-en;settings-en" "settings-8khz-ja;settings-ja")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(NOT EXISTS "${all}/${from}.png")
    message(FATAL_ERROR "take-screenshots wrote no ${from}.png")
  endif()
  file(COPY_FILE "${all}/${from}.png" "${OUT}/${to}.png")
endforeach()
file(REMOVE_RECURSE "${all}")
