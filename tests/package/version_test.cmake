# SPDX-License-Identifier: GPL-3.0-or-later
# One version for everything: the project's, the one `morrowtide-cli --version` prints (the About box shows the
# same constant) and the top entry of CHANGELOG.md.
#   cmake -DCLI=... -DVERSION=... -DCHANGELOG=... -P version_test.cmake
execute_process(COMMAND ${CLI} --version OUTPUT_VARIABLE printed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "morrowtide-cli --version exited with ${status}")
endif()
if(NOT printed STREQUAL "morrowtide-cli ${VERSION}\n")
  message(FATAL_ERROR "morrowtide-cli --version printed \"${printed}\", the project's version is ${VERSION}")
endif()
file(STRINGS ${CHANGELOG} headings REGEX "^## ")
list(GET headings 0 latest)
if(NOT latest MATCHES "^## ${VERSION} ")
  message(FATAL_ERROR "the latest CHANGELOG.md entry is \"${latest}\", the project's version is ${VERSION}")
endif()
