# Fails the build when the installer stub outgrows its limit: every Setup.exe carries it.
#   cmake -DFILE=<stub> -DLIMIT=<bytes> -P StubSize.cmake
file(SIZE ${FILE} size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${FILE} is ${size} bytes, above the stub's limit of ${LIMIT} bytes: "
                      "what it links must earn its place")
endif()
