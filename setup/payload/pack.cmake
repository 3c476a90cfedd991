# Packs the payload: cmake -DOBJCOPY=... -DZIPWRITER=... -DGAME=... -DUNINSTALLER=...
# -DDIR=<folder for the stripped files> -DOUTPUT=<payload.zip> -P pack.cmake
foreach(_v OBJCOPY ZIPWRITER GAME UNINSTALLER DIR OUTPUT)
  if(NOT ${_v})
    message(FATAL_ERROR "pack.cmake: ${_v} is not set")
  endif()
endforeach()

set(_game ${DIR}/kelvano.exe)
set(_uninstaller ${DIR}/uninstaller.dll)
execute_process(COMMAND ${OBJCOPY} --strip-debug ${GAME} ${_game} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-debug ${UNINSTALLER} ${_uninstaller}
                COMMAND_ERROR_IS_FATAL ANY)

set(_items "")
foreach(_family native arm mips shx)
  list(APPEND _items ${_family}/ ${_family}/kelvano.exe=${_game}
                     ${_family}/uninstaller.dll=${_uninstaller})
endforeach()
execute_process(COMMAND ${ZIPWRITER} ${OUTPUT} ${_items} COMMAND_ERROR_IS_FATAL ANY)

file(SIZE ${OUTPUT} _size)
file(SIZE ${_game} _gameSize)
file(SIZE ${_uninstaller} _uninstallerSize)
message(STATUS "Payload ${OUTPUT}: ${_size} bytes (kelvano.exe ${_gameSize}, "
               "uninstaller.dll ${_uninstallerSize} bytes, four folders)")
