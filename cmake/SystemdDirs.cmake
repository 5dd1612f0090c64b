# Where systemd looks for system and user units, as its pkg-config file says, placed under
# this install's prefix: MDM_SYSTEMD_SYSTEM_UNIT_DIR and MDM_SYSTEMD_USER_UNIT_DIR, relative to
# the prefix when they lie inside it (so the build tree mirrors them under data/).
function(mdm_systemd_dir out variable fallback)
  set(dir "")
  if(PKG_CONFIG_EXECUTABLE)
    set(p ${CMAKE_INSTALL_PREFIX})
    execute_process(
      COMMAND ${PKG_CONFIG_EXECUTABLE} --define-variable=prefix=${p}
              --define-variable=rootprefix=${p} --define-variable=root_prefix=${p}
              --variable=${variable} systemd
      OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      set(dir "")
    endif()
  endif()
  if(dir STREQUAL "")
    set(dir ${CMAKE_INSTALL_PREFIX}/${fallback})
  endif()
  string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
  if(dir MATCHES "^${prefix}/(.+)$")
    set(dir ${CMAKE_MATCH_1})
  endif()
  set(${out} ${dir} CACHE STRING "systemd's ${variable}, relative to the install prefix")
endfunction()

mdm_systemd_dir(MDM_SYSTEMD_SYSTEM_UNIT_DIR systemdsystemunitdir lib/systemd/system)
mdm_systemd_dir(MDM_SYSTEMD_USER_UNIT_DIR systemduserunitdir lib/systemd/user)
