# Blocks per second of a generated program from the interpreter through the transformer chain,
# without correction, with radius correction and with corners on top (included from bench/CMakeLists.txt).
if(TARGET mp_transform AND TARGET mp_interpreter)
  add_executable(millpath_toolpath_bench ${CMAKE_CURRENT_LIST_DIR}/millpath_toolpath_bench.cpp)
  target_include_directories(millpath_toolpath_bench PRIVATE ${CMAKE_SOURCE_DIR}/millpath/channel/transform/tests
                             ${CMAKE_SOURCE_DIR}/millpath/interpreter/tests)
  target_link_libraries(millpath_toolpath_bench PRIVATE mp_transform mp_interpreter GTest::gtest Threads::Threads)
endif()
