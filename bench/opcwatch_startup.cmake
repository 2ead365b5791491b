# Opcwatch's start as the device runs it: exec to listening and resident memory, as ratios to the
# library's test server in the same run (included from bench/CMakeLists.txt).
if(TARGET opcwatch AND TARGET uaserver_testserver AND TARGET devmgr_testing)
  add_executable(opcwatch_startup_bench ${CMAKE_CURRENT_LIST_DIR}/opcwatch_startup_bench.cpp)
  target_include_directories(opcwatch_startup_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/uaserver)
  target_link_libraries(opcwatch_startup_bench PRIVATE devmgr_testing oslayer)
  target_compile_definitions(opcwatch_startup_bench PRIVATE UASERVER_TESTSERVER="$<TARGET_FILE:uaserver_testserver>")
  add_dependencies(opcwatch_startup_bench opcwatch uaserver_testserver devmgr GktSim Profilelink)
endif()
