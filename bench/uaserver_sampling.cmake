# The sampling of 10,000 cached and 10,000 device-read items at 100 ms: CPU over wall time and
# samples delivered against due (included from bench/CMakeLists.txt).
if(TARGET uaserver)
  add_executable(uaserver_sampling_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_sampling_bench.cpp)
  target_link_libraries(uaserver_sampling_bench PRIVATE uaserver uaserverruntime Threads::Threads)
endif()
