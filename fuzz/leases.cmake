# One target per lease-file reader.
foreach(reader networkd dhclient dhcpcd)
  ostrel_fuzz_target(fuzz_lease_${reader}
    FOLDERS linux/leases linux/posix common
    SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_lease_${reader}.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_key_value.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhclient.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhcpcd.cpp)
endforeach()
