# corvane_install_stripped(<target> <destination>)
# Installs an executable without its debug sections, which go beside it into
# <destination>/.debug/<name>.debug, where gdb finds them through the binary's debug link.
function(corvane_install_stripped target destination)
  install(TARGETS ${target} RUNTIME DESTINATION "${destination}")
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy is needed to install stripped binaries")
  endif()
  install(CODE "
    set(binary \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\")
    set(debug_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/.debug\")
    set(debug \"\${debug_dir}/$<TARGET_FILE_NAME:${target}>.debug\")
    file(MAKE_DIRECTORY \"\${debug_dir}\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"\${binary}\" \"\${debug}\" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-debug --strip-unneeded \"--add-gnu-debuglink=\${debug}\"
                            \"\${binary}\" COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS \"Stripped: \${binary} (debug sections in \${debug})\")
  ")
endfunction()
