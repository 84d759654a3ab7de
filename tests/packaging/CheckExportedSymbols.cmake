# Fails when the shared library exports anything but the public classes and functions.
# Expects: NM, LIBRARY.
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND "${NM}" -DC --defined-only "${LIBRARY}" RESULT_VARIABLE result
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}:\n${errors}")
endif()

set(class "Nembra::(DiffusionEquation|NavierStokesEquations2D|SupersonicFlatPlate|ShockTube|BlastWave|ExactRiemannSolution)")
set(allowed
    "^${class}::"
    "^(vtable|typeinfo|typeinfo name) for ${class}$"
    "^Nembra::SetMessageHandler\\(")

string(REPLACE "\n" ";" lines "${listing}")
set(count 0)
set(unexpected "")
foreach(line IN LISTS lines)
    # "<address> <type> <demangled name>"
    if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
        continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    set(known FALSE)
    foreach(pattern IN LISTS allowed)
        if(symbol MATCHES "${pattern}")
            set(known TRUE)
        endif()
    endforeach()
    if(NOT known)
        string(APPEND unexpected "  ${symbol}\n")
    endif()
endforeach()

if(count EQUAL 0)
    message(FATAL_ERROR "${LIBRARY} exports nothing; the export macro is not in effect")
endif()
if(NOT unexpected STREQUAL "")
    message(FATAL_ERROR "${LIBRARY} exports symbols beyond the public classes:\n${unexpected}")
endif()
message(STATUS "${count} exported symbols, all of the public classes")
