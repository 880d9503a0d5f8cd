# One target per lease-file reader.
foreach(reader networkd dhclient dhcpcd connman)
  ostrel_fuzz_target(fuzz_lease_${reader}
    FOLDERS linux/leases linux/posix common
    SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_lease_${reader}.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_key_value.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhclient.cpp
    ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhcpcd.cpp)
endforeach()
# The question to dhcpcd's control socket and the framing of its answer.
ostrel_fuzz_target(fuzz_lease_control
  FOLDERS linux/leases linux/posix common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_lease_control.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhcpcd_control.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_dhcpcd.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_key_value.cpp)
# Which interface a lease file belongs to, by the index or the name in its
# own name.
ostrel_fuzz_target(fuzz_lease_names
  FOLDERS linux/leases linux/posix common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_lease_names.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/interface_names.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp)
