# A normal request's latency on the HTTP server of our programs with 0 and with 64 idle
# connections open, as a ratio (included from bench/CMakeLists.txt).
if(TARGET httpserver AND TARGET http_test_client)
  add_executable(http_idle_bench ${CMAKE_CURRENT_LIST_DIR}/http_idle_bench.cpp)
  target_link_libraries(http_idle_bench PRIVATE httpserver http_test_client Threads::Threads)
endif()
