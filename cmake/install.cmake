# Installing ostrel as a Unix program: the game and the authors' tools in
# bin/, their manual pages, their bash completions, the bundled story
# and the authors' guide, all under CMAKE_INSTALL_PREFIX (and DESTDIR).
# The tools are those of OSTREL_TOOLS; a tool's own data it installs itself.
install(TARGETS ostrel ${OSTREL_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES docs/man/ostrel.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES completions/ostrel-tools.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ostrel)
foreach(tool ${OSTREL_TOOLS})
  install(FILES docs/man/${tool}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion from a file of its name.
  install(FILES completions/ostrel-tools.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME ${tool})
endforeach()

install(DIRECTORY games/the-ember-crown DESTINATION ${CMAKE_INSTALL_DATADIR}/ostrel/games)
install(FILES README.md docs/writing-stories.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/examples DESTINATION ${CMAKE_INSTALL_DOCDIR})

# `make package`: a Debian package of the same files, under /usr, with its
# dependencies found by dpkg-shlibdeps.
if(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME ostrel)
  set(CPACK_PACKAGE_CONTACT "ostrel developers")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "console engine for text adventures with turn-based duels")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
      "ostrel plays text adventures written as four plain-text files, with\n"
      "dialogs typed out letter by letter, one-word answers at a prompt and\n"
      "turn-based duels against the computer. It comes with a short story,\n"
      "The Ember Crown, and the authors' tools: a checker, a replayer, a\n"
      "random explorer, a language server for editors and a publisher that\n"
      "writes a story as one web page.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS graphviz)
  # The programs without their debugging symbols, as a distribution ships
  # them (about a tenth of the size).
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()
