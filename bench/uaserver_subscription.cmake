# Data subscriptions through the whole server (included from bench/CMakeLists.txt): the test server
# as a process of its own with changing variables, our stack's client publishing, and the server's
# CPU, memory and latencies counted from outside.
if(TARGET uaserver_wire)
  add_executable(uaserver_subscription_bench ${CMAKE_CURRENT_LIST_DIR}/uaserver_subscription_bench.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/uatcp_process_counters.cpp)
  target_include_directories(uaserver_subscription_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(uaserver_subscription_bench PRIVATE uaserver_wire Threads::Threads)
endif()
