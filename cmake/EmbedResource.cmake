# Turns a resource file into a C++ source that defines its bytes:
#   const unsigned char <SYMBOL>[]; const std::size_t <SYMBOL>Size;
# Run as cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name [-DCRLF=ON] -P EmbedResource.cmake.
# With CRLF the text's line ends become CR LF whatever the checkout gave.
if(CRLF)
  file(READ "${INPUT}" _text)
  string(REPLACE "\r\n" "\n" _text "${_text}")
  string(REPLACE "\n" "\r\n" _text "${_text}")
  string(HEX "${_text}" _hex)
else()
  file(READ "${INPUT}" _hex HEX)
endif()
string(LENGTH "${_hex}" _digits)
math(EXPR _size "${_digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " _bytes "${_bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; edit that file instead.
#include <cstddef>

extern const unsigned char ${SYMBOL}[] = {
    ${_bytes}
};
extern const std::size_t ${SYMBOL}Size = ${_size};
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
