# What a gateway image (or `cmake --install build --prefix /usr`, with DESTDIR)
# and the Debian package get: the three programs, their man pages, the bash
# completion of dorvan, the two service files and their settings file, the
# changelog and copyright. No libraries, headers or tests.
include(GNUInstallDirs)

install(TARGETS dorvand RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
install(TARGETS dorvan dorvan-cfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Pages and the changelog are shipped compressed, as Debian places them;
# -n keeps the bytes the same from build to build.
set(DORVAN_DOCS_GZ)
foreach(f man/dorvan.1 man/dorvand.8 man/dorvan-cfg.8 packaging/changelog)
  get_filename_component(name ${f} NAME)
  set(gz ${CMAKE_BINARY_DIR}/docs/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${f} > ${gz}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  list(APPEND DORVAN_DOCS_GZ ${gz})
endforeach()
add_custom_target(dorvan_docs ALL DEPENDS ${DORVAN_DOCS_GZ})
install(FILES ${CMAKE_BINARY_DIR}/docs/dorvan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/docs/dorvand.8.gz ${CMAKE_BINARY_DIR}/docs/dorvan-cfg.8.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${CMAKE_BINARY_DIR}/docs/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME dorvan)

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


# The service files name the daemon's installed path and the settings file,
# and the init script and settings belong in /etc for the prefixes /usr and
# /. They are made here, for the configured prefix, so that installing writes
# nothing into the build tree (it may be read-only); `cmake --install
# --prefix` with another prefix rewrites the two paths in the installed copies.
function(dorvan_etcdir prefix out)
  string(REGEX REPLACE "/+$" "" prefix "${prefix}")
  if(prefix STREQUAL "" OR prefix STREQUAL "/usr")
    set(${out} "/etc" PARENT_SCOPE)
  else()
    set(${out} "${prefix}/etc" PARENT_SCOPE)
  endif()
endfunction()
dorvan_etcdir("${CMAKE_INSTALL_PREFIX}" DORVAN_ETCDIR)
set(DORVAN_SBINDIR ${CMAKE_INSTALL_FULL_SBINDIR})
configure_file(packaging/dorvand.service.in packaging/dorvand.service @ONLY)
configure_file(packaging/dorvand.init.in packaging/dorvand @ONLY)

install(CODE "set(DORVAN_SRC \"${CMAKE_CURRENT_SOURCE_DIR}\")
set(DORVAN_GEN \"${CMAKE_BINARY_DIR}/packaging\")
set(DORVAN_SBIN_REL \"${CMAKE_INSTALL_SBINDIR}\")
set(DORVAN_BUILT_SBINDIR \"${DORVAN_SBINDIR}\")
set(DORVAN_BUILT_ETCDIR \"${DORVAN_ETCDIR}\")")
install(CODE [[
  if(IS_ABSOLUTE "${DORVAN_SBIN_REL}")
    set(sbindir "${DORVAN_SBIN_REL}")
  else()
    set(sbindir "${CMAKE_INSTALL_PREFIX}/${DORVAN_SBIN_REL}")
  endif()
  string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
  if(prefix STREQUAL "" OR prefix STREQUAL "/usr")
    set(etc "/etc")
  else()
    set(etc "${prefix}/etc")
  endif()
  file(INSTALL "${DORVAN_GEN}/dorvand.service" DESTINATION "${prefix}/lib/systemd/system")
  file(INSTALL "${DORVAN_GEN}/dorvand" DESTINATION "${etc}/init.d"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  file(INSTALL "${DORVAN_SRC}/packaging/dorvand.default" DESTINATION "${etc}/default"
       RENAME dorvand)
  if(NOT sbindir STREQUAL DORVAN_BUILT_SBINDIR OR NOT etc STREQUAL DORVAN_BUILT_ETCDIR)
    foreach(f "${prefix}/lib/systemd/system/dorvand.service" "${etc}/init.d/dorvand")
      file(READ "$ENV{DESTDIR}${f}" text)
      string(REPLACE "${DORVAN_BUILT_SBINDIR}/dorvand" "${sbindir}/dorvand" text "${text}")
      string(REPLACE "${DORVAN_BUILT_ETCDIR}/default/dorvand" "${etc}/default/dorvand"
             text "${text}")
      file(WRITE "$ENV{DESTDIR}${f}" "${text}")
    endforeach()
  endif()
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
  # The package is built natively (dpkg-shlibdeps knows only this machine's
  # libraries).
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME ship.package
      COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/ship/package_test.sh ${CMAKE_BINARY_DIR}
              $<TARGET_FILE:dorvand>)
    set_tests_properties(ship.package PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
  endif()
endif()
