# Run by `cmake --install`: writes the program's menu entry (an XDG desktop entry) from its
# template, with the installed program's full path in its Exec key.  Takes CORVANE_ENTRY_TEMPLATE,
# CORVANE_ENTRY_FILE, CORVANE_PROGRAM_FROM_PREFIX and the installation's CMAKE_INSTALL_PREFIX.
set(program "${CMAKE_INSTALL_PREFIX}/${CORVANE_PROGRAM_FROM_PREFIX}")
# The Exec key's quoting rules: a path with a reserved character goes in double quotes, and in
# them the characters " ` $ and \ are escaped with a backslash; then, as in every string value,
# each backslash is written twice.
string(REGEX MATCH "[][ \t\n\"'\\><~|&;$*?#()`]" reserved "${program}")
if(reserved)
  string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" program "${program}")
  set(program "\"${program}\"")
  string(REPLACE "\\" "\\\\" program "${program}")
endif()
file(READ "${CORVANE_ENTRY_TEMPLATE}" entry)
string(REPLACE "@PROGRAM@" "${program}" entry "${entry}")
file(WRITE "${CORVANE_ENTRY_FILE}" "${entry}")
