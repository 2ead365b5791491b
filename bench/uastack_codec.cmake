# Encode/decode benchmark of the stack's binary codec (included from bench/CMakeLists.txt).
if(benchmark_FOUND AND TARGET uastack)
  add_executable(uastack_codec_bench ${CMAKE_CURRENT_LIST_DIR}/uastack_codec_bench.cpp)
  target_link_libraries(uastack_codec_bench PRIVATE uastack benchmark::benchmark Threads::Threads)
endif()
