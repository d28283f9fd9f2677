# Native Linux build of the platform-free logic: clang, so that the sanitizers and libFuzzer
# come from one compiler.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
