# Every layer is a library built from all sources in its folder; the links
# between the targets are the only allowed include directions.
function(plm_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  plm_library(${name} "${sources}" "${ARG_DEPS}")
endfunction()

# A static library, or an interface one while its folder has no sources yet.
function(plm_library name sources deps)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${deps})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${deps})
  endif()
endfunction()

# The tests' lock files go to a runtime folder of the build's own, not to
# /tmp, where every test folder's name would leave one behind.
set(PLM_TEST_RUNTIME_DIR ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${PLM_TEST_RUNTIME_DIR})
file(CHMOD ${PLM_TEST_RUNTIME_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# One test executable per test folder, every TEST discovered by ctest.
function(plm_test_folder name label)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} plm_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${label}
    ENVIRONMENT QT_QPA_PLATFORM=offscreen
    ENVIRONMENT_MODIFICATION XDG_RUNTIME_DIR=set:${PLM_TEST_RUNTIME_DIR}
    DISCOVERY_TIMEOUT 60)
endfunction()
