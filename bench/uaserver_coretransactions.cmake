# Reads of cached Values through the core read transactions against direct attribute reads
# (included from bench/CMakeLists.txt).
if(benchmark_FOUND AND TARGET uaserver)
  add_executable(uaserver_coretransactions_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_coretransactions_bench.cpp)
  target_link_libraries(uaserver_coretransactions_bench PRIVATE uaserver uaserverruntime benchmark::benchmark Threads::Threads)
endif()
