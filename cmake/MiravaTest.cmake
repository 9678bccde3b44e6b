# mv_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per test file group, registered with CTest.
include(GoogleTest)
function(mv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} mv_testsupport GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "LC_ALL=C\\;TZ=Europe/Berlin")
endfunction()

# mv_add_qt_test(<name> SOURCES <files...> LIBS <targets...>)
# A QtTest executable for widgets, run offscreen so no display is needed.
function(mv_add_qt_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "LC_ALL=C;TZ=Europe/Berlin;QT_QPA_PLATFORM=offscreen")
endfunction()
