# Round-trip benchmark of the opc.tcp transport (included from bench/CMakeLists.txt): a driver that
# starts the test server as a process of its own and counts what each request costs it.
if(TARGET uastack AND TARGET uasecurity_testcerts)
  add_executable(uatcp_roundtrip_bench
    ${CMAKE_CURRENT_LIST_DIR}/uatcp_roundtrip_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uatcp_process_counters.cpp
    ${CMAKE_SOURCE_DIR}/tests/uatcp/uatcp_test_server.cpp)
  target_include_directories(uatcp_roundtrip_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/uatcp ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(uatcp_roundtrip_bench PRIVATE uastack uasecurity_testcerts Threads::Threads)
endif()
