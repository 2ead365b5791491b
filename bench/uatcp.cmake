# Round-trip benchmark of the opc.tcp transport (included from bench/CMakeLists.txt).
if(TARGET benchmark::benchmark AND TARGET uastack AND TARGET uasecurity_testcerts)
  add_executable(uatcp_roundtrip_bench
    ${CMAKE_CURRENT_LIST_DIR}/uatcp_roundtrip_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/uatcp/uatcp_test_server.cpp)
  target_include_directories(uatcp_roundtrip_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/uatcp)
  target_link_libraries(uatcp_roundtrip_bench PRIVATE uastack uasecurity_testcerts benchmark::benchmark
                        Threads::Threads)
endif()
