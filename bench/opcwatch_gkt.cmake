# The device-profile import of a generated description with 5,000 entries, and one polling pass
# over 1,000 monitored items against 1,000 bare Profilelink reads (included from bench/CMakeLists.txt).
if(TARGET opcwatch_gkt AND TARGET uaserver_testing)
  add_executable(opcwatch_gkt_bench ${CMAKE_CURRENT_LIST_DIR}/opcwatch_gkt_bench.cpp)
  target_link_libraries(opcwatch_gkt_bench PRIVATE opcwatch_gkt uaserver_testing devmgr_testing Profilelink
                        Threads::Threads)
  add_dependencies(opcwatch_gkt_bench devmgr GktSim)
endif()
