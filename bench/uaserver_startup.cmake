# Start-up and shut-down of the server manager with namespace 0, its memory and a browse of all of
# namespace 0 (included from bench/CMakeLists.txt).
if(benchmark_FOUND AND TARGET uaserverruntime)
  add_executable(uaserver_startup_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_startup_bench.cpp)
  target_link_libraries(uaserver_startup_bench PRIVATE uaserver uaserverruntime benchmark::benchmark Threads::Threads)
  target_include_directories(uaserver_startup_bench PRIVATE ${CMAKE_SOURCE_DIR}/uaserver/testing)
endif()
