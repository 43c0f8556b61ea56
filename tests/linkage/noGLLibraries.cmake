# cmake -DBINARIES="a;b" -P noGLLibraries.cmake
# Fails when the dynamic loader would load an OpenGL or EGL library for any of the binaries.
# ldd resolves the whole tree of needed libraries, ours included, as the loader would.
foreach(binary ${BINARIES})
  execute_process(COMMAND ldd ${binary} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "ldd ${binary} failed: ${err}")
  endif()
  string(REGEX MATCHALL "lib(EGL|GL|GLX|GLdispatch|OpenGL|GLESv1_CM|GLESv2)[.]so[^ \t\n]*" gl "${out}")
  if(gl)
    list(REMOVE_DUPLICATES gl)
    # One unwrapped line each (errors are wrapped to the terminal's width).
    foreach(lib ${gl})
      message(STATUS "GL library loaded: ${lib}")
    endforeach()
    message(FATAL_ERROR "${binary} loads an OpenGL or EGL library")
  endif()
  message(STATUS "${binary}: no OpenGL or EGL library")
endforeach()
