# The kernel link: a Vos round trip between two processes against a plain socket, and generated
# programs through Millpath into the NC kernel simulator (included from bench/CMakeLists.txt).
if(TARGET millpath AND TARGET ncksim AND TARGET vos_testsupport)
  add_executable(millpath_vos_bench ${CMAKE_CURRENT_LIST_DIR}/millpath_vos_bench.cpp
                 ${CMAKE_SOURCE_DIR}/tests/millpath/millpath_harness.cpp)
  target_include_directories(millpath_vos_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/millpath
                             ${CMAKE_SOURCE_DIR}/platform/vos/tests)
  target_link_libraries(millpath_vos_bench PRIVATE QbVosDllCe vos_testsupport oslayer Threads::Threads)
  add_dependencies(millpath_vos_bench millpath ncksim vosrouter)
endif()
