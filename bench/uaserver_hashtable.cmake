# Lookups in the node hash table against std::unordered_map (included from bench/CMakeLists.txt).
if(benchmark_FOUND AND TARGET uaserver)
  add_executable(uaserver_hashtable_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_hashtable_bench.cpp)
  target_link_libraries(uaserver_hashtable_bench PRIVATE uaserver uaserverruntime benchmark::benchmark Threads::Threads)
endif()
