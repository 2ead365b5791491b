# Start-up and shut-down of the server manager with namespace 0, its memory and a browse of all of
# namespace 0, and the test server program's start, memory and stop as a process (included from
# bench/CMakeLists.txt).
if(benchmark_FOUND AND TARGET uaserverruntime)
  add_executable(uaserver_startup_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_startup_bench.cpp)
  target_link_libraries(uaserver_startup_bench PRIVATE uaserver uaserverruntime benchmark::benchmark Threads::Threads)
  target_include_directories(uaserver_startup_bench PRIVATE ${CMAKE_SOURCE_DIR}/uaserver/testing
                             ${CMAKE_SOURCE_DIR}/tests/uaserver ${CMAKE_SOURCE_DIR}/tests/uatcp)
  # The test server program, measured as a process of its own.
  target_compile_definitions(uaserver_startup_bench PRIVATE UASERVER_TESTSERVER="$<TARGET_FILE:uaserver_testserver>")
  add_dependencies(uaserver_startup_bench uaserver_testserver)
endif()
