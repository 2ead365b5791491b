# Reads through the whole server against the stack-only test server, and a browse of namespace 0
# over the wire against the same walk in process (included from bench/CMakeLists.txt).
if(TARGET uaserver_wire)
  add_executable(uaserver_read_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_read_bench.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/uatcp_process_counters.cpp
                 ${CMAKE_SOURCE_DIR}/tests/uatcp/uatcp_test_server.cpp)
  target_include_directories(uaserver_read_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(uaserver_read_bench PRIVATE uaserver_wire Threads::Threads)
endif()
