# Writes the tool's manual page: the template with the tool's own help in
# place of @TOOL_USAGE@, escaped for roff.
#
#   cmake -DTOOL=<dorsanti-db> -DTEMPLATE=<in> -DOUTPUT=<page> -P ToolManPage.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${TOOL} help
    OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} help: ${status}")
endif()
string(REPLACE "\\" "\\e" usage "${usage}")
string(REPLACE "-" "\\-" usage "${usage}")
# A line that starts with a dot or an apostrophe would be read as a request.
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
string(STRIP "${usage}" TOOL_USAGE)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
