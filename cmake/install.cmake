# What a gateway image (or `cmake --install build --prefix /usr`, with DESTDIR)
# gets: the three programs, their man pages, the bash completion of dorvan and
# the two service files. No libraries, headers or tests.
include(GNUInstallDirs)

install(TARGETS dorvand RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS dorvan dorvan-cfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/dorvan.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES man/dorvand.8 man/dorvan-cfg.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

# The completion script comes from the command table in dorvan itself; in a
# cross build the emulator runs the target dorvan.
set(DORVAN_COMPLETION ${CMAKE_BINARY_DIR}/completion/dorvan)
add_custom_command(OUTPUT ${DORVAN_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
  COMMAND ${CMAKE_COMMAND} -DOUT=${DORVAN_COMPLETION}
          "-DEMU=${CMAKE_CROSSCOMPILING_EMULATOR}" -DEXE=$<TARGET_FILE:dorvan>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/write-completion.cmake
  DEPENDS dorvan ${CMAKE_CURRENT_SOURCE_DIR}/cmake/write-completion.cmake
  VERBATIM)
add_custom_target(dorvan_completion ALL DEPENDS ${DORVAN_COMPLETION})
install(FILES ${DORVAN_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# OpenWrt's button hooks, only on request (they replace the system's own
# reset hook): cmake --install build --component openwrt-buttons
foreach(b reset wps rfkill)
  install(PROGRAMS packaging/rc.button DESTINATION /etc/rc.button RENAME ${b}
          COMPONENT openwrt-buttons EXCLUDE_FROM_ALL)
endforeach()

# The service files name the daemon's installed path, and the init script
# belongs in /etc for the prefixes /usr and /: both are settled at install
# time, so that `cmake --install --prefix` is honoured.
install(CODE "set(DORVAN_SRC \"${CMAKE_CURRENT_SOURCE_DIR}\")
set(DORVAN_BIN \"${CMAKE_BINARY_DIR}\")
set(DORVAN_SBIN_REL \"${CMAKE_INSTALL_SBINDIR}\")")
install(CODE [[
  if(IS_ABSOLUTE "${DORVAN_SBIN_REL}")
    set(DORVAN_SBINDIR "${DORVAN_SBIN_REL}")
  else()
    set(DORVAN_SBINDIR "${CMAKE_INSTALL_PREFIX}/${DORVAN_SBIN_REL}")
  endif()
  string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
  if(prefix STREQUAL "" OR prefix STREQUAL "/usr")
    set(etc "/etc")
  else()
    set(etc "${prefix}/etc")
  endif()
  configure_file("${DORVAN_SRC}/packaging/dorvand.service.in"
                 "${DORVAN_BIN}/packaging/dorvand.service" @ONLY)
  configure_file("${DORVAN_SRC}/packaging/dorvand.init.in"
                 "${DORVAN_BIN}/packaging/dorvand" @ONLY)
  file(INSTALL "${DORVAN_BIN}/packaging/dorvand.service"
       DESTINATION "${prefix}/lib/systemd/system")
  file(INSTALL "${DORVAN_BIN}/packaging/dorvand"
       DESTINATION "${etc}/init.d"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
]])

if(DORVAN_TESTS)
  # Cross builds start the target programs through the emulator wrappers
  # that tests/CMakeLists.txt writes.
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(run_dorvand ${CMAKE_BINARY_DIR}/emu/dorvand)
    set(run_dorvan ${CMAKE_BINARY_DIR}/emu/dorvan)
  else()
    set(run_dorvand $<TARGET_FILE:dorvand>)
    set(run_dorvan $<TARGET_FILE:dorvan>)
  endif()
  add_test(NAME ship.install
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/ship/install_test.sh
            ${CMAKE_BINARY_DIR} ${run_dorvand} ${run_dorvan})
  set_tests_properties(ship.install PROPERTIES TIMEOUT 120)
endif()
