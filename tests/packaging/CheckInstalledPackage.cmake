# Installs a built Nembra into a fresh prefix, then builds and runs the consumer against it,
# once through find_package and once through pkg-config.
#
# Expects: NEMBRA_BINARY_DIR, CONFIG, CONSUMER_SOURCE_DIR, WORK_DIR, INSTALL_LIBDIR, GENERATOR,
# CXX_COMPILER, CXX_FLAGS, EXE_LINKER_FLAGS, PKG_CONFIG_EXECUTABLE.
cmake_minimum_required(VERSION 3.20)

function(run_step description)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${description} failed (${result}):\n${output}")
    endif()
    message(STATUS "${description}: ok")
    set(step_output "${output}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
set(libdir "${prefix}/${INSTALL_LIBDIR}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

run_step("install into ${prefix}"
    "${CMAKE_COMMAND}" --install "${NEMBRA_BINARY_DIR}" --prefix "${prefix}" --config "${CONFIG}")

# find_package route, built the way the library was built (compiler, flags, configuration).
set(consumer_build "${WORK_DIR}/consumer-build")
run_step("configure the consumer"
    "${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE_DIR}" -B "${consumer_build}" -G "${GENERATOR}"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON"
    "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}" "-DCMAKE_BUILD_TYPE=${CONFIG}")
run_step("build the consumer" "${CMAKE_COMMAND}" --build "${consumer_build}" --config "${CONFIG}")
find_program(consumer nembra_consumer PATHS "${consumer_build}" "${consumer_build}/${CONFIG}"
             NO_DEFAULT_PATH REQUIRED)
run_step("run the consumer" "${consumer}")
message(STATUS "${step_output}")

# pkg-config route.
set(pkg_env "${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${libdir}/pkgconfig")
run_step("pkg-config --cflags --libs nembra"
    ${pkg_env} "${PKG_CONFIG_EXECUTABLE}" --cflags --libs nembra)
string(STRIP "${step_output}" pkg_flags)
message(STATUS "pkg-config flags: ${pkg_flags}")
run_step("pkg-config includedir" ${pkg_env} "${PKG_CONFIG_EXECUTABLE}" --variable=includedir nembra)
string(STRIP "${step_output}" includedir)
file(REAL_PATH "${includedir}" includedir)
file(REAL_PATH "${prefix}/include" expected_includedir)
if(NOT includedir STREQUAL expected_includedir)
    message(FATAL_ERROR "nembra.pc points at ${includedir}, not the prefix ${expected_includedir}")
endif()

separate_arguments(pkg_flags UNIX_COMMAND "${pkg_flags}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(link_flags UNIX_COMMAND "${EXE_LINKER_FLAGS}")
set(pc_consumer "${WORK_DIR}/nembra_consumer_pc")
run_step("build the consumer with pkg-config flags"
    "${CXX_COMPILER}" -std=c++17 ${cxx_flags} "${CONSUMER_SOURCE_DIR}/main.cpp" ${pkg_flags}
    ${link_flags} "-Wl,-rpath,${libdir}" -o "${pc_consumer}")
run_step("run the pkg-config consumer" "${pc_consumer}")
