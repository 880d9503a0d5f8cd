# One target per lease-file reader. The readers are compiled in here so that
# they carry the fuzzer's instrumentation.
set(OSTREL_LEASE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
foreach(reader networkd dhclient dhcpcd)
  add_executable(fuzz_lease_${reader}
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_lease_${reader}.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/lease_text.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/lease_networkd.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/lease_dhclient.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/lease_dhcpcd.cpp)
  target_include_directories(fuzz_lease_${reader} PRIVATE ${PROJECT_SOURCE_DIR}/platform/linux)
  target_compile_options(fuzz_lease_${reader} PRIVATE ${OSTREL_LEASE_FUZZ_FLAGS})
  target_link_options(fuzz_lease_${reader} PRIVATE ${OSTREL_LEASE_FUZZ_FLAGS})
endforeach()
